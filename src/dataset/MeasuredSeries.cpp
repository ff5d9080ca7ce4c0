#include "dataset/MeasuredSeries.h"

#include <cmath>

namespace kl516 {

namespace {

QString backwards(const char* what, qint64 number) {
    return QStringLiteral("%1 %2: the time goes backwards").arg(QLatin1String(what)).arg(number);
}

}  // namespace

bool hasSerialTime(double t) {
    return t != 0.0 && std::isfinite(t);
}

MeasuredSeries measuredSeriesOfSerials(std::span<const double> times, std::span<const float> levels,
                                       float nullValue, const LocalClock& clock) {
    MeasuredSeries series;
    measuredSeriesOfSerials(times, levels, nullValue, clock, series);
    return series;
}

void measuredSeriesOfSerials(std::span<const double> times, std::span<const float> levels,
                             float nullValue, const LocalClock& clock, MeasuredSeries& series) {
    series.times.clear();
    series.levels.clear();
    series.sourceIndex.clear();
    series.levelColumn.clear();
    series.error.clear();
    const std::size_t n = std::min(times.size(), levels.size());
    series.times.reserve(n);
    series.levels.reserve(n);
    series.sourceIndex.reserve(n);
    InstantSequence instants(clock);
    for (std::size_t i = 0; i < n; ++i) {
        if (!hasSerialTime(times[i])) continue;
        double instant;
        if (!instants.next(wallSecondsOfSerial(times[i]), instant)) {
            series.error = backwards("point", qint64(i) + 1);
            return;
        }
        // The "no level" rule of the levels below: the null value and anything not finite.
        const float level = levels[i];
        series.times.push_back(instant);
        series.levels.push_back(std::isfinite(level) && level != nullValue ? level : std::nanf(""));
        series.sourceIndex.push_back(i);
    }
}

bool MeasuredSeriesBuilder::addWall(double wallSeconds, float level, std::size_t sourceIndex,
                                    qint64 rowNumber) {
    double instant;
    if (!series_.ok()) return false;
    if (!instants_.next(wallSeconds, instant)) {
        series_.error = backwards("row", rowNumber);
        return false;
    }
    return add(instant, level, sourceIndex, rowNumber);
}

bool MeasuredSeriesBuilder::addInstant(double instant, float level, std::size_t sourceIndex,
                                       qint64 rowNumber) {
    if (!series_.ok()) return false;
    if (!std::isfinite(instant) || (!series_.times.empty() && instant < series_.times.back())) {
        series_.error = backwards("row", rowNumber);
        return false;
    }
    // A wall time that follows continues from here.
    instants_.continueFrom(instant);
    return add(instant, level, sourceIndex, rowNumber);
}

bool MeasuredSeriesBuilder::add(double instant, float level, std::size_t sourceIndex, qint64) {
    series_.times.push_back(instant);
    series_.levels.push_back(std::isfinite(level) ? level : std::nanf(""));
    if (keepSourceIndex_) series_.sourceIndex.push_back(sourceIndex);
    return true;
}

void MeasuredSeriesBuilder::reserve(std::size_t n) {
    series_.times.reserve(n);
    series_.levels.reserve(n);
    if (keepSourceIndex_) series_.sourceIndex.reserve(n);
}

}  // namespace kl516
