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
// 10^(L/10) as exp(L * ln10 / 10): the same energy, faster than pow.
constexpr double kLn10Over10 = 0.23025850929940456840;

AssessmentOutcome refuse(const QString& message) {
    return {std::nullopt, AssessmentError{message}};
}

QString clockText(int secondsAfterMidnight) {
    const int s = ((secondsAfterMidnight % kDay) + kDay) % kDay;
    return QStringLiteral("%1:%2")
        .arg(s / 3600, 2, 10, QLatin1Char('0'))
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'));
}

// Seconds from the day start to t (a time of day), in 0 .. 86 399.
int afterDayStart(int t, int dayStart) {
    return (((t - dayStart) % kDay) + kDay) % kDay;
}

std::optional<QString> checkPeriods(const DayPeriods& p) {
    for (int t : {p.dayStart, p.eveningStart, p.nightStart, p.ldnNightStart})
        if (t < 0 || t > kDay) return QStringLiteral("a day period starts outside 00:00 .. 24:00");
    // The parts follow each other round the clock: day, evening, night, and the next day.
    const int evening = afterDayStart(p.eveningStart, p.dayStart);
    const int night = afterDayStart(p.nightStart, p.dayStart);
    if (evening == 0 || night <= evening)
        return QStringLiteral("the day periods are not in order: day %1, evening %2, night %3")
            .arg(clockText(p.dayStart), clockText(p.eveningStart), clockText(p.nightStart));
    if (afterDayStart(p.ldnNightStart, p.dayStart) == 0)
        return QStringLiteral("the night of Ldn starts at %1, with the day")
            .arg(clockText(p.ldnNightStart));
    return std::nullopt;
}

// The cell of t among cells of length `length` that start at origin + k * length.
int64_t cellOf(double t, double origin, double length) {
    auto k = int64_t(std::floor((t - origin) / length));
    if (origin + double(k) * length > t)
        --k;
    else if (origin + double(k + 1) * length <= t)
        ++k;
    return k;
}

double median(std::vector<double>& values) {
    const std::size_t mid = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(mid), values.end());
    const double upper = values[mid];
    if (values.size() % 2 == 1) return upper;
    const double lower = *std::max_element(values.begin(), values.begin() + std::ptrdiff_t(mid));
    return (lower + upper) / 2;
}

// The energies of levels, remembered by their bits: a meter's levels take few distinct values
// (tenths of a dB), so nearly every sample finds its energy here instead of in exp, which
// costs many times a look-up (and more so inside the program than on its own).
class EnergyCache {
  public:
    EnergyCache() : keys_(kSize, kNoKey), values_(kSize) {}
    double operator()(float level) {
        const auto bits = std::bit_cast<uint32_t>(level);
        const std::size_t slot = (bits * 2654435761u) >> (32 - kBits);
        if (keys_[slot] != bits) {
            keys_[slot] = bits;
            values_[slot] = std::exp(double(level) * kLn10Over10);
        }
        return values_[slot];
    }

  private:
    static constexpr int kBits = 12;
    static constexpr std::size_t kSize = std::size_t(1) << kBits;
    static constexpr uint32_t kNoKey = 0xFFFFFFFFu;  // a NaN: never a level
    std::vector<uint32_t> keys_;
    std::vector<double> values_;
};

// The series with what the tables share: each sample's weight, and one buffer of levels for
// the percentile selections, reused from set to set.
class Calculator {
  public:
    Calculator(const AssessmentSeries& series, double typicalSpacing)
        : t_(series.times), l_(series.levels), typical_(typicalSpacing) {}

    std::size_t size() const { return t_.size(); }
    double typical() const { return typical_; }

    // The time sample i represents: to the next sample, at most twice the typical spacing; the
    // last sample represents the typical spacing.
    double weight(std::size_t i) const {
        return i + 1 < t_.size() ? std::min(t_[i + 1] - t_[i], 2 * typical_) : typical_;
    }

    // The first sample at or after time t, from `from` on.
    std::size_t firstAtOrAfter(double t, std::size_t from = 0) const {
        return std::size_t(std::lower_bound(t_.begin() + std::ptrdiff_t(from), t_.end(), t) -
                           t_.begin());
    }

    // The figures of samples [begin, end).
    LevelFigures figures(std::size_t begin, std::size_t end) {
        LevelFigures f;
        buffer_.clear();
        double weighted = 0, weights = 0, plain = 0;
        float lmax = 0, lmin = 0;
        for (std::size_t i = begin; i < end; ++i) {
            const float level = l_[i];
            if (!hasLevel(level)) continue;
            const double w = weight(i);
            const double e = energy_(level);
            weighted += w * e;
            weights += w;
            plain += e;
            if (buffer_.empty()) lmax = lmin = level;
            lmax = std::max(lmax, level);
            lmin = std::min(lmin, level);
            buffer_.push_back(level);
        }
        f.samples = int64_t(buffer_.size());
        f.coveredSeconds = weights;
        if (buffer_.empty()) return f;
        // Only samples that share their time with the next one weigh nothing; if those are all
        // there is, each counts alike.
        f.leq = energyLevel(weights > 0 ? weighted / weights : plain / double(buffer_.size()));
        f.lmax = lmax;
        f.lmin = lmin;
        f.l10 = exceededLevel(buffer_, 10);
        f.l50 = exceededLevel(buffer_, 50);
        f.l90 = exceededLevel(buffer_, 90);
        return f;
    }

    ExceedanceResult exceedances(double threshold, double minDuration) {
        ExceedanceResult r;
        const std::size_t n = t_.size();
        const double gap = 2 * typical_;
        std::size_t i = 0;
        while (i < n) {
            const float level = l_[i];
            if (!hasLevel(level)) {
                ++i;
                continue;
            }
            const double w0 = weight(i);
            r.measuredSeconds += w0;
            if (!(double(level) > threshold)) {
                ++i;
                continue;
            }
            // A run: samples above the threshold one after the other; a sample without level or
            // a gap longer than a sample can represent ends it.
            double weighted = w0 * energy_(level), weights = w0;
            float lmax = level;
            std::size_t last = i;
            std::size_t j = i + 1;
            for (; j < n; ++j) {
                const float lj = l_[j];
                if (!hasLevel(lj) || !(double(lj) > threshold) || t_[j] - t_[j - 1] > gap) break;
                const double w = weight(j);
                r.measuredSeconds += w;
                weighted += w * energy_(lj);
                weights += w;
                lmax = std::max(lmax, lj);
                last = j;
            }
            const double duration = t_[last] - t_[i] + typical_;
            if (duration >= minDuration) {
                ExceedanceEvent e;
                e.start = t_[i];
                e.duration = duration;
                e.lmax = lmax;
                e.leq = energyLevel(weights > 0 ? weighted / weights : energy_(lmax));
                r.events.push_back(e);
                r.secondsAbove += duration;
            }
            i = j;
        }
        if (r.measuredSeconds > 0)
            r.percentAbove = std::min(100.0, r.secondsAbove / r.measuredSeconds * 100);
        return r;
    }

  private:
    const std::vector<double>& t_;
    const std::vector<float>& l_;
    double typical_;
    std::vector<float> buffer_;
    EnergyCache energy_;
};

double coverage(const LevelFigures& f, double seconds) {
    return seconds > 0 ? std::min(100.0, f.coveredSeconds / seconds * 100) : 0;
}

std::optional<double> energyOf(const LevelFigures& f) {
    if (!f.leq) return std::nullopt;
    return levelEnergy(*f.leq);
}

std::vector<IntervalRow> intervalTable(Calculator& calc, const std::vector<double>& times,
                                       int length, int dayStart) {
    const double origin = length == kDay ? dayStart : 0;
    const int64_t first = cellOf(times.front(), origin, length);
    const int64_t last = cellOf(times.back(), origin, length);
    std::vector<IntervalRow> rows;
    rows.reserve(std::size_t(last - first + 1));
    std::size_t begin = 0;
    for (int64_t k = first; k <= last; ++k) {
        IntervalRow row;
        row.start = origin + double(k) * length;
        row.end = origin + double(k + 1) * length;
        const std::size_t end = calc.firstAtOrAfter(row.end, begin);
        row.figures = calc.figures(begin, end);
        row.coveragePercent = coverage(row.figures, length);
        rows.push_back(std::move(row));
        begin = end;
    }
    return rows;
}

std::vector<PeriodRow> periodTable(Calculator& calc, const std::vector<double>& times,
                                   const DayPeriods& p) {
    const double evening = afterDayStart(p.eveningStart, p.dayStart);
    const double night = afterDayStart(p.nightStart, p.dayStart);
    const double ldnNight = afterDayStart(p.ldnNightStart, p.dayStart);
    // The weights of Lden and Ldn: each part's hours out of 24.
    const double dayHours = evening / 3600, eveningHours = (night - evening) / 3600,
                 nightHours = (kDay - night) / 3600;
    const double ldnDayHours = ldnNight / 3600, ldnNightHours = (kDay - ldnNight) / 3600;

    const int64_t first = cellOf(times.front(), p.dayStart, kDay);
    const int64_t last = cellOf(times.back(), p.dayStart, kDay);
    std::vector<PeriodRow> rows;
    rows.reserve(std::size_t(last - first + 1));
    std::size_t begin = 0;
    for (int64_t k = first; k <= last; ++k) {
        PeriodRow row;
        row.start = p.dayStart + double(k) * kDay;
        const double s = row.start;
        const std::size_t eveningAt = calc.firstAtOrAfter(s + evening, begin);
        const std::size_t nightAt = calc.firstAtOrAfter(s + night, eveningAt);
        const std::size_t end = calc.firstAtOrAfter(s + kDay, nightAt);
        const std::size_t ldnNightAt = calc.firstAtOrAfter(s + ldnNight, begin);
        row.day = calc.figures(begin, eveningAt);
        row.evening = calc.figures(eveningAt, nightAt);
        row.night = calc.figures(nightAt, end);
        row.ldnDay = calc.figures(begin, ldnNightAt);
        row.ldnNight = calc.figures(ldnNightAt, end);
        row.dayCoverage = coverage(row.day, evening);
        row.eveningCoverage = coverage(row.evening, night - evening);
        row.nightCoverage = coverage(row.night, kDay - night);
        row.complete =
            row.dayCoverage >= 50 && row.eveningCoverage >= 50 && row.nightCoverage >= 50;
        if (row.complete) {
            row.lden = energyLevel((dayHours * *energyOf(row.day) +
                                    eveningHours * *energyOf(row.evening) * levelEnergy(5) +
                                    nightHours * *energyOf(row.night) * levelEnergy(10)) /
                                   24);
        }
        if (coverage(row.ldnDay, ldnNight) >= 50 && coverage(row.ldnNight, kDay - ldnNight) >= 50) {
            row.ldn = energyLevel((ldnDayHours * *energyOf(row.ldnDay) +
                                   ldnNightHours * *energyOf(row.ldnNight) * levelEnergy(10)) /
                                  24);
        }
        rows.push_back(std::move(row));
        begin = end;
    }
    return rows;
}

}  // namespace

const std::vector<int>& assessmentIntervals() {
    static const std::vector<int> intervals{60, 300, 600, 900, 1800, 3600, kDay};
    return intervals;
}

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
    const int length = options.intervalSeconds;
    if (length < 0 || (length > 0 && kDay % length != 0))
        return refuse(
            QStringLiteral("an interval of %1 s does not divide 24 hours evenly").arg(length));
    if (!std::isfinite(options.threshold) || options.threshold < 0 || options.threshold > 200)
        return refuse(
            QStringLiteral("the threshold %1 dB is outside 0 .. 200 dB").arg(options.threshold));
    if (!std::isfinite(options.minDurationSeconds) || options.minDurationSeconds < 0)
        return refuse(QStringLiteral("the minimum duration %1 s is not a duration")
                          .arg(options.minDurationSeconds));
    if (auto message = checkPeriods(options.periods)) return refuse(*message);

    const double span = times.back() - times.front();
    Assessment a;
    {
        std::vector<double> spacings;
        spacings.reserve(n - 1);
        for (std::size_t i = 1; i < n; ++i)
            if (times[i] > times[i - 1]) spacings.push_back(times[i] - times[i - 1]);
        if (spacings.empty()) return refuse(QStringLiteral("all samples have the same time"));
        a.typicalSpacing = median(spacings);
    }

    auto rowsFor = [&](int seconds) {
        const double origin = seconds == kDay ? options.periods.dayStart : 0;
        return double(cellOf(times.back(), origin, seconds) -
                      cellOf(times.front(), origin, seconds) + 1);
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
    a.intervals = intervalTable(calc, times, a.intervalSeconds, options.periods.dayStart);
    a.periods = periodTable(calc, times, options.periods);
    a.exceedances = calc.exceedances(options.threshold, options.minDurationSeconds);
    return {std::move(a), std::nullopt};
}

}  // namespace kl516
