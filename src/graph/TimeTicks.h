#pragma once

#include <QLocale>
#include <QString>
#include <array>
#include <vector>

namespace kl516 {

// Ticks of a time axis whose keys are wall-clock seconds since 1970-01-01 00:00 (kept as UTC, so
// no time-zone shift applies). Every step is one the labels can state exactly, and every tick
// lies on a whole multiple of its step, so a 15 s step shows 12:24:45, 12:25:00, 12:25:15.

// What the labels must state for a step: tenths of a second (steps below 1 s), seconds (below a
// minute), minutes (below a day) or the date only (whole days).
enum class TimeLabelUnit { Tenths = 0, Seconds = 1, Minutes = 2, Days = 3 };

TimeLabelUnit timeLabelUnit(double stepSeconds);

// The room along the axis that one label of each unit needs, its width plus the space to the
// next label, in pixels; indexed by TimeLabelUnit.
using TimeLabelRoom = std::array<double, 4>;

// The finest step, in seconds, whose ticks lie at least one label's room apart on an axis of
// `axisPixels` showing `spanSeconds`. Steps: 0.1, 0.2, 0.5, 1, 2, 5, 10, 15, 30 s; 1, 2, 5, 10,
// 15, 30 min; 1, 2, 3, 6, 12 h; 1, 2, 5, 10, 20, 50 ... days. An empty or unusable span gives
// the finest step; an axis without room gives the coarsest step that still leaves a tick or two.
double chooseTimeTickStep(double spanSeconds, double axisPixels, const TimeLabelRoom& room);

// The whole multiples of `stepSeconds` from `lower` to `upper`, both included; empty for an
// unusable range or step, or when there would be more than `maxTicks`.
std::vector<double> timeTicks(double lower, double upper, double stepSeconds, int maxTicks = 10000);

// Minor ticks between two ticks: the step divided into whole ladder steps (15 s into three of
// 5 s, so 2), or 0 where it cannot be.
int timeSubTickCount(double stepSeconds);

// Whether the keys `lower` and `upper` fall on different days.
bool spansDays(double lower, double upper);

// The label of a tick at `key`: the time with seconds (and tenths where the unit is Tenths) or
// hours and minutes in the locale's long or short time format, or the locale's short date (with
// a four-digit year) for Days; with that date on a line above the time when the axis spans days.
QString timeTickLabel(double key, TimeLabelUnit unit, bool spansDays, const QLocale& locale);

}  // namespace kl516
