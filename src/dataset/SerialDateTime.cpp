#include "dataset/SerialDateTime.h"

#include <cmath>
#include <cstdint>

namespace kl516 {

namespace {

// 30 December 1899 by its Julian day: a constant, so file-level constants of other files that
// are computed with toSerialDateTime at start-up never see an epoch not yet constructed.
constexpr QDate kEpoch = QDate::fromJulianDay(2415019);
constexpr int64_t kMsPerDay = 86400000;

// Whole days from the epoch and milliseconds into the day, rounded to the millisecond.
bool split(SerialDateTime t, int64_t& days, int& ms) {
    if (!std::isfinite(t) || std::fabs(t) > 1e8) return false;
    double whole = std::trunc(t);
    int64_t msOfDay = std::llround(std::fabs(t - whole) * double(kMsPerDay));
    if (msOfDay >= kMsPerDay) {  // rounding reached the next midnight
        msOfDay -= kMsPerDay;
        whole += t < 0 ? -1 : 1;
    }
    days = int64_t(whole);
    ms = int(msOfDay);
    return true;
}

}  // namespace

SerialDateTime toSerialDateTime(QDate date, QTime time) {
    if (!date.isValid()) return 0.0;
    const double days = double(kEpoch.daysTo(date));
    const double fraction = time.isValid() ? time.msecsSinceStartOfDay() / double(kMsPerDay) : 0.0;
    // Before the epoch the whole days count backwards while the time of day still counts
    // forwards, so the fraction moves away from zero.
    return days < 0 ? days - fraction : days + fraction;
}

SerialDateTime toSerialDateTime(const QDateTime& dt) {
    // A local time in a daylight-saving gap makes the QDateTime invalid, but its fields remain.
    return toSerialDateTime(dt.date(), dt.time());
}

QDate dateOf(SerialDateTime t) {
    int64_t days;
    int ms;
    return split(t, days, ms) ? kEpoch.addDays(days) : QDate();
}

QTime timeOf(SerialDateTime t) {
    int64_t days;
    int ms;
    return split(t, days, ms) ? QTime::fromMSecsSinceStartOfDay(ms) : QTime();
}

QDateTime fromSerialDateTime(SerialDateTime t) {
    return QDateTime(dateOf(t), timeOf(t));
}

QString oneDecimalText(double value, const QLocale& locale) {
    QLocale plain = locale;
    plain.setNumberOptions(plain.numberOptions() | QLocale::OmitGroupSeparator);
    return plain.toString(value, 'f', 1);
}

QString longTimeFormatWithoutZone(const QLocale& locale) {
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == u'\'') quoted = !quoted;
        if (!quoted && c == u't') continue;  // t, tt, ttt, tttt: the time zone
        out += c;
    }
    // Removing the zone leaves blanks where it was separated from the time.
    out = out.trimmed();
    while (out.contains(QStringLiteral("  ")))
        out.replace(QStringLiteral("  "), QStringLiteral(" "));
    return out;
}

QString formatLongTime(SerialDateTime t, const QLocale& locale) {
    return locale.toString(timeOf(t), longTimeFormatWithoutZone(locale));
}

QString withFourDigitYear(const QString& format) {
    QString out;
    out.reserve(format.size() + 2);
    bool quoted = false;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format[i];
        if (c == u'\'') {
            quoted = !quoted;
            out += c;
            ++i;
            continue;
        }
        qsizetype run = 1;
        while (i + run < format.size() && format[i + run] == c) ++run;
        if (!quoted && c == u'y' && run == 2)
            out += QStringLiteral("yyyy");
        else
            out += format.mid(i, run);
        i += run;
    }
    return out;
}

QString shortDateFormat(const QLocale& locale) {
    return withFourDigitYear(locale.dateFormat(QLocale::ShortFormat));
}

int yearOfTwoDigits(int yy, int currentYear) {
    const int earliest = currentYear - 80;
    const int offset = ((yy - earliest) % 100 + 100) % 100;
    return earliest + offset;
}

QString formatShortDate(SerialDateTime t, const QLocale& locale) {
    return locale.toString(dateOf(t), shortDateFormat(locale));
}

QString formatDateTime(SerialDateTime t, const QLocale& locale) {
    return formatShortDate(t, locale) + QLatin1Char(' ') + formatLongTime(t, locale);
}

}  // namespace kl516
