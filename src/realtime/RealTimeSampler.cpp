#include "realtime/RealTimeSampler.h"

#include <algorithm>
#include <cmath>

namespace kl516 {

void RealTimeSampler::start(double rate, int capacity, int64_t startMs, SerialDateTime startTime) {
    rate_ = rate;
    capacity_ = std::max(capacity, 0);
    startMs_ = startMs;
    startTime_ = startTime;
    anchored_ = false;
    firstSlot_ = 0;
    sampleCount_ = 0;
    levelCount_ = 0;
    maxLevel_ = -9999.0f;
    minLevel_ = 9999.0f;
    maxTime_ = minTime_ = 0;
    sum_ = 0.0;
    lastGoodLevel_ = 0.0f;
    rejectedCount_ = 0;
}

int64_t RealTimeSampler::slotAt(int64_t nowMs) const {
    const double intervalMs = std::max(rate_ * 1000.0, 1.0);
    const double slot = std::floor(double(nowMs - startMs_ + kClockResolutionMs) / intervalMs);
    return std::max<int64_t>(0, int64_t(slot));
}

int64_t RealTimeSampler::firstOpenSlot(int64_t nowMs) const {
    const double intervalMs = std::max(rate_ * 1000.0, 1.0);
    const double graceMs = intervalMs / 4;
    const double slot = std::floor((double(nowMs - startMs_) - graceMs) / intervalMs);
    return std::max<int64_t>(0, int64_t(slot));
}

SerialDateTime RealTimeSampler::sampleTime(int index) const {
    return startTime_ + double(firstSlot_ + index) * rate_ * kOneSecond;
}

void RealTimeSampler::markMissingBefore(int64_t slot, Result& r) {
    const int64_t passed = slot - (firstSlot_ + sampleCount_);
    const int64_t room = capacity_ - sampleCount_;
    const int added = int(std::clamp<int64_t>(passed, 0, room));
    r.missing += added;
    sampleCount_ += added;
    if (sampleCount_ >= capacity_) r.full = true;
}

RealTimeSampler::Result RealTimeSampler::offer(float level, int64_t nowMs) {
    Result r;
    r.firstIndex = sampleCount_;
    if (sampleCount_ >= capacity_) {
        r.full = true;
        return r;
    }
    int64_t slot = slotAt(nowMs);
    if (anchored_) {
        const int64_t next = firstSlot_ + sampleCount_;
        if (slot < next) return r;  // the next sample is not due yet
        // The reading is for the next slot, unless that one's time has gone by.
        slot = std::max(next, firstOpenSlot(nowMs));
        markMissingBefore(slot, r);
        if (r.full) return r;  // the run ended before this reading
    }

    if (level > kHighestLevel || !(level >= kLowestLevel)) {
        ++rejectedCount_;
        r.rejected = true;
        if (!(lastGoodLevel_ > kReplacementFloor)) {
            r.outcome = Outcome::Skipped;
            // Within a run the slot has no sample; before the first one the run has not begun.
            if (anchored_) {
                ++r.missing;
                if (++sampleCount_ >= capacity_) r.full = true;
            }
            return r;
        }
        level = lastGoodLevel_;
    } else {
        lastGoodLevel_ = level;
    }

    if (!anchored_) {
        anchored_ = true;
        firstSlot_ = slot;
    }
    r.index = sampleCount_;
    const SerialDateTime t = sampleTime(r.index);
    if (level > maxLevel_) {
        maxLevel_ = level;
        maxTime_ = t;
        r.newMaximum = true;
    }
    if (!(level >= minLevel_)) {
        minLevel_ = level;
        minTime_ = t;
        r.newMinimum = true;
    }
    sum_ += double(level);
    ++levelCount_;
    ++sampleCount_;
    r.outcome = Outcome::Stored;
    r.level = level;
    r.full = sampleCount_ >= capacity_;
    return r;
}

RealTimeSampler::Result RealTimeSampler::closeMissedSlots(int64_t nowMs) {
    Result r;
    r.firstIndex = sampleCount_;
    if (!anchored_ || sampleCount_ >= capacity_) return r;
    markMissingBefore(firstOpenSlot(nowMs), r);
    return r;
}

void RealTimeSampler::clearSamples() {
    anchored_ = false;
    firstSlot_ = 0;
    sampleCount_ = 0;
    levelCount_ = 0;
    sum_ = 0.0;
}

}  // namespace kl516
