#include "monitor/LevelAggregator.h"

#include <algorithm>
#include <cmath>

#include "levels/LevelArithmetic.h"
#include "levels/LevelFigures.h"

namespace kl516 {

namespace {

int64_t msOf(double seconds) {
    return std::llround(seconds * 1000);
}

}  // namespace

int64_t LevelAggregator::localPeriodStart(int64_t tMs) const {
    return msOf(clock_.cellStart(double(tMs) / 1000, periodS_));
}

LevelAggregator::LevelAggregator(int periodS, double readingS)
    : periodS_(std::max(periodS, 1)), readingS_(readingS) {}

void LevelAggregator::open(int64_t startMs) {
    open_ = true;
    startMs_ = startMs;
    times_.clear();
    levels_.clear();
}

PeriodSummary LevelAggregator::close(int64_t endMs, bool partial, std::optional<int64_t> nextMs) {
    PeriodSummary s;
    s.startMs = startMs_;
    s.endMs = endMs;
    s.partial = partial;
    // The period's readings as a series: each weighs the time to the next reading (the first
    // of the next period for the last one, when it has come), at most two reading periods.
    const std::size_t n = times_.size();
    if (nextMs && (times_.empty() || double(*nextMs) / 1000.0 >= times_.back())) {
        times_.push_back(double(*nextMs) / 1000.0);
        levels_.push_back(kNullLevel);
    }
    const LevelFigures f = levelFigures(times_, levels_, readingS_, 0, n);
    s.samples = f.samples;
    const double span = double(endMs - startMs_) / 1000.0;
    s.coverage = span > 0 ? std::min(100.0, double(s.samples) * readingS_ / span * 100.0) : 0.0;
    s.leq = f.leq;
    s.lmax = f.lmax;
    s.lmin = f.lmin;
    s.l10 = f.l10;
    s.l50 = f.l50;
    s.l90 = f.l90;
    open_ = false;
    return s;
}

int64_t LevelAggregator::periodEnd() const {
    // The next local period start; where the clocks change, a period keeps its local bounds.
    const int64_t end = msOf(clock_.nextCellStart(double(startMs_) / 1000, periodS_));
    return end > startMs_ ? end : startMs_ + int64_t(periodS_) * 1000;
}

std::vector<PeriodSummary> LevelAggregator::advanceTo(int64_t tMs) {
    std::vector<PeriodSummary> done;
    if (open_ && tMs < startMs_) {
        done.push_back(close(std::max(lastMs_, startMs_), true));
        open_ = false;
    }
    lastMs_ = std::max(lastMs_, tMs);
    if (!open_) {
        open(localPeriodStart(tMs));
        lastMs_ = tMs;
        return done;
    }
    while (tMs >= periodEnd()) {
        const int64_t next = periodEnd();
        done.push_back(close(next, false, tMs));
        open(next);
    }
    return done;
}

std::vector<PeriodSummary> LevelAggregator::add(int64_t tMs, float level) {
    std::vector<PeriodSummary> done = advanceTo(tMs);
    // A reading without a level stays in the series: the reading before it weighs only up to it.
    times_.push_back(double(tMs) / 1000.0);
    levels_.push_back(hasLevel(level) ? level : kNullLevel);
    return done;
}

std::optional<PeriodSummary> LevelAggregator::finish(int64_t tMs) {
    if (!open_ || tMs <= startMs_) return std::nullopt;
    return close(tMs, true);
}

}  // namespace kl516
