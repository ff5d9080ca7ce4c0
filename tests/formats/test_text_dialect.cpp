#include <gtest/gtest.h>

#include <QBuffer>

#include "formats/TextDialect.h"

using namespace kl516;

// One rule for every reader and writer: the kind by the suffix, the separator by ".csv" (any
// case) and nothing else.
TEST(TextDialect, KindAndSeparatorByTheName) {
    struct Case {
        const char* name;
        std::optional<FileKind> kind;
        QChar separator;
    };
    const Case cases[] = {
        {"a.csv", FileKind::Text, u','},
        {"a.CsV", FileKind::Text, u','},
        {"a.txt", FileKind::Text, u'\t'},
        {"A.TXT", FileKind::Text, u'\t'},
        {"set.REC", FileKind::Collection, u'\t'},
        {"graph.ghf", FileKind::Graph, u'\t'},
        {"/data/v1.2/x.Ghf", FileKind::Graph, u'\t'},
        // A name that only ends in "csv" is no comma-separated file (one copy said it was).
        {"mycsv", std::nullopt, u'\t'},
        {"csv", std::nullopt, u'\t'},
        {"a.csvx", std::nullopt, u'\t'},
        {"report.pdf", std::nullopt, u'\t'},
        {"noextension", std::nullopt, u'\t'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(fileKindOf(QString::fromLatin1(c.name)), c.kind);
        EXPECT_EQ(textFileSeparator(QString::fromLatin1(c.name)), c.separator);
    }
}

TEST(TextDialect, DecimalCommaClashesOnlyWithACommaSeparator) {
    struct Case {
        const char* name;
        const char* decimal;
        bool clash;
    };
    const Case cases[] = {
        {"levels.csv", ",", true},  {"levels.CSV", ",", true},
        {"levels.csv", ".", false}, {"levels.txt", ",", false},
        {"levels.txt", ".", false}, {"levelscsv", ",", false},  // no ".csv": tab-separated
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " with " + c.decimal);
        EXPECT_EQ(decimalCommaClash(QString::fromLatin1(c.name), QString::fromLatin1(c.decimal)),
                  c.clash);
    }
    EXPECT_TRUE(decimalsSplitFields(u'\t', u"\t"));
    EXPECT_FALSE(decimalsSplitFields(u'\t', u","));
}

// One list, two forms: Qt's dialogs get "description (patterns)" with the patterns in lower
// case too, the pairs keep the original "description|pattern" form.
TEST(TextDialect, FiltersComeInBothFormsFromOneList) {
    const FileFilterList save = FileFilter::saveTable(false);
    EXPECT_EQ(dialogFilter(save),
              QStringLiteral("TXT file(*.txt,data separated by tab) (*.TXT *.txt);;"
                             "EXCEL file format(*.csv,separated by comma) (*.CSV *.csv);;"
                             "CSV for spreadsheets (*.csv)"));
    EXPECT_EQ(filterPairs(FileFilter::table(true)),
              QStringLiteral("TXT file(*.txt,data separated by tab)|*.TXT"));
    // No comma-separated text where the decimal separator is a comma; the spreadsheet CSV writes
    // points, so Save offers it in every locale.
    EXPECT_FALSE(dialogFilter(FileFilter::singleFile(true)).contains(QStringLiteral("EXCEL")));
    EXPECT_TRUE(dialogFilter(FileFilter::saveSingleFile(true)).endsWith("(*.csv)"));

    const FileFilterEntry spreadsheet = FileFilter::spreadsheetCsv();
    EXPECT_TRUE(isChosenFilter(dialogFilter(spreadsheet), spreadsheet));
    EXPECT_TRUE(isChosenFilter(QStringLiteral("CSV for spreadsheets (*.csv *.CSV)"), spreadsheet));
    EXPECT_FALSE(isChosenFilter(dialogFilter(FileFilter::table(false).last()), spreadsheet));
}

// The spreadsheet CSV is known by its header, whatever the file is called; the program's own
// text has none.
TEST(TextDialect, SpreadsheetCsvIsKnownByItsHeader) {
    struct Case {
        const char* firstLine;
        TextDialect dialect;
    };
    const Case cases[] = {
        {"time,level_dB\r\n", TextDialect::SpreadsheetCsv},
        {"time,level_dB,leq_dB\r\n", TextDialect::SpreadsheetCsv},
        {"\xEF\xBB\xBFtime,level_dB\n", TextDialect::SpreadsheetCsv},  // with a byte order mark
        {"time,level_dB,level3_dB", TextDialect::SpreadsheetCsv},
        {"time\r\n", TextDialect::ProgramText},
        {"time,level\r\n", TextDialect::ProgramText},
        {"time,_dB\r\n", TextDialect::ProgramText},
        {"Time,level_dB\r\n", TextDialect::ProgramText},
        {"2024-04-13,09:20:31.0,60.0\r\n", TextDialect::ProgramText},
        {"2024-04-13\t09:20:31.0\t60.0\r\n", TextDialect::ProgramText},
        {"", TextDialect::ProgramText},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.firstLine);
        EXPECT_EQ(textDialectOf(QByteArrayView(c.firstLine)), c.dialect);
        // From a device: only the first line counts, and nothing is consumed.
        QBuffer buffer;
        QByteArray text(c.firstLine);
        if (!text.isEmpty() && !text.endsWith('\n')) text += "\r\n";
        buffer.setData(text + "2024-04-13T09:20:31.000+02:00,60.0\r\n");
        ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
        EXPECT_EQ(textDialectOf(buffer), c.dialect);
        EXPECT_EQ(buffer.pos(), 0);
    }
}
