#include <gtest/gtest.h>

#include <QTemporaryFile>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dataset/DataSetTable.h"
#include "link/MeterLink.h"
#include "logger/MemoryParser.h"
#include "simulator/SimulatedMeter.h"

using namespace kl516;

namespace {

using Options = SimulatedMeter::Options;
using Fault = SimulatedMeter::Fault;

CommandFrame frameOf(char letter, uint8_t b2 = 0, uint8_t b3 = 0, uint8_t b4 = 0, uint8_t b5 = 0) {
    return {kFrameStart, static_cast<uint8_t>(letter), b2, b3, b4, b5, kFrameEnd};
}

int u16(const ResponseFrame& f, int at) {
    return f[at] << 8 | f[at + 1];
}
int u16(const std::vector<uint8_t>& m, size_t at) {
    return m[at] << 8 | m[at + 1];
}
uint32_t u24(const uint8_t* p) {
    return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}

int digitLevel(const ResponseFrame& f) {
    return f[7] * 1000 + f[8] * 100 + f[9] * 10 + f[10];
}

// The clock bytes of a status frame as a date and time (invalid when a byte is not BCD).
QDateTime statusClock(const ResponseFrame& f) {
    return QDateTime(QDate(2000 + fromBcd(f[21]), fromBcd(f[19]), fromBcd(f[18])),
                     QTime(fromBcd(f[17]), fromBcd(f[16]), fromBcd(f[15])));
}

struct SimulatorTest : ::testing::Test {
    ManualClock clock;
    Options options;
    std::unique_ptr<SimulatedMeter> meter;
    uint8_t sequence = 0;

    SimulatedMeter& start() {
        meter = std::make_unique<SimulatedMeter>(clock, options);
        return *meter;
    }

    void openDevice() {
        meter->close();
        ASSERT_EQ(meter->open(kMeterVendorId, kMeterProductId), 0);
        ASSERT_EQ(meter->setTimeouts(100, 100), 0);
    }

    // One command on a freshly opened device: the response, or nothing when the read fails.
    std::optional<ResponseFrame> ask(const CommandFrame& frame) {
        openDevice();
        EXPECT_EQ(meter->write(7, frame.data()), 0);
        meter->prepareRead();
        ResponseFrame r{};
        if (meter->read(32, r.data()) != 0) return std::nullopt;
        return r;
    }

    // A command that must not be answered.
    void send(char letter) {
        openDevice();
        ASSERT_EQ(meter->write(7, frameOf(letter).data()), 0);
        ResponseFrame r{};
        EXPECT_NE(meter->read(32, r.data()), 0) << "no answer expected to " << letter;
        meter->close();
    }

    ResponseFrame poll() {
        ++sequence;
        const auto r = ask(frameOf('A', 0, 0, 0, sequence));
        EXPECT_TRUE(r.has_value());
        return r.value_or(ResponseFrame{});
    }
};

}  // namespace

// --- identification, status frame, keys -----------------------------------------------------

TEST_F(SimulatorTest, IdentifiesAs586AndGivesASerialText) {
    start();
    const auto k = ask(frameOf('K'));
    ASSERT_TRUE(k);
    EXPECT_EQ((*k)[23], 0x35);
    EXPECT_EQ((*k)[24], 0x38);
    EXPECT_EQ((*k)[25], 0x36);

    char serial[64];
    std::memset(serial, 'x', sizeof serial);
    meter->readString(0, serial, 64);
    const size_t length = strnlen(serial, sizeof serial);
    ASSERT_LT(length, sizeof serial);
    EXPECT_GT(length, 0u);

    // A short buffer gets a truncated, terminated text and nothing beyond it.
    char small[8];
    std::memset(small, 'x', sizeof small);
    meter->readString(0, small, 4);
    EXPECT_EQ(std::string(small), std::string(serial, 3));
    EXPECT_EQ(small[4], 'x');
    EXPECT_NE(meter->readString(0, small, 0), 0);
}

TEST_F(SimulatorTest, StatusFrameCarriesSequenceClockAndAPlausibleMovingLevel) {
    start();
    const ResponseFrame first = poll();
    EXPECT_EQ(first[0], 0x02);
    EXPECT_EQ(first[31], 0x03);
    EXPECT_EQ(first[30], sequence);
    EXPECT_EQ(first[1], 0x18);  // A weighting and FAST, nothing else
    EXPECT_EQ(first[2], 0x00);
    EXPECT_EQ(statusClock(first), clock.now());

    // The clock runs with the injected clock, sub-second ticks truncated.
    clock.advance(61'700);
    const ResponseFrame later = poll();
    EXPECT_EQ(statusClock(later), QDateTime(QDate(2024, 1, 15), QTime(10, 1, 1)));
    EXPECT_EQ(later[30], sequence);

    // Over a day the level stays plausible, moves, and always reads the same in its digit and
    // 16-bit forms.
    int lowest = 10000, highest = 0;
    for (int i = 0; i < 20000; ++i) {
        clock.advance(4321);
        const ResponseFrame f = poll();
        for (int b = 7; b <= 10; ++b) ASSERT_LE(f[b], 9);
        const int level = digitLevel(f);
        ASSERT_EQ(u16(f, 5), level);
        lowest = std::min(lowest, level);
        highest = std::max(highest, level);
        ASSERT_EQ(f[1] & 0xC0, 0);  // neither under nor over range
    }
    EXPECT_GE(lowest, 550);
    EXPECT_LE(highest, 800);
    EXPECT_GT(highest - lowest, 100);
    EXPECT_EQ(statusClock(poll()), clock.now().addMSecs(-clock.now().time().msec()));
}

TEST_F(SimulatorTest, KeysChangeTheStatusLikeTheMeter) {
    struct Case {
        const char* keys;
        uint8_t byte1;  // bits 0, 2, 3, 4
        uint8_t byte2;  // bits 5, 6, 7
        uint8_t mode;   // byte 4
    };
    const Case cases[] = {
        {"", 0x18, 0x00, 0x00},    {"C", 0x10, 0x00, 0x00},    {"CC", 0x18, 0x00, 0x00},
        {"F", 0x08, 0x00, 0x00},   {"CF", 0x00, 0x00, 0x00},   {"R", 0x19, 0x00, 0x00},
        {"RR", 0x18, 0x00, 0x00},  {"M", 0x1C, 0x00, 0x11},    {"MM", 0x1C, 0x00, 0x22},
        {"MMM", 0x1C, 0x00, 0x44}, {"MMMM", 0x1C, 0x00, 0x11}, {"MMN", 0x18, 0x00, 0x00},
        {"MNM", 0x1C, 0x00, 0x11}, {"L", 0x18, 0x80, 0x00},    {"LL", 0x18, 0x00, 0x00},
        {"s", 0x18, 0x60, 0x00},   {"ss", 0x18, 0x40, 0x00},   {"sss", 0x18, 0x60, 0x00},
        {"su", 0x18, 0x00, 0x00},  {"ssu", 0x18, 0x00, 0x00},  {"Ls", 0x18, 0xE0, 0x00},
        {"B", 0x18, 0x00, 0x00},   {"QqZ", 0x18, 0x00, 0x00},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(*c.keys ? c.keys : "no key");
        start();
        for (const char* k = c.keys; *k; ++k) {
            clock.advance(300);
            send(*k);
        }
        const ResponseFrame f = poll();
        EXPECT_EQ(f[1] & 0x1D, c.byte1);
        EXPECT_EQ(f[2] & 0xE0, c.byte2);
        EXPECT_EQ(f[4], c.mode);
        EXPECT_EQ(meter->backlight(), std::string(c.keys) == "B");
    }
}

TEST_F(SimulatorTest, MaxMinTrackTheLevelsSinceTheKey) {
    start();
    clock.advance(5000);
    int highest = u16(poll(), 5), lowest = highest;
    send('M');
    for (int i = 0; i < 300; ++i) {
        clock.advance(700);
        const ResponseFrame f = poll();
        highest = std::max(highest, u16(f, 5));
        lowest = std::min(lowest, u16(f, 5));
        ASSERT_EQ(u16(f, 11), highest);
        ASSERT_EQ(u16(f, 13), lowest);
    }
    EXPECT_LT(lowest, highest);

    // Leaving and starting again forgets the old extremes.
    send('N');
    clock.advance(100);
    const int now = u16(poll(), 5);
    send('M');
    const ResponseFrame f = poll();
    EXPECT_EQ(u16(f, 11), now);
    EXPECT_EQ(u16(f, 13), now);
}

TEST_F(SimulatorTest, LeqIsTheEnergyAverageOfTheRunAndHoldsWhilePaused) {
    start();
    send('L');
    send('s');
    double sum = 0;
    int highest = 0, count = 0;
    for (int i = 0; i < 600; ++i) {
        clock.advance(100);
        const ResponseFrame f = poll();
        sum += u16(f, 5);
        highest = std::max(highest, u16(f, 5));
        ++count;
    }
    const ResponseFrame running = poll();
    const int leq = u16(running, 26);
    EXPECT_EQ(running[2] & 0xE0, 0xE0);
    EXPECT_GE(leq, static_cast<int>(sum / count));  // energy mean is above the mean of the dB
    EXPECT_LE(leq, highest);

    send('s');
    clock.advance(30'000);
    const ResponseFrame paused = poll();
    EXPECT_EQ(paused[2] & 0x60, 0x40);
    EXPECT_EQ(u16(paused, 26), leq);

    send('u');
    const ResponseFrame cancelled = poll();
    EXPECT_EQ(cancelled[2] & 0x60, 0x00);
    EXPECT_EQ(u16(cancelled, 26), 0);

    // A steady level averages to itself.
    options.fixedLevelTenths = 734;
    start();
    send('s');
    for (int i = 0; i < 50; ++i) {
        clock.advance(333);
        poll();
    }
    EXPECT_EQ(u16(poll(), 26), 734);
}

TEST_F(SimulatorTest, RangeFlagsFollowTheLevel) {
    const struct {
        int tenths;
        uint8_t flags;
    } cases[] = {{299, 0x40}, {300, 0x00}, {1300, 0x00}, {1301, 0x80}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.tenths << " tenths of a dB");
        options.fixedLevelTenths = c.tenths;
        start();
        const ResponseFrame f = poll();
        EXPECT_EQ(f[1] & 0xC0, c.flags);
        EXPECT_EQ(digitLevel(f), c.tenths);
    }
}

// --- logger -------------------------------------------------------------------------------------

namespace {

struct Record {
    uint32_t start = 0;
    uint32_t count = 0;
    uint32_t end = 0;  // address of the final 0xA5
};

// Checks the record at r and returns where it ends.
Record checkRecord(const std::vector<uint8_t>& m, uint32_t r) {
    Record rec{r, u24(&m[r + 11]), 0};
    rec.end = r + 17 + 2 * rec.count;
    EXPECT_EQ(m[r], 0xA5);
    EXPECT_EQ(m[r + 1], 0x5A);
    EXPECT_EQ(m[rec.end - 1], 0x5A);
    EXPECT_EQ(m[rec.end], 0xA5);
    return rec;
}

}  // namespace

TEST_F(SimulatorTest, RecordingWritesAWellFormedRecordWithTheLevelsOfItsSampleTimes) {
    start();
    clock.advance(1'234);
    EXPECT_EQ(meter->setCount(), 0);
    EXPECT_EQ(meter->lastAddress(), 255u);
    send('R');
    std::vector<int> levels;
    for (int k = 0; k < 5; ++k) {
        const ResponseFrame f = poll();  // polled at each sample time
        EXPECT_EQ(f[1] & 0x01, 0x01);
        levels.push_back(u16(f, 5));
        clock.advance(k < 4 ? 2000 : 1500);
    }
    send('R');

    const auto& m = meter->memory();
    const Record rec = checkRecord(m, 256);
    EXPECT_EQ(rec.count, 5u);
    EXPECT_EQ(std::vector<uint8_t>(m.begin() + 259, m.begin() + 265),
              (std::vector<uint8_t>{0x24, 0x01, 0x15, 0x10, 0x00, 0x01}));
    EXPECT_EQ(m[266], 2);     // interval
    EXPECT_EQ(m[270], 0x03);  // A, FAST
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(m[272 + 2 * k] & 0xF0, 0);
        EXPECT_EQ(u16(m, 272 + 2 * k), levels[k]) << k;
    }
    EXPECT_EQ(meter->setCount(), 1);
    EXPECT_EQ(meter->lastAddress(), rec.end);
    EXPECT_EQ(rec.end, 283u);

    // The next record follows, with the modes, the clock and the interval of its own start;
    // samples are caught up even without polls in between.
    send('C');
    send('F');
    openDevice();
    ASSERT_EQ(meter->write(7, frameOf('W', 0, 0, 0x0F, 5).data()), 0);
    meter->powerCycle();
    clock.advance(3'600'000);
    send('R');
    clock.advance(61'000);
    send('R');
    const Record second = checkRecord(m, rec.end + 1);
    EXPECT_EQ(second.count, 13u);          // 0, 5, ... 60 s
    EXPECT_EQ(m[second.start + 6], 0x11);  // hour
    EXPECT_EQ(m[second.start + 10], 5);
    EXPECT_EQ(m[second.start + 14], 0x00);  // C, SLOW
    EXPECT_EQ(meter->setCount(), 2);
    EXPECT_EQ(meter->lastAddress(), second.end);
}

TEST_F(SimulatorTest, IntervalZeroRecordsEverySecond) {
    start();
    openDevice();
    ASSERT_EQ(meter->write(7, frameOf('W', 0, 0, 0x0F, 0).data()), 0);
    meter->powerCycle();
    EXPECT_EQ(meter->recordingIntervalS(), 1);
    send('R');
    clock.advance(9'999);
    send('R');
    const Record rec = checkRecord(meter->memory(), 256);
    EXPECT_EQ(rec.count, 10u);
    EXPECT_EQ(meter->memory()[266], 1);
}

TEST_F(SimulatorTest, FullMemoryEndsTheRecordingAndRaisesTheFlag) {
    start();
    openDevice();
    ASSERT_EQ(meter->write(7, frameOf('W', 0, 0, 0x0F, 1).data()), 0);
    meter->powerCycle();
    send('R');
    clock.advance(200'000'000);  // far more than the memory holds
    const ResponseFrame f = poll();
    EXPECT_EQ(f[1] & 0x01, 0);
    EXPECT_EQ(f[2] & 0x10, 0x10);
    EXPECT_FALSE(meter->recording());
    const Record rec = checkRecord(meter->memory(), 256);
    EXPECT_EQ(rec.end, uint32_t(SimulatedMeter::kMemoryCapacity - 1));
    EXPECT_EQ(meter->lastAddress(), rec.end);
    EXPECT_EQ(rec.count, uint32_t(SimulatedMeter::kMemoryCapacity - 256 - 18) / 2);

    send('R');  // no room: stays stopped
    EXPECT_FALSE(meter->recording());
    EXPECT_EQ(meter->setCount(), 1);

    ask(MeterLink::kEraseFrame);
    EXPECT_EQ(poll()[2] & 0x10, 0);
    send('R');
    EXPECT_TRUE(meter->recording());
}

TEST_F(SimulatorTest, DownloadStreamsTheMemoryAfterTheInformationFrame) {
    start();
    send('R');
    clock.advance(100'000);
    send('R');
    const auto& m = meter->memory();

    const auto info = ask(frameOf('P'));
    ASSERT_TRUE(info);
    EXPECT_EQ((*info)[0], 0x04);
    EXPECT_EQ((*info)[31], 0x05);
    EXPECT_EQ(u16(*info, 9), 1);
    EXPECT_EQ(u24(&(*info)[11]), meter->lastAddress());
    EXPECT_TRUE(std::equal(info->begin() + 1, info->end() - 1, m.begin() + 1));

    // The stream carries on on the open device, in memory order, and ends past the memory.
    std::vector<uint8_t> image(info->begin(), info->end());
    ResponseFrame block;
    for (int i = 1; i < SimulatedMeter::kMemorySize / 32 + 2; ++i) {
        ASSERT_EQ(meter->write(7, frameOf('p').data()), 0);
        ASSERT_EQ(meter->read(32, block.data()), 0);
        image.insert(image.end(), block.begin(), block.end());
    }
    EXPECT_TRUE(std::equal(m.begin() + 32, m.end(), image.begin() + 32));
    EXPECT_TRUE(std::all_of(image.begin() + SimulatedMeter::kMemorySize, image.end(),
                            [](uint8_t b) { return b == 0xFF; }));
    ASSERT_EQ(meter->write(7, frameOf('q').data()), 0);
    EXPECT_NE(meter->read(32, block.data()), 0);

    // A new 'P' starts the stream over.
    ask(frameOf('P'));
    ASSERT_EQ(meter->write(7, frameOf('p').data()), 0);
    ASSERT_EQ(meter->read(32, block.data()), 0);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), m.begin() + 32));
}

TEST_F(SimulatorTest, EraseEmptiesTheLoggerAndEchoesTheFrame) {
    start();
    send('R');
    clock.advance(10'000);
    send('R');
    ASSERT_EQ(meter->setCount(), 1);

    const auto r = ask(MeterLink::kEraseFrame);
    ASSERT_TRUE(r);
    EXPECT_TRUE(
        std::equal(MeterLink::kEraseFrame.begin(), MeterLink::kEraseFrame.end(), r->begin()));
    EXPECT_EQ(meter->setCount(), 0);
    EXPECT_EQ(meter->lastAddress(), 255u);
    const auto& m = meter->memory();
    EXPECT_TRUE(std::all_of(m.begin() + 256, m.end(), [](uint8_t b) { return b == 0xFF; }));

    send('R');
    clock.advance(4'000);
    send('R');
    EXPECT_EQ(checkRecord(m, 256).count, 3u);
}

TEST_F(SimulatorTest, ConfigurationBytesRoundTripAndTheIntervalWaitsForAPowerCycle) {
    start();
    const CommandFrame write = frameOf('W', 0x01, 0x11, 0x70, 0x42);
    const auto w = ask(write);
    ASSERT_TRUE(w);
    EXPECT_TRUE(std::equal(write.begin(), write.end(), w->begin()));

    const auto r = ask(frameOf('r', 0x01, 0x11, 0x70, 0x99));
    ASSERT_TRUE(r);
    EXPECT_TRUE(
        std::equal(r->begin(), r->begin() + 6, frameOf('r', 0x01, 0x11, 0x70, 0x99).begin()));
    EXPECT_EQ((*r)[6], 0x42);

    EXPECT_EQ((*ask(frameOf('r', 0, 0, 0x0F)))[6], 2);
    ask(frameOf('W', 0, 0, 0x0F, 10));
    EXPECT_EQ((*ask(frameOf('r', 0, 0, 0x0F)))[6], 10);
    EXPECT_EQ(meter->recordingIntervalS(), 2);
    EXPECT_EQ((*ask(frameOf('Y')))[15], 2);
    meter->powerCycle();
    EXPECT_EQ(meter->recordingIntervalS(), 10);
    EXPECT_EQ((*ask(frameOf('Y')))[15], 10);

    // Through the link, with its echo checks.
    IdleLinkHost host;
    MeterLink link(*meter, clock, host);
    EXPECT_EQ(link.writeConfigByte(0x0E, 0, MeterLink::Echo::LetterBytes), LinkResult::Success);
    EXPECT_EQ(link.writeConfigByte(70000, 7, MeterLink::Echo::AddressDataBytes),
              LinkResult::Success);
    uint8_t value = 0;
    EXPECT_EQ(link.readConfigByte(70000, &value), LinkResult::Success);
    EXPECT_EQ(value, 7);
}

TEST_F(SimulatorTest, InformationBlockLayout) {
    start();
    send('R');
    clock.advance(20'000);
    send('R');
    clock.setNow(QDateTime(QDate(2024, 1, 15), QTime(10, 0, 0)));  // the PC clock moves...
    const auto y = ask(frameOf('Y'));
    ASSERT_TRUE(y);
    const ResponseFrame& f = *y;
    EXPECT_EQ(u16(f, 9), 1);
    EXPECT_EQ(u24(&f[11]), meter->lastAddress());
    EXPECT_EQ(f[15], 2);
    EXPECT_EQ(f[18], 0xF6);
    EXPECT_EQ(u16(f, 19), 17920);
    EXPECT_EQ(u16(f, 21), 15360);
    EXPECT_EQ(u16(f, 23), 10240);
    // ...the meter's own clock does not.
    EXPECT_EQ(std::vector<uint8_t>(f.begin() + 25, f.begin() + 31),
              (std::vector<uint8_t>{0x24, 0x01, 0x15, 0x10, 0x00, 0x20}));
    EXPECT_EQ(f[31], 156);
}

TEST_F(SimulatorTest, ClockCommandAndBlockSetTheMeterClock) {
    start();
    IdleLinkHost host;
    MeterLink link(*meter, clock, host);
    clock.setNow(QDateTime(QDate(2021, 7, 4), QTime(13, 45, 9)));
    ASSERT_EQ(link.setMeterClock(), LinkResult::Success);
    EXPECT_EQ(statusClock(poll()), QDateTime(QDate(2021, 7, 4), QTime(13, 45, 9)));
    clock.advance(3'600'000);
    EXPECT_EQ(statusClock(poll()), QDateTime(QDate(2021, 7, 4), QTime(14, 45, 9)));

    const QDateTime before = meter->meterTime();
    const auto setClock = [&](std::array<uint8_t, 8> head, bool withCommand) {
        openDevice();
        if (withCommand) {
            ASSERT_EQ(meter->write(7, frameOf('t', 'c').data()), 0);
        }
        ResponseFrame block{};
        std::copy(head.begin(), head.end(), block.begin());
        ASSERT_EQ(meter->writeBlock(32, block.data()), 0);
    };
    setClock({0x00, 0x1A, 0x12, 0x01, 0x02, 0, 0x22, 0}, true);   // minutes not BCD
    setClock({0x00, 0x00, 0x12, 0x30, 0x02, 0, 0x22, 0}, true);   // 30 February
    setClock({0x00, 0x00, 0x24, 0x01, 0x02, 0, 0x22, 0}, true);   // hour 24
    setClock({0x00, 0x00, 0x12, 0x01, 0x02, 0, 0x22, 0}, false);  // no 't' before it
    EXPECT_EQ(meter->meterTime(), before);
    setClock({0x59, 0x59, 0x23, 0x31, 0x12, 0, 0x99, 0}, true);
    EXPECT_EQ(statusClock(poll()), QDateTime(QDate(2099, 12, 31), QTime(23, 59, 59)));
    clock.advance(1000);
    EXPECT_EQ(meter->meterTime(), QDateTime(QDate(2100, 1, 1), QTime(0, 0, 0)));
    const ResponseFrame f = poll();
    EXPECT_EQ(std::vector<uint8_t>(f.begin() + 15, f.begin() + 20),
              (std::vector<uint8_t>{0x00, 0x00, 0x00, 0x01, 0x01}));
    EXPECT_EQ(f[21], 0x00);
}

// --- device library contract and faults ------------------------------------------------------

TEST_F(SimulatorTest, DeviceCallsFailWhenTheyCannotBeServed) {
    start();
    const CommandFrame a = frameOf('A');
    uint8_t guard[40];
    std::memset(guard, 0xEE, sizeof guard);

    EXPECT_NE(meter->write(7, a.data()), 0);  // not open
    EXPECT_NE(meter->read(32, guard), 0);
    EXPECT_NE(meter->writeBlock(32, guard), 0);
    EXPECT_NE(meter->open(0x1234, kMeterProductId), 0);

    openDevice();
    EXPECT_NE(meter->read(32, guard), 0);  // nothing pending
    EXPECT_NE(meter->write(6, a.data()), 0);
    EXPECT_NE(meter->write(8, a.data()), 0);
    EXPECT_NE(meter->write(7, nullptr), 0);
    EXPECT_NE(meter->writeBlock(31, guard), 0);
    ASSERT_EQ(meter->write(7, a.data()), 0);
    EXPECT_NE(meter->read(31, guard), 0);
    EXPECT_NE(meter->read(32, nullptr), 0);
    EXPECT_TRUE(std::all_of(guard, guard + sizeof guard, [](uint8_t b) { return b == 0xEE; }));
    EXPECT_EQ(meter->read(32, guard), 0);
    EXPECT_NE(meter->read(32, guard), 0);  // a response is read once
    EXPECT_EQ(guard[32], 0xEE);

    // Answered commands answer only the last one written.
    ASSERT_EQ(meter->write(7, frameOf('K').data()), 0);
    ASSERT_EQ(meter->write(7, frameOf('R').data()), 0);
    EXPECT_NE(meter->read(32, guard), 0);

    meter->unplug();
    EXPECT_FALSE(meter->isOpen());
    EXPECT_NE(meter->open(kMeterVendorId, kMeterProductId), 0);
    EXPECT_NE(meter->write(7, a.data()), 0);
    EXPECT_EQ(meter->close(), 0);
    meter->replug();
    EXPECT_EQ(meter->open(kMeterVendorId, kMeterProductId), 0);
    EXPECT_EQ(meter->close(), 0);
    EXPECT_EQ(meter->close(), 0);
}

TEST_F(SimulatorTest, FaultsHitTheirCallsAfterTheSkippedOnes) {
    // open, time-outs: skip 1, fail 2, then succeed again
    options.openFailure = Fault{1, 2, 0};
    options.timeoutFailure = Fault{0, 1, 0};
    start();
    std::vector<int> opens;
    for (int i = 0; i < 4; ++i) opens.push_back(meter->open(kMeterVendorId, kMeterProductId));
    EXPECT_EQ(opens, (std::vector<int>{0, 1, 1, 0}));
    EXPECT_NE(meter->setTimeouts(100, 100), 0);
    EXPECT_EQ(meter->setTimeouts(100, 100), 0);

    // write, by letter, for ever: the frame never arrives, so nothing answers it
    options = {};
    options.writeFailure = Fault{0, -1, 'Y'};
    start();
    EXPECT_TRUE(ask(frameOf('A')));
    for (int i = 0; i < 3; ++i) {
        openDevice();
        EXPECT_NE(meter->write(7, frameOf('Y').data()), 0);
        ResponseFrame r;
        EXPECT_NE(meter->read(32, r.data()), 0);
    }
    EXPECT_TRUE(ask(frameOf('K')));

    // read, by letter: the third block read fails once
    options = {};
    options.readFailure = Fault{2, 1, 'p'};
    start();
    ASSERT_TRUE(ask(frameOf('P')));
    std::vector<int> reads;
    for (int i = 0; i < 4; ++i) {
        ResponseFrame r;
        meter->write(7, frameOf('p').data());
        reads.push_back(meter->read(32, r.data()));
    }
    EXPECT_EQ(reads[0], 0);
    EXPECT_EQ(reads[1], 0);
    EXPECT_NE(reads[2], 0);
    EXPECT_EQ(reads[3], 0);
}

TEST_F(SimulatorTest, FaultsSpoilTheirResponses) {
    options.wrongFraming = Fault{0, 1, 0};
    options.wrongSequence = Fault{1, 1, 'A'};
    start();
    ResponseFrame f = poll();
    EXPECT_NE(f[0], 0x02);
    EXPECT_NE(f[31], 0x03);
    EXPECT_EQ(f[30], sequence);
    f = poll();
    EXPECT_EQ(f[0], 0x02);
    EXPECT_EQ(f[31], 0x03);
    EXPECT_NE(f[30], sequence);
    EXPECT_EQ(poll()[30], sequence);

    options = {};
    options.wrongFraming = Fault{0, 1, 'P'};
    start();
    EXPECT_EQ((*ask(frameOf('P')))[0], 0x02);
    EXPECT_EQ((*ask(frameOf('P')))[0], 0x04);

    // Every echo check of the link fails, then passes once the fault is spent.
    options = {};
    options.wrongEcho = Fault{0, 1, 'W'};
    start();
    const CommandFrame w = frameOf('W', 0, 0, 0x0F, 7);
    const ResponseFrame bad = *ask(w);
    EXPECT_FALSE(std::equal(w.begin(), w.begin() + 2, bad.begin()));
    EXPECT_FALSE(std::equal(w.begin() + 3, w.end(), bad.begin() + 3));
    EXPECT_TRUE(std::equal(w.begin(), w.end(), ask(w)->begin()));

    options.wrongEcho = Fault{0, -1, 0};
    start();
    const CommandFrame r = frameOf('r', 0, 0, 0x0F);
    EXPECT_FALSE(std::equal(r.begin(), r.begin() + 2, ask(r)->begin()));
    EXPECT_FALSE(std::equal(MeterLink::kEraseFrame.begin(), MeterLink::kEraseFrame.end(),
                            ask(MeterLink::kEraseFrame)->begin()));

    // The meter vanishes after two writes and stays gone until plugged in again.
    options = {};
    options.unplugAfterExchanges = 2;
    start();
    EXPECT_TRUE(ask(frameOf('A')));
    EXPECT_TRUE(ask(frameOf('K')));
    openDevice();
    EXPECT_NE(meter->write(7, frameOf('A').data()), 0);
    EXPECT_FALSE(meter->isPluggedIn());
    EXPECT_NE(meter->open(kMeterVendorId, kMeterProductId), 0);
    meter->replug();
    EXPECT_TRUE(ask(frameOf('A')));
    EXPECT_EQ(meter->exchangeCount(), 3);
}

TEST_F(SimulatorTest, LatencyIsWaitedOnTheClockForEveryRead) {
    options.latencyMs = 25;
    start();
    const int64_t before = clock.waitedMs();
    poll();
    poll();
    EXPECT_EQ(clock.waitedMs() - before, 2 * 26);
}

// --- determinism, images, long runs -----------------------------------------------------------

TEST_F(SimulatorTest, SameSeedSameFramesOtherSeedOtherLevels) {
    const auto run = [](uint32_t seed) {
        ManualClock c;
        Options o;
        o.seed = seed;
        SimulatedMeter m(c, o);
        IdleLinkHost host;
        MeterLink link(m, c, host);
        std::vector<ResponseFrame> frames;
        link.sendKey('s');
        for (int i = 0; i < 500; ++i) {
            c.advance(173);
            link.pollStatus();
            frames.push_back(link.mainResponse());
        }
        return frames;
    };
    const auto a = run(7), b = run(7), c = run(8);
    EXPECT_EQ(a, b);
    int differing = 0;
    for (size_t i = 0; i < a.size(); ++i) differing += u16(a[i], 5) != u16(c[i], 5);
    EXPECT_GT(differing, 400);
}

TEST_F(SimulatorTest, InitialImageIsTheLoggerMemory) {
    // An image recorded by one meter, downloaded through the link and given to a second one.
    start();
    send('R');
    clock.advance(30'000);
    send('R');
    IdleLinkHost host;
    MeterLink link(*meter, clock, host);
    ASSERT_EQ(link.queryInfo(), LinkResult::Success);
    QByteArray image(reinterpret_cast<const char*>(link.mainResponse().data()), 32);
    const uint32_t total = (meter->lastAddress() + 1 + 31) / 32 * 32;
    while (uint32_t(image.size()) < total) {
        ASSERT_EQ(link.writeFrame(frameOf('p')), 0);
        ASSERT_EQ(link.readResponse(link.mainResponse()), 0);
        image.append(reinterpret_cast<const char*>(link.mainResponse().data()), 32);
    }

    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    file.write(image);
    file.close();
    options.initialImage = SimulatedMeter::readImageFile(file.fileName());
    EXPECT_EQ(options.initialImage, image);
    EXPECT_TRUE(SimulatedMeter::readImageFile(file.fileName() + ".missing").isEmpty());

    const uint32_t firstEnd = meter->lastAddress();
    start();
    EXPECT_EQ(meter->setCount(), 1);
    EXPECT_EQ(meter->lastAddress(), firstEnd);
    const auto info = ask(frameOf('P'));
    EXPECT_EQ(u24(&(*info)[11]), firstEnd);
    send('R');
    clock.advance(1'000);
    send('R');
    EXPECT_EQ(checkRecord(meter->memory(), 256).end, firstEnd);
    EXPECT_EQ(checkRecord(meter->memory(), firstEnd + 1).count, 1u);
    EXPECT_EQ(meter->setCount(), 2);

    // An oversized image is cut to the memory; one that leaves no room reports full memory.
    QByteArray big(SimulatedMeter::kMemorySize + 100, char(0x11));
    big[11] = 0x01;
    big[12] = char(0xF5);
    big[13] = 0x00;  // lastAddress 128256: past the capacity
    options.initialImage = big;
    start();
    EXPECT_EQ(meter->memory().size(), size_t(SimulatedMeter::kMemorySize));
    EXPECT_EQ(poll()[2] & 0x10, 0x10);
    send('R');
    EXPECT_FALSE(meter->recording());

    // A truncated image keeps the empty memory's header fields.
    options.initialImage = QByteArray(5, char(0x04));
    start();
    EXPECT_EQ(meter->setCount(), 0);
    EXPECT_EQ(meter->lastAddress(), 255u);
}

TEST_F(SimulatorTest, DemoLoggerHoldsPlausibleSetsFixedByTheSeed) {
    const QByteArray demo = SimulatedMeter::demoLoggerImage(7);
    const auto* bytes = reinterpret_cast<const uint8_t*>(demo.constData());
    const std::span<const uint8_t> image(bytes, size_t(demo.size()));
    // Parsed at two different times: start times that needed repairing would differ.
    DataSetTable table, later;
    const QDateTime now(QDate(2026, 1, 2), QTime(3, 4, 5));
    ASSERT_EQ(parseImage(image, int32_t(u24(bytes + 11)), now, table, nullptr, QLocale::c()),
              ParseResult::Ok);
    ASSERT_EQ(parseImage(image, int32_t(u24(bytes + 11)), now.addDays(400).addSecs(3661), later,
                         nullptr, QLocale::c()),
              ParseResult::Ok);
    EXPECT_EQ(table.startTimes(), later.startTimes());
    EXPECT_EQ(u24(bytes + 11), uint32_t(demo.size() - 1));
    ASSERT_EQ(table.setCount(), 4);
    EXPECT_EQ(table.counts(), (std::vector<int32_t>{180, 300, 120, 240}));
    EXPECT_EQ(table.intervals(), (std::vector<int32_t>{1, 2, 5, 60}));
    for (int s = 0; s < table.setCount(); ++s) {
        SCOPED_TRACE(s);
        const auto levels = table.setLevels(s);
        const auto [low, high] = std::minmax_element(levels.begin(), levels.end());
        EXPECT_GE(*low, 25.0f);  // none out of range, so none stored as 0
        EXPECT_LE(*high, 100.0f);
        EXPECT_GE(*high - *low, 4.0f);  // the level moves
        if (s > 0) {
            EXPECT_GT(table.startTimes()[size_t(s)], table.setEnd(s - 1));
        }
    }

    EXPECT_EQ(SimulatedMeter::demoLoggerImage(7), demo);
    EXPECT_NE(SimulatedMeter::demoLoggerImage(8), demo);

    // The option starts the meter with it, for its seed; an initial image still wins.
    options.seed = 7;
    options.demoLogger = true;
    start();
    EXPECT_EQ(meter->setCount(), 4);
    EXPECT_TRUE(std::equal(demo.begin(), demo.end(), meter->memory().begin(),
                           [](char a, uint8_t b) { return uint8_t(a) == b; }));
    options.initialImage = QByteArray(5, char(0x04));
    start();
    EXPECT_EQ(meter->setCount(), 0);
}

TEST_F(SimulatorTest, FrameLogStaysBoundedOverALongRun) {
    start();
    IdleLinkHost host;
    MeterLink link(*meter, clock, host);
    const int polls = 150'000;
    for (int i = 0; i < polls; ++i) {
        clock.advance(100);
        ASSERT_TRUE(link.pollStatus());
    }
    EXPECT_EQ(meter->exchangeCount(), polls);
    EXPECT_LE(meter->framesWritten().size(), SimulatedMeter::kFrameLogLimit);
    EXPECT_GE(meter->framesWritten().size(), SimulatedMeter::kFrameLogLimit / 2);
    EXPECT_EQ(meter->framesWritten().back()[5], link.sequenceNumber());
    EXPECT_EQ(link.mainResponse()[30], link.sequenceNumber());
}
