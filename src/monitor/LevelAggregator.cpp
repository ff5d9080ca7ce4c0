#include "monitor/LevelAggregator.h"

#include <QDateTime>
#include <algorithm>

#include "levels/LevelArithmetic.h"

namespace kl516 {

namespace {

int64_t floorTo(int64_t t, int64_t step) {
    const int64_t q = t / step;
    return (q * step > t ? q - 1 : q) * step;
}

// The start of the local-clock period that holds the instant t.
int64_t localPeriodStart(int64_t t, int64_t periodMs) {
    const int64_t offsetMs = int64_t(QDateTime::fromMSecsSinceEpoch(t).offsetFromUtc()) * 1000;
    return floorTo(t + offsetMs, periodMs) - offsetMs;
}

}  // namespace

LevelAggregator::LevelAggregator(int periodS, double readingS)
    : periodS_(std::max(periodS, 1)), readingS_(readingS) {}

void LevelAggregator::open(int64_t startMs) {
    open_ = true;
    startMs_ = startMs;
    levels_.clear();
    energy_ = 0;
}

PeriodSummary LevelAggregator::close(int64_t endMs, bool partial) {
    PeriodSummary s;
    s.startMs = startMs_;
    s.endMs = endMs;
    s.partial = partial;
    s.samples = int64_t(levels_.size());
    const double span = double(endMs - startMs_) / 1000.0;
    s.coverage = span > 0 ? std::min(100.0, double(s.samples) * readingS_ / span * 100.0) : 0.0;
    if (!levels_.empty()) {
        s.leq = energyLevel(energy_ / double(levels_.size()));
        s.lmax = lmax_;
        s.lmin = lmin_;
        s.l10 = exceededLevel(levels_, 10);
        s.l50 = exceededLevel(levels_, 50);
        s.l90 = exceededLevel(levels_, 90);
    }
    open_ = false;
    return s;
}

int64_t LevelAggregator::periodEnd() const {
    // The next local period start; where the clocks change, a period keeps its local bounds.
    const int64_t periodMs = int64_t(periodS_) * 1000;
    const int64_t end = localPeriodStart(startMs_ + periodMs, periodMs);
    return end > startMs_ ? end : startMs_ + periodMs;
}

std::vector<PeriodSummary> LevelAggregator::advanceTo(int64_t tMs) {
    std::vector<PeriodSummary> done;
    const int64_t periodMs = int64_t(periodS_) * 1000;
    if (open_ && tMs < startMs_) {
        done.push_back(close(std::max(lastMs_, startMs_), true));
        open_ = false;
    }
    lastMs_ = std::max(lastMs_, tMs);
    if (!open_) {
        open(localPeriodStart(tMs, periodMs));
        lastMs_ = tMs;
        return done;
    }
    while (tMs >= periodEnd()) {
        const int64_t next = periodEnd();
        done.push_back(close(next, false));
        open(next);
    }
    return done;
}

std::vector<PeriodSummary> LevelAggregator::add(int64_t tMs, float level) {
    std::vector<PeriodSummary> done = advanceTo(tMs);
    if (!hasLevel(level)) return done;
    if (levels_.empty()) lmax_ = lmin_ = level;
    lmax_ = std::max(lmax_, level);
    lmin_ = std::min(lmin_, level);
    levels_.push_back(level);
    energy_ += levelEnergy(level);
    return done;
}

std::optional<PeriodSummary> LevelAggregator::finish(int64_t tMs) {
    if (!open_ || tMs <= startMs_) return std::nullopt;
    return close(tMs, true);
}

ExceedanceTracker::ExceedanceTracker(double threshold, double minDurationS, double readingS)
    : threshold_(threshold), minDurationS_(minDurationS), readingS_(readingS) {}

std::optional<ExceedanceRun> ExceedanceTracker::add(int64_t tMs, float level) {
    if (hasLevel(level) && double(level) > threshold_) {
        // A gap longer than twice the reading period ends a run, as a missing stretch would, and
        // so does a clock set back.
        const double gapS = double(tMs - lastMs_) / 1000.0;
        if (running_ && (gapS > 2 * readingS_ || gapS < 0)) {
            std::optional<ExceedanceRun> ended = end();
            running_ = true;
            firstMs_ = lastMs_ = tMs;
            energy_ = levelEnergy(level);
            lmax_ = level;
            samples_ = 1;
            return ended;
        }
        if (!running_) {
            running_ = true;
            firstMs_ = tMs;
            energy_ = 0;
            lmax_ = level;
            samples_ = 0;
        }
        lastMs_ = tMs;
        energy_ += levelEnergy(level);
        lmax_ = std::max(lmax_, double(level));
        ++samples_;
        return std::nullopt;
    }
    return end();
}

std::optional<ExceedanceRun> ExceedanceTracker::end() {
    if (!running_) return std::nullopt;
    running_ = false;
    ExceedanceRun run;
    run.startMs = firstMs_;
    run.durationS = double(lastMs_ - firstMs_) / 1000.0 + readingS_;
    run.lmax = lmax_;
    run.leq = energyLevel(energy_ / double(samples_));
    run.samples = samples_;
    if (run.durationS < minDurationS_) return std::nullopt;
    return run;
}

}  // namespace kl516
