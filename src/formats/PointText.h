#pragma once

#include <QIODevice>
#include <QLocale>
#include <QString>
#include <functional>
#include <span>

#include "dataset/SerialDateTime.h"
#include "formats/FileProgress.h"
#include "formats/TextDialect.h"

namespace kl516 {

// Point text files: one line per point of a series, "date S time S level" (and "S level" of a
// second series when there is one), each line ended by CR LF, no header, S a tab or a comma:
// the program's own text dialect (formats/TextDialect.h), whose separator textFileSeparator
// gives by the file's name.

enum class PointDateStyle {
    Locale,  // the locale's short date
    Iso,     // yyyy-MM-dd, for tools and tests that must not depend on the locale
};

// The time of day of t rounded to the nearest millisecond: hours (24-hour clock), minutes and
// seconds with two digits each, then "." and the fraction of the second: "0" for a whole
// second ("14:03:07.0"), otherwise exactly three digits ("14:03:07.045", "14:03:07.100"), so
// that the text reads back as the same decimal fraction.
QString pointTextTime(SerialDateTime t);
// The same for a time of day given in milliseconds (0 .. 86 399 999), as ASCII into out, which
// takes 12 characters; returns the number written (10 or 12).
int pointTextTime(int msOfDay, char* out);

// One line without its line end. second is the level of the second series, or null. A level
// that is no level (the null value 9999, NaN) leaves its field empty. Dates have four-digit
// years.
QString pointTextLine(SerialDateTime t, float level, const float* second, QChar separator,
                      const QLocale& locale, PointDateStyle dateStyle);

// Writes the lines of the points in order, up to the last point that holds a time; points
// without one before it (time 0: a row of a list whose time could not be read) are left out
// and the points after them written. levels2, when not empty, is the second series and
// must be as long as levels. afterLine, when given, is called with the number of lines written
// so far and stops the writing when it returns false. Returns the number of lines written, or
// -1 when a write failed. Text goes out in the local 8-bit encoding.
qint64 writePointText(QIODevice& out, std::span<const double> times, std::span<const float> levels,
                      QChar separator, const QLocale& locale, PointDateStyle dateStyle,
                      std::span<const float> levels2 = {},
                      const std::function<bool(qint64)>& afterLine = {});

// The same into a file. progress, when given, gets the lines written (at most every 30 ms and
// at the end) and can cancel: the file then holds the lines written so far. A file that cannot
// be created or written is Failed with the reason, and an earlier file stays as it was.
FileWriteResult writePointTextFile(const QString& path, std::span<const double> times,
                                   std::span<const float> levels, QChar separator,
                                   const QLocale& locale, PointDateStyle dateStyle,
                                   std::span<const float> levels2 = {},
                                   FileProgress* progress = nullptr);

}  // namespace kl516
