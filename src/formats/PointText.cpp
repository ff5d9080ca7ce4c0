#include "formats/PointText.h"

#include <algorithm>
#include <cmath>

#include "formats/TextFileWriter.h"
#include "levels/LevelArithmetic.h"

namespace kl516 {

namespace {

// hh:mm:ss.f of a time of day: the fraction "0" for a whole second, otherwise three digits, so
// that ".045" reads back as 45 ms and not 450. Empty for an invalid time.
void appendTime(QString& out, QTime t) {
    if (!t.isValid()) return;
    char text[12];
    const auto two = [&](int at, int v) {
        text[at] = char('0' + v / 10);
        text[at + 1] = char('0' + v % 10);
    };
    two(0, t.hour());
    text[2] = ':';
    two(3, t.minute());
    text[5] = ':';
    two(6, t.second());
    text[8] = '.';
    qsizetype length = 10;
    const int ms = t.msec();
    if (ms == 0) {
        text[9] = '0';
    } else {
        text[9] = char('0' + ms / 100);
        two(10, ms % 100);
        length = 12;
    }
    out += QLatin1String(text, length);
}

// Builds point lines; keeps the locale set up and the text of the last date, since a file's
// points mostly share their day.
class PointLineFormatter {
  public:
    PointLineFormatter(QChar separator, const QLocale& locale, PointDateStyle dateStyle)
        : separator_(separator),
          locale_(locale),
          levels_(locale),
          iso_(dateStyle == PointDateStyle::Iso),
          dateFormat_(iso_ ? QStringLiteral("yyyy-MM-dd") : shortDateFormat(locale)) {
        levels_.setNumberOptions(levels_.numberOptions() | QLocale::OmitGroupSeparator);
    }

    QString line(SerialDateTime t, float level, const float* second) {
        // Date and time come from the same rounded value, so a time that rounds up to
        // midnight carries into the next day.
        const QDate date = dateOf(t);
        if (date != lastDate_ || lastDateText_.isNull()) {
            lastDate_ = date;
            lastDateText_ = iso_ ? date.toString(dateFormat_) : locale_.toString(date, dateFormat_);
            if (lastDateText_.isNull()) lastDateText_ = QStringLiteral("");
        }
        QString out;
        out.reserve(lastDateText_.size() + 32);
        out += lastDateText_;
        out += separator_;
        appendTime(out, timeOf(t));
        out += separator_;
        appendLevel(out, level);
        if (second) {
            out += separator_;
            appendLevel(out, *second);
        }
        return out;
    }

  private:
    // A point without a level (the null value, NaN) leaves its field empty.
    void appendLevel(QString& out, float level) const {
        if (hasLevel(level)) out += levels_.toString(double(level), 'f', 1);  // as formatLevel
    }

    QChar separator_;
    QLocale locale_;
    QLocale levels_;
    bool iso_;
    QString dateFormat_;
    QDate lastDate_;
    QString lastDateText_;
};

}  // namespace

bool hasPointTime(double t) {
    return t != 0.0 && std::isfinite(t);
}

QChar pointTextSeparator(const QString& path) {
    return path.right(3).compare(QLatin1String("csv"), Qt::CaseInsensitive) == 0
               ? QLatin1Char(',')
               : QLatin1Char('\t');
}

QString pointTextTime(SerialDateTime t) {
    QString text;
    appendTime(text, timeOf(t));
    return text;
}

QString pointTextLine(SerialDateTime t, float level, const float* second, QChar separator,
                      const QLocale& locale, PointDateStyle dateStyle) {
    return PointLineFormatter(separator, locale, dateStyle).line(t, level, second);
}

qint64 writePointText(QIODevice& out, std::span<const double> times, std::span<const float> levels,
                      QChar separator, const QLocale& locale, PointDateStyle dateStyle,
                      std::span<const float> levels2,
                      const std::function<bool(qint64)>& afterLine) {
    size_t n = std::min(times.size(), levels.size());
    const bool two = !levels2.empty() && levels2.size() >= n;
    // The unfilled points at the end are no part of the series; one without a time inside it
    // (a row whose time could not be read) is left out, and the points after it are written.
    while (n > 0 && !hasPointTime(times[n - 1])) --n;
    PointLineFormatter formatter(separator, locale, dateStyle);
    qint64 lines = 0;
    for (size_t i = 0; i < n; ++i) {
        if (!hasPointTime(times[i])) continue;
        QByteArray bytes =
            formatter.line(times[i], levels[i], two ? &levels2[i] : nullptr).toLocal8Bit();
        bytes += "\r\n";
        if (out.write(bytes) != bytes.size()) return -1;
        ++lines;
        if (afterLine && !afterLine(lines)) break;
    }
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
