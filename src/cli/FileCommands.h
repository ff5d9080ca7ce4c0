#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>

namespace kl516 {

// kl516-cli convert and kl516-cli paths, the rule that keeps comma decimals out of
// comma-separated files, and the checks of the files the commands read and write.

// A comma-separated file whose numbers carry comma decimals cannot be read back: the decimal
// comma splits every level into two fields. False, with the reason and remedy on err, when a
// file named path would be written comma-separated with the decimals of locale (--iso writes
// points).
bool csvCanHoldDecimals(const QString& path, bool iso, const QLocale& locale, QTextStream& err,
                        const QString& remedy = QStringLiteral("use --iso or a .txt file"));

// Whether a file can be written at path, checked before long work so that it does not end
// with "cannot write": the folder takes a new file and an existing file may be replaced.
// Nothing is changed. False, with "error: Cannot write ...: <the system's reason>" on err.
bool outputWritable(const QString& path, QTextStream& err);

// The system's reason why the file at path cannot be read ("No such file or directory").
QString readFailureReason(const QString& path);

// Writes a collection file's set as text (what `export` does): status as `export` returns it.
using ExportCollectionSet = std::function<int(const QString& in, const QString& out)>;

// kl516-cli convert IN OUT [--set N] [--iso]; set is the value of --set (empty when not
// given). Collection files go to exportSet. Exit status: 0 done, 1 a file could not be read or
// written, 2 wrong arguments (nothing written).
int runConvertCommand(const QString& in, const QString& target, const QString& set, bool iso,
                      QTextStream& out, QTextStream& err, const ExportCollectionSet& exportSet);

// kl516-cli paths: one "name: path" line per folder and file the program uses.
int runPathsCommand(QTextStream& out);

}  // namespace kl516
