#include "realtime/RealTimeSampler.h"

#include <cmath>

namespace kl516 {

void RealTimeSampler::start(double rate) {
    rate_ = rate;
    sampleCount_ = 0;
    maxLevel_ = -9999.0f;
    minLevel_ = 9999.0f;
    maxTime_ = minTime_ = 0;
    sum_ = 0.0;
    lastGoodLevel_ = 0.0f;
    rejectedCount_ = 0;
}

bool RealTimeSampler::isDue(SerialDateTime now) const {
    // Compared in whole milliseconds: SerialDateTime differences carry rounding below a microsecond
    // that would otherwise decide a tick arriving exactly one interval later.
    const int64_t elapsedMs = std::llround((now - lastSampleTime_) * 86400000.0);
    const int64_t intervalMs = std::llround(rate_ * 1000.0);
    return elapsedMs < 0 || elapsedMs + kClockResolutionMs >= intervalMs;
}

RealTimeSampler::Result RealTimeSampler::offer(float level, SerialDateTime frameTime,
                                               SerialDateTime now) {
    Result r;
    if (!isDue(now)) return r;
    lastSampleTime_ = now;

    if (level > kHighestLevel || !(level >= kLowestLevel)) {
        ++rejectedCount_;
        r.rejected = true;
        if (!(lastGoodLevel_ > kReplacementFloor)) {
            r.outcome = Outcome::Skipped;
            return r;
        }
        level = lastGoodLevel_;
    } else {
        lastGoodLevel_ = level;
    }

    if (level > maxLevel_) {
        maxLevel_ = level;
        maxTime_ = frameTime;
        r.newMaximum = true;
    }
    if (!(level >= minLevel_)) {
        minLevel_ = level;
        minTime_ = frameTime;
        r.newMinimum = true;
    }
    sum_ += double(level);
    r.outcome = Outcome::Stored;
    r.level = level;
    r.index = sampleCount_++;
    return r;
}

void RealTimeSampler::clearSamples() {
    sampleCount_ = 0;
    sum_ = 0.0;
}

}  // namespace kl516
