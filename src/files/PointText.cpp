#include "files/PointText.h"

#include <QSaveFile>

#include "files/SafeWrite.h"
#include <algorithm>

namespace kl516 {

namespace {

QString twoDigits(int v) {
    return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
}

QString timeText(const QTime& t) {
    return twoDigits(t.hour()) + QLatin1Char(':') + twoDigits(t.minute()) + QLatin1Char(':') +
           twoDigits(t.second()) + QLatin1Char('.') + QString::number(t.msec());
}

}  // namespace

QChar pointTextSeparator(const QString& path) {
    return path.right(3).compare(QLatin1String("csv"), Qt::CaseInsensitive) == 0
               ? QLatin1Char(',')
               : QLatin1Char('\t');
}

QString pointTextTime(TDateTime t) {
    return timeText(fromTDateTime(t).time());
}

QString pointTextLine(TDateTime t, float level, const float* second, QChar separator,
                      const QLocale& locale, PointDateStyle dateStyle) {
    // Date and time come from the same rounded value, so a time that rounds up to midnight
    // carries into the next day.
    const QDateTime when = fromTDateTime(t);
    QString line = dateStyle == PointDateStyle::Iso
                       ? when.date().toString(QStringLiteral("yyyy-MM-dd"))
                       : locale.toString(when.date(), QLocale::ShortFormat);
    line += separator;
    line += timeText(when.time());
    line += separator;
    line += formatLevel(level, locale);
    if (second) {
        line += separator;
        line += formatLevel(*second, locale);
    }
    return line;
}

qint64 writePointText(QIODevice& out, std::span<const double> times, std::span<const float> levels,
                      QChar separator, const QLocale& locale, PointDateStyle dateStyle,
                      std::span<const float> levels2,
                      const std::function<bool(qint64)>& afterLine) {
    const size_t n = std::min(times.size(), levels.size());
    const bool two = !levels2.empty() && levels2.size() >= n;
    qint64 lines = 0;
    for (size_t i = 0; i < n; ++i) {
        if (times[i] == 0.0) break;
        QByteArray bytes = pointTextLine(times[i], levels[i], two ? &levels2[i] : nullptr,
                                         separator, locale, dateStyle)
                               .toLocal8Bit();
        bytes += "\r\n";
        if (out.write(bytes) != bytes.size()) return -1;
        ++lines;
        if (afterLine && !afterLine(lines)) break;
    }
    return lines;
}

bool writePointTextFile(const QString& path, std::span<const double> times,
                        std::span<const float> levels, QChar separator, const QLocale& locale,
                        PointDateStyle dateStyle, std::span<const float> levels2) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (writePointText(file, times, levels, separator, locale, dateStyle, levels2) < 0) {
        file.cancelWriting();
        file.commit();
        return false;
    }
    return commitFully(file);
}

}  // namespace kl516
