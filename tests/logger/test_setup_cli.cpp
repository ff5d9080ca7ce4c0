#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <optional>

#include "cli/Cli.h"
#include "link/Clock.h"
#include "simulator/SimulatedMeter.h"

using namespace kl516;

namespace {

// Runs a service command in process on a manual clock, against the command's own simulated
// meter (--simulate) or the meter handed in.
struct ServiceCliTest : ::testing::Test {
    ManualClock clock;
    QString out, err;
    std::optional<SimulatedMeter> meter;  // handed in when set
    bool terminal = false;                // whether the messages go to a terminal

    int run(const QStringList& args, const CliConsole* console = nullptr) {
        out.clear();
        err.clear();
        QTextStream o(&out), e(&err);
        CliDevices devices{&clock, meter ? &*meter : nullptr};
        devices.console = console;
        devices.errIsTerminal = terminal;
        const int status = runCli(args, o, e, devices);
        o.flush();
        e.flush();
        return status;
    }
    int sim(QStringList args, const CliConsole* console = nullptr) {
        args << QStringLiteral("--simulate");
        return run(args, console);
    }
};

}  // namespace

// The command is the first argument that is neither an option nor an option's value.
TEST_F(ServiceCliTest, CommandIsFoundWhereverItStands) {
    QTemporaryDir dir;
    const QString trace = dir.filePath(QStringLiteral("info"));
    EXPECT_EQ(run({"--simulate", "config-read", "15"}), 0) << err.toStdString();
    EXPECT_EQ(out, QStringLiteral("2\nRead EEProm successfully\n"));
    EXPECT_EQ(run({"--trace", trace, "--simulate", "set-clock"}), 0) << err.toStdString();
    EXPECT_TRUE(QFile::exists(trace));
    // "info" is the value of --trace here, and probe takes no --code.
    EXPECT_EQ(run({"--trace", "info", "probe", "--code", "1"}), 2);
    EXPECT_TRUE(err.startsWith(QStringLiteral("probe takes no --code\n"))) << err.toStdString();
}

TEST_F(ServiceCliTest, EachCommandAgainstTheSimulatedMeter) {
    EXPECT_EQ(sim({"info"}), 0) << err.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("Data Sets In Memory: 4\n"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("FirmWare Version:    1.56\n")));
    EXPECT_TRUE(out.contains(QStringLiteral("SN:                  KL516-")));
    EXPECT_TRUE(out.endsWith(QStringLiteral("read data successfully\n")));

    EXPECT_EQ(sim({"set-clock"}), 0) << err.toStdString();
    EXPECT_EQ(out, QStringLiteral("Meter time updated successfully \n"));

    EXPECT_EQ(sim({"set-interval", "00:30"}), 0) << err.toStdString();
    EXPECT_TRUE(out.startsWith(QStringLiteral("Recording Interval Setup Successfully")));

    EXPECT_EQ(sim({"erase", "--yes"}), 0) << err.toStdString();
    EXPECT_EQ(out, QStringLiteral("erase memory successfully\n"));

    EXPECT_EQ(sim({"config-read", "0x0F"}), 0) << err.toStdString();
    EXPECT_EQ(out, QStringLiteral("2\nRead EEProm successfully\n"));

    EXPECT_EQ(sim({"config-write", "$0F", "9", "--code", "9282"}), 0) << err.toStdString();
    EXPECT_EQ(out, QStringLiteral("Write EEProm successfully\n"));
}

TEST_F(ServiceCliTest, CommandsChangeTheMeterTheyAreGiven) {
    SimulatedMeter::Options options;
    options.demoLogger = true;
    meter.emplace(clock, options);
    ASSERT_GT(meter->setCount(), 0);

    EXPECT_EQ(run({"set-interval", "01:00"}), 0) << err.toStdString();
    EXPECT_EQ(meter->configByte(0x0F), 60);
    EXPECT_EQ(run({"config-write", "70000", "7", "--code", "9282"}), 0) << err.toStdString();
    EXPECT_EQ(meter->configByte(70000), 7);
    EXPECT_EQ(run({"config-read", "70000"}), 0) << err.toStdString();
    EXPECT_TRUE(out.startsWith(QStringLiteral("7\n")));

    // erase asks on a terminal; "n" keeps the logger, "y" erases it.
    QString answers = QStringLiteral("n\ny\n");
    QTextStream in(&answers);
    const CliConsole terminal{true, &in};
    EXPECT_EQ(run({"erase"}, &terminal), 1);
    EXPECT_TRUE(err.endsWith(QStringLiteral("nothing was erased\n"))) << err.toStdString();
    EXPECT_GT(meter->setCount(), 0);
    EXPECT_EQ(run({"erase"}, &terminal), 0) << err.toStdString();
    EXPECT_TRUE(err.startsWith(QStringLiteral("Are you sure to erase memory ?")));
    EXPECT_EQ(meter->setCount(), 0);
}

TEST_F(ServiceCliTest, RefusalsSendNothing) {
    meter.emplace(clock);
    const CliConsole pipe{false, nullptr};
    struct Case {
        QStringList args;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {{"erase"}, 2, "erase needs --yes when standard input is not a terminal"},
        {{"config-write", "15", "7", "--code", "1234"}, 1, "Password error !!\n"},
        {{"config-write", "15", "7"}, 2, "config-write needs --code CODE"},
        // The address and the byte are checked before the code.
        {{"config-write", "5", "256", "--code", "0000"}, 2, "0 to 255"},
        {{"config-write", "16777216", "7", "--code", "0000"}, 2, "0xFFFFFF"},
        {{"config-write", "abc", "7", "--code", "9282"}, 2, "'abc' is not a valid integer value\n"},
        {{"config-write", "16777216", "7", "--code", "9282"}, 2, "0xFFFFFF"},
        {{"config-write", "15", "256", "--code", "9282"}, 2, "0 to 255"},
        {{"config-write", "15", "-1", "--code", "9282"}, 2, "0 to 255"},
        {{"config-read", "12x"}, 2, "'12x' is not a valid integer value\n"},
        {{"set-interval", "01:01"}, 2, "error 701: Invalid Input"},
        {{"set-interval", "05:00"}, 2, "error 701: Invalid Input"},
        {{"set-interval", "0030"}, 2, "error 701: Invalid Input"},
        {{"set-interval", "aa:bb"}, 2, "error 701: Invalid Input"},
        {{"info", "extra"}, 2, "unexpected argument: extra"},
        {{"info", "--yes"}, 2, "info takes no --yes"},
        {{"config-read"}, 2, "config-read needs ADDR"},
        {{"config-read", "-1"}, 2, "0xFFFFFF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        EXPECT_EQ(run(c.args, &pipe), c.status);
        EXPECT_TRUE(err.contains(QString::fromLatin1(c.message))) << err.toStdString();
        EXPECT_TRUE(out.isEmpty());
    }
    EXPECT_EQ(meter->exchangeCount(), 0);
}

TEST_F(ServiceCliTest, FailuresGiveTheWindowsTextAndStatusOne) {
    SimulatedMeter::Options options;
    options.wrongEcho = {0, -1, 'W'};
    meter.emplace(clock, options);
    EXPECT_EQ(run({"config-write", "15", "7", "--code", "9282"}), 1);
    EXPECT_EQ(err, QStringLiteral("error 707: data error\n"));

    meter->unplug();
    EXPECT_EQ(run({"info"}), 1);
    EXPECT_EQ(err, QStringLiteral("error 1001: the meter did not answer\n"));
    EXPECT_EQ(run({"set-clock"}), 1);
    EXPECT_EQ(err, QStringLiteral("error 1001: the meter did not answer\n"));
}

TEST_F(ServiceCliTest, HelpAndTrace) {
    EXPECT_EQ(run({"config-write", "--help"}), 0);
    EXPECT_TRUE(out.startsWith(QStringLiteral("usage: kl516-cli config-write ADDR BYTE --code CODE")));
    EXPECT_TRUE(out.contains(QStringLiteral("--trace FILE")));

    QTemporaryDir dir;
    const QString trace = dir.filePath(QStringLiteral("trace.log"));
    EXPECT_EQ(sim({"config-read", "15", "--trace", trace}), 0) << err.toStdString();
    QFile f(trace);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains("02 72 00 00 0F"));
}

// A meter slow to answer, or not there, is tried for up to half a minute: on a terminal one line
// says that the tool is waiting, once, after 2 s; not when the messages go elsewhere, and not
// when the answer comes in time.
TEST_F(ServiceCliTest, WaitingForTheMeterIsSaidOnceOnATerminal) {
    const QString waiting = QStringLiteral("waiting for the meter\u2026\n");
    meter.emplace(clock);
    meter->unplug();
    terminal = true;
    EXPECT_EQ(run({"info"}), 1);
    EXPECT_EQ(err, waiting + QStringLiteral("error 1001: the meter did not answer\n"));
    EXPECT_GT(clock.tickMs(), 20000);  // fifteen tries

    terminal = false;
    EXPECT_EQ(run({"config-read", "15"}), 1);
    EXPECT_EQ(err, QStringLiteral("error 1001: the meter did not answer\n"));

    terminal = true;
    meter->replug();
    EXPECT_EQ(run({"config-read", "15"}), 0) << err.toStdString();
    EXPECT_TRUE(err.isEmpty()) << err.toStdString();

    // Each read takes 2.5 s: the line comes before the answer, and the command goes on.
    meter->options().latencyMs = 2500;
    EXPECT_EQ(run({"config-read", "15"}), 0) << err.toStdString();
    EXPECT_EQ(err, waiting);
    EXPECT_EQ(out, QStringLiteral("2\nRead EEProm successfully\n"));
}
