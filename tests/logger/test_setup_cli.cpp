#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <optional>

#include "cli/ServiceCommands.h"
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

    int run(const QStringList& args, const ServiceConsole* console = nullptr) {
        out.clear();
        err.clear();
        QTextStream o(&out), e(&err);
        CliDevices devices{&clock, meter ? &*meter : nullptr};
        const int status = runServiceCommand(args, o, e, devices, console);
        o.flush();
        e.flush();
        return status;
    }
    int sim(QStringList args, const ServiceConsole* console = nullptr) {
        args << QStringLiteral("--simulate");
        return run(args, console);
    }
};

}  // namespace

TEST(ServiceCli, RecognisesItsCommandsWhereverTheyStand) {
    EXPECT_TRUE(isServiceCommand({"info"}));
    EXPECT_TRUE(isServiceCommand({"--simulate", "config-write", "1", "2"}));
    EXPECT_TRUE(isServiceCommand({"--trace", "info.log", "set-clock"}));
    EXPECT_FALSE(isServiceCommand({"--trace", "info", "probe"}));
    EXPECT_FALSE(isServiceCommand({"download", "--out", "info"}));
    EXPECT_FALSE(isServiceCommand({}));
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
    const ServiceConsole terminal{true, &in};
    EXPECT_EQ(run({"erase"}, &terminal), 1);
    EXPECT_GT(meter->setCount(), 0);
    EXPECT_EQ(run({"erase"}, &terminal), 0) << err.toStdString();
    EXPECT_TRUE(err.startsWith(QStringLiteral("Are you sure to erase memory ?")));
    EXPECT_EQ(meter->setCount(), 0);
}

TEST_F(ServiceCliTest, RefusalsSendNothing) {
    meter.emplace(clock);
    const ServiceConsole pipe{false, nullptr};
    struct Case {
        QStringList args;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {{"erase"}, 2, "erase needs --yes when standard input is not a terminal"},
        {{"config-write", "15", "7", "--code", "1234"}, 1, "Password error !!\n"},
        {{"config-write", "15", "7"}, 2, "config-write needs --code CODE"},
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
        {{"config-read"}, 2, "config-read needs more arguments"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(run(c.args, &pipe), c.status) << c.args.join(' ').toStdString();
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
    EXPECT_EQ(err, QStringLiteral("error 1001: Meter time updated fail\n"));
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
