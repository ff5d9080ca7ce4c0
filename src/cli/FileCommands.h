#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>

namespace kl516 {

// kl516-cli convert and kl516-cli paths, and the rule that keeps comma decimals out of
// comma-separated files.

// The help texts of the commands, for the tool's command table.
extern const char* const kConvertUsage;
extern const char* const kConvertDescription;
extern const char* const kConvertOptionHelp;
extern const char* const kPathsUsage;
extern const char* const kPathsDescription;

// A comma-separated file whose numbers carry comma decimals cannot be read back: the decimal
// comma splits every level into two fields. False, with the reason on err, when a file named
// path would be written comma-separated with the decimals of locale (--iso writes points).
bool csvCanHoldDecimals(const QString& path, bool iso, const QLocale& locale, QTextStream& err);

// Writes a collection file's set as text (what `export` does): status as `export` returns it.
using ExportCollectionSet = std::function<int(const QString& in, const QString& out)>;

// kl516-cli convert IN OUT [--set N] [--iso]. files are the positional arguments, set the value
// of --set (empty when not given). Collection files go to exportSet. Exit status: 0 done, 1 a
// file could not be read or written, 2 wrong arguments (nothing written).
int runConvertCommand(const QStringList& files, const QString& set, bool iso, QTextStream& out,
                      QTextStream& err, const ExportCollectionSet& exportSet);

// kl516-cli paths: one "name: path" line per folder and file the program uses.
int runPathsCommand(const QStringList& files, QTextStream& out, QTextStream& err);

}  // namespace kl516
