#pragma once

#include <QIODevice>
#include <QString>
#include <functional>

#include "formats/FileProgress.h"

namespace kl516 {

// Writes the lines of a text file: write(out, afterLine) writes them to out, calls afterLine
// with the number written after each one and stops when it returns false; it returns the
// number written, or -1 when a write failed.
using TextLinesWriter =
    std::function<qint64(QIODevice& out, const std::function<bool(qint64)>& afterLine)>;

// Runs write into a file that replaces the one at path when it is committed. Cancel through
// progress commits the lines written so far to a new file, and leaves an existing file as it
// was (keptEarlier); a failure leaves an earlier file as it was.
FileWriteResult writeTextFile(const QString& path, FileProgress* progress,
                              const TextLinesWriter& write);

}  // namespace kl516
