#pragma once

#include <vector>

namespace kl516 {

// The samples a running Leq goes through and its value at each. A point whose X is 0 (a
// real-time graph's point not yet sampled) or not a number is no sample and is left out. A
// sample without a level (the null value, not a number) keeps its place as a gap: its level and
// its Leq are the null value, and the Leq goes on from the levels before it, so it is neither
// dragged down by zeros nor stuck at the null value.
struct RunningLeq {
    std::vector<double> x;   // the samples' times
    std::vector<float> spl;  // their levels; the null value where a sample has none
    std::vector<float> leq;  // the running Leq at each; the null value where a sample has no level
    int levels = 0;          // samples holding a level
};
RunningLeq runningLeq(const double* x, const float* y, int n, float nullValue);

}  // namespace kl516
