#include "formats/PointText.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "dataset/MeasuredSeries.h"
#include "formats/TextFileWriter.h"
#include "levels/LevelArithmetic.h"
#include "levels/LevelFigures.h"

namespace kl516 {

namespace {

// hh:mm:ss.f of a time of day: the fraction "0" for a whole second, otherwise three digits, so
// that ".045" reads back as 45 ms and not 450.
int timeText(int msOfDay, char* text) {
    const auto two = [&](int at, int v) {
        text[at] = char('0' + v / 10);
        text[at + 1] = char('0' + v % 10);
    };
    const int ms = msOfDay % 1000;
    const int seconds = msOfDay / 1000;
    two(0, seconds / 3600);
    text[2] = ':';
    two(3, seconds / 60 % 60);
    text[5] = ':';
    two(6, seconds % 60);
    text[8] = '.';
    if (ms == 0) {
        text[9] = '0';
        return 10;
    }
    text[9] = char('0' + ms / 100);
    two(10, ms % 100);
    return 12;
}

// Empty for an invalid time.
void appendTime(QString& out, QTime t) {
    if (!t.isValid()) return;
    char text[12];
    out += QLatin1String(text, timeText(t.msecsSinceStartOfDay(), text));
}

// Builds point lines in the local 8-bit encoding; keeps the locale set up and the text of the
// last date, since a file's points mostly share their day.
class PointLineFormatter {
  public:
    PointLineFormatter(QChar separator, const QLocale& locale, PointDateStyle dateStyle)
        : locale_(locale),
          levels_(locale),
          iso_(dateStyle == PointDateStyle::Iso),
          dateFormat_(iso_ ? QStringLiteral("yyyy-MM-dd") : shortDateFormat(locale)) {
        levels_.setNumberOptions(levels_.numberOptions() | QLocale::OmitGroupSeparator);
        // Numbers are written by hand where the locale writes them with ASCII digits.
        plainDigits_ = levels_.zeroDigit() == QLatin1String("0");
        decimal_ = levels_.decimalPoint().toLocal8Bit();
        separatorBytes_ = QString(separator).toLocal8Bit();
    }

    void append(QByteArray& out, SerialDateTime t, float level, const float* second) {
        // Date and time come from the same rounded value, so a time that rounds up to
        // midnight carries into the next day.
        const QDate date = dateOf(t);
        if (date != lastDate_ || !haveDate_) {
            lastDate_ = date;
            haveDate_ = true;
            const QString text =
                iso_ ? date.toString(dateFormat_) : locale_.toString(date, dateFormat_);
            lastDateText_ = text.toLocal8Bit();
        }
        out += lastDateText_;
        out += separatorBytes_;
        const QTime time = timeOf(t);
        if (time.isValid()) {
            char text[12];
            out.append(text, timeText(time.msecsSinceStartOfDay(), text));
        }
        out += separatorBytes_;
        appendLevel(out, level);
        if (second) {
            out += separatorBytes_;
            appendLevel(out, *second);
        }
    }

  private:
    // A point without a level (the null value, NaN) leaves its field empty; a level is written
    // as levelText writes it: one decimal by the one rounding of levels, in the locale's form.
    void appendLevel(QByteArray& out, float level) const {
        if (!hasLevel(level)) return;
        const double v = level;
        // Digits 0-9 and a level that rounds to no less than zero: composed here, fast; the
        // rest (a minus sign is the locale's) by levelText.
        const int64_t tenths = plainDigits_ && std::abs(v) < 1e12 ? levelTenths(v) : -1;
        if (tenths >= 0) {
            const uint64_t magnitude = uint64_t(tenths);
            char text[24];
            const auto [end, error] = std::to_chars(text, text + sizeof text, magnitude / 10);
            if (error == std::errc()) {
                out.append(text, end - text);
                out += decimal_;
                out += char('0' + magnitude % 10);
                return;
            }
        }
        out += levelText(v, levels_).toLocal8Bit();
    }

    QLocale locale_;
    QLocale levels_;
    bool iso_;
    QString dateFormat_;
    bool plainDigits_ = false;
    QByteArray decimal_;
    QByteArray separatorBytes_;
    QDate lastDate_;
    bool haveDate_ = false;
    QByteArray lastDateText_;
};

}  // namespace

QString pointTextTime(SerialDateTime t) {
    QString text;
    appendTime(text, timeOf(t));
    return text;
}

int pointTextTime(int msOfDay, char* out) {
    return timeText(msOfDay, out);
}

QString pointTextLine(SerialDateTime t, float level, const float* second, QChar separator,
                      const QLocale& locale, PointDateStyle dateStyle) {
    QByteArray line;
    PointLineFormatter(separator, locale, dateStyle).append(line, t, level, second);
    return QString::fromLocal8Bit(line);
}

qint64 writePointText(QIODevice& out, std::span<const double> times, std::span<const float> levels,
                      QChar separator, const QLocale& locale, PointDateStyle dateStyle,
                      std::span<const float> levels2,
                      const std::function<bool(qint64)>& afterLine) {
    size_t n = std::min(times.size(), levels.size());
    const bool two = !levels2.empty() && levels2.size() >= n;
    // The unfilled points at the end are no part of the series; one without a time inside it
    // (a row whose time could not be read) is left out, and the points after it are written.
    while (n > 0 && !hasSerialTime(times[n - 1])) --n;
    PointLineFormatter formatter(separator, locale, dateStyle);
    // Lines go out in large blocks; the last one when the writing ends, also on Cancel.
    constexpr qsizetype kBlock = 256 * 1024;
    QByteArray block;
    block.reserve(kBlock + 1024);
    qint64 lines = 0;
    for (size_t i = 0; i < n; ++i) {
        if (!hasSerialTime(times[i])) continue;
        formatter.append(block, times[i], levels[i], two ? &levels2[i] : nullptr);
        block.append(kTextLineEnd);
        ++lines;
        if (block.size() >= kBlock) {
            if (out.write(block) != block.size()) return -1;
            block.truncate(0);  // keeps its room
        }
        if (afterLine && !afterLine(lines)) break;
    }
    if (!block.isEmpty() && out.write(block) != block.size()) return -1;
    return lines;
}

FileWriteResult writePointTextFile(const QString& path, std::span<const double> times,
                                   std::span<const float> levels, QChar separator,
                                   const QLocale& locale, PointDateStyle dateStyle,
                                   std::span<const float> levels2, FileProgress* progress) {
    return writeTextFile(path, progress,
                         [&](QIODevice& out, const std::function<bool(qint64)>& afterLine) {
                             return writePointText(out, times, levels, separator, locale, dateStyle,
                                                   levels2, afterLine);
                         });
}

}  // namespace kl516
