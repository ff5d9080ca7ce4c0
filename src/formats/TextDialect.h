#pragma once

#include <QByteArrayView>
#include <QIODevice>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

namespace kl516 {

// How the program's files are told apart and how its text is written: the one home of the
// rules that the readers, the writers, the file dialogs and the command-line tool share.

// ---- kinds of file, by the name's suffix (any case)

enum class FileKind {
    Collection,  // .rec: a data set collection
    Graph,       // .ghf: a graph file
    Text,        // .txt, .csv: point or table text, or the spreadsheet CSV
};
std::optional<FileKind> fileKindOf(const QString& path);

// The separator of the program's own text by the file's name: a comma for a name ending in
// ".csv" (any case), otherwise a tab.
QChar textFileSeparator(const QString& path);

// Whether numbers written with decimalPoint would split their field in a file separated by
// separator (the comma decimals of some locales in a comma-separated file); such a file cannot
// be read back.
bool decimalsSplitFields(QChar separator, QStringView decimalPoint);
// The same for the program's text written into a file named path.
bool decimalCommaClash(const QString& path, QStringView decimalPoint);

// ---- the two text dialects

enum class TextDialect {
    // The program's own point and table text: no header; a date field and a time field in the
    // user's locale (or ISO dates); levels with the locale's decimal separator; a tab, or a comma
    // for ".csv" (textFileSeparator); no quoting; the local 8-bit encoding; CR LF.
    ProgramText,
    // CSV for spreadsheets: a header row "time,level_dB[,...]"; one time field in ISO 8601 with
    // the UTC offset in force ("2024-04-13T09:20:31.000+02:00"); levels with a decimal point;
    // commas; a field holding a comma, a quote or a line break quoted; UTF-8; CR LF.
    SpreadsheetCsv,
};

inline constexpr char kTextLineEnd[] = "\r\n";
inline constexpr QChar kSpreadsheetSeparator = u',';
// The spreadsheet CSV's first column, and the ending of each level column's name.
inline constexpr QStringView kSpreadsheetTimeColumn = u"time";
inline constexpr QStringView kSpreadsheetLevelSuffix = u"_dB";

// Whether a line (without its line end) is the spreadsheet CSV's header: "time" and one or more
// level columns.
bool isSpreadsheetHeader(QStringView line);
// The dialect of text whose first line is `firstLine` (bytes as read, a line end allowed).
TextDialect textDialectOf(QByteArrayView firstLine);
// The dialect of the text a device holds, from its first line; the device is read from where
// it stands and left there (it must be open and allow peeking, as files do).
TextDialect textDialectOf(QIODevice& in);

// ---- file dialog filters

// One entry of a file dialog: "TXT file(*.txt,data separated by tab)" with its patterns.
struct FileFilterEntry {
    QString description;
    QStringList patterns;
};
using FileFilterList = QList<FileFilterEntry>;

// The list in the form of Qt's file dialogs: "description (patterns)" joined by ";;" (only
// "(patterns)" for an entry without a description). Each pattern is offered in lower case too,
// since the dialogs match names case-sensitively where the file system does.
QString dialogFilter(const FileFilterList& filters);
QString dialogFilter(const FileFilterEntry& filter);
// The list as "description|pattern|description|pattern..." pairs, the form the original
// dialogs were given in.
QString filterPairs(const FileFilterList& filters);
// Whether the entry chosen in a file dialog (as Qt gives it back) is `filter`.
bool isChosenFilter(const QString& chosen, const FileFilterEntry& filter);

// The program's filters. Files separated by commas are not offered when the decimal separator
// is a comma.
namespace FileFilter {
FileFilterList openCollection();
FileFilterList saveCollection();
// Graph files and point text files: Open single and Save of a graph's data.
FileFilterList singleFile(bool commaDecimal);
// Table text files: Save of a list or a table.
FileFilterList table(bool commaDecimal);
// The spreadsheet CSV, a format of its own that writes a point in every locale.
FileFilterEntry spreadsheetCsv();
// Save's filters: those of Open and the spreadsheet CSV.
FileFilterList saveSingleFile(bool commaDecimal);
FileFilterList saveTable(bool commaDecimal);
// Save of the LEQ window's table: its table text, or the spreadsheet CSV.
FileFilterList leqTable();
// Save of the noise assessment's tables.
FileFilterList assessmentTables();
}  // namespace FileFilter

}  // namespace kl516
