#include "formats/SpreadsheetCsv.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>

#include "dataset/MeasuredSeries.h"
#include "formats/PointText.h"
#include "formats/TextDialect.h"
#include "formats/TextFileWriter.h"
#include "levels/LevelArithmetic.h"
#include "levels/LevelFigures.h"

namespace kl516 {

QString spreadsheetCsvDialogFilter() {
    return dialogFilter(FileFilter::spreadsheetCsv());
}

bool isSpreadsheetCsvFilter(const QString& chosenFilter) {
    return isChosenFilter(chosenFilter, FileFilter::spreadsheetCsv());
}

QString SpreadsheetTimes::operator()(SerialDateTime t) {
    if (!hasSerialTime(t)) return {};
    const double wall = wallSecondsOfSerial(t);
    if (!std::isfinite(wall)) return {};
    double instant;
    if (!instants_.next(wall, instant)) {
        instant = clock_.instantOf(wall);
        instants_.continueFrom(instant);
    }
    return isoInstantText(instant, clock_, true);
}

QString spreadsheetTime(SerialDateTime t) {
    SpreadsheetTimes times;
    return times(t);
}

QString spreadsheetLevel(double level) {
    return std::isfinite(level) && hasLevel(float(level)) ? levelText(level)
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
        return quoted.join(kSpreadsheetSeparator).toUtf8() + kTextLineEnd;
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
    QStringList header{kSpreadsheetTimeColumn.toString()};
    for (int s = 0; s < seriesCount; ++s) {
        QString name = s == 0 ? QStringLiteral("level") : labels.value(s).trimmed().toLower();
        // A name a formula or a script can use as it is.
        name.replace(QRegularExpression(QStringLiteral("[^a-z0-9]+")), QStringLiteral("_"));
        name.remove(QRegularExpression(QStringLiteral("^_+|_+$")));
        if (name.isEmpty()) name = QStringLiteral("level%1").arg(s + 1);
        name += kSpreadsheetLevelSuffix;
        if (header.contains(name))
            name = QStringLiteral("level%1").arg(s + 1).append(kSpreadsheetLevelSuffix);
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
        if (hasSerialTime(times[i])) rows.push_back(qint64(i));
    SpreadsheetTimes timeText;
    return writeSpreadsheetCsvFile(
        path, header, qint64(rows.size()),
        [&](qint64 r) {
            const size_t i = size_t(rows[size_t(r)]);
            QStringList fields{timeText(times[i])};
            for (const std::span<const float>& s : series)
                fields << (i < s.size() ? spreadsheetLevel(s[i]) : QString());
            return fields;
        },
        progress);
}

}  // namespace kl516
