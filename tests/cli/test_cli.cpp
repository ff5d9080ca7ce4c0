#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <QLocale>
#include <QRegularExpression>
#include <cstring>

#include "cli/Cli.h"
#include "leq/LeqRun.h"
#include "link/Clock.h"
#include "link/MeterLink.h"
#include "simulator/SimulatedMeter.h"
#include "support/CliRun.h"
#include "support/Files.h"

using namespace kl516;

namespace {

const QString kGolden = QStringLiteral(KL516_TEST_DATA "/golden.rec");

using test::CliRun;
// The tool in process on a manual clock (its start 2024-01-15 10:00:00; waits cost nothing).
inline CliRun run(const QStringList& args, DeviceLibrary* meter = nullptr) {
    return test::runCliInProcess(args, meter);
}

// The tool in process with the meter on the tool's own clock, so that the meter's time runs with
// the tool's waits.
CliRun runSharingClock(const QStringList& args, ManualClock& clock, DeviceLibrary& meter) {
    CliRun r;
    QTextStream out(&r.out);
    QTextStream err(&r.err);
    r.status = runCli(args, out, err, CliDevices{&clock, &meter});
    out.flush();
    err.flush();
    return r;
}

// A meter whose answers stop changing after `frozenAfter` reads: every later read gets the same
// status frame, so its clock bytes stand still.
class FreezingMeter final : public DeviceLibrary {
  public:
    FreezingMeter(DeviceLibrary& meter, int frozenAfter) : meter_(meter), after_(frozenAfter) {}
    int32_t close() override { return meter_.close(); }
    int32_t open(uint16_t vendorId, uint16_t productId) override {
        return meter_.open(vendorId, productId);
    }
    int32_t setTimeouts(int32_t r, int32_t w) override { return meter_.setTimeouts(r, w); }
    int32_t write(int32_t length, const uint8_t* bytes) override {
        return meter_.write(length, bytes);
    }
    int32_t prepareRead() override { return meter_.prepareRead(); }
    int32_t read(int32_t length, uint8_t* buffer) override {
        const int32_t r = meter_.read(length, buffer);
        if (r != 0 || length != 32) return r;
        if (++reads_ == after_) std::memcpy(frozen_.data(), buffer, 32);
        if (reads_ > after_) std::memcpy(buffer, frozen_.data(), 32);
        return r;
    }
    int32_t writeBlock(int32_t length, const uint8_t* bytes) override {
        return meter_.writeBlock(length, bytes);
    }
    int32_t readString(int32_t index, char* buffer, int32_t size) override {
        return meter_.readString(index, buffer, size);
    }

  private:
    DeviceLibrary& meter_;
    int after_;
    int reads_ = 0;
    ResponseFrame frozen_{};
};

using test::readAll;
using test::writeAll;

QStringList linesOf(const QByteArray& bytes) {
    return QString::fromLocal8Bit(bytes).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
}

}  // namespace

TEST(Cli, HelpForTheProgramAndEveryCommand) {
    struct Case {
        QStringList args;
        const char* usage;  // how the help begins
    };
    const Case cases[] = {
        {{"--help"}, "usage: kl516-cli --version\n"},
        {{"-h"}, "usage: kl516-cli --version\n"},
        {{"probe", "--help"}, "usage: kl516-cli probe "},
        {{"download", "--help"}, "usage: kl516-cli download "},
        {{"sets", "-h"}, "usage: kl516-cli sets "},
        {{"export", "--help"}, "usage: kl516-cli export "},
        // Help wins over what else the line holds, right or wrong.
        {{"download", "--out", "x.rec", "--bogus", "-h"}, "usage: kl516-cli download "},
        {{"export", "--set", "--help"}, "usage: kl516-cli export "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const CliRun r = run(c.args);
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(r.out.startsWith(QLatin1String(c.usage))) << r.out.toStdString();
        EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    }
    // Each command's help names its options.
    EXPECT_TRUE(run({"download", "--help"}).out.contains("--sim-empty"));
    EXPECT_TRUE(run({"export", "--help"}).out.contains("--iso"));

    const CliRun unknown = run({"bogus", "--help"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_TRUE(unknown.err.startsWith("unknown command: bogus\n"));
}

TEST(Cli, SimulatedMeterStartsWithDemoSetsUnlessAskedEmpty) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString demo = dir.filePath("demo.rec");
    const CliRun download = run({"download", "--simulate", "--out", demo});
    ASSERT_EQ(download.status, 0) << download.err.toStdString();
    EXPECT_TRUE(download.out.endsWith(" bytes, 4 data sets\n")) << download.out.toStdString();
    const QByteArray image = SimulatedMeter::demoLoggerImage(1);  // the default seed's
    EXPECT_EQ(readAll(demo).left(image.size()), image);

    const CliRun sets = run({"sets", demo, "--iso"});
    EXPECT_EQ(sets.status, 0);
    EXPECT_EQ(sets.out.count('\n'), 5);  // the result line and four sets
    EXPECT_TRUE(sets.err.isEmpty()) << sets.err.toStdString();

    const QString empty = dir.filePath("empty.rec");
    const CliRun none = run({"download", "--simulate", "--sim-empty", "--out", empty});
    EXPECT_EQ(none.status, 1);
    EXPECT_TRUE(
        none.err.endsWith("error 31: There was not any data recorded in memory of meter !\n"));
    EXPECT_FALSE(QFile::exists(empty));

    for (const QStringList& wrong : {QStringList{"download", "--sim-empty", "--out", empty},
                                     QStringList{"download", "--simulate", "--sim-empty",
                                                 "--sim-memory", kGolden, "--out", empty},
                                     QStringList{"sets", kGolden, "--simulate"}}) {
        SCOPED_TRACE(wrong.join(' ').toStdString());
        EXPECT_EQ(run(wrong).status, 2);
    }
}

// Without a meter the presence check that starts every link transaction fails, so every
// command that needs the meter reports 1001 in the same words.
TEST(Cli, NoMeterIsOneCodeAndMessageForEveryCommand) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const QStringList& args :
         {QStringList{"probe"}, QStringList{"download", "--out", dir.filePath("x.rec")}}) {
        SCOPED_TRACE(args.front().toStdString());
        ManualClock meterClock;
        SimulatedMeter absent(meterClock);
        absent.unplug();
        const CliRun r = run(args, &absent);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.endsWith("error 1001: the meter did not answer\n"))
            << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("x.rec")));
}

// A file that does not parse cleanly fails, says why on stderr, and marks every start time the
// parser had to make up (the manual clock's now is 2024-01-15 10:00:00).
TEST(Cli, DamagedFilesFailAndRepairedStartTimesAreMarked) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray golden = readAll(kGolden);
    ASSERT_EQ(golden.size(), 352);
    QByteArray badMonth = golden;
    badMonth[284 + 4] = char(0x13);  // set 2 recorded in month 13

    struct Case {
        const char* name;
        QByteArray bytes;
        int status;
        const char* error;   // the result line on stderr, empty for none
        QStringList marked;  // the rows whose start is marked, as "set date time"
        int rows;
    };
    const Case cases[] = {
        {"cut short",
         golden.left(300),
         1,
         "error 34: at least one data set ends beyond the memory's last address\n",
         {"3 2024-01-15* 10:00:00*", "4 2024-01-15* 10:00:00*"},
         4},
        {"month 13", badMonth, 0, "", {"2 2024-01-15* 10:00:00*"}, 4},
        {"foreign",
         QByteArray("This is not a logger image but it is long enough.\n"),
         1,
         "error 32: the file's header says it holds more than 4000 data sets\n",
         {},
         0},
        {"zeros",
         QByteArray(400, '\0'),
         1,
         "error 31: the file's header says it holds no data sets\n",
         {},
         0},
        {"golden", golden, 0, "", {}, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = dir.filePath("case.rec");
        ASSERT_TRUE(writeAll(file, c.bytes));
        const CliRun r = run({"sets", file, "--iso"});
        EXPECT_EQ(r.status, c.status);
        if (*c.error)
            EXPECT_TRUE(r.err.contains(QLatin1String(c.error))) << r.err.toStdString();
        else
            EXPECT_FALSE(r.err.contains("error")) << r.err.toStdString();
        EXPECT_EQ(r.err.contains("(marked *)"), !c.marked.isEmpty()) << r.err.toStdString();

        QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
        ASSERT_FALSE(lines.isEmpty());
        lines.removeFirst();  // "result N"
        EXPECT_EQ(lines.size(), c.rows);
        QStringList marked;
        for (const QString& line : lines) {
            const QStringList f = line.split('\t');
            if (line.contains('*')) marked << f.mid(0, 3).join(' ');
        }
        EXPECT_EQ(marked, c.marked);
    }

    // Exporting from the cut file: the points are written, the failure and the made-up start
    // time are said.
    ASSERT_TRUE(writeAll(dir.filePath("cut.rec"), golden.left(300)));
    const CliRun r = run({"export", dir.filePath("cut.rec"), "--set", "3", "--iso", "--out",
                          dir.filePath("set3.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("error 34: ")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("start time of data set 3 is not a valid date and time"))
        << r.err.toStdString();
    EXPECT_TRUE(QFile::exists(dir.filePath("set3.txt")));
}

// Every command reads its arguments by the same rules: a wrong use is status 2 and reaches
// neither the meter nor a file; without a meter every command that needs one fails with 1 and
// error 1001 before any output.
TEST(Cli, WrongUseIsTwoAndNoMeterIsOneForEveryCommand) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString rec = kGolden;
    const QString txt = dir.filePath("in.txt");
    ASSERT_TRUE(writeAll(txt, "2024-01-15\t10:00:00.0\t70.0\r\n"));
    const QString out = dir.filePath("out.txt");
    struct Case {
        QStringList args;
        const char* message;
    };
    const Case wrong[] = {
        // An option without its value never takes the next option as it.
        {{"probe", "--trace", "--simulate"}, "--trace needs a value"},
        {{"download", "--out", "--simulate"}, "--out needs a value"},
        {{"download", "--simulate", "--out"}, "--out needs a value"},
        {{"export", rec, "--set", "--out", out}, "--set needs a value"},
        {{"convert", txt, out, "--set", "--iso"}, "--set needs a value"},
        {{"live", "--count", "--simulate"}, "--count needs a value"},
        {{"leq", "--seconds", "5", "--out", "--simulate"}, "--out needs a value"},
        {{"leq", "--seconds", "--", "5"}, "--seconds needs a value"},
        {{"info", "--trace", "--simulate"}, "--trace needs a value"},
        {{"set-clock", "--trace", "-simulate"}, "--trace needs a value"},
        {{"set-interval", "00:30", "--trace", "--yes"}, "--trace needs a value"},
        {{"erase", "--trace", "--yes"}, "--trace needs a value"},
        {{"config-read", "15", "--trace="}, "--trace needs a value"},
        {{"config-write", "15", "7", "--code", "--simulate"}, "--code needs a value"},
        // Missing arguments and options.
        {{}, "a command is needed"},
        {{"sets"}, "sets needs FILE.rec"},
        {{"export", "--set", "1", "--out", out}, "export needs FILE.rec"},
        {{"export", rec, "--set", "1"}, "export needs --out"},
        {{"convert", txt}, "convert needs IN OUT"},
        {{"download", "--simulate"}, "download needs --out FILE.rec"},
        {{"leq", "--simulate"}, "leq needs --seconds N"},
        {{"set-interval"}, "set-interval needs MM:SS"},
        {{"config-write", "15", "--code", "9282"}, "config-write needs ADDR BYTE"},
        {{"config-write", "15", "7"}, "config-write needs --code CODE"},
        // Arguments too many.
        {{"probe", "x"}, "unexpected argument: x"},
        {{"download", "--out", out, "x"}, "unexpected argument: x"},
        {{"sets", rec, "x"}, "unexpected argument: x"},
        {{"export", rec, "x", "--set", "1", "--out", out}, "unexpected argument: x"},
        {{"convert", txt, out, "x"}, "unexpected argument: x"},
        {{"live", "x"}, "unexpected argument: x"},
        {{"paths", "x"}, "unexpected argument: x"},
        {{"leq", "--seconds", "5", "x"}, "unexpected argument: x"},
        {{"info", "x"}, "unexpected argument: x"},
        {{"set-clock", "x"}, "unexpected argument: x"},
        {{"set-interval", "00:30", "x"}, "unexpected argument: x"},
        {{"erase", "--yes", "x"}, "unexpected argument: x"},
        {{"config-read", "15", "16"}, "unexpected argument: 16"},
        {{"config-write", "15", "7", "-8", "--code", "9282"}, "unexpected argument: -8"},
        // Unknown options, options of other commands, unknown commands.
        {{"probe", "--bogus"}, "unknown option: --bogus"},
        {{"leq", "--seconds", "5", "-x"}, "unknown option: -x"},
        {{"info", "--yes"}, "info takes no --yes"},
        {{"paths", "--simulate"}, "paths takes no --simulate"},
        {{"live", "--out", out}, "live takes no --out"},
        {{"sets", rec, "--simulate"}, "sets takes no --simulate"},
        {{"--version", "probe"}, "probe takes no --version"},
        {{"bogus"}, "unknown command: bogus"},
        // Values out of range or of the wrong kind; negative numbers are values.
        {{"probe", "--sim-empty"}, "--sim-empty needs --simulate"},
        {{"export", rec, "--set", "x", "--out", out}, "--set needs a number"},
        {{"convert", txt, out, "--set", "1"}, "--set applies to collection files only"},
        {{"live", "--count", "0"}, "--count needs a whole number of at least 1"},
        {{"live", "--interval", "-1"}, "--interval needs seconds from 0.1"},
        {{"live", "--format", "xml"}, "--format is csv, tsv or json"},
        {{"leq", "--seconds", "0"}, "--seconds needs a whole number from 1 to 86400"},
        {{"leq", "--seconds", "86401"}, "--seconds needs a whole number from 1 to 86400"},
        {{"leq", "--seconds", "-5"}, "--seconds needs a whole number from 1 to 86400"},
        {{"set-interval", "01:01"}, "error 701: Invalid Input"},
        {{"config-read", "-1"}, "0xFFFFFF"},
        {{"config-write", "5", "256", "--code", "0000"}, "0 to 255"},
    };
    for (const Case& c : wrong) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        ManualClock meterClock;
        SimulatedMeter meter(meterClock);
        const CliRun r = run(c.args, &meter);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.err.contains(QLatin1String(c.message))) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
        EXPECT_EQ(meter.exchangeCount(), 0);
    }
    // No file was named after the option that stood where a value belonged.
    EXPECT_FALSE(QFile::exists("--simulate"));
    EXPECT_FALSE(QFile::exists(out));

    const QStringList needMeter[] = {
        {"probe"},
        {"download", "--out", dir.filePath("x.rec")},
        {"live", "--count", "1"},
        {"leq", "--seconds", "5", "--out", dir.filePath("leq.txt")},
        {"info"},
        {"set-clock"},
        {"set-interval", "00:30"},
        {"erase", "--yes"},
        {"config-read", "15"},
        {"config-write", "15", "7", "--code", "9282"},
    };
    for (const QStringList& args : needMeter) {
        SCOPED_TRACE(args.join(' ').toStdString());
        ManualClock meterClock;
        SimulatedMeter absent(meterClock);
        absent.unplug();
        const CliRun r = run(args, &absent);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.contains("error 1001: ")) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("x.rec")));
    EXPECT_FALSE(QFile::exists(dir.filePath("leq.txt")));
}

// A value may also follow "=", and a help option anywhere, even where a value belongs, asks
// for the help.
TEST(Cli, ValuesAfterAnEqualsSignAndHelpWherever) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString table = dir.filePath("leq.txt");
    const CliRun r = run({"leq", "--seconds=2", "--simulate", "--out=" + table});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(linesOf(readAll(table)).size(), 2);
    for (const QStringList& args :
         {QStringList{"leq", "--seconds", "-h"}, QStringList{"config-write", "--code", "--help"}}) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const CliRun help = run(args);
        EXPECT_EQ(help.status, 0);
        EXPECT_TRUE(help.out.startsWith("usage: kl516-cli " + args.front() + " "));
    }
}

// A file that cannot be written is said before the meter is asked (a day of LEQ, a download),
// with the system's reason; an existing file stays as it was until it is replaced.
TEST(Cli, OutputIsCheckedBeforeTheMeterIsAsked) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ManualClock meterClock;
    SimulatedMeter meter(meterClock);
    const QString missingFolder = dir.filePath("missing/out.txt");
    struct Case {
        QStringList args;
        QString target;
        const char* reason;
    };
    const Case cases[] = {
        {{"leq", "--seconds", "86400", "--out", missingFolder},
         missingFolder,
         "No such file or directory"},
        {{"leq", "--seconds", "60", "--out", dir.path()}, dir.path(), "directory"},
        {{"download", "--out", dir.filePath("missing/x.rec")},
         dir.filePath("missing/x.rec"),
         "No such file or directory"},
        {{"export", kGolden, "--set", "1", "--out", missingFolder},
         missingFolder,
         "No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const CliRun r = run(c.args, &meter);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.startsWith("error: Cannot write \"" + c.target + "\": "))
            << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String(c.reason))) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    }
    EXPECT_EQ(meter.exchangeCount(), 0);

    const QString kept = dir.filePath("kept.txt");
    ASSERT_TRUE(writeAll(kept, "earlier\r\n"));
    meter.unplug();
    const CliRun r = run({"leq", "--seconds", "5", "--out", kept}, &meter);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(readAll(kept), QByteArray("earlier\r\n"));
    // The checks leave no file behind.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"kept.txt"});
}

// The table of an LEQ run: tabs in a .txt file, commas in a .csv file, the rows printed.
TEST(CliLeq, TableFileTakesTheSeparatorOfItsName) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const bool commaDecimals = QLocale::system().decimalPoint() == QLatin1String(",");
    for (const char* name : {"leq.txt", "leq.csv"}) {
        SCOPED_TRACE(name);
        const QString file = dir.filePath(name);
        const bool csv = QString::fromLatin1(name).endsWith(".csv");
        const CliRun r = run({"leq", "--seconds", "3", "--simulate", "--out", file});
        if (csv && commaDecimals) {  // comma decimals cannot go into a comma-separated file
            EXPECT_EQ(r.status, 2);
            EXPECT_FALSE(QFile::exists(file));
            continue;
        }
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        const QChar separator = csv ? ',' : '\t';
        const QStringList rows = r.out.split('\n', Qt::SkipEmptyParts).mid(0, 3);
        const QStringList lines = linesOf(readAll(file));
        ASSERT_EQ(lines.size(), 3);
        for (int i = 0; i < 3; ++i) {
            // date, time, SPL, Leq, each followed by the separator
            const QStringList cells = lines[i].split(separator);
            ASSERT_EQ(cells.size(), 5) << lines[i].toStdString();
            EXPECT_TRUE(cells[4].isEmpty());
            EXPECT_FALSE(lines[i].contains(csv ? '\t' : ',')) << lines[i].toStdString();
            const QStringList printed = rows[i].split('\t');
            ASSERT_EQ(printed.size(), 5);
            EXPECT_EQ(QLocale::system().toDouble(cells[2]), printed[3].toDouble());
            EXPECT_EQ(QLocale::system().toDouble(cells[3]), printed[4].toDouble());
        }
    }
}

// As the LEQ window: a meter whose logger is recording is not taken for a run.
TEST(CliLeq, RecordingMeterIsRefused) {
    ManualClock clock;
    SimulatedMeter meter(clock);
    IdleLinkHost host;
    MeterLink link(meter, clock, host);
    ASSERT_TRUE(link.sendKey(Cmd::KeyRec));
    ASSERT_TRUE(meter.recording());
    const int before = meter.exchangeCount();
    const CliRun r = runSharingClock({"leq", "--seconds", "10"}, clock, meter);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "The meter is recording data, please stop recording first.\n");
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    // The presence check and one status poll, no run.
    EXPECT_LE(meter.exchangeCount() - before, 3);
}

// A meter clock that stands still ends the run: the rows so far are printed with their summary
// and written, the reason is said, and the status is 1.
TEST(CliLeq, StoppedMeterClockEndsTheRunWithItsRows) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString table = dir.filePath("leq.txt");
    ManualClock clock;
    SimulatedMeter meter(clock);
    FreezingMeter frozen(meter, 100);  // about four seconds of readings at 40 ms
    const CliRun r = runSharingClock({"leq", "--seconds", "60", "--out", table}, clock, frozen);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, LeqRun::clockStoppedMessage() + "\n");
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 3) << r.out.toStdString();  // rows and the summary
    const qsizetype rows = lines.size() - 1;
    for (qsizetype i = 0; i < rows; ++i)
        EXPECT_TRUE(lines[i].startsWith(QString::number(i + 1) + '\t')) << lines[i].toStdString();
    EXPECT_TRUE(lines.last().startsWith(QStringLiteral("summary\tseconds %1\t").arg(rows)))
        << lines.last().toStdString();
    EXPECT_EQ(linesOf(readAll(table)).size(), rows);
}

// A file that cannot be read or written is named with the system's reason.
TEST(Cli, FileFaultsSayTheSystemsReason) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString missing = dir.filePath("missing.rec");
    const QString noFolder = dir.filePath("missing/trace.log");
    struct Case {
        QStringList args;
        QString message;
    };
    const Case cases[] = {
        {{"sets", missing}, "error: cannot read " + missing + ": No such file or directory\n"},
        {{"export", missing, "--set", "1", "--out", dir.filePath("x.txt")},
         "error: cannot read " + missing + ": No such file or directory\n"},
        {{"convert", dir.filePath("missing.txt"), dir.filePath("x.txt")},
         "error: cannot read " + dir.filePath("missing.txt") + ": No such file or directory\n"},
        {{"download", "--simulate", "--sim-memory", missing, "--out", dir.filePath("x.rec")},
         "error: cannot read the simulated memory " + missing + ": No such file or directory\n"},
        {{"info", "--simulate", "--trace", noFolder},
         "error: cannot write the trace file " + noFolder + ": No such file or directory\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const CliRun r = run(c.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, c.message);
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("x.txt")));
    EXPECT_FALSE(QFile::exists(dir.filePath("x.rec")));
}
