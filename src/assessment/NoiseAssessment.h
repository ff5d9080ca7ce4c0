#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace kl516 {

// What people who measure noise do next with a series of levels against time: levels per
// clock-aligned interval, the day-evening-night levels and the exceedances of a threshold.
//
// Times are seconds since 1970-01-01 00:00 in LOCAL time (wall-clock seconds: a day is always
// 86 400 of them), so that intervals and day periods follow the clock on the wall. Levels are
// dB; a sample "without level" is the null value or anything not finite (see hasLevel).
//
// Each sample weighs by the time it represents: the time to the next sample, but at most twice
// the series' typical spacing (its median spacing); the last sample represents the typical
// spacing. A longer gap is missing time, not level.

struct AssessmentSeries {
    std::vector<double> times;  // local wall-clock seconds since the epoch, not decreasing
    std::vector<float> levels;  // same length
};

// A refusal of bad input: the message says what is wrong (and which row, counted from 1).
struct AssessmentError {
    QString message;
};

// Figures over a set of samples; empty (no value) when no sample had a level.
struct LevelFigures {
    std::optional<double> leq, lmax, lmin, l10, l50, l90;
    int64_t samples = 0;        // samples with a level
    double coveredSeconds = 0;  // the time the samples with a level represent
};

struct IntervalRow {
    double start = 0, end = 0;  // local wall-clock seconds
    LevelFigures figures;
    double coveragePercent = 0;  // coveredSeconds / (end - start) * 100
};

// The day periods, as seconds after local midnight (0 .. 86 400). Defaults: day 07:00, evening
// 19:00, night 23:00 (Lden) and, for Ldn, day 07:00-22:00 and night 22:00-07:00. The parts follow
// each other round the clock from the day start (a night may start after midnight); Lden and Ldn
// weigh each part by its hours.
struct DayPeriods {
    int dayStart = 7 * 3600;
    int eveningStart = 19 * 3600;
    int nightStart = 23 * 3600;
    int ldnNightStart = 22 * 3600;
};

struct PeriodRow {
    double start = 0;  // the 24-hour period's start (the day start of its first day)
    LevelFigures day, evening, night;                                // Lden's three parts
    LevelFigures ldnDay, ldnNight;                                   // Ldn's two parts
    double dayCoverage = 0, eveningCoverage = 0, nightCoverage = 0;  // percent of each part
    bool complete = false;       // every part of Lden has coverage >= 50 %
    std::optional<double> lden;  // only for a complete period
    std::optional<double> ldn;   // only when both parts of Ldn have coverage >= 50 %
};

// A run of samples above the threshold, one after the other; a sample without level, or a gap
// longer than a sample represents (twice the typical spacing), ends it.
struct ExceedanceEvent {
    double start = 0;     // time of its first sample
    double duration = 0;  // last sample's time - first's + the typical spacing
    double lmax = 0, leq = 0;
};

struct ExceedanceResult {
    std::vector<ExceedanceEvent> events;
    double secondsAbove = 0;     // the sum of the events' durations
    double measuredSeconds = 0;  // the time the samples with a level represent
    double percentAbove = 0;     // secondsAbove / measuredSeconds * 100
};

struct AssessmentOptions {
    int intervalSeconds =
        0;  // 0: the default (the shortest of 1 min, 15 min, 1 h giving <= 200 rows)
    DayPeriods periods;
    double threshold = 70;          // dB, 0..200
    double minDurationSeconds = 0;  // not negative
};

struct Assessment {
    int intervalSeconds = 0;    // the interval length used
    double typicalSpacing = 0;  // the median spacing of the series, seconds
    std::vector<IntervalRow> intervals;
    std::vector<PeriodRow> periods;
    ExceedanceResult exceedances;
};

// The interval lengths offered, in seconds: 1, 5, 10, 15, 30, 60 minutes and 24 hours.
const std::vector<int>& assessmentIntervals();

// Checks the series and options (at least two samples, times finite and not decreasing, an
// interval that divides 24 h, a threshold in 0..200 dB, day periods in order within a day, at
// most a million interval rows) and computes all three tables. An error when the input is
// refused; nothing is computed from half a series. Samples sharing a time weigh nothing; the
// typical spacing is the median of the positive spacings.
struct AssessmentOutcome {
    std::optional<Assessment> assessment;
    std::optional<AssessmentError> error;
};
AssessmentOutcome assessNoise(const AssessmentSeries& series, const AssessmentOptions& options);

}  // namespace kl516
