#include "assessment/NoiseAssessment.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "levels/LevelArithmetic.h"

namespace kl516 {

namespace {

constexpr int kDay = 86400;
// More rows than anyone reads; a longer interval is the answer (and it keeps a typing slip in a
// time from asking for millions of rows).
constexpr double kMaxRows = 1'000'000;
// Times beyond some 30 000 years from 1970 are no times of a measurement (and keep the interval
// arithmetic within 64-bit integers).
constexpr double kLatestTime = 1e12;

AssessmentOutcome refuse(const QString& message) {
    return {std::nullopt, AssessmentError{message}};
}

// The number of cells of `length` seconds from `origin` after local midnight that the series
// touches, counted on the wall clock (a change of the clocks adds or takes one hour's cells).
double wallCellCount(const LocalClock& clock, double first, double last, int length, int origin) {
    const auto cellOf = [&](double t) { return std::floor((clock.wallOf(t) - origin) / length); };
    return cellOf(last) - cellOf(first) + 1;
}

// The same count, exact across changes of the clocks, stopping once above `limit`.
double cellCount(const LocalClock& clock, double first, double last, int length, int origin,
                 double limit) {
    double count = 0;
    for (double t = clock.cellStart(first, length, origin); t <= last && count <= limit;
         t = clock.nextCellStart(t, length, origin))
        ++count;
    return count;
}

// The series with what the tables share: its typical spacing, which gives each sample's weight.
class Calculator {
  public:
    Calculator(const AssessmentSeries& series, double typicalSpacing)
        : t_(series.times), l_(series.levels), typical_(typicalSpacing) {}

    std::size_t size() const { return t_.size(); }
    double typical() const { return typical_; }

    // The time sample i represents (sampleWeight).
    double weight(std::size_t i) const { return sampleWeight(t_, i, typical_); }

    // The first sample at or after time t, from `from` on.
    std::size_t firstAtOrAfter(double t, std::size_t from = 0) const {
        return std::size_t(std::lower_bound(t_.begin() + std::ptrdiff_t(from), t_.end(), t) -
                           t_.begin());
    }

    // The figures of samples [begin, end).
    LevelFigures figures(std::size_t begin, std::size_t end) const {
        return levelFigures(t_, l_, typical_, begin, end);
    }

    // The runs above the threshold, each sample weighing what it represents.
    ExceedanceResult exceedances(double threshold, double minDuration) const {
        ExceedanceResult r;
        ExceedanceDetector detector(threshold, minDuration, typical_);
        for (std::size_t i = 0; i < t_.size(); ++i)
            if (auto e = detector.add(t_[i], l_[i], weight(i))) r.events.push_back(*e);
        if (auto e = detector.end()) r.events.push_back(*e);
        r.secondsAbove = detector.secondsAbove();
        r.measuredSeconds = detector.measuredSeconds();
        r.percentAbove = detector.percentAbove();
        return r;
    }

  private:
    const std::vector<double>& t_;
    const std::vector<float>& l_;
    double typical_;
};

double coverage(const LevelFigures& f, double seconds) {
    return seconds > 0 ? std::min(100.0, f.measuredSeconds / seconds * 100) : 0;
}

std::optional<double> energyOf(const LevelFigures& f) {
    if (!f.leq) return std::nullopt;
    return levelEnergy(*f.leq);
}

std::vector<IntervalRow> intervalTable(Calculator& calc, const std::vector<double>& times,
                                       const LocalClock& clock, int length, int dayStart) {
    const int origin = length == kDay ? dayStart : 0;
    std::vector<IntervalRow> rows;
    rows.reserve(std::size_t(wallCellCount(clock, times.front(), times.back(), length, origin)));
    std::size_t begin = 0;
    for (double start = clock.cellStart(times.front(), length, origin); start <= times.back();) {
        IntervalRow row;
        row.start = start;
        row.end = clock.nextCellStart(start, length, origin);
        const std::size_t end = calc.firstAtOrAfter(row.end, begin);
        row.figures = calc.figures(begin, end);
        // Against the interval's real length: an hour the clocks skip in part is shorter.
        row.coveragePercent = coverage(row.figures, row.end - row.start);
        start = row.end;
        rows.push_back(std::move(row));
        begin = end;
    }
    return rows;
}

std::vector<PeriodRow> periodTable(Calculator& calc, const std::vector<double>& times,
                                   const LocalClock& clock, const DayPeriods& p) {
    const double evening = afterDayStart(p.eveningStart, p.dayStart);
    const double night = afterDayStart(p.nightStart, p.dayStart);
    const double ldnNight = afterDayStart(p.ldnNightStart, p.dayStart);
    // The weights of Lden and Ldn: each part's hours out of 24.
    const double dayHours = evening / 3600, eveningHours = (night - evening) / 3600,
                 nightHours = (kDay - night) / 3600;
    const double ldnDayHours = ldnNight / 3600, ldnNightHours = (kDay - ldnNight) / 3600;

    std::vector<PeriodRow> rows;
    rows.reserve(std::size_t(wallCellCount(clock, times.front(), times.back(), kDay, p.dayStart)));
    std::size_t begin = 0;
    for (double s = clock.cellStart(times.front(), kDay, p.dayStart); s <= times.back();) {
        PeriodRow row;
        row.start = s;
        row.end = clock.nextCellStart(s, kDay, p.dayStart);
        // Where the parts start by the wall clock: the first pass of a repeated time, the end
        // of a skipped one. A part holding a change of the clocks is an hour longer or shorter.
        const double dayWall =
            std::floor((clock.wallOf(s) - p.dayStart) / kDay) * kDay + p.dayStart;
        const auto partStart = [&](double afterStart) {
            return std::clamp(clock.instantOf(dayWall + afterStart, s), s, row.end);
        };
        const double eveningStart = partStart(evening), nightStart = partStart(night),
                     ldnNightStart = partStart(ldnNight);
        const std::size_t eveningAt = calc.firstAtOrAfter(eveningStart, begin);
        const std::size_t nightAt = calc.firstAtOrAfter(nightStart, eveningAt);
        const std::size_t end = calc.firstAtOrAfter(row.end, nightAt);
        const std::size_t ldnNightAt = calc.firstAtOrAfter(ldnNightStart, begin);
        row.day = calc.figures(begin, eveningAt);
        row.evening = calc.figures(eveningAt, nightAt);
        row.night = calc.figures(nightAt, end);
        row.ldnDay = calc.figures(begin, ldnNightAt);
        row.ldnNight = calc.figures(ldnNightAt, end);
        row.dayCoverage = coverage(row.day, eveningStart - s);
        row.eveningCoverage = coverage(row.evening, nightStart - eveningStart);
        row.nightCoverage = coverage(row.night, row.end - nightStart);
        row.complete =
            row.dayCoverage >= 50 && row.eveningCoverage >= 50 && row.nightCoverage >= 50;
        if (row.complete) {
            row.lden = energyLevel((dayHours * *energyOf(row.day) +
                                    eveningHours * *energyOf(row.evening) * levelEnergy(5) +
                                    nightHours * *energyOf(row.night) * levelEnergy(10)) /
                                   24);
        }
        if (coverage(row.ldnDay, ldnNightStart - s) >= 50 &&
            coverage(row.ldnNight, row.end - ldnNightStart) >= 50) {
            row.ldn = energyLevel((ldnDayHours * *energyOf(row.ldnDay) +
                                   ldnNightHours * *energyOf(row.ldnNight) * levelEnergy(10)) /
                                  24);
        }
        s = row.end;
        rows.push_back(std::move(row));
        begin = end;
    }
    return rows;
}

}  // namespace

AssessmentOutcome assessNoise(const AssessmentSeries& series, const AssessmentOptions& options) {
    const std::vector<double>& times = series.times;
    const std::size_t n = times.size();
    if (series.levels.size() != n)
        return refuse(QStringLiteral("the series has %1 times but %2 levels")
                          .arg(n)
                          .arg(series.levels.size()));
    if (n < 2) return refuse(QStringLiteral("the series has fewer than two samples"));
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(times[i]))
            return refuse(QStringLiteral("row %1: the time is not readable").arg(i + 1));
        if (std::abs(times[i]) > kLatestTime)
            return refuse(QStringLiteral("row %1: the time is out of range").arg(i + 1));
        if (i > 0 && times[i] < times[i - 1])
            return refuse(QStringLiteral("row %1: the time goes backwards (before row %2's)")
                              .arg(i + 1)
                              .arg(i));
    }
    if (auto message = checkAssessmentOptions(options)) return refuse(*message);
    const int length = options.intervalSeconds;

    const double span = times.back() - times.front();
    Assessment a;
    a.typicalSpacing = typicalSpacing(times);
    if (a.typicalSpacing <= 0) return refuse(QStringLiteral("all samples have the same time"));

    std::optional<LocalClock> systemClock;
    if (!series.clock) systemClock.emplace();
    const LocalClock& clock = series.clock ? *series.clock : *systemClock;
    // The rows of an interval length: counted on the wall clock, and exactly where that is near
    // the limit of the automatic choice.
    auto rowsFor = [&](int seconds) {
        const int origin = seconds == kDay ? options.periods.dayStart : 0;
        const double rows = wallCellCount(clock, times.front(), times.back(), seconds, origin);
        return rows > 400 ? rows
                          : cellCount(clock, times.front(), times.back(), seconds, origin, 400);
    };
    if (length > 0) {
        a.intervalSeconds = length;
    } else {
        a.intervalSeconds = 3600;
        for (int seconds : {60, 900, 3600}) {
            if (rowsFor(seconds) <= 200) {
                a.intervalSeconds = seconds;
                break;
            }
        }
    }
    if (rowsFor(a.intervalSeconds) > kMaxRows || span / kDay > kMaxRows)
        return refuse(QStringLiteral("the series spans too long a time for intervals of %1 s")
                          .arg(a.intervalSeconds));

    Calculator calc(series, a.typicalSpacing);
    a.intervals = intervalTable(calc, times, clock, a.intervalSeconds, options.periods.dayStart);
    a.periods = periodTable(calc, times, clock, options.periods);
    a.exceedances = calc.exceedances(options.threshold, options.minDurationSeconds);
    return {std::move(a), std::nullopt};
}

}  // namespace kl516
