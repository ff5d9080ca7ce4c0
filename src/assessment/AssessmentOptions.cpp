#include "assessment/AssessmentOptions.h"

#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <cmath>

#include "dataset/WallClock.h"

namespace kl516 {

namespace {

constexpr int kDay = 86400;

}  // namespace

const std::vector<int>& assessmentIntervals() {
    static const std::vector<int> intervals{60, 300, 600, 900, 1800, 3600, kDay};
    return intervals;
}

QString intervalName(int seconds) {
    if (seconds > 0 && seconds % 3600 == 0) return QStringLiteral("%1 h").arg(seconds / 3600);
    if (seconds > 0 && seconds % 60 == 0) return QStringLiteral("%1 min").arg(seconds / 60);
    return QStringLiteral("%1 s").arg(seconds);
}

QString offeredIntervalNames() {
    QStringList names;
    for (int s : assessmentIntervals()) names << intervalName(s);
    const QString last = names.takeLast();
    return names.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

std::optional<double> parseDuration(QStringView text) {
    static const QRegularExpression pattern(
        QStringLiteral("^([0-9]+(?:\\.[0-9]+)?) ?(s|m|min|h)?$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = pattern.match(text.trimmed().toString());
    if (!m.hasMatch()) return std::nullopt;
    const double value = m.captured(1).toDouble();
    const QString unit = m.captured(2).toLower();
    if (unit == QLatin1String("h")) return value * 3600;
    if (unit == QLatin1String("m") || unit == QLatin1String("min")) return value * 60;
    return value;
}

std::optional<int> parseInterval(QStringView text) {
    const std::optional<double> seconds = parseDuration(text);
    if (!seconds) return std::nullopt;
    for (int offered : assessmentIntervals())
        if (*seconds == offered) return offered;
    return std::nullopt;
}

int afterDayStart(int timeOfDay, int dayStart) {
    return (((timeOfDay - dayStart) % kDay) + kDay) % kDay;
}

std::optional<QString> checkIntervalLength(int seconds) {
    if (seconds < 0 || (seconds > 0 && kDay % seconds != 0))
        return QStringLiteral("an interval of %1 s does not divide 24 hours evenly").arg(seconds);
    return std::nullopt;
}

std::optional<QString> checkChosenInterval(int seconds) {
    const std::vector<int>& offered = assessmentIntervals();
    if (seconds == 0 || std::find(offered.begin(), offered.end(), seconds) != offered.end())
        return std::nullopt;
    return QStringLiteral("the interval is %1, not %2")
        .arg(offeredIntervalNames(), intervalName(seconds));
}

std::optional<QString> checkThreshold(double threshold) {
    if (std::isfinite(threshold) && threshold >= kLowestThreshold && threshold <= kHighestThreshold)
        return std::nullopt;
    return QStringLiteral("the threshold %1 dB is outside %2 .. %3 dB")
        .arg(threshold)
        .arg(kLowestThreshold)
        .arg(kHighestThreshold);
}

std::optional<QString> checkMinDuration(double seconds) {
    if (std::isfinite(seconds) && seconds >= 0 && seconds <= kLongestMinDuration)
        return std::nullopt;
    return QStringLiteral("the minimum duration %1 s is outside 0 .. %2 s")
        .arg(seconds)
        .arg(kLongestMinDuration);
}

std::optional<QString> checkDayPeriods(const DayPeriods& p) {
    for (int t : {p.dayStart, p.eveningStart, p.nightStart, p.ldnNightStart})
        if (t < 0 || t > kDay) return QStringLiteral("a day period starts outside 00:00 .. 24:00");
    // The parts follow each other round the clock: day, evening, night, and the next day.
    const int evening = afterDayStart(p.eveningStart, p.dayStart);
    const int night = afterDayStart(p.nightStart, p.dayStart);
    if (evening == 0 || night <= evening)
        return QStringLiteral("the day periods are not in order: day %1, evening %2, night %3")
            .arg(timeOfDayText(p.dayStart % kDay), timeOfDayText(p.eveningStart % kDay),
                 timeOfDayText(p.nightStart % kDay));
    if (afterDayStart(p.ldnNightStart, p.dayStart) == 0)
        return QStringLiteral("the night of Ldn starts at %1, with the day")
            .arg(timeOfDayText(p.ldnNightStart % kDay));
    return std::nullopt;
}

std::optional<QString> checkAssessmentOptions(const AssessmentOptions& options) {
    if (auto message = checkIntervalLength(options.intervalSeconds)) return message;
    if (auto message = checkThreshold(options.threshold)) return message;
    if (auto message = checkMinDuration(options.minDurationSeconds)) return message;
    return checkDayPeriods(options.periods);
}

}  // namespace kl516
