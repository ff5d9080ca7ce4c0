#include "formats/TableText.h"

#include <QFile>
#include <algorithm>

#include "formats/PointText.h"
#include "formats/TextFileWriter.h"

namespace kl516 {

QString tableTextLine(const QStringList& cells, QChar separator) {
    QString line;
    for (const QString& cell : cells) {
        line += cell;
        line += separator;
    }
    return line;
}

qint64 writeTableText(QIODevice& out, qint64 rowCount,
                      const std::function<QStringList(qint64)>& cellsOf, QChar separator,
                      const std::function<bool(qint64)>& afterLine) {
    // Lines go out in large blocks; the last one when the writing ends, also on Cancel.
    constexpr qsizetype kBlock = 256 * 1024;
    QByteArray block;
    block.reserve(kBlock + 1024);
    qint64 written = 0;
    for (qint64 r = 0; r < rowCount; ++r) {
        block += tableTextLine(cellsOf(r), separator).toLocal8Bit();
        block.append(kTextLineEnd);
        ++written;
        if (block.size() >= kBlock) {
            if (out.write(block) != block.size()) return -1;
            block.truncate(0);  // keeps its room
        }
        if (afterLine && !afterLine(written)) break;
    }
    if (!block.isEmpty() && out.write(block) != block.size()) return -1;
    return written;
}

FileWriteResult writeTableTextFile(const QString& path, qint64 rowCount,
                                   const std::function<QStringList(qint64)>& cellsOf,
                                   QChar separator, FileProgress* progress) {
    return writeTextFile(path, progress,
                         [&](QIODevice& out, const std::function<bool(qint64)>& afterLine) {
                             return writeTableText(out, rowCount, cellsOf, separator, afterLine);
                         });
}

std::optional<SeparatorInCell> findSeparatorInCells(
    qint64 rowCount, const std::function<QStringList(qint64)>& cellsOf, QChar separator) {
    for (qint64 r = 0; r < rowCount; ++r) {
        const QStringList cells = cellsOf(r);
        for (qsizetype c = 0; c < cells.size(); ++c)
            if (cells[c].contains(separator)) return SeparatorInCell{r, c, cells[c]};
    }
    return std::nullopt;
}

QString separatorInFieldMessage(qint64 field, qint64 line, const QString& source,
                                const QString& text, QChar separator) {
    const QString name =
        separator == QLatin1Char(',') ? QStringLiteral("comma") : QStringLiteral("tab");
    return QStringLiteral(
               "field %1 of line %2 of %3 (\"%4\") holds a %5, which would split it in a "
               "%5-separated file; nothing was written")
        .arg(QString::number(field), QString::number(line), source, text, name);
}

bool readTableTextFile(const QString& path, std::vector<QStringList>& rows) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QChar separator = textFileSeparator(path);
    rows.clear();
    while (!file.atEnd()) {
        QString line = QString::fromLocal8Bit(file.readLine());
        while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r'))) line.chop(1);
        if (line.isEmpty()) continue;
        QStringList cells = line.split(separator);
        if (line.endsWith(separator)) cells.removeLast();
        rows.push_back(cells);
    }
    return true;
}

QStringList tableTextTitles(const std::vector<QStringList>& rows) {
    // Any row: one without a level leaves its level cells empty.
    const bool leqTable = std::any_of(rows.begin(), rows.end(), [](const QStringList& row) {
        return row.size() >= 4 && !row[3].isEmpty();
    });
    return leqTable ? QStringList{QStringLiteral("Date"), QStringLiteral("Time"),
                                  QStringLiteral("SPL"), QStringLiteral("Leq")}
                    : QStringList{QStringLiteral("Date"), QStringLiteral("Time"),
                                  QStringLiteral("Value"), QString()};
}

}  // namespace kl516
