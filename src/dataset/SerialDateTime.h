#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace kl516 {

// Every date-time of the system: days since 30 December 1899 00:00 local time; the fraction is
// the time of day. Values carry no time zone: they are local wall-clock times.
using SerialDateTime = double;

inline constexpr double kOneSecond = 1.0 / 86400;

// The date and time fields of dt as a SerialDateTime, with no time-zone conversion. A QDateTime
// without a valid date gives 0.
SerialDateTime toSerialDateTime(const QDateTime& dt);
SerialDateTime toSerialDateTime(QDate date, QTime time);

// The local wall-clock QDateTime of a SerialDateTime, rounded to the nearest millisecond. As for
// the original format, a negative value counts its whole days backwards and its fraction forwards
// from that day (-1.25 is 29 December 1899 06:00).
QDateTime fromSerialDateTime(SerialDateTime t);
// The date and the time of day of a SerialDateTime, the parts of fromSerialDateTime. They stay
// valid for a wall-clock time that the local time zone skips (a daylight-saving gap), where the
// QDateTime does not.
QDate dateOf(SerialDateTime t);
QTime timeOf(SerialDateTime t);

// A rate, a duration or a percentage with exactly one decimal in the locale's decimal
// separator, without group separators: "2.5", "0,1", "1234.5". Levels are written by
// levelText (levels/LevelFigures.h), which rounds them all alike.
QString oneDecimalText(double value, const QLocale& locale);

// The locale's short date, a blank and its long time: "15/01/2024 14:21:36".
QString formatDateTime(SerialDateTime t, const QLocale& locale);

// The locale's long time format without any time-zone part: "14:21:36", "2:21:36 PM".
QString formatLongTime(SerialDateTime t, const QLocale& locale);

// The locale's short date with a four-digit year: "15/01/2024", "1/15/2024", "15.01.2024".
QString formatShortDate(SerialDateTime t, const QLocale& locale);

// The locale's short date format with a two-digit year ("yy") widened to four ("yyyy"), so that
// no text the program writes loses the century: "dd.MM.yy" gives "dd.MM.yyyy".
QString shortDateFormat(const QLocale& locale);
QString withFourDigitYear(const QString& dateFormat);

// The year of a two-digit year yy (0 .. 99): the one within 80 years before and 19 after
// currentYear, so that "99" read in 2025 is 1999 and "30" is 2030.
int yearOfTwoDigits(int yy, int currentYear);

// The locale's long time format string with its time-zone fields removed.
QString longTimeFormatWithoutZone(const QLocale& locale);

}  // namespace kl516
