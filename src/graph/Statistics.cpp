#include "graph/Statistics.h"

#include "levels/LevelArithmetic.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace kl516 {

namespace {

struct Scan {
    double sum = 0;
    float maximum;
    float minimum;
    int maxIndex = 0;  // relative to the scanned run
    int minIndex = 0;
};

int firstIndexOf(const float* y, int n, float value) {
    for (int i = 0; i < n; ++i)
        if (y[i] == value) return i;
    return 0;
}

// Sum, maximum and minimum of y[0 .. n - 1], starting from the given extremes, with strict
// comparisons so that the earliest of equal extremes wins.
//
// The work runs in four independent lanes, because a single chain of additions and comparisons
// is bound by their latency. The result is that of the plain scan: the extreme values do not
// depend on the order, and the earliest point holding the final extreme is the one the plain
// scan keeps (it was strictly beyond everything before it). The sum may differ from the plain
// scan's only in its last bits, and not at all for levels of a sound meter: floats of at least
// 1/32 in magnitude, added in double precision, sum without rounding whatever the order.
Scan scanLevels(const float* y, int n, float startMaximum, float startMinimum) {
    constexpr int kLanes = 4;
    double sum[kLanes] = {};
    float hi[kLanes], lo[kLanes];
    std::fill_n(hi, kLanes, startMaximum);
    std::fill_n(lo, kLanes, startMinimum);
    int i = 0;
    for (; i + kLanes <= n; i += kLanes) {
        for (int l = 0; l < kLanes; ++l) {
            const float v = y[i + l];
            sum[l] += v;
            hi[l] = v > hi[l] ? v : hi[l];
            lo[l] = v < lo[l] ? v : lo[l];
        }
    }
    for (; i < n; ++i) {
        const float v = y[i];
        sum[0] += v;
        hi[0] = v > hi[0] ? v : hi[0];
        lo[0] = v < lo[0] ? v : lo[0];
    }

    Scan s;
    s.sum = (sum[0] + sum[1]) + (sum[2] + sum[3]);
    s.maximum = startMaximum;
    s.minimum = startMinimum;
    for (int l = 0; l < kLanes; ++l) {
        if (hi[l] > s.maximum) s.maximum = hi[l];
        if (lo[l] < s.minimum) s.minimum = lo[l];
    }
    // An extreme that never moved from its start value keeps index 0.
    if (s.maximum > startMaximum) s.maxIndex = firstIndexOf(y, n, s.maximum);
    if (s.minimum < startMinimum) s.minIndex = firstIndexOf(y, n, s.minimum);
    return s;
}

}  // namespace

SeriesStatistics seriesStatistics(const double* x, const float* y, int n) {
    SeriesStatistics s;
    if (n <= 0 || !x || !y) return s;
    s.empty = false;
    s.count = n;
    s.first = x[0];
    s.last = x[n - 1];
    // Divided by the number of points, not the number of gaps between them.
    s.samplingRate = (s.last - s.first) * 86400 / n;

    const Scan scan = scanLevels(y, n, -9999.0f, 9999.0f);
    s.maximum = scan.maximum;
    s.minimum = scan.minimum;
    s.maxIndex = scan.maxIndex;
    s.minIndex = scan.minIndex;
    s.maximumTime = x[scan.maxIndex];
    s.minimumTime = x[scan.minIndex];
    s.mean = scan.sum / n;
    return s;
}

CursorStatistics cursorStatistics(const double* x, const float* y, int n, int a, int b) {
    CursorStatistics s;
    if (n <= 0 || !x || !y) return s;
    a = std::clamp(a, 0, n - 1);
    b = std::clamp(b, 0, n - 1);
    s.empty = false;
    s.lo = std::min(a, b);
    s.hi = std::max(a, b);
    const int count = s.hi - s.lo + 1;

    constexpr float kStartMaximum = -99999.0f, kStartMinimum = 99999.0f;
    const Scan scan = scanLevels(y + s.lo, count, kStartMaximum, kStartMinimum);
    s.maximum = scan.maximum;
    s.minimum = scan.minimum;
    s.maxIndex = s.lo + scan.maxIndex;
    s.minIndex = s.lo + scan.minIndex;
    // The times stay 0 when no level ever beat the start values (levels that are all NaN).
    s.maximumTime = scan.maximum > kStartMaximum ? x[s.maxIndex] : 0.0;
    s.minimumTime = scan.minimum < kStartMinimum ? x[s.minIndex] : 0.0;
    s.mean = scan.sum / count;
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
