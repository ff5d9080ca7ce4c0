#include <gtest/gtest.h>

#include "session/StatusDecoder.h"

using namespace kl516;

namespace {

ResponseFrame frame(std::initializer_list<std::pair<int, uint8_t>> bytes) {
    ResponseFrame f{};
    f[0] = 0x02;
    f[31] = 0x03;
    for (auto [i, v] : bytes) f[i] = v;
    return f;
}

}  // namespace

TEST(StatusDecoder, LevelsFlagsAndIndicators) {
    struct Case {
        const char* what;
        ResponseFrame f;
        int tenths;
        std::array<int, 4> digits;
        int bar;
        MaxMinIndicator maxMin;
    };
    const Case cases[] = {
        {"normal level",
         frame({{7, 0}, {8, 9}, {9, 4}, {10, 5}}),
         945,
         {10, 9, 4, 5},
         100,
         MaxMinIndicator::Off},
        {"MAX",
         frame({{1, 0x04}, {4, 0x11}, {11, 0x04}, {12, 0x4C}, {13, 0x01}}),
         1100,
         {1, 1, 0, 0},
         124,
         MaxMinIndicator::MaxOnly},
        {"MIN",
         frame({{1, 0x04}, {4, 0x22}, {11, 0x04}, {13, 0x01}, {14, 0x2C}}),
         300,
         {10, 3, 0, 0},
         4,
         MaxMinIndicator::MinOnly},
        {"MAX/MIN alternating",
         frame({{1, 0x04}, {4, 0x44}, {5, 0x02}, {6, 0x58}}),
         600,
         {10, 6, 0, 0},
         49,
         MaxMinIndicator::Blink},
        {"MAX/MIN mode 0",
         frame({{1, 0x04}, {4, 0x00}, {5, 0x00}, {6, 0x64}}),
         100,
         {10, 1, 0, 0},
         4,
         MaxMinIndicator::StopBlink},
        {"MAX/MIN unknown mode",
         frame({{1, 0x04}, {4, 0x33}, {6, 0x05}}),
         5,
         {10, 0, 0, 5},
         4,
         MaxMinIndicator::NoChange},
        {"LEQ wins over MAX/MIN",
         frame({{1, 0x04}, {2, 0x80}, {4, 0x11}, {26, 0x03}, {27, 0x84}}),
         900,
         {10, 9, 0, 0},
         94,
         MaxMinIndicator::MaxOnly},
        {"full scale",
         frame({{7, 1}, {8, 3}, {9, 0}, {10, 0}}),
         1300,
         {1, 3, 0, 0},
         154,
         MaxMinIndicator::Off},
        {"16-bit level in the blank images",
         frame({{2, 0x80}, {26, 0x2E}, {27, 0xE0}}),
         12000,
         {12, 0, 0, 0},
         1759,
         MaxMinIndicator::Off},
        {"beyond the image table",
         frame({{2, 0x80}, {26, 0x46}, {27, 0x50}}),
         18000,
         {16, 16, 16, 16},
         2659,
         MaxMinIndicator::Off},
    };
    for (const Case& c : cases) {
        StatusDecoder d;
        const PanelRefresh r = d.onStatus(c.f);
        EXPECT_EQ(r.status.levelTenths, c.tenths) << c.what;
        EXPECT_FLOAT_EQ(r.status.level, c.tenths * 0.1f) << c.what;
        EXPECT_EQ(r.digits, c.digits) << c.what;
        EXPECT_EQ(r.barWidth, c.bar) << c.what;
        EXPECT_EQ(r.maxMin, c.maxMin) << c.what;
    }
}

TEST(StatusDecoder, FlagBits) {
    const MeterStatus s = decode(frame({{1, 0xDD}, {2, 0xF0}}));
    EXPECT_TRUE(s.recording);
    EXPECT_TRUE(s.maxMinActive);
    EXPECT_TRUE(s.weightingA);
    EXPECT_TRUE(s.fast);
    EXPECT_TRUE(s.under);
    EXPECT_TRUE(s.over);
    EXPECT_TRUE(s.memoryFull);
    EXPECT_TRUE(s.leqShown);
    EXPECT_EQ(s.runState, RunState::Running);
    EXPECT_EQ(decode(frame({{2, 0x40}})).runState, RunState::Paused);
    EXPECT_EQ(decode(frame({{2, 0x20}})).runState, RunState::Stopped);
    const MeterStatus none = decode(frame({}));
    EXPECT_FALSE(none.recording || none.weightingA || none.fast || none.leqShown);
}

TEST(StatusDecoder, ClockRules) {
    StatusDecoder d;
    // A full clock: hours, minutes, seconds, year, month, day.
    auto f = frame({{15, 0x09}, {16, 0x45}, {17, 0x13}, {18, 0x04}, {19, 0x07}, {21, 0x21}});
    PanelRefresh r = d.onStatus(f);
    EXPECT_EQ(r.clockValues, (std::array<int, 6>{13, 45, 9, 21, 7, 4}));
    EXPECT_EQ(d.lastSecondsByte(), 0x09);

    // Same seconds byte: the clock is not touched.
    r = d.onStatus(f);
    EXPECT_EQ(r.clockValues, (std::array<int, 6>{-1, -1, -1, -1, -1, -1}));

    // Not set (0x5A): nothing drawn, and the next frame is processed even with the seconds
    // byte of the last drawn one.
    auto unset = frame({{15, 0x5A}, {16, 0x5A}, {17, 0x5A}});
    r = d.onStatus(unset);
    EXPECT_EQ(r.clockValues, (std::array<int, 6>{-1, -1, -1, -1, -1, -1}));
    EXPECT_EQ(d.lastSecondsByte(), 2);
    r = d.onStatus(f);
    EXPECT_EQ(r.clockValues, (std::array<int, 6>{13, 45, 9, 21, 7, 4}));

    // A non-BCD hour byte stops the conversion at once; the seconds byte is still kept.
    auto badHour = frame({{15, 0x10}, {16, 0x45}, {17, 0x1A}, {21, 0x21}});
    r = d.onStatus(badHour);
    EXPECT_EQ(r.clockValues, (std::array<int, 6>{-1, -1, -1, -1, -1, -1}));
    EXPECT_EQ(d.lastSecondsByte(), 0x10);

    // A non-BCD month keeps the places after it (day) unchanged.
    auto badMonth = frame({{15, 0x11}, {16, 0x45}, {17, 0x13}, {19, 0x1A}, {18, 0x05}, {21, 0x24}});
    r = d.onStatus(badMonth);
    EXPECT_EQ(r.clockValues, (std::array<int, 6>{13, 45, 11, 24, -1, -1}));
}

TEST(StatusDecoder, RecordingFlagAndBlink) {
    StatusDecoder d;
    d.onStatus(frame({{1, 0x01}}));
    EXPECT_TRUE(d.meterRecording());
    d.onStatus(frame({}));
    EXPECT_FALSE(d.meterRecording());
    EXPECT_TRUE(d.blinkStep());
    EXPECT_FALSE(d.blinkStep());
    EXPECT_TRUE(d.blinkStep());
}
