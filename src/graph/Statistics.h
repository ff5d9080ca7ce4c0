#pragma once

#include <cstdint>

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

}  // namespace kl516
