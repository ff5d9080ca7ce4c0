#include <gtest/gtest.h>

#include <QByteArray>
#include <algorithm>
#include <memory>
#include <vector>

#include "link/Clock.h"
#include "link/MeterLink.h"
#include "logger/Download.h"
#include "simulator/SimulatedMeter.h"

using namespace kl516;

namespace {

using Fault = SimulatedMeter::Fault;

// A logger image whose header says lastAddress; the rest is a byte pattern, so that a block
// out of place shows.
QByteArray memoryWithLastAddress(int32_t lastAddress) {
    QByteArray image(SimulatedMeter::kMemorySize, '\0');
    for (int i = 32; i < image.size(); ++i) image[i] = char(i * 7 + i / 256);
    image[11] = char(lastAddress >> 16);
    image[12] = char(lastAddress >> 8);
    image[13] = char(lastAddress);
    return image;
}

struct RecordingProgress final : DownloadProgress {
    std::vector<int32_t> events;  // -total for start, counts, 0 for finish
    void start(int32_t total) override { events.push_back(-total); }
    void received(int32_t count) override { events.push_back(count); }
    void finish() override { events.push_back(0); }
};

struct BusyHost final : LinkHost {
    int busyTicks = 0;
    int eventRuns = 0;
    int timerStops = 0;
    bool linkBusy() const override { return busyTicks > 0; }
    void processPendingEvents() override {
        ++eventRuns;
        --busyTicks;
    }
    void stopPollTimer() override { ++timerStops; }
};

struct DownloadTest : ::testing::Test {
    ManualClock clock;
    SimulatedMeter::Options options;
    std::unique_ptr<SimulatedMeter> meter;
    BusyHost host;
    std::unique_ptr<MeterLink> link;
    LoggerImage image;
    int32_t lastAddress = -1;
    RecordingProgress progress;

    int32_t run(int32_t reportedLastAddress) {
        options.initialImage = memoryWithLastAddress(reportedLastAddress);
        meter = std::make_unique<SimulatedMeter>(clock, options);
        link = std::make_unique<MeterLink>(*meter, clock, host);
        return downloadMemory(*link, host, image, lastAddress, &progress);
    }
    int framesWith(char letter) const {
        const auto& f = meter->framesWritten();
        return int(std::count_if(f.begin(), f.end(),
                                 [&](const CommandFrame& c) { return c[1] == uint8_t(letter); }));
    }
    // The image holds the meter's memory from offset 0, with the information frame marks.
    void expectImageIsMemory(size_t bytes) const {
        ASSERT_EQ(image.size(), bytes);
        EXPECT_EQ(image[0], 0x04);
        EXPECT_EQ(image[31], 0x05);
        EXPECT_TRUE(std::equal(image.begin() + 32, image.end(), meter->memory().begin() + 32));
    }
};

}  // namespace

TEST_F(DownloadTest, SizeFollowsLastAddress) {
    struct Case {
        int32_t lastAddress;
        int32_t total;
    };
    for (const Case c : {Case{255, 256}, Case{254, 131072}, Case{288, 320}, Case{1000, 1024},
                         Case{131071, 131072}, Case{131072, 131072}, Case{0xFFFFFF, 131072}}) {
        SCOPED_TRACE(c.lastAddress);
        image.clear();
        progress.events.clear();
        ASSERT_EQ(run(c.lastAddress), LinkResult::Success);
        EXPECT_EQ(lastAddress, c.lastAddress);  // unclamped
        expectImageIsMemory(size_t(c.total));
        EXPECT_EQ(framesWith('P'), 1);
        EXPECT_EQ(framesWith('p'), c.total / 32 - 1);
        EXPECT_EQ(framesWith('q'), 1);
        EXPECT_EQ(meter->framesWritten().back()[1], 'q');
        EXPECT_TRUE(meter->isOpen());  // 'q' leaves the device open
        ASSERT_EQ(progress.events.size(), size_t(c.total / 32 + 1));
        EXPECT_EQ(progress.events.front(), -c.total);
        EXPECT_EQ(progress.events[1], 64);
        EXPECT_EQ(progress.events[progress.events.size() - 2], c.total);
        EXPECT_EQ(progress.events.back(), 0);
    }
}

TEST_F(DownloadTest, WaitsForThePollTickAndStopsTheTimer) {
    host.busyTicks = 3;
    ASSERT_EQ(run(255), LinkResult::Success);
    EXPECT_EQ(host.eventRuns, 3);
    EXPECT_GE(host.timerStops, 1);
}

TEST_F(DownloadTest, InformationRequestIsRetried) {
    options.readFailure = {.skip = 0, .count = 3, .letter = 'P'};
    ASSERT_EQ(run(1000), LinkResult::Success);
    EXPECT_EQ(framesWith('P'), 4);
    expectImageIsMemory(1024);
}

TEST_F(DownloadTest, FifteenFailedInformationRequestsGiveTheLastLinkResult) {
    options.readFailure = {.skip = 0, .count = -1, .letter = 'P'};
    EXPECT_EQ(run(1000), LinkResult::ReadFailed);
    EXPECT_EQ(framesWith('P'), 15);
    EXPECT_EQ(framesWith('p'), 0);
    EXPECT_TRUE(image.empty());
    EXPECT_EQ(lastAddress, -1);
    EXPECT_EQ(progress.events, std::vector<int32_t>{0});  // closed, never started

    image.clear();
    meter->unplug();
    EXPECT_EQ(downloadMemory(*link, host, image, lastAddress, nullptr), LinkResult::NoAnswer);
}

// A failure in the block loop closes the device and sends no 'q'; one in the transfer's first
// half is reported as a short transfer.
TEST_F(DownloadTest, FailuresInTheBlockLoop) {
    struct Case {
        const char* name;
        bool write;  // the 'p' write fails, else the read of its block
        int block;   // 1-based 'p' that fails
        int32_t result;
    };
    const Case cases[] = {
        {"read fails at block 10", false, 10, LinkResult::TransferShort},
        {"read fails at block 2047", false, 2047, LinkResult::TransferShort},
        {"read fails at block 2048", false, 2048, LinkResult::BlockReadFailed},
        {"read fails at block 3000", false, 3000, LinkResult::BlockReadFailed},
        {"write fails at block 1", true, 1, LinkResult::TransferShort},
        {"write fails at block 4095", true, 4095, LinkResult::BlockRequestFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        options = {};
        progress.events.clear();
        const Fault fault{.skip = c.block - 1, .count = 1, .letter = 'p'};
        (c.write ? options.writeFailure : options.readFailure) = fault;
        EXPECT_EQ(run(131071), c.result);
        EXPECT_FALSE(meter->isOpen());
        EXPECT_EQ(framesWith('q'), 0);
        EXPECT_EQ(framesWith('p'), c.block - (c.write ? 1 : 0));
        expectImageIsMemory(size_t(32 * c.block));  // the information block and those before
        EXPECT_EQ(progress.events.back(), 0);
    }
}

TEST_F(DownloadTest, FailedClosingWriteIsReported) {
    options.writeFailure = {.skip = 0, .count = 1, .letter = 'q'};
    EXPECT_EQ(run(1000), LinkResult::CloseRequestFailed);
    expectImageIsMemory(1024);
}
