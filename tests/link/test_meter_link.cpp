#include <gtest/gtest.h>

#include "link/MeterLink.h"
#include "simulator/SimulatedMeter.h"
#include "support/RecordingDeviceLibrary.h"

using namespace kl516;
using test::RecordingDeviceLibrary;
using Bytes = std::vector<uint8_t>;

namespace {

// A host whose poll tick is "running" for a given number of event rounds.
struct FakeHost : LinkHost {
    int busyRounds = 0;
    int eventRounds = 0;
    int timerStops = 0;
    int resetHides = 0;
    bool linkBusy() const override { return busyRounds > 0; }
    void processPendingEvents() override {
        ++eventRounds;
        --busyRounds;
    }
    void stopPollTimer() override { ++timerStops; }
    void hideResetIndicator() override { ++resetHides; }
};

struct LinkOnFake : ::testing::Test {
    RecordingDeviceLibrary lib;
    ManualClock clock;
    FakeHost host;
    MeterLink link{lib, clock, host};
};

const std::vector<std::string> kOpen = {"close", "open", "timeouts"};

std::vector<std::string> concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

}  // namespace

TEST_F(LinkOnFake, ProceduresCallTheLibraryInTheDocumentedOrder) {
    lib.responses = {RecordingDeviceLibrary::status(1)};
    EXPECT_TRUE(link.pollStatus());
    EXPECT_EQ(lib.names(), concat({kOpen, {"write", "prepare", "read", "close"}}));
    EXPECT_EQ(lib.calls[1].bytes, (Bytes{0x04, 0xD9, 0xE0, 0x00}));
    EXPECT_EQ(lib.calls[2].bytes, (Bytes{100, 100}));

    lib.clear();
    lib.responses = {ResponseFrame{}};
    EXPECT_TRUE(link.exchangeShort('K'));
    EXPECT_EQ(lib.names(), concat({kOpen, {"write", "prepare", "read", "close"}}));

    lib.clear();
    EXPECT_TRUE(link.sendKey('F'));
    EXPECT_EQ(lib.names(), concat({kOpen, {"write", "close"}}));

    // exchange: presence poll (echo right at once), then open, write, prepare, wait, read.
    lib.clear();
    const uint8_t next = link.sequenceNumber() + 1;
    ResponseFrame answer{};
    answer[0] = 0x77;
    lib.responses = {RecordingDeviceLibrary::status(next), answer};
    ResponseFrame response{};
    const int64_t before = clock.waitedMs();
    EXPECT_EQ(link.exchange(MeterLink::kInformationFrame, response), LinkResult::Success);
    EXPECT_EQ(lib.names(), concat({kOpen, {"write", "prepare", "read", "close"}, kOpen,
                                   {"write", "prepare", "read"}}));
    EXPECT_EQ(response[0], 0x77);
    EXPECT_EQ(clock.waitedMs() - before, 101 + 101);  // presence wait 100, response wait 100
    EXPECT_EQ(host.timerStops, 1);

    // sendCommand: as exchange, without the wait and the read; the device stays open.
    lib.clear();
    lib.responses = {RecordingDeviceLibrary::status(link.sequenceNumber() + 1)};
    EXPECT_EQ(link.sendCommand(link.setupBuffer()), LinkResult::Success);
    EXPECT_EQ(lib.names(), concat({kOpen, {"write", "prepare", "read", "close"}, kOpen,
                                   {"write", "prepare"}}));
}

TEST_F(LinkOnFake, FailedOpenOrTimeoutsEndTheExchange) {
    lib.openResult = 1;
    EXPECT_FALSE(link.pollStatus());
    EXPECT_FALSE(link.sendKey('R'));
    EXPECT_FALSE(link.exchangeShort('K'));
    for (const auto& c : lib.calls) EXPECT_TRUE(c.name == "close" || c.name == "open") << c.name;

    lib.clear();
    lib.openResult = 0;
    lib.timeoutsResult = 1;
    EXPECT_EQ(link.openDevice(), LinkResult::TimeoutsFailed);
    EXPECT_EQ(lib.names(), kOpen);
}

TEST_F(LinkOnFake, ExchangeWaitsForThePollTickThenStopsTheTimer) {
    host.busyRounds = 3;
    ResponseFrame response{};
    lib.responses = {RecordingDeviceLibrary::status(1), ResponseFrame{}};
    EXPECT_EQ(link.exchange(MeterLink::kEraseFrame, response), LinkResult::Success);
    EXPECT_EQ(host.eventRounds, 3);
    EXPECT_EQ(host.timerStops, 1);
}

TEST_F(LinkOnFake, InformationWithoutItsFramingGives1006) {
    ResponseFrame wrong = RecordingDeviceLibrary::status(0);  // 0x02 ... 0x03
    lib.responses = {RecordingDeviceLibrary::status(1), wrong};
    EXPECT_EQ(link.queryInfo(), LinkResult::BadInfoFraming);

    ResponseFrame right{};
    right[0] = 0x04;
    right[31] = 0x05;
    lib.responses = {RecordingDeviceLibrary::status(2), right};
    EXPECT_EQ(link.queryInfo(), LinkResult::Success);
    EXPECT_EQ(lib.writes().back(), (Bytes{0x02, 'P', 0, 0, 0, 2, 0x03}));
}

TEST_F(LinkOnFake, SequenceMismatchSendsExactlyOneResyncAndStillSucceeds) {
    lib.responses = {RecordingDeviceLibrary::status(99)};
    EXPECT_TRUE(link.pollStatusChecked());
    const auto writes = lib.writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0][1], 'A');
    EXPECT_EQ(writes[1], (Bytes{0x02, 'Q', 0, 0, 0, 1, 0x03}));
    EXPECT_EQ(lib.names().back(), "close");
    EXPECT_EQ(host.resetHides, 0);

    lib.clear();
    lib.responses = {RecordingDeviceLibrary::status(2)};
    EXPECT_TRUE(link.pollStatusChecked());
    EXPECT_EQ(lib.writes().size(), 1u);
    EXPECT_EQ(host.resetHides, 1);
}

TEST_F(LinkOnFake, SequenceNumberWrapsAndTheEchoCheckHoldsAcrossTheWrap) {
    for (int i = 1; i <= 254; ++i) {
        lib.responses = {RecordingDeviceLibrary::status(uint8_t(i))};
        ASSERT_TRUE(link.pollStatus());
    }
    lib.clear();
    lib.responses = {RecordingDeviceLibrary::status(255), RecordingDeviceLibrary::status(0)};
    EXPECT_TRUE(link.pollStatusChecked());
    EXPECT_TRUE(link.pollStatusChecked());
    const auto writes = lib.writes();
    ASSERT_EQ(writes.size(), 2u);  // no 'Q': both echoes matched
    EXPECT_EQ(writes[0][5], 255);
    EXPECT_EQ(writes[1][5], 0);
    EXPECT_EQ(host.resetHides, 2);
}

TEST_F(LinkOnFake, IdentificationCarriesWhateverTheBufferHolds) {
    lib.responses = {ResponseFrame{}};
    link.exchangeShort('K');
    EXPECT_EQ(lib.writes().back(), (Bytes{0x02, 'K', 0, 0, 0, 0, 0x03}));
    for (int i = 0; i < 3; ++i) {
        lib.responses = {RecordingDeviceLibrary::status(uint8_t(i + 1))};
        link.pollStatus();
    }
    lib.responses = {ResponseFrame{}};
    link.exchangeShort('K');
    EXPECT_EQ(lib.writes().back(), (Bytes{0x02, 'K', 0, 0, 0, 3, 0x03}));
}

TEST(Frames, ConfigurationWriteAndReadFramesKeepTheirUnsetBytes) {
    CommandFrame setup{0x02, 0, 0, 0, 0, 0, 0x03};
    setConfigWriteFrame(setup, 0x0F, 7);
    EXPECT_EQ(setup, (CommandFrame{0x02, 0x57, 0x00, 0x00, 0x0F, 0x07, 0x03}));
    setConfigWriteFrame(setup, 70000, 0x1FF & 0xFF);
    EXPECT_EQ(setup, (CommandFrame{0x02, 0x57, 0x01, 0x11, 0x70, 0xFF, 0x03}));
    setConfigReadFrame(setup, 0x0E);
    EXPECT_EQ(setup, (CommandFrame{0x02, 0x72, 0x00, 0x00, 0x0E, 0xFF, 0x03}));
    setClockCommandFrame(setup);
    EXPECT_EQ(setup, (CommandFrame{0x02, 0x74, 0x63, 0x00, 0x0E, 0xFF, 0x03}));
}

TEST(Frames, ClockBlockIsPackedBcdAndLeavesUnsetBytes) {
    ResponseFrame block;
    block.fill(0xEE);
    fillClockBlock(block, QDateTime(QDate(2021, 7, 4), QTime(13, 45, 9)));
    EXPECT_EQ(Bytes(block.begin(), block.begin() + 8),
              (Bytes{0x09, 0x45, 0x13, 0x04, 0x07, 0xEE, 0x21, 0x00}));
    EXPECT_EQ(block[8], 0xEE);
    EXPECT_EQ(block[31], 0xEE);
    fillClockBlock(block, QDateTime(QDate(2099, 12, 31), QTime(23, 59, 59)));
    EXPECT_EQ(block[6], 0x99);
}

TEST_F(LinkOnFake, SetMeterClockSendsTheCommandThenTheBlock) {
    clock.setNow(QDateTime(QDate(2021, 7, 4), QTime(13, 45, 8, 900)));
    lib.responses = {RecordingDeviceLibrary::status(1)};
    EXPECT_EQ(link.setMeterClock(), LinkResult::Success);
    EXPECT_EQ(lib.writes().back(), (Bytes{0x02, 't', 'c', 0x00, 0, 0, 0x03}));
    const auto& block = lib.calls.back();
    ASSERT_EQ(block.name, "block");
    // the 100 ms wait after the command moves the clock on to 13:45:09
    EXPECT_EQ(Bytes(block.bytes.begin(), block.bytes.begin() + 5),
              (Bytes{0x09, 0x45, 0x13, 0x04, 0x07}));

    lib.blockResult = 1;
    lib.responses = {RecordingDeviceLibrary::status(2)};
    EXPECT_EQ(link.setMeterClock(), LinkResult::ClockBlockFailed);
}

TEST(LinkMessages, FixedTexts) {
    EXPECT_EQ(linkResultMessage(1002), "fail to open usb device");
    EXPECT_EQ(linkResultMessage(1003), "fail to set timeout");
    EXPECT_EQ(linkResultMessage(1004), "fail to write command to device");
    EXPECT_EQ(linkResultMessage(1005), "fail to read");
    EXPECT_EQ(linkResultMessage(707), "data error");
    EXPECT_TRUE(linkResultMessage(1001).isEmpty());
    EXPECT_TRUE(linkResultMessage(1006).isEmpty());
}

TEST(RetryRules, StopAtFirstSuccessOrReturnTheLastResult) {
    int calls = 0;
    EXPECT_EQ(retryTransaction(15, [&] { return ++calls < 4 ? 1005 : 0; }), 0);
    EXPECT_EQ(calls, 4);
    calls = 0;
    EXPECT_EQ(retryTransaction(15, [&] { return 1000 + ++calls; }), 1015);
    calls = 0;
    EXPECT_EQ(retryWithEcho(15, [&] { return ++calls, 0; }, [] { return false; }),
              LinkResult::EchoMismatch);
    EXPECT_EQ(calls, 15);
}

// --- against the simulated meter -------------------------------------------------------------

namespace {

struct LinkOnSimulator : ::testing::Test {
    ManualClock clock;
    FakeHost host;
    SimulatedMeter::Options options;
    std::unique_ptr<SimulatedMeter> meter;
    std::unique_ptr<MeterLink> link;

    void start() {
        meter = std::make_unique<SimulatedMeter>(clock, options);
        link = std::make_unique<MeterLink>(*meter, clock, host);
    }
};

}  // namespace

TEST_F(LinkOnSimulator, OneConversationThroughEveryProcedure) {
    start();
    ASSERT_TRUE(link->exchangeShort('K'));
    EXPECT_EQ(std::string(link->mainResponse().begin() + 23, link->mainResponse().begin() + 26),
              "586");
    ASSERT_TRUE(link->pollStatus());
    EXPECT_EQ(link->mainResponse()[0], 0x02);
    EXPECT_EQ(link->mainResponse()[31], 0x03);
    EXPECT_EQ(link->mainResponse()[30], link->sequenceNumber());
    ASSERT_TRUE(link->pollStatusChecked());
    EXPECT_EQ(host.resetHides, 1);
    ASSERT_TRUE(link->checkPresence());

    EXPECT_TRUE(link->sendKey('F'));
    EXPECT_FALSE(meter->fast());

    EXPECT_EQ(link->queryInfo(), LinkResult::Success);
    EXPECT_EQ(link->mainResponse()[0], 0x04);
    EXPECT_EQ(link->mainResponse()[31], 0x05);
    link->closeDevice();

    EXPECT_EQ(link->writeConfigByte(0x0F, 7, MeterLink::Echo::LetterBytes), LinkResult::Success);
    uint8_t value = 0;
    EXPECT_EQ(link->readConfigByte(0x0F, &value), LinkResult::Success);
    EXPECT_EQ(value, 7);
    EXPECT_EQ(link->writeConfigByte(70000, 0x42, MeterLink::Echo::AddressDataBytes),
              LinkResult::Success);

    ResponseFrame info{};
    EXPECT_EQ(link->exchange(MeterLink::kInformationFrame, info), LinkResult::Success);
    EXPECT_EQ(link->readInformation(), LinkResult::Success);
    EXPECT_EQ(link->eraseMemory(), LinkResult::Success);

    clock.setNow(QDateTime(QDate(2021, 7, 4), QTime(13, 45, 9)));
    EXPECT_EQ(link->sendCommand(link->setupBuffer()), LinkResult::Success);
    EXPECT_EQ(link->setMeterClock(), LinkResult::Success);
    EXPECT_EQ(meter->meterTime().date(), QDate(2021, 7, 4));
}

TEST_F(LinkOnSimulator, EveryLinkFailureComesFromItsFault) {
    using F = SimulatedMeter::Fault;
    struct Case {
        const char* what;
        void (*inject)(SimulatedMeter::Options&);
        int32_t expected;
    };
    // The presence check before an exchange polls once (opening, writing and reading once);
    // the faults below skip that poll and hit the exchange itself.
    const Case cases[] = {
        {"no answer", [](auto& o) { o.readFailure = F{0, -1, 0}; }, LinkResult::NoAnswer},
        {"open", [](auto& o) { o.openFailure = F{1, -1, 0}; }, LinkResult::OpenFailed},
        {"time-outs", [](auto& o) { o.timeoutFailure = F{1, -1, 0}; },
         LinkResult::TimeoutsFailed},
        {"write", [](auto& o) { o.writeFailure = F{0, -1, 'Y'}; }, LinkResult::WriteFailed},
        {"read", [](auto& o) { o.readFailure = F{0, -1, 'Y'}; }, LinkResult::ReadFailed},
        {"unplugged", [](auto& o) { o.unplugAfterExchanges = 0; }, LinkResult::NoAnswer},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        options = {};
        c.inject(options);
        start();
        ResponseFrame response{};
        EXPECT_EQ(link->exchange(MeterLink::kInformationFrame, response), c.expected);
    }

    options = {};
    options.wrongFraming = F{0, -1, 'P'};
    start();
    EXPECT_EQ(link->queryInfo(), LinkResult::BadInfoFraming);

    options = {};
    options.wrongEcho = F{0, -1, 'W'};
    start();
    EXPECT_EQ(link->writeConfigByte(0x0F, 7, MeterLink::Echo::LetterBytes),
              LinkResult::EchoMismatch);

    options = {};
    options.wrongEcho = F{0, -1, 'e'};
    start();
    EXPECT_EQ(link->eraseMemory(), LinkResult::EchoMismatch);

    options = {};
    options.writeFailure = F{1, -1, 't'};  // the 't' command goes out, its clock block does not
    start();
    EXPECT_EQ(link->setMeterClock(), LinkResult::ClockBlockFailed);
}

TEST_F(LinkOnSimulator, WrongSequenceEchoIsAnsweredWithResync) {
    options.wrongSequence = SimulatedMeter::Fault{0, 1, 'A'};
    start();
    EXPECT_TRUE(link->pollStatusChecked());
    const auto& frames = meter->framesWritten();
    ASSERT_GE(frames.size(), 2u);
    EXPECT_EQ(frames.back()[1], 'Q');
    EXPECT_TRUE(link->pollStatusChecked());
    EXPECT_EQ(meter->framesWritten().back()[1], 'A');
}

TEST_F(LinkOnSimulator, FailedPresenceCheckCostsItsWaitsOnTheClockOnly) {
    options.readFailure = SimulatedMeter::Fault{0, -1, 0};
    start();
    const int64_t before = clock.waitedMs();
    EXPECT_FALSE(link->checkPresence());
    EXPECT_EQ(clock.waitedMs() - before, 1450 + 10);  // 100 + 110 + ... + 190, each "more than"
}

TEST_F(LinkOnSimulator, MeterVanishingMidConversationGivesResultsNotCrashes) {
    options.unplugAfterExchanges = 3;
    start();
    EXPECT_TRUE(link->pollStatus());
    EXPECT_TRUE(link->pollStatus());
    EXPECT_TRUE(link->pollStatus());
    EXPECT_FALSE(link->pollStatus());
    EXPECT_FALSE(link->exchangeShort('K'));
    EXPECT_FALSE(link->sendKey('R'));
    EXPECT_EQ(link->queryInfo(), LinkResult::NoAnswer);
    meter->replug();
    EXPECT_TRUE(link->pollStatus());
}
