#pragma once

#include <vector>

namespace kl516 {

class LocalClock;

// The samples a running Leq goes through and its value at each: after sample i, the Leq of the
// samples up to i as levelFigures weighs them in the whole series (cumulativeLeqs), so that its
// last value is the series' Leq everywhere else. A point whose X is 0 (a real-time graph's point
// not yet sampled) or not a number is no sample and is left out. A sample without a level (the
// null value, not a number) keeps its place as a gap: its level and its Leq are the null value,
// and the Leq goes on from the levels before it, so it is neither dragged down by zeros nor
// stuck at the null value.
struct RunningLeq {
    std::vector<double> x;   // the samples' times
    std::vector<float> spl;  // their levels; the null value where a sample has none
    std::vector<float> leq;  // the running Leq at each; the null value where a sample has no level
    int levels = 0;          // samples holding a level
};
// clock: the zone the serial times are wall-clock times of (the system's when not given). The
// samples are figureSeries'.
RunningLeq runningLeq(const double* x, const float* y, int n, float nullValue,
                      const LocalClock& clock);
RunningLeq runningLeq(const double* x, const float* y, int n, float nullValue);

}  // namespace kl516
