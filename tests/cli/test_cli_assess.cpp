#include <gtest/gtest.h>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimeZone>
#include <ctime>
#include <memory>

#include "dataset/SerialDateTime.h"
#include "graph/GraphFile.h"
#include "graph/GraphState.h"
#include "levels/LevelArithmetic.h"
#include "support/CliRun.h"
#include "support/Files.h"
#include "support/LocalZone.h"

using namespace kl516;

namespace {

const QString kData = QStringLiteral(KL516_TEST_DATA);

// The tool writes times in the local zone with the offset in force: the tests run in UTC, and
// a test that needs another zone sets it for its own run.
class UtcForAllTests : public ::testing::Environment {
    void SetUp() override { utc_ = std::make_unique<LocalZone>("UTC"); }
    void TearDown() override { utc_.reset(); }
    std::unique_ptr<LocalZone> utc_;
};
[[maybe_unused]] ::testing::Environment* const kUtc =
    ::testing::AddGlobalTestEnvironment(new UtcForAllTests);

using test::CliRun;
CliRun run(const QStringList& args) {
    return test::runCliInProcess(args);
}

QStringList lines(const QString& text) {
    return text.split('\n', Qt::SkipEmptyParts);
}

// The line of text output that starts with `start`, split at its blanks.
QStringList columnsOf(const QString& text, const QString& start) {
    for (const QString& line : lines(text))
        if (line.startsWith(start)) return line.split(' ', Qt::SkipEmptyParts);
    return {};
}

// Half an hour from 2024-05-10 10:00:00, one point every 10 s, at 60 dB except 80 dB from
// 10:05:00 to 10:06:30 (10 points) and 75 dB at 10:10:00 (one point); no points from 10:20:00
// to 10:24:50, and no level at 10:27:00. Figures worked out by hand (python):
//   10:00-10:15  90 points, 100 %, Leq 10·lg((79·10^6 + 10·10^8 + 10^7.5)/90) = 70.9, L10 80
//   10:15-10:30  59 levels; 10:19:50 weighs 20 s (twice the spacing) -> 600 s, 66.7 %, Leq 60
//   the day 07:00-19:00: 1500 s of 43 200 (3.5 %), Leq 68.9; no evening, no night
//   above 70 dB for at least 30 s: one event 10:05:00, 90 s + 10 s = 100 s, of 1500 s: 6.7 %
class AssessText : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QByteArray text;
        const QDateTime start(QDate(2024, 5, 10), QTime(10, 0));
        for (int k = 0; k < 180; ++k) {
            const int s = 10 * k;
            if (s >= 1200 && s < 1500) continue;
            QByteArray level = "60.0";
            if (s >= 300 && s <= 390) level = "80.0";
            if (s == 600) level = "75.0";
            if (s == 1620) level = "";
            text +=
                start.addSecs(s).toString("yyyy-MM-dd\tHH:mm:ss.0\t").toLatin1() + level + "\r\n";
        }
        path = dir.filePath("half-hour.txt");
        ASSERT_TRUE(test::writeAll(path, text));
    }

    CliRun assess(QStringList more) const {
        return run(QStringList{"assess", path, "--threshold", "70", "--min-duration", "30s"} +
                   more);
    }

    QTemporaryDir dir;
    QString path;
};

}  // namespace

TEST_F(AssessText, TextPrintsTheThreeTables) {
    const CliRun r = assess({"--interval", "15m"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("Intervals of 15 min (typical spacing 10.0 s)\nStart "))
        << r.out.toStdString();
    // The column titles of the window and the report.
    EXPECT_EQ(columnsOf(r.out, "Start "),
              QString("Start End Leq Lmax Lmin L10 L50 L90 Samples Coverage %").split(' '));
    EXPECT_EQ(columnsOf(r.out, "Day start "),
              QString("Day start Lday Levening Lnight Lden Ldn Day % Evening % Night % Status")
                  .split(' '));
    EXPECT_EQ(columnsOf(r.out, "2024-05-10T10:00:00+00:00"),
              QString("2024-05-10T10:00:00+00:00 2024-05-10T10:15:00+00:00 "
                      "70.9 80.0 60.0 80.0 60.0 60.0 90 100.0")
                  .split(' '));
    EXPECT_EQ(columnsOf(r.out, "2024-05-10T10:15:00+00:00"),
              QString("2024-05-10T10:15:00+00:00 2024-05-10T10:30:00+00:00 "
                      "60.0 60.0 60.0 60.0 60.0 60.0 59 66.7")
                  .split(' '));
    // No evening or night: their levels, Lden and Ldn are "-".
    EXPECT_EQ(columnsOf(r.out, "2024-05-10T07:00:00+00:00"),
              QString("2024-05-10T07:00:00+00:00 68.9 - - - - 3.5 0.0 0.0 incomplete").split(' '));
    EXPECT_EQ(columnsOf(r.out, "2024-05-10T10:05:00+00:00"),
              QString("2024-05-10T10:05:00+00:00 100.0 80.0 80.0").split(' '));
    EXPECT_TRUE(r.out.contains("\n1 event, 100.0 s above 70.0 dB: 6.7 % of 1500.0 s measured\n"))
        << r.out.toStdString();
}

// Each table as csv, under the column names of the window's CSV for spreadsheets: '.'
// decimals, empty fields where there is no figure.
TEST_F(AssessText, CsvPrintsTheChosenTable) {
    struct Case {
        const char* table;
        const char* expected;
    };
    const Case cases[] = {
        {"intervals",
         "start_time,end_time,leq_dB,lmax_dB,lmin_dB,l10_dB,l50_dB,l90_dB,samples,"
         "coverage_percent\n"
         "2024-05-10T10:00:00+00:00,2024-05-10T10:15:00+00:00,"
         "70.9,80.0,60.0,80.0,60.0,60.0,90,100.0\n"
         "2024-05-10T10:15:00+00:00,2024-05-10T10:30:00+00:00,"
         "60.0,60.0,60.0,60.0,60.0,60.0,59,66.7\n"},
        {"periods",
         "start_time,lday_dB,levening_dB,lnight_dB,lden_dB,ldn_dB,day_coverage_percent,"
         "evening_coverage_percent,night_coverage_percent,status\n"
         "2024-05-10T07:00:00+00:00,68.9,,,,,3.5,0.0,0.0,incomplete\n"},
        {"events",
         "start_time,duration_s,lmax_dB,leq_dB\n"
         "2024-05-10T10:05:00+00:00,100.0,80.0,80.0\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        const CliRun r = assess({"--interval", "15m", "--format", "csv", "--table", c.table});
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(r.out, QString::fromLatin1(c.expected));
    }
    // Without --table: the intervals.
    EXPECT_EQ(assess({"--interval", "15m", "--format", "csv"}).out,
              QString::fromLatin1(cases[0].expected));
}

TEST_F(AssessText, JsonHoldsEveryTable) {
    const CliRun r = assess({"--interval", "15m", "--format", "json"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(r.out.toUtf8(), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << r.out.toStdString();
    const QJsonObject all = doc.object();
    EXPECT_EQ(all["intervalSeconds"].toInt(), 900);
    EXPECT_EQ(all["typicalSpacing"].toDouble(), 10.0);

    const QJsonArray intervals = all["intervals"].toArray();
    ASSERT_EQ(intervals.size(), 2);
    const QJsonObject first = intervals[0].toObject();
    EXPECT_EQ(first["start"].toString(), "2024-05-10T10:00:00+00:00");
    EXPECT_EQ(first["end"].toString(), "2024-05-10T10:15:00+00:00");
    EXPECT_DOUBLE_EQ(first["leq"].toDouble(), 70.9);
    EXPECT_DOUBLE_EQ(first["l10"].toDouble(), 80.0);
    EXPECT_EQ(first["samples"].toInt(), 90);
    EXPECT_DOUBLE_EQ(intervals[1].toObject()["coverage"].toDouble(), 66.7);

    const QJsonArray periods = all["periods"].toArray();
    ASSERT_EQ(periods.size(), 1);
    const QJsonObject day = periods[0].toObject();
    EXPECT_DOUBLE_EQ(day["lday"].toDouble(), 68.9);
    for (const char* none : {"levening", "lnight", "lden", "ldn"})
        EXPECT_TRUE(day[none].isNull()) << none;
    EXPECT_FALSE(day["complete"].toBool(true));

    const QJsonArray events = all["events"].toArray();
    ASSERT_EQ(events.size(), 1);
    EXPECT_EQ(events[0].toObject()["start"].toString(), "2024-05-10T10:05:00+00:00");
    EXPECT_DOUBLE_EQ(events[0].toObject()["duration"].toDouble(), 100.0);
    const QJsonObject totals = all["totals"].toObject();
    EXPECT_EQ(totals["events"].toInt(), 1);
    EXPECT_DOUBLE_EQ(totals["secondsAbove"].toDouble(), 100.0);
    EXPECT_DOUBLE_EQ(totals["measuredSeconds"].toDouble(), 1500.0);
    EXPECT_DOUBLE_EQ(totals["percentAbove"].toDouble(), 6.7);
}

// Every spelling of an offered interval; without one, half an hour gets 1-minute intervals
// (30 of them, the five without a point among them). The day start moves the periods.
TEST_F(AssessText, OptionsReachTheAssessment) {
    struct Case {
        QStringList args;
        int interval;
        int rows;
    };
    const Case cases[] = {
        {{}, 60, 30},
        {{"--interval", "900"}, 900, 2},
        {{"--interval", "60m"}, 3600, 1},
        {{"--interval", "1h"}, 3600, 1},
        {{"--interval", "24h"}, 86400, 1},
        {{"--interval", "15 min"}, 900, 2},
        {{"--interval", "1 h"}, 3600, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const CliRun r = assess(c.args + QStringList{"--format", "json"});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        const QJsonObject all = QJsonDocument::fromJson(r.out.toUtf8()).object();
        EXPECT_EQ(all["intervalSeconds"].toInt(), c.interval);
        EXPECT_EQ(all["intervals"].toArray().size(), c.rows);
    }
    const CliRun oneMinute = assess({"--format", "csv"});
    EXPECT_TRUE(oneMinute.out.contains(
        "\n2024-05-10T10:21:00+00:00,2024-05-10T10:22:00+00:00,,,,,,,0,0.0\n"))
        << oneMinute.out.toStdString();

    const CliRun early = assess({"--day-start", "06:00", "--format", "csv", "--table", "periods"});
    EXPECT_EQ(early.status, 0) << early.err.toStdString();
    EXPECT_TRUE(early.out.contains("\n2024-05-10T06:00:00+00:00,68.9,")) << early.out.toStdString();
    // A threshold above every level: no event.
    const CliRun quiet = assess({"--threshold", "85", "--format", "csv", "--table", "events"});
    EXPECT_EQ(quiet.out, "start_time,duration_s,lmax_dB,leq_dB\n");
}

TEST_F(AssessText, WrongOptionsAreRefusedWithTheUsage) {
    const QString rec = kData + "/golden.rec";
    struct Case {
        QStringList args;
        const char* error;
    };
    const Case cases[] = {
        {{"assess"}, "assess needs IN"},
        {{"assess", path, "--interval", "7m"},
         "--interval takes 1 min, 5 min, 10 min, 15 min, 30 min, 1 h or 24 h, not 7m"},
        {{"assess", path, "--interval", "15x"}, "--interval takes"},
        {{"assess", path, "--interval", "0"}, "--interval takes"},
        {{"assess", path, "--min-duration", "ten"}, "--min-duration needs a duration"},
        {{"assess", path, "--min-duration", "25h"}, "--min-duration needs a duration up to 24 h"},
        {{"assess", path, "--threshold", "loud"}, "--threshold needs a level in dB"},
        {{"assess", path, "--day-start", "25:00"}, "--day-start needs a time of day"},
        {{"assess", path, "--night-start", "23"}, "--night-start needs a time of day"},
        {{"assess", path, "--format", "xml"}, "--format takes text, csv or json"},
        {{"assess", path, "--table", "events"}, "--table applies to --format csv only"},
        {{"assess", path, "--format", "csv", "--table", "rows"}, "--table takes intervals"},
        {{"assess", path, "--set", "1"}, "--set applies to collection files only"},
        {{"assess", rec}, "assess needs --set N for a collection file"},
        {{"assess", rec, "--set", "one"}, "--set needs a number"},
        {{"assess", dir.filePath("levels.xls")}, "assess reads .rec, .txt, .csv or .ghf"},
        {{"assess", path, "--out", "x.txt"}, "assess takes no --out"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const CliRun r = run(c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.err.contains(c.error)) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("usage: kl516-cli assess IN")) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    const CliRun help = run({"assess", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains("--min-duration TIME")) << help.out.toStdString();
    EXPECT_TRUE(run({"--help"}).out.contains("kl516-cli assess IN [--set N]"));
}

// A series the assessment refuses, or a time that cannot be read: status 2, the row named,
// nothing printed. A file that cannot be read, or only in part: status 1.
TEST(CliAssess, BadSeriesIsRefusedAndNothingPrinted) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto file = [&](const char* name, const QByteArray& text) {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(test::writeAll(path, text));
        return path;
    };
    struct Case {
        QString path;
        QStringList more;
        int status;
        const char* pattern;  // in the message
    };
    const Case cases[] = {
        {file("backwards.txt",
              "2024-05-10\t10:00:00.0\t60.0\r\n"
              "2024-05-10\t10:00:10.0\t60.0\r\n"
              "2024-05-10\t10:00:05.0\t60.0\r\n"
              "2024-05-10\t10:00:20.0\t60.0\r\n"),
         {},
         2,
         "row 3"},
        {file("one.txt", "2024-05-10\t10:00:00.0\t60.0\r\n"), {}, 2, "fewer than two"},
        {file("badtime.csv",
              "2024-05-10,10:00:00.0,60.0\r\n"
              "2024-05-10,ten o'clock,60.0\r\n"
              "2024-05-10,10:00:20.0,60.0\r\n"),
         {},
         2,
         "line 2 of .*badtime.csv has no readable date and time: \"2024-05-10 ten o'clock\""},
        {file("fine.txt", "2024-05-10\t10:00:00.0\t60.0\r\n2024-05-10\t10:00:10.0\t60.0\r\n"),
         {"--threshold", "300"},
         2,
         "threshold"},
        {dir.filePath("missing.txt"), {}, 1, "cannot read .*missing.txt: No such file"},
        {file("cut.txt",
              "2024-05-10\t10:00:00.0\t60.0\r\n\r\n"
              "2024-05-10\t10:00:10.0\t60.0\r\n"
              "2024-05-10\t10:00:20.0\t60.0\r\n"),
         {},
         1,
         "was not read to its end"},
        {file("damaged.ghf", "not a graph"), {}, 1, "damaged"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        const CliRun r = run(QStringList{"assess", c.path} + c.more);
        EXPECT_EQ(r.status, c.status) << r.err.toStdString();
        EXPECT_TRUE(r.err.startsWith("error: ")) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QRegularExpression(c.pattern))) << r.err.toStdString();
        EXPECT_FALSE(r.err.contains("usage:")) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    }
}

// A collection file's set: golden.rec's set 3 is 80, 80, 50 dB at 2 s from 2023-12-31
// 23:59:58, across midnight: 23:59 holds one point (2 s of 60, 3.3 %), 00:00 two
// (10·lg((10^8 + 10^5)/2) = 77.0, 4 s, 6.7 %).
TEST(CliAssess, CollectionSetIsAssessed) {
    const QString rec = kData + "/golden.rec";
    const CliRun r = run({"assess", rec, "--set", "3", "--interval", "1m", "--format", "csv"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out,
              "start_time,end_time,leq_dB,lmax_dB,lmin_dB,l10_dB,l50_dB,l90_dB,samples,"
              "coverage_percent\n"
              "2023-12-31T23:59:00+00:00,2024-01-01T00:00:00+00:00,"
              "80.0,80.0,80.0,80.0,80.0,80.0,1,3.3\n"
              "2024-01-01T00:00:00+00:00,2024-01-01T00:01:00+00:00,"
              "77.0,80.0,50.0,80.0,50.0,50.0,2,6.7\n");
    const CliRun missing = run({"assess", rec, "--set", "9"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.contains("there is no data set 9")) << missing.err.toStdString();

    // Only a whole set with its own start time is assessed: not one of a file cut short, nor
    // one whose start time the parser made up (set 3 recorded in month 13).
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray golden = test::readAll(rec);
    ASSERT_EQ(golden.size(), 352);
    QByteArray badMonth = golden;
    badMonth[302 + 4] = char(0x13);
    struct Case {
        QByteArray bytes;
        const char* set;
        const char* error;
    };
    const Case cases[] = {
        {golden.left(300), "1", "error 34: "},
        {badMonth, "3", "the start time of data set 3 is not a valid date and time"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        const QString file = dir.filePath("damaged.rec");
        ASSERT_TRUE(test::writeAll(file, c.bytes));
        const CliRun r = run({"assess", file, "--set", c.set});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.contains(c.error)) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    }
}

// A graph file's first series; the graph's null value is no level, and an unfilled point
// (time 0) is no point.
TEST(CliAssess, GraphSeriesIsAssessed) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    GraphState graph;
    graph.resize(2, 5);
    const double start = toSerialDateTime(QDateTime(QDate(2024, 3, 15), QTime(9, 30, 0)));
    const float levels[] = {60.0f, kNullDataValueY, 60.0f, 70.0f};
    for (int i = 0; i < 4; ++i) {
        graph.x[0][size_t(i)] = start + i * kOneSecond;
        graph.y[0][size_t(i)] = levels[i];
        graph.x[1][size_t(i)] = graph.x[0][size_t(i)];
        graph.y[1][size_t(i)] = 90.0f;  // the second series is not assessed
    }
    const QString path = dir.filePath("graph.ghf");
    ASSERT_TRUE(writeGraphFile(graph, path).ok());
    const CliRun r = run({"assess", path, "--interval", "1m", "--format", "csv"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    // 10·lg((2·10^6 + 10^7)/3) = 66.0; 3 of 60 s.
    EXPECT_EQ(r.out,
              "start_time,end_time,leq_dB,lmax_dB,lmin_dB,l10_dB,l50_dB,l90_dB,samples,"
              "coverage_percent\n"
              "2024-03-15T09:30:00+00:00,2024-03-15T09:31:00+00:00,"
              "66.0,70.0,60.0,70.0,60.0,60.0,3,5.0\n");
}

// Local times that cross Berlin's autumn clock change (2024-10-27, 03:00 CEST back to 02:00
// CET, the hour from 02:00 written twice) are read in order: the day of the change has 25 hour
// rows, two of them from 02:00, and the day-evening-night period from 07:00 the day before
// lasts 25 hours. A time that really steps back, in the second pass, is still refused.
TEST(CliAssess, LocalTimesAcrossTheAutumnClockChangeAreRead) {
    const LocalZone berlin("Europe/Berlin");
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QTimeZone zone("Europe/Berlin");
    // 60 dB every minute from 2024-10-26 07:00 CEST (05:00Z) to 2024-10-28 00:00 CET (23:00Z).
    const QDateTime first(QDate(2024, 10, 26), QTime(5, 0), QTimeZone::utc());
    const QDateTime last(QDate(2024, 10, 27), QTime(23, 0), QTimeZone::utc());
    QByteArray text;
    for (QDateTime t = first; t <= last; t = t.addSecs(60))
        text += t.toTimeZone(zone).toString("yyyy-MM-dd\tHH:mm:ss.0").toLatin1() + "\t60.0\r\n";
    const QString path = dir.filePath("autumn.txt");
    ASSERT_TRUE(test::writeAll(path, text));

    const CliRun hours = run({"assess", path, "--interval", "1h", "--format", "csv"});
    ASSERT_EQ(hours.status, 0) << hours.err.toStdString();
    QStringList starts;
    for (const QString& line : lines(hours.out))
        if (line.startsWith("2024-10-27T")) starts << line.section(',', 0, 0);
    EXPECT_EQ(starts.size(), 25) << hours.out.toStdString();
    EXPECT_EQ(starts.mid(1, 4),
              (QStringList{"2024-10-27T01:00:00+02:00", "2024-10-27T02:00:00+02:00",
                           "2024-10-27T02:00:00+01:00", "2024-10-27T03:00:00+01:00"}));
    EXPECT_TRUE(hours.out.contains("\n2024-10-27T02:00:00+01:00,2024-10-27T03:00:00+01:00,60.0,"))
        << hours.out.toStdString();

    const CliRun periods = run({"assess", path, "--format", "csv", "--table", "periods"});
    ASSERT_EQ(periods.status, 0) << periods.err.toStdString();
    // 07:00 CEST to 07:00 CET: 25 hours, every part fully covered, so Lden of a constant 60 dB
    // is 60 + 10 lg((12 + 4 * 10^0.5 + 8 * 10) / 24) = 66.4.
    const QStringList rows = lines(periods.out);
    ASSERT_GE(rows.size(), 3);
    EXPECT_EQ(rows[1],
              "2024-10-26T07:00:00+02:00,60.0,60.0,60.0,66.4,66.4,100.0,100.0,100.0,complete");
    EXPECT_TRUE(rows[2].startsWith("2024-10-27T07:00:00+01:00,")) << rows[2].toStdString();

    // 02:59 CEST, 02:00 CET, then 02:30 and 02:10: the last steps back in the second pass.
    const QString back = dir.filePath("back.txt");
    ASSERT_TRUE(test::writeAll(back,
                               "2024-10-27\t02:59:00.0\t60.0\r\n"
                               "2024-10-27\t02:00:00.0\t60.0\r\n"
                               "2024-10-27\t02:30:00.0\t60.0\r\n"
                               "2024-10-27\t02:10:00.0\t60.0\r\n"));
    const CliRun refused = run({"assess", back});
    EXPECT_EQ(refused.status, 2);
    EXPECT_TRUE(refused.err.contains("row 4: the time goes backwards"))
        << refused.err.toStdString();
}
