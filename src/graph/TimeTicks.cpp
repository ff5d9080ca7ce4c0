#include "graph/TimeTicks.h"

#include <QDateTime>
#include <cmath>

#include "dataset/SerialDateTime.h"

namespace kl516 {

namespace {

constexpr double kMinute = 60;
constexpr double kHour = 3600;
constexpr double kDay = 86400;

// Every step a label can state exactly, finest first.
const std::vector<double>& ladder() {
    static const std::vector<double> steps = [] {
        std::vector<double> s = {0.1, 0.2, 0.5, 1, 2, 5, 10, 15, 30};
        for (double m : {1, 2, 5, 10, 15, 30}) s.push_back(m * kMinute);
        for (double h : {1, 2, 3, 6, 12}) s.push_back(h * kHour);
        for (double decade = 1; decade <= 1e9; decade *= 10)
            for (double d : {1, 2, 5}) s.push_back(d * decade * kDay);
        return s;
    }();
    return steps;
}

// A time format without its time-zone fields (t, tt, ...), outside quotes.
QString withoutZone(const QString& format) {
    QString out;
    bool quoted = false;
    for (QChar c : format) {
        if (c == u'\'') quoted = !quoted;
        if (!quoted && c == u't') continue;
        out += c;
    }
    out = out.trimmed();
    while (out.contains(QStringLiteral("  ")))
        out.replace(QStringLiteral("  "), QStringLiteral(" "));
    return out;
}

// Where the seconds field of a time format ends (outside quotes); -1 without one.
qsizetype secondsEnd(const QString& format) {
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == u'\'') quoted = !quoted;
        if (quoted || c != u's') continue;
        while (i + 1 < format.size() && format[i + 1] == u's') ++i;
        return i + 1;
    }
    return -1;
}

}  // namespace

TimeLabelUnit timeLabelUnit(double stepSeconds) {
    if (stepSeconds < 1) return TimeLabelUnit::Tenths;
    if (stepSeconds < kMinute) return TimeLabelUnit::Seconds;
    if (stepSeconds < kDay) return TimeLabelUnit::Minutes;
    return TimeLabelUnit::Days;
}

double chooseTimeTickStep(double spanSeconds, double axisPixels, const TimeLabelRoom& room) {
    const std::vector<double>& steps = ladder();
    if (!(spanSeconds > 0) || !std::isfinite(spanSeconds)) return steps.front();
    for (double step : steps) {
        const double apart = axisPixels * step / spanSeconds;
        if (apart >= room[size_t(timeLabelUnit(step))]) return step;
    }
    return steps.back();
}

std::vector<double> timeTicks(double lower, double upper, double stepSeconds, int maxTicks) {
    if (!(stepSeconds > 0) || !std::isfinite(stepSeconds) || !std::isfinite(lower) ||
        !std::isfinite(upper) || upper < lower)
        return {};
    // A bound lying on a multiple up to rounding counts as on it.
    const double first = std::ceil(lower / stepSeconds - 1e-6);
    const double last = std::floor(upper / stepSeconds + 1e-6);
    if (!(last >= first) || last - first + 1 > maxTicks) return {};
    // Steps below a second are whole tenths: k tenths / 10 is the double nearest the decimal.
    const double tenths = std::round(stepSeconds * 10);
    const bool inTenths = stepSeconds < 1 && std::abs(stepSeconds * 10 - tenths) < 1e-9;
    std::vector<double> ticks;
    ticks.reserve(size_t(last - first + 1));
    for (double k = first; k <= last; ++k)
        ticks.push_back(inTenths ? k * tenths / 10 : k * stepSeconds);
    return ticks;
}

int timeSubTickCount(double stepSeconds) {
    const std::vector<double>& steps = ladder();
    // The largest ladder step that divides the step into at most six parts.
    for (auto it = steps.rbegin(); it != steps.rend(); ++it) {
        if (*it >= stepSeconds) continue;
        const double parts = stepSeconds / *it;
        if (parts > 6) break;
        if (std::abs(parts - std::round(parts)) < 1e-9) return int(std::round(parts)) - 1;
    }
    return 0;
}

bool spansDays(double lower, double upper) {
    return std::floor(lower / kDay) != std::floor(upper / kDay);
}

QString timeTickLabel(double key, TimeLabelUnit unit, bool spansDays, const QLocale& locale) {
    if (!std::isfinite(key) || std::abs(key) > 1e14) return QString();
    const qint64 ms = std::llround(key * 1000);
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
    // The whole year: a printed graph of old data must not leave its century to a guess.
    const QString date = locale.toString(at.date(), shortDateFormat(locale));
    if (unit == TimeLabelUnit::Days) return date;

    QString time;
    if (unit == TimeLabelUnit::Minutes) {
        time = locale.toString(at.time(), withoutZone(locale.timeFormat(QLocale::ShortFormat)));
    } else if (unit == TimeLabelUnit::Seconds) {
        time = locale.toString(at.time(), longTimeFormatWithoutZone(locale));
    } else {
        // The tenth goes right after the seconds, with the locale's decimal separator.
        QString format = longTimeFormatWithoutZone(locale);
        const QChar marker(0x1);
        const qsizetype end = secondsEnd(format);
        format.insert(end < 0 ? format.size() : end, marker);
        const qint64 tenth = ((ms % 1000 + 1000) % 1000) / 100;
        time = locale.toString(at.time(), format)
                   .replace(marker, locale.decimalPoint() + QString::number(tenth));
    }
    return spansDays ? date + QLatin1Char('\n') + time : time;
}

}  // namespace kl516
