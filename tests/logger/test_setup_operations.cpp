#include <gtest/gtest.h>

#include <QDateTime>
#include <algorithm>
#include <optional>
#include <vector>

#include "link/Clock.h"
#include "link/LinkResult.h"
#include "link/MeterLink.h"
#include "logger/SetupOperations.h"
#include "simulator/SimulatedMeter.h"

using namespace kl516;

namespace {

// A link to the simulated meter on a manual clock, so that the link's waits cost no time.
struct SetupLinkTest : ::testing::Test {
    ManualClock clock;
    IdleLinkHost host;
    SimulatedMeter::Options options;
    std::optional<SimulatedMeter> meter;
    std::optional<MeterLink> link;

    void start() {
        meter.emplace(clock, options);
        link.emplace(*meter, clock, host);
    }
    std::vector<CommandFrame> framesWith(char letter) const {
        std::vector<CommandFrame> frames;
        for (const CommandFrame& f : meter->framesWritten())
            if (f[1] == uint8_t(letter)) frames.push_back(f);
        return frames;
    }
};

ResponseFrame information(std::initializer_list<std::pair<int, uint8_t>> bytes) {
    ResponseFrame r{};
    for (const auto& [at, value] : bytes) r[size_t(at)] = value;
    return r;
}

}  // namespace

TEST(SetupOperations, RecordingIntervalFromTheTwoFields) {
    struct Case {
        const char* minutes;
        const char* seconds;
        std::optional<int> interval;
    };
    const Case cases[] = {
        {"00", "00", 0},  {"01", "00", 60},          {"00", "02", 2},
        {"01", "01", {}}, {"05", "00", {}},          {"00", "61", {}},
        {"ab", "00", {}}, {"00", "", {}},            {"", "", {}},
        {"0", "5", 5},    {"-1", "70", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(recordingIntervalFrom(c.minutes, c.seconds), c.interval)
            << c.minutes << ":" << c.seconds;
}

TEST(SetupOperations, IntegerTextsAndTheConfigurationFields) {
    EXPECT_EQ(integerFromText(QStringLiteral("70000")), 70000);
    EXPECT_EQ(integerFromText(QStringLiteral(" 15 ")), 15);
    EXPECT_EQ(integerFromText(QStringLiteral("$FF")), 255);
    EXPECT_EQ(integerFromText(QStringLiteral("0x0f")), 15);
    EXPECT_EQ(integerFromText(QStringLiteral("-1")), -1);
    for (const char* bad : {"", "abc", "12a", "1 2", "$", "0x", "1.5", "+", "99999999999999999"})
        EXPECT_FALSE(integerFromText(QString::fromLatin1(bad))) << bad;

    // Not a number: the platform's conversion text, naming what was typed.
    EXPECT_EQ(configAddressFrom(QStringLiteral("abc")).error,
              QStringLiteral("'abc' is not a valid integer value"));
    EXPECT_EQ(configDataFrom(QStringLiteral("")).error,
              QStringLiteral("'' is not a valid integer value"));
    // The whole range passes; beyond it the value is refused, never cut to its low bits.
    EXPECT_EQ(configAddressFrom(QStringLiteral("16777215")).value, 0xFFFFFFu);
    EXPECT_TRUE(configAddressFrom(QStringLiteral("0")).ok());
    EXPECT_EQ(configDataFrom(QStringLiteral("255")).value, 255u);
    for (const char* bad : {"16777216", "0x1000000", "-1"})
        EXPECT_TRUE(configAddressFrom(QString::fromLatin1(bad)).error.contains("0xFFFFFF")) << bad;
    for (const char* bad : {"256", "-1", "65537"})
        EXPECT_TRUE(configDataFrom(QString::fromLatin1(bad)).error.contains("0 to 255")) << bad;

    EXPECT_TRUE(accessCodeAccepted(QStringLiteral("9282")));
    for (const char* bad : {"0", "9282 ", " 9282", "92820", ""})
        EXPECT_FALSE(accessCodeAccepted(QString::fromLatin1(bad))) << bad;
}

TEST(SetupOperations, ConfigurationFramesCarryTheAddressBigEndian) {
    EXPECT_EQ(configWriteFrame(70000, 7), (CommandFrame{0x02, 'W', 0x01, 0x11, 0x70, 7, 0x03}));
    EXPECT_EQ(configWriteFrame(0x0F, 7), (CommandFrame{0x02, 'W', 0, 0, 0x0F, 7, 0x03}));
    EXPECT_EQ(configReadFrame(0xFFFFFF), (CommandFrame{0x02, 'r', 0xFF, 0xFF, 0xFF, 0, 0x03}));
}

TEST(SetupOperations, InformationFieldsFromTheResponse) {
    const QLocale c = QLocale::c();
    // Memory available: free 2-byte places below the capacity of 128256 bytes.
    EXPECT_EQ(informationFrom(information({{11, 0x00}, {12, 0x01}, {13, 0x00}}), c).memoryAvailable,
              QStringLiteral("64000"));
    EXPECT_EQ(informationFrom(information({{11, 0x01}, {12, 0xF5}, {13, 0x00}}), c).memoryAvailable,
              QStringLiteral("0"));
    EXPECT_EQ(memoryAvailableFor(128255), 0);
    EXPECT_EQ(memoryAvailableFor(0xFFFFFF), 0);  // never a negative count

    const LoggerInformation info = informationFrom(
        information({{9, 0x01}, {10, 0x02}, {15, 30}, {18, 0xF6}, {19, 0x46}, {20, 0x00},
                     {21, 0x3C}, {22, 0x80}, {23, 0x28}, {24, 0x01}, {25, 0x24}, {26, 0x12},
                     {27, 0x31}, {28, 0x23}, {29, 0x59}, {30, 0x08}, {31, 100}}),
        c);
    EXPECT_EQ(info.version, QStringLiteral("1.00"));
    EXPECT_EQ(info.cal94dB, QStringLiteral("-1.0"));
    EXPECT_EQ(info.cal70dB, QStringLiteral("70.00  (17920)"));
    EXPECT_EQ(info.cal60dB, QStringLiteral("60.50  (15488)"));
    EXPECT_EQ(info.cal40dB, QStringLiteral("40.00  (10241)"));
    // Bytes 25..26 (year and month) taken like a calibration value.
    EXPECT_EQ(info.cal30dB, QStringLiteral("36.07  (9234)"));
    EXPECT_EQ(info.meterTime, QStringLiteral("12/31/2024   23:59:08"));
    EXPECT_EQ(info.interval, QStringLiteral("30"));
    EXPECT_EQ(info.dataSets, QStringLiteral("258"));
    EXPECT_EQ(informationFrom(information({{31, 156}, {18, 0x0C}}), c).version,
              QStringLiteral("1.56"));
    EXPECT_EQ(informationFrom(information({{18, 0x0C}}), c).cal94dB, QStringLiteral("1.2"));
    // The user's decimal separator.
    EXPECT_EQ(informationFrom(information({{31, 156}}), QLocale(QLocale::German)).version,
              QStringLiteral("1,56"));
}

TEST(SetupOperations, MessagesByResult) {
    EXPECT_EQ(setupMessage(SetupOperation::ReadInformation, 0), SetupText::InformationDone);
    EXPECT_EQ(setupMessage(SetupOperation::WriteConfig, 707), QStringLiteral("data error"));
    EXPECT_EQ(setupMessage(SetupOperation::SetInterval, 701), QStringLiteral("Invalid Input"));
    EXPECT_EQ(setupMessage(SetupOperation::ReadConfig, 1005), QStringLiteral("fail to read"));
    EXPECT_EQ(setupMessage(SetupOperation::Erase, 1002), QStringLiteral("fail to open usb device"));
    EXPECT_TRUE(setupMessage(SetupOperation::ReadInformation, 1001).isEmpty());
    // Any failure of the clock, the silent 1001 and the block write included.
    for (int32_t r : {1001, 1004, 205})
        EXPECT_EQ(setupMessage(SetupOperation::SetClock, r), SetupText::ClockFailed);
    EXPECT_EQ(setupMessage(SetupOperation::SetClock, 0), QStringLiteral("Meter time updated successfully \n"));
}

TEST_F(SetupLinkTest, IntervalWritesTwoFramesAndTakesEffectAfterAPowerCycle) {
    start();
    ASSERT_EQ(writeRecordingInterval(*link, 2), LinkResult::Success);
    EXPECT_EQ(framesWith('W'), (std::vector<CommandFrame>{{0x02, 0x57, 0, 0, 0x0E, 0x00, 0x03},
                                                          {0x02, 0x57, 0, 0, 0x0F, 0x02, 0x03}}));

    ASSERT_EQ(writeRecordingInterval(*link, 45), LinkResult::Success);
    EXPECT_EQ(meter->configByte(0x0F), 45);
    EXPECT_EQ(meter->recordingIntervalS(), 2);
    meter->powerCycle();
    EXPECT_EQ(meter->recordingIntervalS(), 45);
}

TEST_F(SetupLinkTest, AnEchoThatNeverMatchesEndsAfterFifteenAttempts) {
    options.wrongEcho = {0, -1, 'W'};
    start();
    const int32_t r = link->writeConfigByte(70000, 7, MeterLink::Echo::AddressDataBytes);
    EXPECT_EQ(r, LinkResult::EchoMismatch);
    EXPECT_EQ(setupMessage(SetupOperation::WriteConfig, r), QStringLiteral("data error"));
    const auto frames = framesWith('W');
    ASSERT_EQ(frames.size(), 15u);
    EXPECT_EQ(frames.front(), (CommandFrame{0x02, 'W', 0x01, 0x11, 0x70, 7, 0x03}));
    // The interval's first write fails the same way, and the second is never sent.
    EXPECT_EQ(writeRecordingInterval(*link, 5), LinkResult::EchoMismatch);
    EXPECT_EQ(framesWith('W').size(), 30u);
    EXPECT_EQ(meter->configByte(0x0F), 2);
}

TEST_F(SetupLinkTest, ClockAtTheEndOfTheCenturySendsYear99) {
    start();
    clock.setNow(QDateTime(QDate(2099, 12, 31), QTime(23, 59, 59)));
    ASSERT_EQ(link->setMeterClock(), LinkResult::Success);
    ASSERT_FALSE(meter->blocksWritten().empty());
    const ResponseFrame& block = meter->blocksWritten().back();
    EXPECT_EQ(std::vector<uint8_t>(block.begin(), block.begin() + 5),
              (std::vector<uint8_t>{0x59, 0x59, 0x23, 0x31, 0x12}));
    EXPECT_EQ(block[6], 0x99);
    EXPECT_EQ(block[7], 0x00);
}

TEST_F(SetupLinkTest, InformationReflectsTheLoggerAndReadsTheSerialNumber) {
    options.demoLogger = true;
    start();
    LoggerInformation info;
    ASSERT_EQ(readLoggerInformation(*link, QLocale::c(), &info), LinkResult::Success);
    EXPECT_GT(meter->setCount(), 0);
    EXPECT_EQ(info.dataSets, QString::number(meter->setCount()));
    EXPECT_EQ(info.memoryAvailable, QString::number((128256 - int(meter->lastAddress())) / 2));
    EXPECT_EQ(info.version, QStringLiteral("1.56"));
    EXPECT_EQ(info.interval, QString::number(meter->recordingIntervalS()));
    EXPECT_TRUE(info.serial.startsWith(QStringLiteral("KL516-")));

    ASSERT_EQ(link->eraseMemory(), LinkResult::Success);
    ASSERT_EQ(readLoggerInformation(*link, QLocale::c(), &info), LinkResult::Success);
    EXPECT_EQ(info.dataSets, QStringLiteral("0"));

    meter->options().readFailure = {0, -1, 'Y'};
    info.dataSets = QStringLiteral("kept");
    EXPECT_EQ(readLoggerInformation(*link, QLocale::c(), &info), LinkResult::ReadFailed);
    EXPECT_EQ(info.dataSets, QStringLiteral("kept"));
    EXPECT_EQ(framesWith('Y').size(), 2u + 15u);
}
