#pragma once

#include <QIODevice>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

#include "formats/FileProgress.h"
#include "formats/TextDialect.h"

namespace kl516 {

// Table text files: one line per table row, no header; every cell of the row (from column 1,
// the row-number column is never written) followed by the separator, so each line ends with
// it; CR LF line ends, the local 8-bit encoding: the program's own text dialect
// (formats/TextDialect.h), whose separator textFileSeparator gives by the file's name.

// One line without its line end.
QString tableTextLine(const QStringList& cells, QChar separator);

// Writes rows 0 .. rowCount - 1, each given by cellsOf(row). afterLine, when given, is called
// with the number of lines written and stops the writing when it returns false. Returns the
// lines written, or -1 when a write failed.
qint64 writeTableText(QIODevice& out, qint64 rowCount,
                      const std::function<QStringList(qint64)>& cellsOf, QChar separator,
                      const std::function<bool(qint64)>& afterLine = {});

// The same into a file. progress, when given, gets the lines written (at most every 30 ms and
// at the end) and can cancel: the file then holds the lines written so far. A file that cannot
// be created or written is Failed with the reason, and an earlier file stays as it was.
FileWriteResult writeTableTextFile(const QString& path, qint64 rowCount,
                                   const std::function<QStringList(qint64)>& cellsOf,
                                   QChar separator, FileProgress* progress = nullptr);

// A cell that holds the separator: read back it would split in two, as the reader knows no
// quoting. row and column count from 0 (the first row written, the first cell of a row).
struct SeparatorInCell {
    qint64 row = 0;
    qsizetype column = 0;
    QString text;
};
std::optional<SeparatorInCell> findSeparatorInCells(
    qint64 rowCount, const std::function<QStringList(qint64)>& cellsOf, QChar separator);

// The one message for a field that holds the separator: "field 3 of line 2 of SOURCE ("70,5")
// holds a comma, which would split it in a comma-separated file; nothing was written".
QString separatorInFieldMessage(qint64 field, qint64 line, const QString& source,
                                const QString& text, QChar separator);

// Reads a table text file back into rows of cells (columns 1 ..); the empty rest after a
// line's last separator is no cell. False when the file cannot be read.
bool readTableTextFile(const QString& path, std::vector<QStringList>& rows);

// The titles of columns 1 .. 4 of a table read from text: "Date", "Time", and "SPL", "Leq"
// when any row has a non-empty fourth cell, else "Value" and nothing.
QStringList tableTextTitles(const std::vector<QStringList>& rows);

}  // namespace kl516
