#include "graph/RunningLeq.h"

#include <cmath>
#include <span>

#include "dataset/MeasuredSeries.h"
#include "dataset/WallClock.h"
#include "graph/Statistics.h"
#include "levels/LevelArithmetic.h"
#include "levels/LevelFigures.h"

namespace kl516 {

RunningLeq runningLeq(const double* x, const float* y, int n, float nullValue,
                      const LocalClock& clock) {
    RunningLeq r;
    if (!x || !y || n <= 0) return r;
    const MeasuredSeries series = figureSeries(x, y, n, nullValue, clock);
    const std::vector<double> leqs =
        cumulativeLeqs(series.times, series.levels, typicalSpacing(series.times));
    const size_t samples = series.size();
    r.x.reserve(samples);
    r.spl.reserve(samples);
    r.leq.reserve(samples);
    for (size_t k = 0; k < samples; ++k) {
        r.x.push_back(x[series.sourceIndex[k]]);
        const float level = series.levels[k];
        if (!hasLevel(level)) {
            r.spl.push_back(nullValue);
            r.leq.push_back(nullValue);
            continue;
        }
        ++r.levels;
        r.spl.push_back(level);
        r.leq.push_back(float(leqs[k]));
    }
    return r;
}

RunningLeq runningLeq(const double* x, const float* y, int n, float nullValue) {
    return runningLeq(x, y, n, nullValue, LocalClock());
}

}  // namespace kl516
