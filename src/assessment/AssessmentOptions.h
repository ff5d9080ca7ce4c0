#pragma once

#include <QString>
#include <QStringView>
#include <optional>
#include <vector>

namespace kl516 {

// What the noise assessment is asked for, its defaults and its checks: the one home that the
// command-line options, the window's controls and the remembered settings all go through.

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

struct AssessmentOptions {
    int intervalSeconds = 0;  // 0: automatic, the shortest of 1 min, 15 min, 1 h giving <= 200 rows
    DayPeriods periods;
    double threshold = 70;          // dB, kLowestThreshold .. kHighestThreshold
    double minDurationSeconds = 0;  // 0 .. kLongestMinDuration
};

inline constexpr double kLowestThreshold = 0;
inline constexpr double kHighestThreshold = 200;
// The longest minimum duration of an exceedance that can be asked for: a day.
inline constexpr double kLongestMinDuration = 86400;

// The interval lengths offered, in seconds: 1, 5, 10, 15, 30, 60 minutes and 24 hours.
const std::vector<int>& assessmentIntervals();

// The name of an interval length, the same in every window, printout and output: "1 min",
// "15 min", "1 h", "24 h" (seconds that are no whole minute: "20 s").
QString intervalName(int seconds);
// The offered intervals by name: "1 min, 5 min, 10 min, 15 min, 30 min, 1 h or 24 h".
QString offeredIntervalNames();

// A duration as people type it: a number with an optional unit s, m, min or h, a blank between
// them allowed ("10s", "2 m", "15 min", "1.5h", "90"; no unit: seconds). It reads every interval
// name back. Nothing for anything else.
std::optional<double> parseDuration(QStringView text);
// An offered interval by its name or any spelling parseDuration reads ("15 min", "15m", "1h",
// "900"); nothing for anything else.
std::optional<int> parseInterval(QStringView text);

// Seconds from the day start to a time of day, in 0 .. 86 399: where a part of the day starts
// within the 24 hours from the day start.
int afterDayStart(int timeOfDay, int dayStart);

// The checks: each says what is wrong, or nothing when the value may be used.
// An interval the assessment can take: 0 (automatic) or a length that divides 24 hours.
std::optional<QString> checkIntervalLength(int seconds);
// An interval the user chose: 0 (automatic) or one of assessmentIntervals().
std::optional<QString> checkChosenInterval(int seconds);
// A threshold in kLowestThreshold .. kHighestThreshold dB.
std::optional<QString> checkThreshold(double threshold);
// A minimum duration in 0 .. kLongestMinDuration seconds.
std::optional<QString> checkMinDuration(double seconds);
// Day periods within a day and in order round the clock from the day start: day, evening,
// night; the night of Ldn not starting with the day.
std::optional<QString> checkDayPeriods(const DayPeriods& periods);
// The interval's length, the threshold, the minimum duration and the day periods.
std::optional<QString> checkAssessmentOptions(const AssessmentOptions& options);

}  // namespace kl516
