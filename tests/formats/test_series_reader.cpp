#include <gtest/gtest.h>

#include <QBuffer>
#include <QTemporaryDir>
#include <QTimeZone>
#include <cmath>
#include <vector>

#include "dataset/SerialDateTime.h"
#include "formats/ListTable.h"
#include "formats/SeriesReader.h"
#include "formats/SpreadsheetCsv.h"
#include "graph/GraphSeries.h"
#include "graph/GraphState.h"
#include "levels/LevelArithmetic.h"
#include "support/Files.h"

using namespace kl516;

namespace {

const LocalClock kBerlin{QTimeZone("Europe/Berlin")};
const LocalClock kUtc{QTimeZone::utc()};

// Across the end of summer time in Berlin: 02:30 CEST, then 02:00 CET, half an hour later.
// The instants (python: datetime.fromisoformat(t).timestamp()): 1729989000.0, 1729990800.0,
// 1729990800.5.
const QByteArray kFoldCsv =
    "time,level_dB,leq_dB\r\n"
    "2024-10-27T02:30:00.000+02:00,60.0,61.0\r\n"
    "2024-10-27T02:00:00.000+01:00,,61.0\r\n"
    "2024-10-27T02:00:00.500+01:00,70.5,65.2\r\n";

MeasuredSeries readSeries(const QByteArray& text, QChar separator, const LocalClock& clock,
                          TextSeriesRead& read, const QLocale& locale = QLocale::c()) {
    QBuffer buffer;
    buffer.setData(text);
    return readTextMeasuredSeries(buffer, QStringLiteral("in.txt"), separator, locale, clock, read);
}

std::vector<QStringList> listRows(const ListTableModel& list) {
    std::vector<QStringList> rows;
    for (int r = 0; r < list.rowCount(); ++r) {
        QStringList cells;
        for (int c = 1; c <= 4; ++c) cells << list.cell(r, c);
        rows.push_back(cells);
    }
    return rows;
}

bool sameLevels(const std::vector<float>& a, const std::vector<float>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!(a[i] == b[i] || (std::isnan(a[i]) && std::isnan(b[i])))) return false;
    return true;
}

}  // namespace

// A time written with its offset is an exact instant, whatever the reader's zone; its level is
// the level column, never the running Leq beside it.
TEST(SpreadsheetCsvRead, TimesAreExactInstantsAndTheLevelIsTheSplColumn) {
    for (const LocalClock* clock : {&kBerlin, &kUtc}) {
        SCOPED_TRACE(clock->zone().id().toStdString());
        TextSeriesRead read;
        const MeasuredSeries s = readSeries(kFoldCsv, u'\t', *clock, read);
        ASSERT_TRUE(s.ok()) << s.error.toStdString();
        EXPECT_EQ(read.dialect, TextDialect::SpreadsheetCsv);
        EXPECT_EQ(s.times, (std::vector<double>{1729989000.0, 1729990800.0, 1729990800.5}));
        EXPECT_TRUE(sameLevels(s.levels, {60.0f, std::nanf(""), 70.5f}));
        EXPECT_TRUE(s.sourceIndex.empty());  // point i is row i
        EXPECT_EQ(s.sourceIndexOf(2), 2u);
        EXPECT_EQ(s.levelColumn, QStringLiteral("SPL"));
    }
}

// The list shows a spreadsheet CSV as it shows the program's own text: the header is no row,
// the times are dates and times of the local wall clock, the levels sit under SPL and Leq. Its
// graph gives back the file's instants, through the hour the clocks go back.
TEST(SpreadsheetCsvRead, ThroughTheListAndItsGraph) {
    struct Case {
        const char* name;
        const LocalClock& clock;
        const char* first;
        const char* second;
    };
    const Case cases[] = {{"Berlin", kBerlin, "02:30:00.0", "02:00:00.0"},
                          {"UTC", kUtc, "00:30:00.0", "01:00:00.0"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QBuffer buffer;
        buffer.setData(kFoldCsv);
        ListTableModel list;
        // The name says tab-separated text: the header says otherwise.
        const ListReadResult r = readTextIntoList(buffer, u'\t', list, nullptr, &c.clock);
        ASSERT_EQ(r.stop, ListReadStop::EndOfFile);
        EXPECT_EQ(r.lines, 3);
        EXPECT_EQ(listRows(list),
                  (std::vector<QStringList>{
                      {"2024-10-27", c.first, "60.0", "61.0"},
                      {"2024-10-27", c.second, "", "61.0"},
                      {"2024-10-27", QString::fromLatin1(c.second).replace(".0", ".500"), "70.5",
                       "65.2"}}));
        EXPECT_EQ(list.title(3), QStringLiteral("SPL"));
        EXPECT_EQ(list.title(4), QStringLiteral("Leq"));

        const ListGraphPoints points = listGraphPoints(list, QLocale::c());
        ASSERT_TRUE(points.error.isEmpty()) << points.error.toStdString();
        GraphState graph = seriesGraphState(points.x, points.y);
        const MeasuredSeries s = graphMeasuredSeries(graph, c.clock);
        ASSERT_TRUE(s.ok()) << s.error.toStdString();
        EXPECT_EQ(s.times, (std::vector<double>{1729989000.0, 1729990800.0, 1729990800.5}));
        EXPECT_EQ(points.leq, (std::vector<float>{61.0f, 61.0f, 65.2f}));
    }
}

// What the program writes as spreadsheet CSV reads back as the series it was written from.
TEST(SpreadsheetCsvRead, TheProgramsOwnFileReadsBackAsItsSeries) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("series.csv"));
    std::vector<double> times;
    std::vector<float> levels;
    const double start = toSerialDateTime(QDate(2024, 3, 30), QTime(22, 0));
    for (int i = 0; i < 3 * 3600; i += 7) {
        times.push_back(start + i * kOneSecond + (i % 3) * 0.125 * kOneSecond);
        levels.push_back(i % 11 == 0 ? kNullLevel : 40.0f + float(i % 400) / 10.0f);
    }
    ASSERT_TRUE(
        writeSeriesSpreadsheetCsvFile(path, times, {levels}, seriesSpreadsheetHeader(1, {})).ok());
    const LocalClock system;
    TextSeriesRead read;
    const MeasuredSeries back = readTextMeasuredSeries(path, QLocale::c(), system, read);
    ASSERT_TRUE(back.ok()) << back.error.toStdString();
    EXPECT_TRUE(back.levelColumn.isEmpty());
    const MeasuredSeries written = measuredSeriesOfSerials(times, levels, kNullLevel, system);
    ASSERT_EQ(back.times.size(), written.times.size());
    EXPECT_EQ(back.times, written.times);
    // Levels with one decimal, as written.
    EXPECT_TRUE(sameLevels(back.levels, written.levels));
}

// An LEQ table (tab, each cell followed by the separator): the level is SPL; a second without
// a reading has empty cells and is a gap, not the running Leq.
TEST(TextSeriesRead, LeqTableIsReadOnItsSplColumn) {
    TextSeriesRead read;
    const MeasuredSeries s = readSeries(
        "2024-05-10\t10:00:00.0\t50.0\t50.0\t\r\n"
        "2024-05-10\t10:00:01.0\t\t\t\r\n"
        "2024-05-10\t10:00:02.0\t70.0\t67.0\t\r\n",
        u'\t', kUtc, read);
    ASSERT_TRUE(s.ok()) << s.error.toStdString();
    EXPECT_TRUE(read.leqColumn);
    EXPECT_EQ(s.levelColumn, QStringLiteral("SPL"));
    const double t0 = 1715335200;  // 2024-05-10T10:00:00Z
    EXPECT_EQ(s.times, (std::vector<double>{t0, t0 + 1, t0 + 2}));
    EXPECT_TRUE(sameLevels(s.levels, {50.0f, std::nanf(""), 70.0f}));

    const MeasuredSeries one = readSeries("2024-05-10\t10:00:00.0\t50,5\r\n", u'\t', kUtc, read,
                                          QLocale(QLocale::German, QLocale::Germany));
    EXPECT_TRUE(one.levelColumn.isEmpty());
    EXPECT_EQ(one.levels, std::vector<float>{50.5f});
}

// Nothing is taken from part of a file: a series that cannot be read whole is no series.
TEST(TextSeriesRead, SeriesThatCannotBeReadWholeAreRefused) {
    struct Case {
        const char* name;
        QByteArray text;
        TextSeriesProblem problem;
        const char* message;  // in the series' error
    };
    const Case cases[] = {
        {"a blank line before the end",
         "2024-05-10\t10:00:00.0\t60.0\r\n\r\n2024-05-10\t10:00:01.0\t60.0\r\n",
         TextSeriesProblem::NotToItsEnd, "in.txt was not read to its end: 1 line was read. Line 2"},
        {"a row without a time", "2024-05-10\t10:00:00.0\t60.0\r\n2024-05-10\tnoon\t60.0\r\n",
         TextSeriesProblem::NoTime,
         "line 2 of in.txt has no readable date and time: \"2024-05-10 noon\""},
        {"a spreadsheet time that cannot be read",
         "time,level_dB\r\n2024-05-10T10:00:00Z,60.0\r\nyesterday,60.0\r\n",
         TextSeriesProblem::NoTime,
         "line 3 of in.txt has no readable date and time: \"yesterday\""},
        {"a time that goes backwards",
         "2024-05-10\t10:00:10.0\t60.0\r\n2024-05-10\t10:00:20.0\t60.0\r\n"
         "2024-05-10\t10:00:15.0\t60.0\r\n",
         TextSeriesProblem::None, "row 3: the time goes backwards"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TextSeriesRead read;
        const MeasuredSeries s = readSeries(c.text, u'\t', kUtc, read);
        EXPECT_EQ(read.problem, c.problem);
        EXPECT_FALSE(s.ok());
        EXPECT_TRUE(s.error.contains(QLatin1String(c.message))) << s.error.toStdString();
    }
    TextSeriesRead read;
    const MeasuredSeries missing =
        readTextMeasuredSeries(QStringLiteral("/nonexistent/x.txt"), QLocale::c(), kUtc, read);
    EXPECT_EQ(read.problem, TextSeriesProblem::CannotOpen);
    EXPECT_FALSE(missing.ok());
}

// The quick reading of plain numbers gives what the locale's reading gives, and leaves every
// other form to it.
TEST(ListLevels, ReadAsTheLocaleReadsThem) {
    const QLocale german(QLocale::German, QLocale::Germany);
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const char* texts[] = {"72,4",
                           "72.4",
                           "-3.5",
                           "0.1",
                           "80",
                           " 60.25 ",
                           "1.234",
                           "1,234",
                           "1e2",
                           "+5",
                           "72.",
                           ".5",
                           "7a",
                           "",
                           "3.4028236e38",
                           "0.30000000000000004",
                           "123456789.123456789",
                           "12345.6789012345",
                           "0.000000000000001",
                           "-0",
                           "-",
                           "1234567890123456789012345678901234567890.5"};
    for (const QLocale& locale : {german, us, QLocale::c()}) {
        QLocale strict = locale;
        strict.setNumberOptions(strict.numberOptions() | QLocale::RejectGroupSeparator);
        QLocale c = QLocale::c();
        c.setNumberOptions(c.numberOptions() | QLocale::RejectGroupSeparator);
        const ListLevelReader reader(locale);
        for (const char* text : texts) {
            SCOPED_TRACE(locale.name().toStdString() + " \"" + text + "\"");
            const QString t = QString::fromLatin1(text).trimmed();
            bool ok = false;
            float expected = strict.toFloat(t, &ok);
            if (!ok) expected = c.toFloat(t, &ok);
            ok = ok && std::isfinite(expected);
            float level = -1;
            EXPECT_EQ(reader.read(QString::fromLatin1(text), level), ok);
            if (ok) {
                EXPECT_EQ(level, expected);
            }
        }
    }
}

// A graph's measured series: its first series as long as its point count, without the points
// a real-time graph has not filled yet, the points without a time left out, the graph's null
// value a gap; sourceIndex names the graph's points, also for a range of them.
TEST(GraphSeries, TheFirstSeriesPointsWithATime) {
    GraphState g;
    g.resize(2, 8);
    const double start = toSerialDateTime(QDate(2024, 5, 10), QTime(10, 0));
    for (int i = 0; i < 8; ++i) {
        g.x[0][size_t(i)] = g.x[1][size_t(i)] = start + i * kOneSecond;
        g.y[0][size_t(i)] = 60.0f + float(i);
        g.y[1][size_t(i)] = 99.0f;  // a running Leq: never the level
    }
    g.points = 7;            // the arrays hold one more
    g.x[0][5] = 0;           // not measured yet ...
    g.x[0][6] = 0;           // ... to the end
    g.x[0][1] = 0;           // a row whose time could not be read
    g.y[0][2] = kNullLevel;  // no level
    EXPECT_EQ(graphSeriesLength(g), 5);

    const double t0 = 1715335200;  // 2024-05-10T10:00:00Z
    const MeasuredSeries all = graphMeasuredSeries(g, kUtc);
    ASSERT_TRUE(all.ok()) << all.error.toStdString();
    EXPECT_EQ(all.times, (std::vector<double>{t0, t0 + 2, t0 + 3, t0 + 4}));
    EXPECT_TRUE(sameLevels(all.levels, {60.0f, std::nanf(""), 63.0f, 64.0f}));
    EXPECT_EQ(all.sourceIndex, (std::vector<size_t>{0, 2, 3, 4}));

    const MeasuredSeries range = graphMeasuredSeries(g, kUtc, 1, 3);
    EXPECT_EQ(range.times, (std::vector<double>{t0 + 2, t0 + 3}));
    EXPECT_EQ(range.sourceIndex, (std::vector<size_t>{2, 3}));
    EXPECT_TRUE(graphMeasuredSeries(g, kUtc, 6, 9).empty());
    EXPECT_EQ(graphSeriesLength(GraphState{}), 0);
}
