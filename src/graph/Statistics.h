#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "dataset/MeasuredSeries.h"
#include "levels/LevelArithmetic.h"

namespace kl516 {

// Statistics of a whole series, as the graph window's upper panel shows them besides its
// extremes and mean (those come from CursorStatisticsIndex over the whole series). Points
// without a level (the null value, NaN) are samples that were missed: they count as points and
// keep the run's times.
struct SeriesStatistics {
    bool empty = true;  // no points: every other field is 0
    int count = 0;
    int levels = 0;           // points holding a level
    double first = 0;         // X of the first point
    double last = 0;          // X of the last point
    double samplingRate = 0;  // seconds: (last - first) × 86400 / (count - 1); 0 below 2 points
};

// x holds SerialDateTime values, y levels in dB; both have n points.
SeriesStatistics seriesStatistics(const double* x, const float* y, int n,
                                  float nullValue = kNullLevel);

// The series the figures of graph points are worked out over: the measured series of the
// points (measuredSeriesOfSerials: a point without a time is left out, one without a level is a
// gap, sourceIndex gives each point's index), or, where their times run backwards and so give no
// time to weigh by, every point with a time one second after the one before, each level
// weighing alike.
void figureSeries(const double* x, const float* y, int n, float nullValue, const LocalClock& clock,
                  MeasuredSeries& series);
MeasuredSeries figureSeries(const double* x, const float* y, int n, float nullValue,
                            const LocalClock& clock);

// The extremes and the mean of the points between two cursors, both cursor points included.
struct CursorStatistics {
    bool empty = true;  // no points: every other field is 0
    int lo = 0;         // the smaller cursor index, clamped to the series
    int hi = 0;         // the larger one
    int levels = 0;     // points between the cursors counted (see the index); 0: figures are 0
    float maximum = 0;
    float minimum = 0;
    int maxIndex = 0;  // index in the series of the earliest point with the maximum
    int minIndex = 0;
    double maximumTime = 0;
    double minimumTime = 0;
    double mean = 0;  // arithmetic mean of the dB values
};

// The levels a listener judges noise by, over the points between two cursors: levelFigures'
// Leq and LN, weighted by time.
struct CursorLevels {
    int count = 0;  // levels counted; 0: every other field is 0
    double leq = 0;
    float l10 = 0, l50 = 0, l90 = 0;
    double measuredSeconds = 0;  // the time the counted levels represent
};

// The figures of ranges of one graph series without a scan per cursor move: levelFigures of the
// measured series of the graph's points (measuredSeriesOfSerials), a range of points in the
// graph being the points of the measured series among them. A point without a time is no part
// of it; a point without a level is a gap. Where the times run backwards there is no time to
// weigh by, and every level counts alike.
//
// build() runs once per series (and again whenever its points change); each query then takes
// constant time for the count, mean and Leq (prefix sums of the levels, of weight × energy and
// of the weights), constant time plus two short block scans for the extremes, and for the
// percentiles a walk of the levels in ascending order or, for a narrow range, a selection over
// a copy of the range. The figures equal levelFigures'; the Leq may differ in its last bits.
// The index keeps a copy of the levels and a pointer to x, which must outlive it.
class CursorStatisticsIndex {
  public:
    // clock: the zone the serial times are wall-clock times of; the system's when not given.
    void build(const double* x, const float* y, int n, float nullValue, const LocalClock& clock);
    void build(const double* x, const float* y, int n, float nullValue = kNullLevel);
    // Whether the index was built from these very arrays holding these levels: a series whose
    // points were changed in place fails, and needs build() again.
    bool matches(const double* x, const float* y, int n, float nullValue) const;
    void clear() { *this = CursorStatisticsIndex(); }
    bool built() const { return built_; }
    int points() const { return n_; }

    // a and b are the two cursor indexes in either order; indexes outside 0 .. n - 1 are
    // clamped.
    CursorStatistics statistics(int a, int b) const;
    CursorLevels levels(int a, int b) const;

  private:
    static constexpr int kBlockShift = 6;  // blocks of 64 points for the extremes
    int bestOf(int i, int j, bool maximum) const;
    int scanBest(int from, int to, bool maximum) const;  // from .. to - 1
    int rangeBest(int lo, int hi, bool maximum) const;
    float walkedLevel(int lo, int hi, int64_t total, int percent) const;
    void selectLevels(int lo, int hi, int64_t total, CursorLevels& s) const;

    bool built_ = false;
    const double* x_ = nullptr;
    const float* source_ = nullptr;
    std::vector<float> levels_;      // the copy of the levels
    std::vector<uint8_t> counted_;   // whether a point counts: in the measured series, a level
    std::vector<int64_t> weightUs_;  // the time each counted point represents, microseconds
    int n_ = 0;
    float null_ = kNullLevel;
    // Prefixes over the points before i: their levels in dB, their weighted energies (with the
    // rounding error carried in energyError_), their weights, and how many count.
    std::vector<double> sum_, energy_, energyError_, weight_;
    std::vector<int64_t> weightUsSum_;
    std::vector<int> count_;
    // maxTable_[k][j]: the earliest point with the maximum of blocks j .. j + 2^k - 1, -1 when
    // none counts; minTable_ likewise.
    std::vector<std::vector<int>> maxTable_, minTable_;
    std::vector<int> ascending_;              // the counted points, by ascending level
    std::vector<int64_t> ascendingWeightUs_;  // their weights in that order, walked in a row
    mutable std::vector<float> buffer_;       // reused by the selection over a narrow range
    // What build() works with, kept from build to build: fresh memory of this size costs
    // more than the arithmetic.
    struct BuildScratch {
        MeasuredSeries series;
        std::vector<double> weights;
        std::vector<uint64_t> keys, moved;
        std::vector<uint32_t> start;
    } scratch_;
    mutable std::vector<std::pair<float, int64_t>> weighted_;
};

}  // namespace kl516
