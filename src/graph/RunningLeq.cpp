#include "graph/RunningLeq.h"

#include <cmath>

#include "levels/LevelArithmetic.h"

namespace kl516 {

namespace {
bool isSample(double x) {
    return x != 0 && std::isfinite(x);
}
}  // namespace

RunningLeq runningLeq(const double* x, const float* y, int n, float nullValue) {
    RunningLeq r;
    if (!x || !y || n <= 0) return r;
    int samples = 0;
    for (int p = 0; p < n; ++p) samples += isSample(x[p]);
    r.x.reserve(size_t(samples));
    r.spl.reserve(size_t(samples));
    r.leq.reserve(size_t(samples));
    float leq = 0;
    for (int p = 0; p < n; ++p) {
        if (!isSample(x[p])) continue;
        r.x.push_back(x[p]);
        const float level = y[p];
        if (!hasLevel(level, nullValue)) {
            r.spl.push_back(nullValue);
            r.leq.push_back(nullValue);
            continue;
        }
        ++r.levels;
        leq = r.levels == 1 ? level : nextRunningLeq(leq, level, r.levels);
        r.spl.push_back(level);
        r.leq.push_back(leq);
    }
    return r;
}

}  // namespace kl516
