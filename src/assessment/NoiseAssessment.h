#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "assessment/AssessmentOptions.h"
#include "assessment/ExceedanceDetector.h"
#include "dataset/WallClock.h"
#include "levels/LevelFigures.h"

namespace kl516 {

// What people who measure noise do next with a series of levels against time: levels per
// clock-aligned interval, the day-evening-night levels and the exceedances of a threshold.
//
// Times are instants (UTC seconds since 1970, as a measured series has them); intervals and day
// periods follow the local clock on the wall: where the clocks change, an hour interval keeps
// its wall-clock bounds (the repeated hour is two rows) and a day period lasts 23 or 25 hours.
// Levels are dB; a sample "without level" is the null value or anything not finite (see
// hasLevel).
//
// Each sample weighs by the time it represents: the time to the next sample, but at most twice
// the series' typical spacing (its median spacing); the last sample represents the typical
// spacing. A longer gap is missing time, not level.

struct AssessmentSeries {
    std::vector<double> times;  // instants, not decreasing
    std::vector<float> levels;  // same length
    // The clock the intervals and periods follow; nullptr: the system's (TZ).
    const LocalClock* clock = nullptr;
};

// A refusal of bad input: the message says what is wrong (and which row, counted from 1).
struct AssessmentError {
    QString message;
};

struct IntervalRow {
    double start = 0, end = 0;  // instants
    LevelFigures figures;
    double coveragePercent = 0;  // measuredSeconds / (end - start) * 100
};

struct PeriodRow {
    double start = 0;  // the instant the period starts (the day start of its first day)
    double end = 0;    // the next day start: 23, 24 or 25 hours later
    LevelFigures day, evening, night;                                // Lden's three parts
    LevelFigures ldnDay, ldnNight;                                   // Ldn's two parts
    double dayCoverage = 0, eveningCoverage = 0, nightCoverage = 0;  // percent of each part
    bool complete = false;       // every part of Lden has coverage >= 50 %
    std::optional<double> lden;  // only for a complete period
    std::optional<double> ldn;   // only when both parts of Ldn have coverage >= 50 %
};

struct Assessment {
    int intervalSeconds = 0;    // the interval length used
    double typicalSpacing = 0;  // the median spacing of the series, seconds
    std::vector<IntervalRow> intervals;
    std::vector<PeriodRow> periods;
    ExceedanceResult exceedances;
};

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
