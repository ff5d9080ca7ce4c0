#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include "support/CliRun.h"
#include "support/Files.h"
#include "cli/Cli.h"
#include "link/Clock.h"
#include "simulator/SimulatedMeter.h"

using namespace kl516;

namespace {

const QString kGolden = QStringLiteral(KL516_TEST_DATA "/golden.rec");

using test::CliRun;
// The tool in process on a manual clock (its start 2024-01-15 10:00:00; waits cost nothing).
inline CliRun run(const QStringList& args, DeviceLibrary* meter = nullptr) {
    return test::runCliInProcess(args, meter);
}

using test::readAll;
using test::writeAll;

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
        none.err.endsWith("error 31: There was not any data recorded in momery of meter !\n"));
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
