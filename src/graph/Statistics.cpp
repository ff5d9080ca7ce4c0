#include "graph/Statistics.h"

#include "levels/LevelArithmetic.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace kl516 {

namespace {

struct Scan {
    double sum = 0;
    int levels = 0;  // points holding a level
    float maximum = -std::numeric_limits<float>::infinity();
    float minimum = std::numeric_limits<float>::infinity();
    int maxIndex = 0;  // relative to the scanned run
    int minIndex = 0;
};

int firstIndexOf(const float* y, int n, float value) {
    for (int i = 0; i < n; ++i)
        if (y[i] == value) return i;
    return 0;
}

// Sum, count, maximum and minimum of the levels among y[0 .. n - 1], points without a level
// left out, with strict comparisons so that the earliest of equal extremes wins.
//
// The work runs in four independent lanes, because a single chain of additions and comparisons
// is bound by their latency. The result is that of the plain scan: the extreme values do not
// depend on the order, and the earliest point holding the final extreme is the one the plain
// scan keeps (it was strictly beyond everything before it). The sum may differ from the plain
// scan's only in its last bits, and not at all for levels of a sound meter: floats of at least
// 1/32 in magnitude, added in double precision, sum without rounding whatever the order.
Scan scanLevels(const float* y, int n, float nullValue) {
    constexpr int kLanes = 4;
    constexpr float kInf = std::numeric_limits<float>::infinity();
    double sum[kLanes] = {};
    int count[kLanes] = {};
    float hi[kLanes], lo[kLanes];
    std::fill_n(hi, kLanes, -kInf);
    std::fill_n(lo, kLanes, kInf);
    const auto take = [&](int l, float v) {
        const bool level = hasLevel(v, nullValue);
        sum[l] += level ? v : 0.0f;
        count[l] += level;
        hi[l] = level && v > hi[l] ? v : hi[l];
        lo[l] = level && v < lo[l] ? v : lo[l];
    };
    int i = 0;
    for (; i + kLanes <= n; i += kLanes)
        for (int l = 0; l < kLanes; ++l) take(l, y[i + l]);
    for (; i < n; ++i) take(0, y[i]);

    Scan s;
    s.sum = (sum[0] + sum[1]) + (sum[2] + sum[3]);
    s.levels = (count[0] + count[1]) + (count[2] + count[3]);
    for (int l = 0; l < kLanes; ++l) {
        if (hi[l] > s.maximum) s.maximum = hi[l];
        if (lo[l] < s.minimum) s.minimum = lo[l];
    }
    if (s.levels == 0) return Scan{};
    s.maxIndex = firstIndexOf(y, n, s.maximum);
    s.minIndex = firstIndexOf(y, n, s.minimum);
    return s;
}

}  // namespace

SeriesStatistics seriesStatistics(const double* x, const float* y, int n, float nullValue) {
    SeriesStatistics s;
    if (n <= 0 || !x || !y) return s;
    s.empty = false;
    s.count = n;
    s.first = x[0];
    s.last = x[n - 1];
    // The span over the intervals between the points; a missed sample keeps its place in time.
    if (n >= 2) s.samplingRate = (s.last - s.first) * 86400 / (n - 1);

    const Scan scan = scanLevels(y, n, nullValue);
    s.levels = scan.levels;
    if (scan.levels == 0) return s;
    s.maximum = scan.maximum;
    s.minimum = scan.minimum;
    s.maxIndex = scan.maxIndex;
    s.minIndex = scan.minIndex;
    s.maximumTime = x[scan.maxIndex];
    s.minimumTime = x[scan.minIndex];
    s.mean = scan.sum / scan.levels;
    return s;
}

CursorStatistics cursorStatistics(const double* x, const float* y, int n, int a, int b,
                                  float nullValue) {
    CursorStatistics s;
    if (n <= 0 || !x || !y) return s;
    a = std::clamp(a, 0, n - 1);
    b = std::clamp(b, 0, n - 1);
    s.empty = false;
    s.lo = std::min(a, b);
    s.hi = std::max(a, b);

    const Scan scan = scanLevels(y + s.lo, s.hi - s.lo + 1, nullValue);
    s.levels = scan.levels;
    if (scan.levels == 0) return s;
    s.maximum = scan.maximum;
    s.minimum = scan.minimum;
    s.maxIndex = s.lo + scan.maxIndex;
    s.minIndex = s.lo + scan.minIndex;
    s.maximumTime = x[s.maxIndex];
    s.minimumTime = x[s.minIndex];
    s.mean = scan.sum / scan.levels;
    return s;
}

CursorLevels cursorLevels(const float* y, int n, int a, int b, float nullValue) {
    CursorLevels s;
    if (n <= 0 || !y) return s;
    const int lo = std::clamp(std::min(a, b), 0, n - 1);
    const int hi = std::clamp(std::max(a, b), 0, n - 1);
    std::vector<float> levels;
    levels.reserve(size_t(hi - lo + 1));
    double energy = 0;
    for (int i = lo; i <= hi; ++i) {
        const float level = y[i];
        if (!hasLevel(level, nullValue)) continue;
        levels.push_back(level);
        energy += levelEnergy(level);
    }
    s.count = int(levels.size());
    if (levels.empty()) return s;
    s.leq = energyLevel(energy / double(s.count));
    // Three selections instead of a sort: the percentiles are all a cursor drag needs.
    s.l10 = exceededLevel(levels, 10);
    s.l50 = exceededLevel(levels, 50);
    s.l90 = exceededLevel(levels, 90);
    return s;
}

}  // namespace kl516
