#pragma once

#include <vector>

namespace kl516 {

// The running equivalent continuous level of a series: Leq_n = 10 log10((1/n) Σ 10^(L_i/10))
// over the first n levels, computed step by step in 32-bit floats as the meter software always
// has. A step whose power or logarithm fails (a level of NaN or one so high that 10^(L/10)
// overflows, as the null value 9999 does) keeps the previous Leq.
float nextRunningLeq(float previousLeq, float level, int n);  // n >= 2: the level's number

// The points a running Leq covers and its value at each. Only points holding a measured level
// count, those the graph draws: a point whose X is 0 (a real-time graph's point not yet sampled,
// a second without a level in an LEQ graph) or whose level is the null value or not a number is
// left out, so the Leq is neither dragged down by zeros nor stuck at the null value.
struct RunningLeq {
    std::vector<double> x;    // the counted points' times
    std::vector<float> spl;   // their levels
    std::vector<float> leq;   // the running Leq at each
};
RunningLeq runningLeq(const double* x, const float* y, int n, float nullValue);

}  // namespace kl516
