#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>
#include <csignal>

#include "cli/Cli.h"
#include "cli/FileCommands.h"
#include "cli/LiveCommand.h"
#include "formats/ListTable.h"
#include "formats/PointText.h"
#include "graph/GraphFile.h"
#include "graph/GraphState.h"
#include "levels/LevelArithmetic.h"
#include "link/Clock.h"
#include "report/PdfText.h"
#include "simulator/SimulatedMeter.h"
#include "support/CliRun.h"
#include "support/Files.h"

using namespace kl516;

namespace {

const QString kData = QStringLiteral(KL516_TEST_DATA);
const QString kCli = QStringLiteral(KL516_CLI);

using test::CliRun;
// The tool in process on a manual clock (its start 2024-01-15 10:00:00; waits cost nothing).
inline CliRun run(const QStringList& args, DeviceLibrary* meter = nullptr) {
    return test::runCliInProcess(args, meter);
}

// The built tool, for what only a process shows: signals and the system locale.
QProcess* startTool(QProcess& p, const QStringList& args, const QString& locale = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!locale.isEmpty()) {
        env.insert("LC_ALL", locale);
        env.insert("LANG", locale);
    }
    p.setProcessEnvironment(env);
    p.start(kCli, args);
    return &p;
}

CliRun runTool(const QStringList& args, const QString& locale = {}) {
    QProcess p;
    startTool(p, args, locale);
    CliRun r;
    if (!p.waitForFinished(30000)) return r;
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

// The built tool in a time zone of its own.
CliRun runToolIn(const char* zone, const QStringList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TZ", zone);
    p.setProcessEnvironment(env);
    p.start(kCli, args);
    CliRun r;
    if (!p.waitForFinished(60000)) return r;
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

// A tool built without the graphical libraries cannot draw: report and plot say so.
bool cannotDraw(const CliRun& r) {
    return r.status == 1 && r.err.contains("without the graphical libraries");
}

using test::readAll;
using test::writeAll;

QStringList lines(const QString& text) {
    return text.split('\n', Qt::SkipEmptyParts);
}

}  // namespace

// ---- convert ------------------------------------------------------------------------------

// A collection file's set comes out as export writes it (the export golden files).
TEST(CliConvert, CollectionSetIsWrittenAsExportWritesIt) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    struct Case {
        const char* set;
        const char* out;
        const char* golden;
    };
    for (const Case& c : {Case{"1", "set1.csv", "golden_set1_iso.csv"},
                          Case{"3", "set3.txt", "golden_set3_iso.txt"}}) {
        SCOPED_TRACE(c.out);
        const QString out = dir.filePath(c.out);
        const CliRun r = run({"convert", kData + "/golden.rec", out, "--set", c.set, "--iso"});
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(readAll(out), readAll(kData + "/" + c.golden));
    }
    const CliRun missing =
        run({"convert", kData + "/golden.rec", dir.filePath("x.txt"), "--set", "9", "--iso"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.contains("there is no data set 9")) << missing.err.toStdString();
}

TEST(CliConvert, WrongArgumentsWriteNothing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString rec = kData + "/golden.rec";
    const QString txt = dir.filePath("in.txt");
    ASSERT_TRUE(writeAll(txt, "2024-01-15\t10:00:00.0\t70.0\r\n"));
    const QString out = dir.filePath("out.csv");
    struct Case {
        QStringList args;
        const char* error;
    };
    const Case cases[] = {
        {{"convert", rec}, "convert needs IN OUT"},
        {{"convert", rec, out}, "needs --set N for a collection file"},
        {{"convert", txt, out, "--set", "1"}, "--set applies to collection files only"},
        {{"convert", rec, dir.filePath("out.dat"), "--set", "1"}, "writes .txt or .csv"},
        {{"convert", dir.filePath("in.xls"), out}, "reads .rec, .txt, .csv or .ghf"},
        {{"convert", txt, out, "--out", "x.txt"}, "convert takes no --out"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const CliRun r = run(c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.err.contains(c.error)) << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(out));
        EXPECT_FALSE(QFile::exists(dir.filePath("out.dat")));
    }
}

// Text to text: the separator changes, dates and times stay as written unless --iso, which
// reads them and writes ISO dates and point-text times; a table text file stays one, and a point
// text file stays one when a point has no level.
TEST(CliConvert, TextFilesChangeSeparatorAndKeepTheirKind) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    struct Case {
        const char* name;
        QByteArray in;  // a .txt file
        bool iso;
        QByteArray expected;  // the .csv file
    };
    const Case cases[] = {
        {"point text kept as written",
         "2024-01-15\t14:03:07\t72.4\r\n2024-01-15\t14:03:08.5\t73.0\r\n", false,
         "2024-01-15,14:03:07,72.4\r\n2024-01-15,14:03:08.5,73.0\r\n"},
        {"point text, ISO times",
         "2024-01-15\t14:03:07\t72.4\r\n2024-01-15\t23:59:59.9996\t73.0\r\n", true,
         "2024-01-15,14:03:07.0,72.4\r\n2024-01-16,00:00:00.0,73.0\r\n"},
        {"two series", "2024-01-15\t14:03:07.0\t72.4\t70.1\n", true,
         "2024-01-15,14:03:07.0,72.4,70.1\r\n"},
        // A point without a level ends its line with the separator: still point text, and
        // its empty level fields stay.
        {"point text whose first point has no level",
         "2024-01-15\t14:03:07.0\t\r\n2024-01-15\t14:03:08.0\t73.0\r\n", false,
         "2024-01-15,14:03:07.0,\r\n2024-01-15,14:03:08.0,73.0\r\n"},
        {"two series, levels missing",
         "2024-01-15\t14:03:07.0\t72.4\t70.1\r\n2024-01-15\t14:03:08.0\t\t\r\n"
         "2024-01-15\t14:03:09.0\t73.0\t\r\n",
         true,
         "2024-01-15,14:03:07.0,72.4,70.1\r\n2024-01-15,14:03:08.0,,\r\n"
         "2024-01-15,14:03:09.0,73.0,\r\n"},
        // An LEQ table: every cell followed by the separator, a second without levels.
        {"table text", "2024-01-15\t14:03:07\t72.4\t72.4\t\r\n2024-01-15\t14:03:08\t\t\t\r\n",
         false, "2024-01-15,14:03:07,72.4,72.4,\r\n2024-01-15,14:03:08,,,\r\n"},
        {"table text whose first row has no level",
         "2024-01-15\t14:03:07\t\t\t\r\n2024-01-15\t14:03:08\t72.4\t72.4\t\r\n", false,
         "2024-01-15,14:03:07,,,\r\n2024-01-15,14:03:08,72.4,72.4,\r\n"},
        // The spreadsheet CSV, whatever its name: its header is no line, its times the
        // program's date and time (local times, written here without an offset).
        {"spreadsheet CSV",
         "time,level_dB,leq_dB\r\n2024-01-15T14:03:07.000,72.4,70.1\r\n"
         "2024-01-15T14:03:08.5,,\r\n",
         false, "2024-01-15,14:03:07.0,72.4,70.1\r\n2024-01-15,14:03:08.500,,\r\n"},
        {"spreadsheet CSV, ISO times", "time,level_dB\r\n2024-01-15T23:59:59.999,72.4\r\n", true,
         "2024-01-15,23:59:59.999,72.4\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString in = dir.filePath("in.txt");
        const QString out = dir.filePath("out.csv");
        ASSERT_TRUE(writeAll(in, c.in));
        QStringList args{"convert", in, out};
        if (c.iso) args << "--iso";
        const CliRun r = run(args);
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(readAll(out), c.expected);

        // And back: the tab-separated file again (times as now written).
        const QString back = dir.filePath("back.txt");
        ASSERT_EQ(run({"convert", out, back}).status, 0);
        QByteArray tabbed = c.expected;
        tabbed.replace(',', '\t');
        EXPECT_EQ(readAll(back), tabbed);
    }
}

// What the reader could not read is said, with status 1; a date that --iso cannot read or a
// field that would split writes nothing.
TEST(CliConvert, TextThatCannotBeReadFails) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString in = dir.filePath("in.txt");
    const QString out = dir.filePath("out.csv");
    struct Case {
        const char* name;
        QByteArray in;
        bool iso;
        const char* error;
        QByteArray written;  // empty: no file
    };
    const Case cases[] = {
        {"blank line in the middle",
         "2024-01-15\t10:00:00.0\t70.0\r\n\r\n2024-01-15\t10:00:01.0\t71.0\r\n", false,
         "Line 2 is empty or has no field separator", "2024-01-15,10:00:00.0,70.0\r\n"},
        {"no separator at all", "just a note\r\n", false, "holds no line with a tab", ""},
        {"unreadable date", "2024-01-15\t10:00:00.0\t70.0\r\nsoon\tlater\t71.0\r\n", true,
         "line 2 of", ""},
        {"seven fields", "2024-01-15\t10:00:00.0\t1\t2\t3\t4\t5\r\n", false, "line 1 of", ""},
        {"a comma in a field", "2024-01-15\t10:00:00.0\t70.0\tloud, then quiet\r\n", false,
         "holds a comma", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(out);
        ASSERT_TRUE(writeAll(in, c.in));
        QStringList args{"convert", in, out};
        if (c.iso) args << "--iso";
        const CliRun r = run(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.contains(c.error)) << r.err.toStdString();
        EXPECT_EQ(QFile::exists(out), !c.written.isEmpty());
        if (!c.written.isEmpty()) {
            EXPECT_EQ(readAll(out), c.written);
        }
    }
    const CliRun none = run({"convert", dir.filePath("absent.txt"), out});
    EXPECT_EQ(none.status, 1);
    EXPECT_TRUE(none.err.contains("cannot read")) << none.err.toStdString();
}

// A graph file's points: one level per line, or two when the graph has two series; the
// unfilled points (time 0) end it. A damaged file fails with the reader's message.
TEST(CliConvert, GraphFileGivesItsSeriesAsPointText) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    GraphState two;
    two.resize(2, 4);
    const double start = toSerialDateTime(QDateTime(QDate(2024, 3, 15), QTime(9, 30, 5)));
    for (int i = 0; i < 3; ++i) {
        two.x[0][size_t(i)] = two.x[1][size_t(i)] = start + i * 2 * kOneSecond;
        two.y[0][size_t(i)] = 70.0f + float(i);
        two.y[1][size_t(i)] = 60.5f + float(i);
    }
    GraphState one = two;
    one.resize(1, 4);
    const QString twoFile = dir.filePath("two.ghf");
    const QString oneFile = dir.filePath("one.ghf");
    ASSERT_TRUE(writeGraphFile(two, twoFile).ok());
    ASSERT_TRUE(writeGraphFile(one, oneFile).ok());

    const QString out = dir.filePath("out.txt");
    CliRun r = run({"convert", twoFile, out, "--iso"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(readAll(out),
              "2024-03-15\t09:30:05.0\t70.0\t60.5\r\n"
              "2024-03-15\t09:30:07.0\t71.0\t61.5\r\n"
              "2024-03-15\t09:30:09.0\t72.0\t62.5\r\n");
    r = run({"convert", oneFile, dir.filePath("out.csv"), "--iso"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(readAll(dir.filePath("out.csv")),
              "2024-03-15,09:30:05.0,70.0\r\n"
              "2024-03-15,09:30:07.0,71.0\r\n"
              "2024-03-15,09:30:09.0,72.0\r\n");

    // Cut short: the count says more than follows.
    QByteArray cut = readAll(twoFile);
    cut.chop(10);
    ASSERT_TRUE(writeAll(dir.filePath("cut.ghf"), cut));
    r = run({"convert", dir.filePath("cut.ghf"), dir.filePath("cut.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("the file is damaged")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("cut.txt")));
}

// ---- the comma rule -----------------------------------------------------------------------

TEST(CliCommaRule, CommaDecimalsNeverGoIntoCommaSeparatedFiles) {
    const QLocale german(QLocale::German, QLocale::Germany);
    struct Case {
        const char* path;
        bool iso;
        QLocale locale;
        bool allowed;
    };
    const Case cases[] = {
        {"out.csv", false, german, false},      {"OUT.CSV", false, german, false},
        {"out.csv", true, german, true},        {"out.txt", false, german, true},
        {"out.csv", false, QLocale::c(), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        QString text;
        QTextStream err(&text);
        EXPECT_EQ(csvCanHoldDecimals(c.path, c.iso, c.locale, err), c.allowed);
        err.flush();
        EXPECT_EQ(text.contains("use --iso or a .txt file"), !c.allowed) << text.toStdString();
    }
}

// The built tool under a German locale: export and convert refuse a .csv without --iso and
// write nothing; with --iso, or into a .txt, they write (the .txt with comma decimals), and
// convert reads those comma decimals back.
TEST(CliCommaRule, ToolRefusesCsvUnderACommaLocale) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString de = QStringLiteral("de_DE.UTF-8");
    const QString rec = kData + "/golden.rec";
    const QString csv = dir.filePath("set1.csv");
    for (const QStringList& args : {QStringList{"export", rec, "--set", "1", "--out", csv},
                                    QStringList{"convert", rec, csv, "--set", "1"}}) {
        SCOPED_TRACE(args.front().toStdString());
        const CliRun r = runTool(args, de);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.err.contains("cannot hold comma decimals: use --iso or a .txt file"))
            << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(csv));
    }
    const QString txt = dir.filePath("set1.txt");
    ASSERT_EQ(runTool({"export", rec, "--set", "1", "--out", txt}, de).status, 0);
    const QByteArray german = readAll(txt);
    EXPECT_TRUE(german.contains("\t70,0\r\n")) << german.toStdString();

    const CliRun r = runTool({"convert", txt, csv, "--iso"}, de);
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(readAll(csv), readAll(kData + "/golden_set1_iso.csv"));
}

// ---- paths ----------------------------------------------------------------------------------

TEST(CliPaths, PrintsOneNamedPathPerLine) {
    const CliRun r = run({"paths"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList l = lines(r.out);
    ASSERT_EQ(l.size(), 7) << r.out.toStdString();
    QStringList names;
    for (const QString& line : l) names << line.section(": ", 0, 0);
    EXPECT_EQ(names, (QStringList{"program", "shipped data", "user data", "graph template",
                                  "help page", "LEQ log", "measurement data"}));
    EXPECT_TRUE(l.front().endsWith(QCoreApplication::applicationDirPath()))
        << l.front().toStdString();
    EXPECT_EQ(run({"paths", "extra"}).status, 2);
}

// ---- live -----------------------------------------------------------------------------------

// A reading's fields from a frame the meter could send.
TEST(CliLive, LineHoldsWhatTheDisplayShows) {
    ResponseFrame f{};
    f[0] = kFrameStart;
    f[31] = kFrameEnd;
    f[1] = 0x01 | 0x04 | 0x80;  // REC, MAX/MIN on, C weighting, SLOW, over range
    f[4] = 0x11;                // MAX
    f[11] = 0x04;
    f[12] = 0x4C;  // 110.0 dB
    const QDateTime when(QDate(2026, 12, 10), QTime(15, 4, 5, 123), Qt::OffsetFromUTC, 3600);
    const MeterStatus maxShown = decode(f);
    EXPECT_EQ(liveLine(maxShown, when, LiveFormat::Tsv),
              "2026-12-10T15:04:05.123+01:00\t110.0\tC\tSLOW\t30-130\tREC MAX OVER");

    f[1] = 0x08 | 0x10 | 0x40;  // A, FAST, under range
    f[2] = 0x80 | 0x40 | 0x20;  // LEQ shown, a run going on
    f[26] = 0x03;
    f[27] = 0x84;  // 90.0 dB
    const QDateTime west(QDate(2026, 1, 2), QTime(3, 4, 5, 6), Qt::OffsetFromUTC,
                         -(5 * 3600 + 30 * 60));
    EXPECT_EQ(liveLine(decode(f), west, LiveFormat::Csv),
              "2026-01-02T03:04:05.006-05:30,90.0,A,FAST,30-130,LEQ RUN UNDER");
    EXPECT_EQ(liveLine(decode(f), west, LiveFormat::Json),
              "{\"time\":\"2026-01-02T03:04:05.006-05:30\",\"level\":90.0,\"weighting\":\"A\","
              "\"response\":\"FAST\",\"range\":\"30-130\",\"flags\":[\"LEQ\",\"RUN\",\"UNDER\"]}");
}

// Five readings of the simulated meter in each format, one interval apart.
TEST(CliLive, CountReadingsInEveryFormat) {
    const QRegularExpression time(
        "^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d$");
    const QRegularExpression level("^\\d+\\.\\d$");
    for (const char* format : {"csv", "tsv", "json"}) {
        SCOPED_TRACE(format);
        const CliRun r =
            run({"live", "--simulate", "--count", "5", "--interval", "0.25", "--format", format});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
        EXPECT_TRUE(r.out.endsWith('\n'));
        QStringList l = lines(r.out);
        const bool json = QLatin1String(format) == QLatin1String("json");
        if (!json) {
            ASSERT_FALSE(l.isEmpty());
            const QString sep = QLatin1String(format) == QLatin1String("csv") ? "," : "\t";
            EXPECT_EQ(l.takeFirst(),
                      QStringList({"time", "level", "weighting", "response", "range", "flags"})
                          .join(sep));
        }
        ASSERT_EQ(l.size(), 5) << r.out.toStdString();
        QList<QDateTime> times;
        for (const QString& line : l) {
            SCOPED_TRACE(line.toStdString());
            QString t, lv, weighting, response, range;
            if (json) {
                QJsonParseError error;
                const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8(), &error);
                ASSERT_EQ(error.error, QJsonParseError::NoError);
                const QJsonObject o = doc.object();
                EXPECT_EQ(o.keys().size(), 6);
                ASSERT_TRUE(o["level"].isDouble());
                ASSERT_TRUE(o["flags"].isArray());
                t = o["time"].toString();
                lv = QString::number(o["level"].toDouble(), 'f', 1);
                EXPECT_TRUE(line.contains("\"level\":" + lv + ","));
                weighting = o["weighting"].toString();
                response = o["response"].toString();
                range = o["range"].toString();
            } else {
                const QStringList f =
                    line.split(QLatin1String(format) == QLatin1String("csv") ? ',' : '\t');
                ASSERT_EQ(f.size(), 6);
                t = f[0], lv = f[1], weighting = f[2], response = f[3], range = f[4];
            }
            EXPECT_TRUE(time.match(t).hasMatch()) << t.toStdString();
            EXPECT_TRUE(level.match(lv).hasMatch()) << lv.toStdString();
            EXPECT_EQ(weighting, "A");  // the simulated meter's start
            EXPECT_EQ(response, "FAST");
            EXPECT_EQ(range, "30-130");
            times << QDateTime::fromString(t, Qt::ISODateWithMs);
        }
        for (int i = 1; i < times.size(); ++i) EXPECT_EQ(times[i - 1].msecsTo(times[i]), 250);
    }
}

// Five failed polls in a row lose the meter: whole lines, a message and status 3. A meter that
// is not there at the start is error 1001 and status 1.
TEST(CliLive, LostOrMissingMeterEndsWithItsStatus) {
    ManualClock meterClock;
    SimulatedMeter::Options options;
    options.unplugAfterExchanges = 8;
    SimulatedMeter vanishing(meterClock, options);
    const CliRun lost = run({"live", "--format", "csv"}, &vanishing);
    EXPECT_EQ(lost.status, kLiveMeterLost);
    EXPECT_TRUE(lost.err.contains("the meter was lost: 5 status polls in a row failed"))
        << lost.err.toStdString();
    EXPECT_TRUE(lost.out.endsWith('\n'));
    const QStringList l = lines(lost.out);
    ASSERT_GE(l.size(), 2);  // the header and at least one reading
    for (const QString& line : l) EXPECT_EQ(line.count(','), 5) << line.toStdString();

    SimulatedMeter absent(meterClock);
    absent.unplug();
    const CliRun none = run({"live", "--count", "3"}, &absent);
    EXPECT_EQ(none.status, 1);
    EXPECT_TRUE(none.err.endsWith("error 1001: the meter did not answer\n"))
        << none.err.toStdString();
    EXPECT_TRUE(none.out.isEmpty());

    for (const QStringList& wrong :
         {QStringList{"live", "--interval", "0.05"}, QStringList{"live", "--interval", "x"},
          QStringList{"live", "--count", "0"}, QStringList{"live", "--format", "xml"},
          QStringList{"live", "--bogus"}, QStringList{"live", "--count"}}) {
        SCOPED_TRACE(wrong.join(' ').toStdString());
        const CliRun r = run(wrong);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.err.contains("usage: kl516-cli live")) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
}

// SIGTERM and SIGINT end the built tool after the line being written, with status 0.
TEST(CliLive, SignalEndsTheToolAfterWholeLines) {
    for (int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        QProcess p;
        startTool(p, {"live", "--simulate", "--interval", "0.1", "--format", "csv"});
        ASSERT_TRUE(p.waitForStarted(10000));
        QByteArray out;
        while (out.count('\n') < 3 && p.waitForReadyRead(10000)) out += p.readAllStandardOutput();
        ASSERT_GE(out.count('\n'), 3) << out.toStdString();  // the header and two readings
        ASSERT_EQ(::kill(pid_t(p.processId()), signal), 0);
        ASSERT_TRUE(p.waitForFinished(10000));
        out += p.readAllStandardOutput();
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 0);
        EXPECT_TRUE(out.endsWith('\n')) << out.toStdString();
        const QStringList l = lines(QString::fromUtf8(out));
        for (const QString& line : l.mid(1)) EXPECT_EQ(line.split(',').size(), 6);
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        EXPECT_TRUE(err.startsWith(QStringLiteral("stopped by %1 after %2 readings")
                                       .arg(signal == SIGTERM ? "SIGTERM" : "SIGINT")
                                       .arg(l.size() - 1)))
            << err.toStdString();
    }
}

TEST(CliFiles, HelpNamesTheNewCommands) {
    const CliRun all = run({"--help"});
    for (const char* usage :
         {"kl516-cli convert IN OUT", "kl516-cli live [--simulate]", "kl516-cli paths\n"})
        EXPECT_TRUE(all.out.contains(usage)) << usage;
    struct Case {
        QStringList args;
        const char* begins;
        const char* mentions;
    };
    const Case cases[] = {
        {{"convert", "--help"}, "usage: kl516-cli convert ", "--set N"},
        {{"paths", "-h"}, "usage: kl516-cli paths", "name: path"},
        {{"live", "--help"}, "usage: kl516-cli live ", "header line first"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.begins);
        const CliRun r = run(c.args);
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(r.out.startsWith(c.begins)) << r.out.toStdString();
        EXPECT_TRUE(r.out.contains(c.mentions)) << r.out.toStdString();
    }
}

// ---- the measured series of any file -------------------------------------------------------

// The same half hour, once as point text of Berlin's wall clock and once as the spreadsheet CSV
// with its offsets: the tool reads both as one series, whatever it is called.
TEST(CliSeries, SpreadsheetCsvIsReadAsThePointTextOfItsSeries) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QByteArray points, spreadsheet = "time,level_dB\r\n";
    const QDateTime start(QDate(2024, 5, 10), QTime(10, 0));
    for (int k = 0; k < 180; ++k) {
        const QDateTime t = start.addSecs(10 * k);
        const QByteArray level = k % 7 == 3 ? "" : QByteArray::number(55.0 + k % 25, 'f', 1);
        points += t.toString("yyyy-MM-dd\tHH:mm:ss.0\t").toLatin1() + level + "\r\n";
        spreadsheet += t.toString("yyyy-MM-ddTHH:mm:ss.000+02:00,").toLatin1() + level + "\r\n";
    }
    const QString txt = dir.filePath("half-hour.txt");
    const QString csv = dir.filePath("half-hour.csv");
    const QString misnamed = dir.filePath("spreadsheet.txt");
    ASSERT_TRUE(writeAll(txt, points));
    ASSERT_TRUE(writeAll(csv, spreadsheet));
    ASSERT_TRUE(writeAll(misnamed, spreadsheet));
    for (const char* format : {"text", "csv", "json"}) {
        SCOPED_TRACE(format);
        const QStringList options{"--interval", "1m", "--threshold", "70", "--format", format};
        const CliRun fromText = runToolIn("Europe/Berlin", QStringList{"assess", txt} + options);
        ASSERT_EQ(fromText.status, 0) << fromText.err.toStdString();
        EXPECT_TRUE(fromText.out.contains("2024-05-10T10:29:00")) << fromText.out.toStdString();
        for (const QString& path : {csv, misnamed}) {
            const CliRun r = runToolIn("Europe/Berlin", QStringList{"assess", path} + options);
            EXPECT_EQ(r.status, 0) << r.err.toStdString();
            EXPECT_EQ(r.out, fromText.out);
        }
    }
    // convert writes its points as the point text file holds them.
    const QString converted = dir.filePath("converted.txt");
    const CliRun r = runToolIn("Europe/Berlin", {"convert", csv, converted, "--iso"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(readAll(converted), points);
    EXPECT_EQ(r.out, "wrote 180 lines\n");
}

// An LEQ table (and the point text of a running Leq's two series) is assessed on its SPL
// column, never on the running Leq, and the tool says which column it took. SPL 50, 60, 70 dB
// each second: Leq = 10 lg((10^5 + 10^6 + 10^7) / 3) = 65.68 (python), Lmax 70, Lmin 50,
// L10 70, L50 60, L90 50; the Leq column holds a constant 99 dB.
TEST(CliSeries, AnLeqTableIsAssessedOnItsSplColumn) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QByteArray table, twoSeries;
    const QDateTime start(QDate(2024, 5, 10), QTime(10, 0));
    for (int k = 0; k < 120; ++k) {
        const QByteArray time = start.addSecs(k).toString("yyyy-MM-dd\tHH:mm:ss.0\t").toLatin1();
        const QByteArray spl = QByteArray::number(50 + 10 * (k % 3)) + ".0";
        table += time + spl + "\t99.0\t\r\n";
        twoSeries += time + spl + "\t99.0\r\n";
    }
    const QString leqTable = dir.filePath("leq.txt");
    const QString points = dir.filePath("running.csv");
    ASSERT_TRUE(writeAll(leqTable, table));
    twoSeries.replace('\t', ',');
    ASSERT_TRUE(writeAll(points, twoSeries));
    const QString note = "level: SPL column (the Leq column is a running Leq)\n";
    for (const QString& in : {leqTable, points}) {
        SCOPED_TRACE(in.toStdString());
        const CliRun csv = run({"assess", in, "--interval", "1m", "--format", "csv"});
        ASSERT_EQ(csv.status, 0) << csv.err.toStdString();
        EXPECT_EQ(csv.err, "note: " + note);
        const QStringList rows = lines(csv.out);
        ASSERT_EQ(rows.size(), 3) << csv.out.toStdString();
        const QStringList header = rows[0].split(',');
        for (const QString& row : rows.mid(1)) {
            const QStringList cells = row.split(',');
            ASSERT_EQ(cells.size(), header.size());
            // The column of a figure, whatever unit its name carries ("Leq", "leq_dB").
            const auto cell = [&](const char* name) {
                const qsizetype c = header.indexOf(
                    QRegularExpression(QStringLiteral("^%1(_.*)?$").arg(QLatin1String(name)),
                                       QRegularExpression::CaseInsensitiveOption));
                return cells.value(c);
            };
            EXPECT_EQ(cell("Leq"), "65.7") << row.toStdString();
            EXPECT_EQ(cell("Lmax"), "70.0");
            EXPECT_EQ(cell("Lmin"), "50.0");
            EXPECT_EQ(cell("L10"), "70.0");
            EXPECT_EQ(cell("L50"), "60.0");
            EXPECT_EQ(cell("L90"), "50.0");
        }
        const CliRun text = run({"assess", in, "--interval", "1m"});
        ASSERT_EQ(text.status, 0) << text.err.toStdString();
        EXPECT_TRUE(text.out.startsWith(note)) << text.out.toStdString();
        EXPECT_TRUE(text.err.isEmpty());

        // report and plot draw the SPL as the graph's series and say so.
        const QString png = dir.filePath("leq.png");
        const CliRun plot = runTool({"plot", in, "--out", png, "--size", "320x200"});
        if (cannotDraw(plot)) continue;
        ASSERT_EQ(plot.status, 0) << plot.err.toStdString();
        EXPECT_TRUE(plot.out.startsWith(note)) << plot.out.toStdString();
        const QString pdf = dir.filePath("leq.pdf");
        const CliRun report = runTool({"report", in, "--out", pdf});
        ASSERT_EQ(report.status, 0) << report.err.toStdString();
        EXPECT_TRUE(report.out.startsWith(note)) << report.out.toStdString();
        const QString page = test::pdfLayoutPages(pdf).value(0);
        EXPECT_TRUE(page.contains("Level: the SPL series (the Leq series is a running Leq)"))
            << page.toStdString();
        EXPECT_TRUE(page.contains(QRegularExpression("Leq\\s+65\\.7 dB"))) << page.toStdString();
        EXPECT_TRUE(page.contains(QRegularExpression("Lmax\\s+70\\.0 dB"))) << page.toStdString();
    }
}

// A graph file with a point without a time in it (a list row whose date could not be read,
// after "Output Tabular to graph"): assess and report both leave the point out and assess the
// rest.
TEST(CliSeries, APointWithoutATimeIsLeftOutAlikeByAssessAndReport) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    GraphState g;
    g.dateTimeMode = DateTimeMode::SerialDays;
    g.resize(1, 120);
    for (int i = 0; i < 120; ++i) {
        g.x[0][size_t(i)] = toSerialDateTime(QDate(2024, 5, 10), QTime(10, 0).addSecs(i));
        g.y[0][size_t(i)] = 60.0f;
    }
    g.x[0][60] = 0;  // row 61 had no readable date and time
    const QString ghf = dir.filePath("gap.ghf");
    ASSERT_TRUE(writeGraphFile(g, ghf).ok());

    const CliRun assess = run({"assess", ghf, "--interval", "1m", "--format", "csv"});
    ASSERT_EQ(assess.status, 0) << assess.err.toStdString();
    const QStringList rows = lines(assess.out);
    ASSERT_EQ(rows.size(), 3) << assess.out.toStdString();
    const int samples = int(rows[0].split(',').indexOf(QRegularExpression("^samples")));
    EXPECT_EQ(rows[1].split(',').value(samples), "60");
    EXPECT_EQ(rows[2].split(',').value(samples), "59");

    const QString pdf = dir.filePath("gap.pdf");
    const CliRun report = runTool({"report", ghf, "--out", pdf});
    if (cannotDraw(report)) GTEST_SKIP() << "the tool cannot draw";
    ASSERT_EQ(report.status, 0) << report.err.toStdString();
    const QString text = test::pdfLayoutPages(pdf).join('\n');
    EXPECT_FALSE(text.contains("No noise assessment")) << text.toStdString();
    EXPECT_TRUE(text.contains("Noise assessment")) << text.toStdString();
}
