#include "assessment/ExceedanceDetector.h"

#include <algorithm>

#include "levels/LevelArithmetic.h"
#include "levels/LevelFigures.h"

namespace kl516 {

ExceedanceDetector::ExceedanceDetector(double threshold, double minDurationSeconds,
                                       double typicalSpacing)
    : threshold_(threshold), minDuration_(minDurationSeconds), typical_(typicalSpacing) {}

void ExceedanceDetector::start(double time, float level, double weight) {
    running_ = true;
    first_ = last_ = time;
    weighted_ = weight * sampleEnergy(level);
    weights_ = weight;
    lmax_ = level;
    samples_ = 1;
}

std::optional<ExceedanceEvent> ExceedanceDetector::add(double time, float level, double weight) {
    if (!hasLevel(level)) return end();
    measured_ += weight;
    if (!(double(level) > threshold_)) return end();
    if (!running_) {
        start(time, level, weight);
        return std::nullopt;
    }
    // Missing time between two samples above the threshold, or a clock set back: two events.
    const double gap = time - last_;
    if (gap > 2 * typical_ || gap < 0) {
        std::optional<ExceedanceEvent> ended = end();
        start(time, level, weight);
        return ended;
    }
    last_ = time;
    weighted_ += weight * sampleEnergy(level);
    weights_ += weight;
    lmax_ = std::max(lmax_, level);
    ++samples_;
    return std::nullopt;
}

std::optional<ExceedanceEvent> ExceedanceDetector::end() {
    if (!running_) return std::nullopt;
    running_ = false;
    ExceedanceEvent e;
    e.start = first_;
    e.duration = last_ - first_ + typical_;
    if (e.duration < minDuration_) return std::nullopt;
    e.lmax = lmax_;
    // Samples that share their time with the next weigh nothing; if those are all, the loudest.
    e.leq = energyLevel(weights_ > 0 ? weighted_ / weights_ : levelEnergy(lmax_));
    e.samples = samples_;
    above_ += e.duration;
    return e;
}

double ExceedanceDetector::percentAbove() const {
    return measured_ > 0 ? std::min(100.0, above_ / measured_ * 100) : 0;
}

}  // namespace kl516
