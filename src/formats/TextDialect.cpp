#include "formats/TextDialect.h"

#include <QFileInfo>

namespace kl516 {

std::optional<FileKind> fileKindOf(const QString& path) {
    const QString suffix = QFileInfo(path).suffix();
    const auto is = [&](const char* s) {
        return suffix.compare(QLatin1String(s), Qt::CaseInsensitive) == 0;
    };
    if (is("rec")) return FileKind::Collection;
    if (is("ghf")) return FileKind::Graph;
    if (is("txt") || is("csv")) return FileKind::Text;
    return std::nullopt;
}

QChar textFileSeparator(const QString& path) {
    return path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive) ? QLatin1Char(',')
                                                                     : QLatin1Char('\t');
}

bool decimalsSplitFields(QChar separator, QStringView decimalPoint) {
    return decimalPoint.contains(separator);
}

bool decimalCommaClash(const QString& path, QStringView decimalPoint) {
    return decimalsSplitFields(textFileSeparator(path), decimalPoint);
}

// ---- dialects

bool isSpreadsheetHeader(QStringView line) {
    qsizetype fields = 0;
    for (const QStringView field : line.tokenize(kSpreadsheetSeparator)) {
        const bool named = fields == 0 ? field == kSpreadsheetTimeColumn
                                       : field.size() > kSpreadsheetLevelSuffix.size() &&
                                             field.endsWith(kSpreadsheetLevelSuffix);
        if (!named) return false;
        ++fields;
    }
    return fields >= 2;
}

TextDialect textDialectOf(QByteArrayView firstLine) {
    // The header is ASCII; a UTF-8 byte order mark, which spreadsheets may add, is no part of it.
    if (firstLine.startsWith("\xEF\xBB\xBF")) firstLine = firstLine.sliced(3);
    while (firstLine.endsWith('\n') || firstLine.endsWith('\r')) firstLine.chop(1);
    return isSpreadsheetHeader(QString::fromLatin1(firstLine)) ? TextDialect::SpreadsheetCsv
                                                               : TextDialect::ProgramText;
}

TextDialect textDialectOf(QIODevice& in) {
    // A header is short: a few hundred bytes hold any the program writes, and a longer first
    // line is none.
    constexpr qsizetype kLongestHeader = 512;
    const QByteArray head = in.peek(kLongestHeader + 1);
    qsizetype end = head.indexOf('\n');
    if (end < 0) {
        if (head.size() > kLongestHeader) return TextDialect::ProgramText;
        end = head.size();
    }
    return textDialectOf(QByteArrayView(head).first(end));
}

// ---- filters

QString dialogFilter(const FileFilterEntry& filter) {
    QStringList patterns;
    for (const QString& p : filter.patterns) {
        const QString pattern = p.trimmed();
        if (!patterns.contains(pattern)) patterns << pattern;
        if (!patterns.contains(pattern.toLower())) patterns << pattern.toLower();
    }
    const QString description = filter.description.trimmed();
    const QString list = u'(' + patterns.join(u' ') + u')';
    return description.isEmpty() ? list : description + u' ' + list;
}

QString dialogFilter(const FileFilterList& filters) {
    QStringList entries;
    for (const FileFilterEntry& f : filters) entries << dialogFilter(f);
    return entries.join(QStringLiteral(";;"));
}

QString filterPairs(const FileFilterList& filters) {
    QStringList parts;
    for (const FileFilterEntry& f : filters) parts << f.description << f.patterns.join(u';');
    return parts.join(u'|');
}

bool isChosenFilter(const QString& chosen, const FileFilterEntry& filter) {
    // Dialogs may give the entry back with its patterns as they matched: the description decides.
    return chosen.trimmed().startsWith(filter.description.trimmed() + QStringLiteral(" ("));
}

namespace FileFilter {

namespace {

FileFilterEntry graphFile() {
    return {QStringLiteral("Graph file(*.ghf,only for KL516)"), {QStringLiteral("*.GHF")}};
}
FileFilterEntry tabText() {
    return {QStringLiteral("TXT file(*.txt,data separated by tab)"), {QStringLiteral("*.TXT")}};
}

}  // namespace

FileFilterList openCollection() {
    return {{QStringLiteral("Data Sets Collection (*.REC)"), {QStringLiteral("*.REC")}}};
}

FileFilterList saveCollection() {
    return {{QStringLiteral("Data Set Collection file(*.rec,only for KL516)"),
             {QStringLiteral("*.REC")}}};
}

FileFilterList singleFile(bool commaDecimal) {
    FileFilterList filters{graphFile(), tabText()};
    if (!commaDecimal)
        filters.append({QStringLiteral("EXCEL file format(*.CSV,separated by comma)"),
                        {QStringLiteral("*.CSV")}});
    return filters;
}

FileFilterList table(bool commaDecimal) {
    FileFilterList filters{tabText()};
    if (!commaDecimal)
        filters.append({QStringLiteral("EXCEL file format(*.csv,separated by comma)"),
                        {QStringLiteral("*.CSV")}});
    return filters;
}

FileFilterEntry spreadsheetCsv() {
    return {QStringLiteral("CSV for spreadsheets"), {QStringLiteral("*.csv")}};
}

FileFilterList saveSingleFile(bool commaDecimal) {
    return singleFile(commaDecimal) << spreadsheetCsv();
}

FileFilterList saveTable(bool commaDecimal) {
    return table(commaDecimal) << spreadsheetCsv();
}

FileFilterList leqTable() {
    return {{QString(), {QStringLiteral("*.txt")}}, spreadsheetCsv()};
}

FileFilterList assessmentTables() {
    return {{QStringLiteral("Text files"), {QStringLiteral("*.txt")}},
            {QStringLiteral("Comma-separated files"), {QStringLiteral("*.csv")}},
            spreadsheetCsv()};
}

}  // namespace FileFilter

}  // namespace kl516
