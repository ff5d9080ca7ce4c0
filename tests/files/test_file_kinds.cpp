#include <gtest/gtest.h>

#include <algorithm>

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>
#include <QtEndian>
#include <cmath>
#include <vector>

#include "dataset/SerialDateTime.h"
#include "formats/ListTable.h"
#include "formats/PointText.h"
#include "formats/RangeSelection.h"
#include "formats/TableText.h"
#include "graph/GraphFile.h"
#include "support/FileSizeLimit.h"
#include "support/Files.h"

using namespace kl516;

namespace {

SerialDateTime at(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
    return toSerialDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
}

// Cancels at the given call of cancelled(), counting from 0; remembers the last line count.
struct CancelAt final : FileProgress {
    explicit CancelAt(qint64 call) : call_(call) {}
    void lines(qint64 count) override { lastLines = count; }
    bool cancelled() override { return calls_++ >= call_; }
    qint64 lastLines = -1;

  private:
    qint64 call_;
    qint64 calls_ = 0;
};

// Columns 1 .. 6 of every row, without the empty cells at the end.
std::vector<QStringList> rowsOf(const ListTableModel& list) {
    std::vector<QStringList> rows;
    for (int r = 0; r < list.rowCount(); ++r) {
        QStringList cells;
        for (int c = 1; c < ListTableModel::kColumns; ++c) cells << list.cell(r, c);
        while (!cells.isEmpty() && cells.last().isEmpty()) cells.removeLast();
        rows.push_back(cells);
    }
    return rows;
}

ListReadResult readBytes(const QByteArray& bytes, QChar separator, ListTableModel& list,
                         FileProgress* progress = nullptr) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return readTextIntoList(buffer, separator, list, progress);
}

int linesIn(const QByteArray& bytes) {
    return int(bytes.count("\r\n"));
}

GraphState twoSeriesGraph(int points) {
    GraphState g;
    g.dateTimeMode = DateTimeMode::SerialDays;
    g.resize(2, points);
    for (int i = 0; i < points; ++i) {
        g.x[0][size_t(i)] = g.x[1][size_t(i)] = at(2024, 3, 15, 14, 3, 7) + i * kOneSecond;
        g.y[0][size_t(i)] = 60.0f + float(i % 50) * 0.5f;
        g.y[1][size_t(i)] = 70.0f + float(i % 30) * 0.1f;
    }
    g.mainTitle = QStringLiteral("Two series");
    g.subsetLabels = {QStringLiteral("SPL"), QStringLiteral("Leq")};
    g.subsetColors = {makeArgb(255, 10, 20, 30), makeArgb(128, 200, 100, 50)};
    g.graphBackColor = makeArgb(255, 1, 2, 3);
    // Notes at the second and third points, or the last one of a shorter graph.
    const auto point = [&](int i) { return g.x[0][size_t(std::clamp(i, 0, points - 1))]; };
    g.annotations.push_back({2, point(1), 61.5, QStringLiteral("peak"), makeArgb(255, 255, 0, 0)});
    g.annotations.push_back({0, point(2), 70.0, QStringLiteral("note"), makeArgb(255, 0, 0, 255)});
    g.showGraphAnnotations = true;
    return g;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Graph files

TEST(GraphFile, WrittenAndReadBackEqual) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("two.ghf"));
    const GraphState saved = twoSeriesGraph(5);
    ASSERT_EQ(writeGraphFile(saved, path).status, FileWriteResult::Status::Written);

    const QByteArray bytes = test::readAll(path);
    ASSERT_GE(bytes.size(), 4);
    EXPECT_EQ(qFromLittleEndian<quint32>(bytes.constData()), quint32(bytes.size() - 4));

    GraphState back;
    const GraphFileRead read = readGraphFile(path, back);
    ASSERT_TRUE(read.ok) << read.error.toStdString();
    EXPECT_EQ(back, saved);
}

TEST(GraphFile, DamagedFilesChangeNothingAndSayWhy) {
    QTemporaryDir dir;
    const QString goodPath = dir.filePath(QStringLiteral("good.ghf"));
    ASSERT_TRUE(writeGraphFile(twoSeriesGraph(3), goodPath).ok());
    const QByteArray block = test::readAll(goodPath).mid(4);
    const auto counted = [](quint32 count, const QByteArray& rest) {
        QByteArray b(4, '\0');
        qToLittleEndian(count, b.data());
        return b + rest;
    };
    struct Case {
        const char* name;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"count beyond the end of the file", counted(quint32(block.size() + 1), block)},
        {"count beyond the largest block", counted(kMaxGraphBlock + 1, block)},
        {"count of 4 GB on an empty file", counted(0xFFFFFFFFu, {})},
        {"block cut short, count to match", counted(quint32(block.size() - 9), block.chopped(9))},
        {"shorter than the count field", QByteArray(3, '\x01')},
    };
    GraphState before = twoSeriesGraph(2);
    before.mainTitle = QStringLiteral("unchanged");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QStringLiteral("damaged.ghf"));
        ASSERT_TRUE(test::writeAll(path, c.bytes));
        GraphState state = before;
        const GraphFileRead read = readGraphFile(path, state);
        EXPECT_FALSE(read.ok);
        EXPECT_TRUE(read.error.contains(QDir::toNativeSeparators(path)))
            << read.error.toStdString();
        EXPECT_EQ(state, before);
    }
    GraphState state = before;
    const GraphFileRead missing = readGraphFile(dir.filePath(QStringLiteral("none.ghf")), state);
    EXPECT_FALSE(missing.ok);
    EXPECT_TRUE(missing.error.contains(QStringLiteral("none.ghf")));
    EXPECT_EQ(state, before);
}

TEST(GraphFile, FailedWriteKeepsTheEarlierFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("g.ghf"));
    ASSERT_TRUE(writeGraphFile(twoSeriesGraph(2), path).ok());
    const QByteArray earlier = test::readAll(path);

    const FileWriteResult noFolder =
        writeGraphFile(twoSeriesGraph(2), dir.filePath(QStringLiteral("no/such/g.ghf")));
    EXPECT_EQ(noFolder.status, FileWriteResult::Status::Failed);
    EXPECT_TRUE(noFolder.error.startsWith(QStringLiteral("Cannot write \"")));

    const test::FileSizeLimit limit(4096);
    ASSERT_TRUE(limit.ok());
    const FileWriteResult full = writeGraphFile(twoSeriesGraph(2000), path);
    EXPECT_EQ(full.status, FileWriteResult::Status::Failed);
    EXPECT_TRUE(full.error.startsWith(
        QStringLiteral("Cannot write \"%1\": ").arg(QDir::toNativeSeparators(path))));
    EXPECT_GT(full.error.size(), QDir::toNativeSeparators(path).size() + 17);  // a reason
    EXPECT_EQ(test::readAll(path), earlier);
}

// ---------------------------------------------------------------------------------------------
// Point and table text files

TEST(PointTextFile, MillisecondsAreAWholeSecondOrThreeDigits) {
    struct Case {
        SerialDateTime t;
        const char* text;
    };
    const SerialDateTime base = at(2024, 1, 15, 14, 3, 7);
    const Case cases[] = {
        {base, "14:03:07.0"},
        {at(2024, 1, 15, 4, 5, 6, 45), "04:05:06.045"},
        {at(2024, 1, 15, 14, 3, 7, 100), "14:03:07.100"},
        {at(2024, 1, 15, 14, 3, 7, 7), "14:03:07.007"},
        {at(2024, 1, 15, 14, 3, 7, 999), "14:03:07.999"},
        {base + 999.6 / 86400000, "14:03:08.0"},  // rounding carries into the seconds
        {base + 0.4 / 86400000, "14:03:07.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(pointTextTime(c.t), QString::fromLatin1(c.text));
        // Read back as the list reads it: the same time to the millisecond.
        double back = 0;
        ASSERT_TRUE(
            readListDateTime(QStringLiteral("2024-01-15"), pointTextTime(c.t), QLocale::c(), back));
        EXPECT_EQ(std::llround((back - at(2024, 1, 15, 0, 0, 0)) * 86400000.0),
                  std::llround((c.t - at(2024, 1, 15, 0, 0, 0)) * 86400000.0));
    }
}

TEST(PointTextFile, FilledPointsOnlyAndFourFieldsForTwoSeries) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.txt"));
    GraphState real;
    real.resize(1, 500);  // a real-time graph of which 120 points were filled
    for (int i = 0; i < 120; ++i) {
        real.x[0][size_t(i)] = at(2024, 3, 15, 10, 0, 0) + i * kOneSecond;
        real.y[0][size_t(i)] = 55.0f;
    }
    const FileWriteResult one =
        writePointTextFile(path, real.x[0], real.y[0], u'\t', QLocale::c(), PointDateStyle::Iso);
    EXPECT_EQ(one.status, FileWriteResult::Status::Written);
    EXPECT_EQ(one.lines, 120);
    EXPECT_EQ(linesIn(test::readAll(path)), 120);

    const GraphState two = twoSeriesGraph(3);
    ASSERT_TRUE(writePointTextFile(path, two.x[0], two.y[0], u'\t', QLocale::c(),
                                   PointDateStyle::Iso, two.y[1])
                    .ok());
    EXPECT_EQ(test::readAll(path),
              "2024-03-15\t14:03:07.0\t60.0\t70.0\r\n"
              "2024-03-15\t14:03:08.0\t60.5\t70.1\r\n"
              "2024-03-15\t14:03:09.0\t61.0\t70.2\r\n");
}

// A file written in the user's locale comes back through the list as the same points, for
// locales with a comma decimal, a short date of two-digit years (written with four), a 12-hour
// clock and a month name.
TEST(PointTextFile, ReadBackThroughTheListInTheUsersLocale) {
    QTemporaryDir dir;
    GraphState g = twoSeriesGraph(4);
    g.x[0][1] += 45.0 / 86400000;  // 45 ms
    g.x[0][2] = at(2000, 2, 29, 23, 59, 59, 500);
    g.y[1][3] = kNullLevel;  // no level: an empty field, read back as none
    for (const QLocale& locale :
         {QLocale(QLocale::German, QLocale::Germany),
          QLocale(QLocale::English, QLocale::UnitedStates),
          QLocale(QLocale::English, QLocale::UnitedKingdom), QLocale::c()}) {
        SCOPED_TRACE(locale.name().toStdString());
        const QString path = dir.filePath(QStringLiteral("p.txt"));
        ASSERT_TRUE(
            writePointTextFile(path, g.x[0], g.y[0], u'\t', locale, PointDateStyle::Locale, g.y[1])
                .ok());
        if (locale.decimalPoint() == QStringLiteral(",")) {
            EXPECT_TRUE(test::readAll(path).contains("\t60,0\t70,0\r\n"));
        }

        ListTableModel list;
        ASSERT_EQ(readTextIntoList(path, u'\t', list).stop, ListReadStop::EndOfFile);
        ASSERT_EQ(list.rowCount(), 4);
        // Two series: the level first, its running Leq beside it.
        EXPECT_TRUE(list.hasLeqColumn());
        const ListGraphPoints points = listGraphPoints(list, locale);
        ASSERT_TRUE(points.error.isEmpty()) << points.error.toStdString();
        ASSERT_EQ(points.leq.size(), 4u);
        for (int i = 0; i < 4; ++i) {
            EXPECT_NEAR(points.x[size_t(i)], g.x[0][size_t(i)], 0.5 / 86400000) << i;
            EXPECT_NEAR(points.y[size_t(i)], g.y[0][size_t(i)], 0.01) << i;
            if (i < 3) {
                EXPECT_NEAR(points.leq[size_t(i)], g.y[1][size_t(i)], 0.01) << i;
            }
        }
        EXPECT_TRUE(std::isnan(points.leq[3]));
        EXPECT_TRUE(list.cell(3, 4).isEmpty());
        EXPECT_EQ(points.first, points.x.front());
        EXPECT_EQ(points.last, points.x.back());
    }
}

TEST(TextFileWrite, CancelKeepsTheLinesOfANewFileOrTheEarlierFileAndFailureTheEarlierFile) {
    const GraphState g = twoSeriesGraph(1000);
    const std::vector<QStringList> table(1000, QStringList{"15/01/2024", "10:00:00", "60.0"});
    const auto writePoints = [&](const QString& path, FileProgress* progress) {
        return writePointTextFile(path, g.x[0], g.y[0], u'\t', QLocale::c(), PointDateStyle::Iso,
                                  {}, progress);
    };
    const auto writeTable = [&](const QString& path, FileProgress* progress) {
        return writeTableTextFile(
            path, qint64(table.size()), [&](qint64 r) { return table[size_t(r)]; }, u'\t',
            progress);
    };
    for (const auto& write :
         {std::function<FileWriteResult(const QString&, FileProgress*)>(writePoints),
          std::function<FileWriteResult(const QString&, FileProgress*)>(writeTable)}) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("t.txt"));
        CancelAt cancel(9);
        const FileWriteResult cancelled = write(path, &cancel);
        EXPECT_EQ(cancelled.status, FileWriteResult::Status::Cancelled);
        EXPECT_EQ(cancelled.lines, 10);
        EXPECT_EQ(linesIn(test::readAll(path)), 10);
        EXPECT_EQ(cancel.lastLines, 10);
        EXPECT_FALSE(cancelled.keptEarlier);

        // Cancel over an existing file: the earlier file stays whole.
        const QByteArray whole = test::readAll(path);
        CancelAt cancelAgain(3);
        const FileWriteResult kept = write(path, &cancelAgain);
        EXPECT_EQ(kept.status, FileWriteResult::Status::Cancelled);
        EXPECT_TRUE(kept.keptEarlier);
        EXPECT_EQ(test::readAll(path), whole);
        EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files) == QStringList{"t.txt"});

        const QByteArray earlier = test::readAll(path);
        const test::FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.ok());
        const FileWriteResult failed = write(path, nullptr);
        EXPECT_EQ(failed.status, FileWriteResult::Status::Failed);
        EXPECT_TRUE(failed.error.startsWith(
            QStringLiteral("Cannot write \"%1\": ").arg(QDir::toNativeSeparators(path))));
        EXPECT_EQ(test::readAll(path), earlier);
    }
}

TEST(TableTextFile, ReadBackIntoTheListReproducesRowsAndColumns) {
    QTemporaryDir dir;
    ListTableModel list;
    list.appendRow({"1/15/24", "10:00:00 AM", "60.0", "61.2"});
    list.appendRow({"1/15/24", "10:00:01 AM", "", "61.0"});
    list.appendRow({"1/15/24", "10:00:02 AM", "62.5", "61.5"});
    list.appendRow({"1/15/24", "10:00:03 AM", "\u6e29\u5ea6", "\u00b0C"});  // beyond Latin-1
    ASSERT_EQ(list.cell(3, 3), QStringLiteral("\u6e29\u5ea6"));
    ASSERT_EQ(list.cell(3, 4), QStringLiteral("\u00b0C"));
    ASSERT_EQ(list.cell(2, 4), QStringLiteral("61.5"));
    const int lastColumn = 4;
    const QString path = dir.filePath(QStringLiteral("table.csv"));
    const QChar separator = textFileSeparator(path);
    ASSERT_EQ(separator, u',');
    ASSERT_TRUE(writeTableTextFile(
                    path, list.rowCount(),
                    [&](qint64 r) {
                        QStringList cells;
                        for (int c = 1; c <= lastColumn; ++c) cells << list.cell(int(r), c);
                        return cells;
                    },
                    separator)
                    .ok());
    ListTableModel back;
    ASSERT_EQ(readTextIntoList(path, separator, back).stop, ListReadStop::EndOfFile);
    EXPECT_EQ(rowsOf(back), rowsOf(list));
    EXPECT_EQ(back.title(3), QStringLiteral("SPL"));
    EXPECT_EQ(back.title(4), QStringLiteral("Leq"));
}

// ---------------------------------------------------------------------------------------------
// Reading text into the list

TEST(ListRead, LinesFieldsAndWhereReadingStops) {
    const QString longLine = QStringLiteral("x\t") + QString(198, u'y');  // 200 characters
    struct Case {
        const char* name;
        QByteArray bytes;
        QChar separator;
        std::vector<QStringList> rows;
        ListReadStop stop;
        qint64 stopLine;
        const char* title3;
    };
    const Case cases[] = {
        {"point text, CR LF",
         "2024-01-15\t10:00:00.0\t60.5\r\n2024-01-15\t10:00:01.0\t61.0\r\n",
         u'\t',
         {{"2024-01-15", "10:00:00.0", "60.5"}, {"2024-01-15", "10:00:01.0", "61.0"}},
         ListReadStop::EndOfFile,
         0,
         "Value"},
        {"LF and no line end at the end",
         "a\tb\tc\nd\te\tf",
         u'\t',
         {{"a", "b", "c"}, {"d", "e", "f"}},
         ListReadStop::EndOfFile,
         0,
         "Value"},
        {"first line without separator",
         "Date Time Level\r\na\tb\r\n",
         u'\t',
         {},
         ListReadStop::NoSeparator,
         1,
         "Value"},
        {"blank line in the middle",
         "a\tb\r\n\r\nc\td\r\n",
         u'\t',
         {{"a", "b"}},
         ListReadStop::NoSeparator,
         2,
         "Value"},
        {"a first line of empty fields",
         "\t\t\r\na\tb\r\n",
         u'\t',
         {{}, {"a", "b"}},
         ListReadStop::EndOfFile,
         0,
         "Value"},
        {"blank lines at the end",
         "a\tb\r\n\r\n\n",
         u'\t',
         {{"a", "b"}},
         ListReadStop::EndOfFile,
         0,
         "Value"},
        {"a 200-character line",
         "a\tb\r\n" + longLine.toLatin1() + "\r\nc\td\r\n",
         u'\t',
         {{"a", "b"}, {"x", QString(177, u'y')}},
         ListReadStop::LongLine,
         2,
         "Value"},
        // Characters outside ASCII: cut after 179 of them, not bytes.
        {"a line of 200 characters outside ASCII",
         QStringLiteral("\u00e4\t\u00f6\r\nx\t").toUtf8() + QString(198, u'\u00e9').toUtf8() +
             "\r\nc\td\r\n",
         u'\t',
         {{"\u00e4", "\u00f6"}, {"x", QString(177, u'\u00e9')}},
         ListReadStop::LongLine,
         2,
         "Value"},
        {"characters beyond Latin-1 between Latin-1 rows",
         QStringLiteral("ab\tc\r\n\u20ac\t\u6e29\u5ea6\t\u00e9\r\nd\te\r\n").toUtf8(),
         u'\t',
         {{"ab", "c"}, {"\u20ac", "\u6e29\u5ea6", "\u00e9"}, {"d", "e"}},
         ListReadStop::EndOfFile,
         0,
         "Value"},
        {"four fields: SPL and Leq",
         "d\tt\t60.0\t61.0\t\r\n",
         u'\t',
         {{"d", "t", "60.0", "61.0"}},
         ListReadStop::EndOfFile,
         0,
         "SPL"},
        {"an LEQ table whose first row has no level: SPL and Leq",
         "d\tt\t\t\t\r\nd\tt\t60.0\t61.0\t\r\n",
         u'\t',
         {{"d", "t"}, {"d", "t", "60.0", "61.0"}},
         ListReadStop::EndOfFile,
         0,
         "SPL"},
        {"a fourth field that is empty in every row keeps Value",
         "d\tt\t60.0\t\t\t\t\r\nd\tt\t\t\t\t\t\r\n",
         u'\t',
         {{"d", "t", "60.0"}, {"d", "t"}},
         ListReadStop::EndOfFile,
         0,
         "Value"},
        {"empty fields keep their place, more than six are dropped",
         "1\t\t3\t4\t5\t6\t7\t8\t\r\n",
         u'\t',
         {{"1", "", "3", "4", "5", "6"}},
         ListReadStop::EndOfFile,
         0,
         "SPL"},
        {"comma separator leaves tabs in fields",
         "a\tb,c,\r\n",
         u',',
         {{"a\tb", "c"}},
         ListReadStop::EndOfFile,
         0,
         "Value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ListTableModel list;
        const ListReadResult result = readBytes(c.bytes, c.separator, list);
        EXPECT_EQ(rowsOf(list), c.rows);
        EXPECT_EQ(result.lines, qint64(c.rows.size()));
        EXPECT_EQ(result.stop, c.stop);
        EXPECT_EQ(result.fileLine, c.stopLine);
        EXPECT_EQ(list.title(3), QString::fromLatin1(c.title3));
        const QString message = listReadMessage(result);
        EXPECT_EQ(message.isEmpty(), c.stop == ListReadStop::EndOfFile) << message.toStdString();
        if (!message.isEmpty()) {
            EXPECT_TRUE(message.contains(QStringLiteral("Line %1 ").arg(c.stopLine)))
                << message.toStdString();
        }
    }
}

TEST(ListRead, ViewsSeeTheRowsOnceAndCancelKeepsTheRowsRead) {
    QByteArray bytes;
    for (int i = 0; i < 1000; ++i)
        bytes += "2024-01-15\t10:00:00.0\t" + QByteArray::number(i) + "\r\n";

    ListTableModel list;
    std::vector<std::pair<int, int>> inserted;
    QObject::connect(
        &list, &QAbstractItemModel::rowsInserted,
        [&](const QModelIndex&, int first, int last) { inserted.emplace_back(first, last); });
    EXPECT_EQ(readBytes(bytes, u'\t', list).lines, 1000);
    EXPECT_EQ(inserted, (std::vector<std::pair<int, int>>{{0, 999}}));
    EXPECT_EQ(list.cell(999, 0), QStringLiteral("1000"));
    EXPECT_EQ(list.cell(999, 3), QStringLiteral("999"));

    CancelAt cancel(7);  // the eighth line is not stored
    inserted.clear();
    const ListReadResult result = readBytes(bytes, u'\t', list, &cancel);
    EXPECT_EQ(result.stop, ListReadStop::Cancelled);
    EXPECT_EQ(result.lines, 7);
    EXPECT_EQ(list.rowCount(), 7);
    EXPECT_EQ(cancel.lastLines, 7);
    EXPECT_TRUE(listReadMessage(result).isEmpty());
    EXPECT_EQ(list.cell(6, 3), QStringLiteral("6"));

    ListTableModel none;
    EXPECT_EQ(readTextIntoList(QStringLiteral("/no/such/file.txt"), u'\t', none).stop,
              ListReadStop::CannotOpen);
}

// ---------------------------------------------------------------------------------------------
// Output to graph

// Dates in the user's locale, then ISO 8601 and the C locale's forms; milliseconds as the point
// text files write them; two-digit years placed around the current year (2025 here).
TEST(ListGraph, DatesAndTimesInTheirWrittenForms) {
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QLocale german(QLocale::German, QLocale::Germany);
    const SerialDateTime t = at(2024, 1, 15, 14, 21, 36);
    const double ms = 1.0 / 86400000;
    struct Case {
        QString date, time;
        QLocale locale;
        double expected;  // 0: unreadable
    };
    const Case cases[] = {
        // The LEQ table's own form: short date and long time.
        {formatShortDate(t, us), formatLongTime(t, us), us, t},
        {QStringLiteral("1/15/24"), QStringLiteral("2:21:36 PM"), us, t},
        {QStringLiteral("15.01.24"), QStringLiteral("14:21:36"), german, t},
        {QStringLiteral("15.01.2024"), QStringLiteral("14:21:36"), german, t},
        // Other sessions' files: ISO and the C locale's "13 Apr 2024" in any locale.
        {QStringLiteral("15 Jan 2024"), QStringLiteral("14:21:36.0"), german, t},
        {QStringLiteral("15 Jan 2024"), QStringLiteral("14:21:36"), us, t},
        {QStringLiteral(" 2024-01-15 "), QStringLiteral("14:21:36.45"), german, t + 45 * ms},
        // One to three digits are whole milliseconds; more are a decimal fraction.
        {QStringLiteral("2024-01-15"), QStringLiteral("14:21:36.045"), us, t + 45 * ms},
        {QStringLiteral("2024-01-15"), QStringLiteral("14:21:36.5"), us, t + 5 * ms},
        {QStringLiteral("2024-01-15"), QStringLiteral("14:21:36.100"), us, t + 100 * ms},
        {QStringLiteral("2024-01-15"), QStringLiteral("14:21:36,7"), german, t + 7 * ms},
        {QStringLiteral("2024-01-15"), QStringLiteral("14:21:36.0"), us, t},
        {QStringLiteral("2024-01-15"), QStringLiteral("14:21:36.0454"), us, t + 45 * ms},
        {QStringLiteral("2024-01-15"), QStringLiteral("23:59:59.9996"), us,
         at(2024, 1, 16, 0, 0, 0)},
        // Two-digit years: 80 years back, 19 ahead of 2025.
        {QStringLiteral("12/31/99"), QStringLiteral("10:00:00"), us, at(1999, 12, 31, 10, 0, 0)},
        {QStringLiteral("2/29/00"), QStringLiteral("10:00:00"), us, at(2000, 2, 29, 10, 0, 0)},
        {QStringLiteral("1/1/44"), QStringLiteral("10:00:00"), us, at(2044, 1, 1, 10, 0, 0)},
        {QStringLiteral("01.01.45"), QStringLiteral("10:00:00"), german, at(1945, 1, 1, 10, 0, 0)},
        {QStringLiteral("2/30/24"), QStringLiteral("10:00:00"), us, 0},
        {QStringLiteral("2024-01-15"), QStringLiteral("24:00:00"), us, 0},
        {QStringLiteral("2024-01-15"), QStringLiteral("10:00"), german, 0},
        {QStringLiteral("abc"), QStringLiteral("10:00:00"), german, 0},
        {QStringLiteral("2024-01-15"), QStringLiteral("10:00:00."), german, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.date + u'|' + c.time).toStdString());
        double result = 0;
        EXPECT_EQ(readListDateTime(c.date, c.time, c.locale, result, 2025), c.expected != 0);
        if (c.expected != 0) {
            EXPECT_NEAR(result, c.expected, 0.1 * ms);
        }
    }
}

TEST(ListGraph, LevelColumnGapsAndSkippedRows) {
    const QLocale german(QLocale::German, QLocale::Germany);
    // An LEQ table: the SPL column is the level, the running Leq a second series beside it.
    ListTableModel leq;
    leq.appendRow({"15.01.24", "10:00:00", "60,0", "61,5"});
    leq.appendRow({"15.01.24", "10:00:01", "", "61,5"});      // no level: a gap
    leq.appendRow({"15.01.24", "25:00:02", "63,0", "63,5"});  // no time: skipped
    leq.appendRow({"15.01.24", "10:00:03", "64.5", "64,0"});  // a point in a comma locale
    leq.applyTitleRule();
    ASSERT_TRUE(leq.hasLeqColumn());
    const ListGraphPoints p = listGraphPoints(leq, german);
    ASSERT_TRUE(p.error.isEmpty()) << p.error.toStdString();
    EXPECT_EQ(p.first, at(2024, 1, 15, 10, 0, 0));
    EXPECT_EQ(p.last, at(2024, 1, 15, 10, 0, 3));
    ASSERT_EQ(p.x.size(), 4u);
    ASSERT_EQ(p.leq.size(), 4u);
    EXPECT_EQ(p.y[0], 60.0f);
    EXPECT_EQ(p.leq[0], 61.5f);
    EXPECT_EQ(p.x[1], at(2024, 1, 15, 10, 0, 1));
    EXPECT_TRUE(std::isnan(p.y[1]));
    EXPECT_EQ(p.leq[1], 61.5f);
    EXPECT_TRUE(std::isnan(p.x[2]));
    EXPECT_TRUE(std::isnan(p.y[2]));
    EXPECT_EQ(p.y[3], 64.5f);

    ListTableModel points;  // one series: the Value column
    points.appendRow({"15.01.24", "10:00:00.0", "70,1"});
    points.appendRow({"15.01.24", "10:00:00.500", "70,2"});
    points.applyTitleRule();
    EXPECT_FALSE(points.hasLeqColumn());
    const ListGraphPoints one = listGraphPoints(points, german);
    EXPECT_EQ(one.y, (std::vector<float>{70.1f, 70.2f}));
    EXPECT_TRUE(one.leq.empty());

    // A first or last row without a readable date and time is skipped like any other: the graph
    // spans the rows that can be read.
    for (int bad : {0, 1}) {
        ListTableModel list;
        list.appendRow({"15.01.24", bad == 0 ? "noon" : "10:00:00", "60,0"});
        list.appendRow({"15.01.24", bad == 1 ? "noon" : "10:00:01", "61,0"});
        const ListGraphPoints p1 = listGraphPoints(list, german);
        EXPECT_TRUE(p1.error.isEmpty());
        EXPECT_EQ(p1.readable, 1);
        EXPECT_EQ(p1.first, p1.last);
        EXPECT_EQ(p1.first, at(2024, 1, 15, 10, 0, bad == 0 ? 1 : 0));
    }
    // No row readable: one message naming the first row, what it holds and what was expected.
    ListTableModel none;
    none.appendRow({"someday", "noon", "60,0"});
    none.appendRow({"15.01.24", "25:00:00", "60,0"});
    const ListGraphPoints failed = listGraphPoints(none, german);
    EXPECT_EQ(failed.readable, 0);
    EXPECT_EQ(failed.error,
              QStringLiteral("No row has a readable date and time, so there is nothing to graph. "
                             "Row 1 holds \"someday noon\"; expected a date such as "
                             "\"31.12.2024\", \"2024-12-31\" or \"31 Dec 2024\" and a time such as "
                             "\"14:03:07\" or \"14:03:07.045\"."));
    EXPECT_EQ(listGraphPoints(ListTableModel(), german).error,
              QStringLiteral("No data to graph !"));
}

// ---------------------------------------------------------------------------------------------
// Range of a save

TEST(RangeSelection, TheRangeRules) {
    struct Case {
        bool all;
        const char* from;
        const char* to;
        qint64 count;
        std::optional<SelectedRange> range;
        bool invalid;
    };
    const Case cases[] = {
        {false, "-3", "2", 10, SelectedRange{2, 3}, false},
        {false, "0", "500", 10, SelectedRange{1, 10}, false},
        {false, "a", "2", 10, std::nullopt, true},
        {false, "1", "2x", 10, std::nullopt, true},
        {false, "1.5", "3", 10, std::nullopt, true},
        {false, "", "3", 10, std::nullopt, true},
        {false, "99999999999999999999", "3", 10, std::nullopt, true},
        {true, "a", "", 10, SelectedRange{1, 10}, false},
        {false, "12", "20", 10, std::nullopt, false},
        {false, " 4 ", "+6", 10, SelectedRange{4, 6}, false},
        {false, "7", "7", 10, SelectedRange{7, 7}, false},
        {true, "1", "1", 0, std::nullopt, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.from) + ".." + c.to);
        const RangeChoice choice =
            chooseRange(c.all, QString::fromLatin1(c.from), QString::fromLatin1(c.to), c.count);
        EXPECT_EQ(choice.range, c.range);
        EXPECT_EQ(choice.invalidInteger, c.invalid);
    }
}
