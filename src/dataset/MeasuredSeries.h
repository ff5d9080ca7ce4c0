#pragma once

#include <QString>
#include <cstddef>
#include <span>
#include <vector>

#include "dataset/WallClock.h"

namespace kl516 {

// What was measured, whatever it came from (a graph's first series, a list, a point or table
// text file, a spreadsheet CSV, a collection set): the points that have a time, in order, on
// instants, with "no level" kept as a gap. Every figure, table, report and picture of a series
// is made from this.
struct MeasuredSeries {
    std::vector<double> times;  // instants (UTC seconds, to the millisecond), not decreasing
    std::vector<float> levels;  // dB; NaN for a point without level
    // The index in the source (a graph point, a list row, a file line from 0) of each point,
    // so that cursor positions and rows can be found again; empty where point i is the
    // source's point i (a text file's series, whose every row is a point), which spares a
    // series of millions a vector of counts. sourceIndexOf reads it either way.
    std::vector<std::size_t> sourceIndex;
    std::size_t sourceIndexOf(std::size_t i) const {
        return sourceIndex.empty() ? i : sourceIndex[i];
    }
    // Where the source had more than one level column, the one taken ("SPL"); empty otherwise.
    QString levelColumn;
    // Why the source gave no series (a time that runs backwards, an unreadable row), with the
    // row or line counted from 1; empty when it did.
    QString error;

    std::size_t size() const { return times.size(); }
    bool empty() const { return times.empty(); }
    bool ok() const { return error.isEmpty(); }
};

// Whether a serial point holds a time: an unfilled point of a graph carries 0, an unreadable
// row NaN.
bool hasSerialTime(double t);

// The measured series of serial wall-clock times and levels (the graph's arrays, a collection
// set): points without a time are left out, a level that is no level (nullValue, NaN) becomes
// a gap, and the wall times become instants on `clock` (see InstantSequence). A time that runs
// backwards refuses the series: error says "point N: the time goes backwards".
MeasuredSeries measuredSeriesOfSerials(std::span<const double> times, std::span<const float> levels,
                                       float nullValue, const LocalClock& clock);
// The same into `series`, whose arrays keep their room (for a caller that builds often).
void measuredSeriesOfSerials(std::span<const double> times, std::span<const float> levels,
                             float nullValue, const LocalClock& clock, MeasuredSeries& series);

// Appends points one at a time, as readers of files do; the same rules as above.
class MeasuredSeriesBuilder {
  public:
    // keepSourceIndex false: the points are the source's in order, sourceIndex stays empty.
    explicit MeasuredSeriesBuilder(const LocalClock& clock, bool keepSourceIndex = true)
        : clock_(clock), instants_(clock), keepSourceIndex_(keepSourceIndex) {}
    // A wall-clock time (wall seconds) with its level (NaN: none); false when the time runs
    // backwards (the series' error is then set, naming `rowNumber`).
    bool addWall(double wallSeconds, float level, std::size_t sourceIndex, qint64 rowNumber);
    // An instant (a time written with its offset); the same check.
    bool addInstant(double instant, float level, std::size_t sourceIndex, qint64 rowNumber);
    void fail(const QString& message) { series_.error = message; }
    void reserve(std::size_t n);
    MeasuredSeries take() { return std::move(series_); }
    const MeasuredSeries& series() const { return series_; }
    MeasuredSeries& series() { return series_; }
    const LocalClock& clock() const { return clock_; }

  private:
    bool add(double instant, float level, std::size_t sourceIndex, qint64 rowNumber);
    const LocalClock& clock_;
    InstantSequence instants_;
    bool keepSourceIndex_ = true;
    MeasuredSeries series_;
};

}  // namespace kl516
