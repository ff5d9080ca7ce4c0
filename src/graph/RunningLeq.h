#pragma once

#include <vector>

namespace kl516 {

// The points a running Leq covers and its value at each. Only points holding a measured level
// count, those the graph draws: a point whose X is 0 (a real-time graph's point not yet sampled,
// a second without a level in an LEQ graph) or whose level is the null value or not a number is
// left out, so the Leq is neither dragged down by zeros nor stuck at the null value.
struct RunningLeq {
    std::vector<double> x;   // the counted points' times
    std::vector<float> spl;  // their levels
    std::vector<float> leq;  // the running Leq at each
};
RunningLeq runningLeq(const double* x, const float* y, int n, float nullValue);

}  // namespace kl516
