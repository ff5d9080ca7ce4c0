#include "formats/SpreadsheetCsv.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTimeZone>
#include <algorithm>
#include <cmath>

#include "formats/PointText.h"
#include "formats/TextFileWriter.h"
#include "levels/LevelArithmetic.h"

namespace kl516 {

namespace {

const QString kDescription = QStringLiteral("CSV for spreadsheets");

// The local UTC offset, in seconds, at the instant msSinceEpoch.
int localOffsetAt(qint64 msSinceEpoch) {
    return QDateTime::fromMSecsSinceEpoch(msSinceEpoch, Qt::LocalTime).offsetFromUtc();
}

// The offset of a local wall-clock time given as milliseconds since the epoch read as if UTC.
// A day holds at most one change of offset, so the offsets half a day before and after are the
// two it can have; the one before wins unless only the one after gives back the same time.
int localOffsetOfWallTime(qint64 wallMs) {
    constexpr qint64 kHalfDayMs = 12LL * 3600 * 1000;
    const int before = localOffsetAt(wallMs - kHalfDayMs);
    if (localOffsetAt(wallMs - before * 1000LL) == before) return before;
    const int after = localOffsetAt(wallMs + kHalfDayMs);
    if (localOffsetAt(wallMs - after * 1000LL) == after) return after;
    return before;  // a skipped time
}

QString offsetText(int seconds) {
    const QChar sign = seconds < 0 ? u'-' : u'+';
    const int minutes = std::abs(seconds) / 60;
    return sign + QStringLiteral("%1:%2")
                      .arg(minutes / 60, 2, 10, QLatin1Char('0'))
                      .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

QString spreadsheetCsvFilter() {
    return kDescription + QStringLiteral("|*.csv");
}

QString spreadsheetCsvDialogFilter() {
    return kDescription + QStringLiteral(" (*.csv)");
}

bool isSpreadsheetCsvFilter(const QString& chosenFilter) {
    return chosenFilter.trimmed().startsWith(kDescription + QStringLiteral(" ("));
}

QString spreadsheetTime(SerialDateTime t) {
    if (!hasPointTime(t)) return {};
    const QDate date = dateOf(t);
    const QTime time = timeOf(t);
    if (!date.isValid() || !time.isValid()) return {};
    const qint64 wallMs = QDateTime(date, time, QTimeZone::utc()).toMSecsSinceEpoch();
    return date.toString(QStringLiteral("yyyy-MM-dd")) + u'T' +
           time.toString(QStringLiteral("HH:mm:ss.zzz")) +
           offsetText(localOffsetOfWallTime(wallMs));
}

QString spreadsheetLevel(double level) {
    return std::isfinite(level) && hasLevel(float(level)) ? QString::number(level, 'f', 1)
                                                          : QString();
}

QString spreadsheetField(const QString& text) {
    static const QRegularExpression needsQuotes(QStringLiteral("[,\"\r\n]"));
    if (!text.contains(needsQuotes)) return text;
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

qint64 writeSpreadsheetCsv(QIODevice& out, const QStringList& header, qint64 rowCount,
                           const std::function<QStringList(qint64)>& fieldsOf,
                           const std::function<bool(qint64)>& afterLine) {
    const auto line = [](const QStringList& fields) {
        QStringList quoted;
        quoted.reserve(fields.size());
        for (const QString& f : fields) quoted << spreadsheetField(f);
        return quoted.join(u',').toUtf8() + "\r\n";
    };
    const QByteArray head = line(header);
    if (out.write(head) != head.size()) return -1;
    qint64 written = 0;
    for (qint64 r = 0; r < rowCount; ++r) {
        const QByteArray bytes = line(fieldsOf(r));
        if (out.write(bytes) != bytes.size()) return -1;
        ++written;
        if (afterLine && !afterLine(written)) break;
    }
    return written;
}

FileWriteResult writeSpreadsheetCsvFile(const QString& path, const QStringList& header,
                                        qint64 rowCount,
                                        const std::function<QStringList(qint64)>& fieldsOf,
                                        FileProgress* progress) {
    return writeTextFile(path, progress,
                         [&](QIODevice& out, const std::function<bool(qint64)>& afterLine) {
                             return writeSpreadsheetCsv(out, header, rowCount, fieldsOf, afterLine);
                         });
}

QStringList seriesSpreadsheetHeader(int seriesCount, const QStringList& labels) {
    QStringList header{QStringLiteral("time")};
    for (int s = 0; s < seriesCount; ++s) {
        QString name = s == 0 ? QStringLiteral("level") : labels.value(s).trimmed().toLower();
        // A name a formula or a script can use as it is.
        name.replace(QRegularExpression(QStringLiteral("[^a-z0-9]+")), QStringLiteral("_"));
        name.remove(QRegularExpression(QStringLiteral("^_+|_+$")));
        if (name.isEmpty()) name = QStringLiteral("level%1").arg(s + 1);
        name += QStringLiteral("_dB");
        if (header.contains(name)) name = QStringLiteral("level%1_dB").arg(s + 1);
        header << name;
    }
    return header;
}

FileWriteResult writeSeriesSpreadsheetCsvFile(const QString& path, std::span<const double> times,
                                              const std::vector<std::span<const float>>& series,
                                              const QStringList& header, FileProgress* progress) {
    // The rows that are written: those with a time, up to the last one.
    std::vector<qint64> rows;
    rows.reserve(times.size());
    for (size_t i = 0; i < times.size(); ++i)
        if (hasPointTime(times[i])) rows.push_back(qint64(i));
    return writeSpreadsheetCsvFile(
        path, header, qint64(rows.size()),
        [&](qint64 r) {
            const size_t i = size_t(rows[size_t(r)]);
            QStringList fields{spreadsheetTime(times[i])};
            for (const std::span<const float>& s : series)
                fields << (i < s.size() ? spreadsheetLevel(s[i]) : QString());
            return fields;
        },
        progress);
}

}  // namespace kl516
