#include "graph/RunningLeq.h"

#include "levels/LevelArithmetic.h"

namespace kl516 {

namespace {
bool counted(double x, float y, float nullValue) {
    return x != 0 && hasLevel(y, nullValue);
}
}  // namespace

RunningLeq runningLeq(const double* x, const float* y, int n, float nullValue) {
    RunningLeq r;
    if (!x || !y || n <= 0) return r;
    int count = 0;
    for (int p = 0; p < n; ++p) count += counted(x[p], y[p], nullValue);
    r.x.reserve(size_t(count));
    r.spl.reserve(size_t(count));
    r.leq.reserve(size_t(count));
    float leq = 0;
    for (int p = 0; p < n; ++p) {
        if (!counted(x[p], y[p], nullValue)) continue;
        const float level = y[p];
        leq = r.leq.empty() ? level : nextRunningLeq(leq, level, int(r.leq.size()) + 1);
        r.x.push_back(x[p]);
        r.spl.push_back(level);
        r.leq.push_back(leq);
    }
    return r;
}

}  // namespace kl516
