#pragma once

#include <cstdint>
#include <vector>

#include "levels/LevelArithmetic.h"

namespace kl516 {

// Statistics of a whole series, as the graph window's upper panel shows them. Points without a
// level (the null value, NaN) are samples that were missed: they count as points and keep the
// run's times, but no extreme or mean takes them in.
struct SeriesStatistics {
    bool empty = true;  // no points: every other field is 0
    int count = 0;
    int levels = 0;           // points holding a level; 0: extremes and mean are 0
    double first = 0;         // X of the first point
    double last = 0;          // X of the last point
    double samplingRate = 0;  // seconds: (last - first) × 86400 / (count - 1); 0 below 2 points
    float maximum = 0;
    float minimum = 0;
    int maxIndex = 0;  // earliest point with the maximum
    int minIndex = 0;  // earliest point with the minimum
    double maximumTime = 0;
    double minimumTime = 0;
    double mean = 0;  // arithmetic mean of the dB values
};

// x holds SerialDateTime values, y levels in dB; both have n points.
SeriesStatistics seriesStatistics(const double* x, const float* y, int n,
                                  float nullValue = kNullLevel);

// Statistics of the points between two cursors, both cursor points included; points without a
// level are left out.
struct CursorStatistics {
    bool empty = true;  // no points: every other field is 0
    int lo = 0;         // the smaller cursor index, clamped to the series
    int hi = 0;         // the larger one
    int levels = 0;     // points between the cursors holding a level; 0: the figures are 0
    float maximum = 0;
    float minimum = 0;
    int maxIndex = 0;  // index in the series of the earliest point with the maximum
    int minIndex = 0;
    double maximumTime = 0;
    double minimumTime = 0;
    double mean = 0;  // arithmetic mean of the dB values
};

// a and b are the two cursor indexes in either order; indexes outside 0 .. n - 1 are clamped.
CursorStatistics cursorStatistics(const double* x, const float* y, int n, int a, int b,
                                  float nullValue = kNullLevel);

// The levels a listener judges noise by, over the points between two cursors (both included)
// that hold a measured level (finite, not the null value).
struct CursorLevels {
    int count = 0;  // levels counted; 0: every other field is 0
    // Energy mean: 10 log10 of the mean of 10^(L/10).
    double leq = 0;
    // LN, the level exceeded N % of the time: with the levels sorted ascending, the nearest-rank
    // (100 - N) percentile, the level at rank ceil((100 - N) / 100 * count), so that at most
    // N % of the levels lie above it (the rule of the LEQ window's summary).
    float l10 = 0, l50 = 0, l90 = 0;
};

// a and b are the two cursor indexes in either order; indexes outside 0 .. n - 1 are clamped.
CursorLevels cursorLevels(const float* y, int n, int a, int b, float nullValue);

// The between-cursor figures of one series without a scan per cursor move. build() runs once per
// series (and again whenever its points change); each query then takes constant time for the
// count, mean and Leq (prefix sums), constant time plus two short block scans for the extremes,
// and for the percentiles a walk of the levels in ascending order or, for a narrow range, a
// selection over a copy of the range. The figures equal those of cursorStatistics and
// cursorLevels; the Leq may differ from theirs in its last bits only.
// The index keeps a copy of the levels and a pointer to x, which must outlive it.
class CursorStatisticsIndex {
  public:
    void build(const double* x, const float* y, int n, float nullValue = kNullLevel);
    // Whether the index was built from these very arrays holding these levels: a series whose
    // points were changed in place fails, and needs build() again.
    bool matches(const double* x, const float* y, int n, float nullValue) const;
    void clear() { *this = CursorStatisticsIndex(); }
    bool built() const { return built_; }
    int points() const { return n_; }

    // a and b as for cursorStatistics and cursorLevels.
    CursorStatistics statistics(int a, int b) const;
    CursorLevels levels(int a, int b) const;

  private:
    static constexpr int kBlockShift = 6;  // blocks of 64 points for the extremes
    int bestOf(int i, int j, bool maximum) const;
    int scanBest(int from, int to, bool maximum) const;  // from .. to - 1
    int rangeBest(int lo, int hi, bool maximum) const;
    float rankedLevel(int lo, int hi, int count, int rank) const;

    bool built_ = false;
    const double* x_ = nullptr;
    const float* y_ = nullptr;  // levels_
    const float* source_ = nullptr;
    std::vector<float> levels_;
    int n_ = 0;
    float null_ = kNullLevel;
    // Prefixes over the points before i: their levels in dB, their energies (with the rounding
    // error carried in energyError_) and how many hold a level.
    std::vector<double> sum_, energy_, energyError_;
    std::vector<int> count_;
    // maxTable_[k][j]: the earliest point with the maximum of blocks j .. j + 2^k - 1, -1 when
    // none holds a level; minTable_ likewise.
    std::vector<std::vector<int>> maxTable_, minTable_;
    std::vector<int> ascending_;         // the points holding a level, by ascending level
    mutable std::vector<float> buffer_;  // reused by the selection over a narrow range
};

}  // namespace kl516
