#include <gtest/gtest.h>

#include <QDateTime>
#include <QLocale>
#include <cmath>
#include <vector>

#include "dataset/SerialDateTime.h"
#include "link/Clock.h"
#include "realtime/RealTimeSampler.h"
#include "realtime/RecordingPeriod.h"

using namespace kl516;

namespace {

const QLocale kPoint(QLocale::English, QLocale::UnitedStates);
const QLocale kComma(QLocale::German, QLocale::Germany);

}  // namespace

// ---- recording period --------------------------------------------------------------------------

TEST(RecordingPeriod, PresetAndRecomputedTexts) {
    // The dialog opens with the period without leading zeros and recomputes it with two-digit
    // minutes and seconds.
    EXPECT_EQ(presetPeriodText(recordingPeriodSeconds(0.2, 2000)), "0:6:40");
    EXPECT_EQ(presetPeriodText(recordingPeriodSeconds(0.2f, 2000)), "0:6:40");  // the stored float
    EXPECT_EQ(presetPeriodText(recordingPeriodSeconds(30, 2000)), "16:40:0");
    EXPECT_EQ(periodText(recordingPeriodSeconds(0.2, 2000)), "0:06:40");

    const struct {
        const char* rate;
        const char* count;
        const char* period;
    } cases[] = {
        {"0.2", " 2000", "0:06:40"},  {"1.0", "500", "0:08:20"},  {"30.0", "2000", "16:40:00"},
        {"30", "99999", "833:19:30"}, {"0.3", "1000", "0:05:00"}, {"0.5", "1500", "0:12:30"},
        {"0.5", "", "0:00:00"},       {"0.5", "   ", "0:00:00"},  {"0.1", "5", "0:00:01"},
        {"0.1", "4", "0:00:00"},  // 0.4 s rounds down, 0.5 s up
    };
    for (const auto& c : cases)
        EXPECT_EQ(recomputedPeriodText(c.rate, c.count, kPoint), c.period)
            << c.rate << " x '" << c.count << "'";
}

TEST(RecordingPeriod, RateTextsFollowTheLocale) {
    EXPECT_EQ(recomputedPeriodText("0,5", "1500", kComma), "0:12:30");
    EXPECT_EQ(parseRate(" 0.3 ", kPoint), 0.3);
    // Not numbers: the display keeps its text (nullopt) and the message quotes the text.
    EXPECT_FALSE(recomputedPeriodText("abc", "2000", kPoint));
    EXPECT_FALSE(recomputedPeriodText("", "2000", kPoint));
    EXPECT_FALSE(parseRate("0,5", kPoint));  // a group separator is no decimal point
    EXPECT_FALSE(parseRate("1.000,5", kComma));
    EXPECT_EQ(notANumberMessage("abc"), "'abc' is not a valid floating point value");
}

TEST(RecordingPeriod, OutlandishRatesGiveADisplayNotACrash) {
    EXPECT_EQ(recordingPeriodSeconds(-1, 2000), 0);
    EXPECT_EQ(recordingPeriodSeconds(std::nan(""), 2000), 0);
    EXPECT_EQ(recordingPeriodSeconds(1e300, 99999), kMaxPeriodSeconds);
    EXPECT_EQ(recomputedPeriodText("inf", "5", kPoint), periodText(kMaxPeriodSeconds));
}

TEST(RecordingPeriod, SampleCounts) {
    EXPECT_EQ(parseSampleCount(" 2000"), 2000);
    EXPECT_EQ(parseSampleCount("99999 "), 99999);
    EXPECT_EQ(parseSampleCount("0"), 0);
    EXPECT_FALSE(parseSampleCount(""));
    EXPECT_FALSE(parseSampleCount("2 00"));
    EXPECT_FALSE(parseSampleCount("1.5"));
}

// ---- sampler -----------------------------------------------------------------------------------

namespace {

// A sampler driven by a poll loop on a manual clock: every tick advances the clock by the poll
// interval and offers one reading.
struct SamplerOnAClock {
    ManualClock clock;
    RealTimeSampler sampler{toSerialDateTime(clock.now())};
    std::vector<int64_t> sampleMs;  // clock ticks at which samples were stored

    SerialDateTime now() const { return toSerialDateTime(clock.now()); }

    RealTimeSampler::Result tick(int pollMs, float level = 80.0f) {
        clock.advance(pollMs);
        const RealTimeSampler::Result r = sampler.offer(level, now(), now());
        if (r.outcome == RealTimeSampler::Outcome::Stored) sampleMs.push_back(clock.tickMs());
        return r;
    }

    std::vector<int64_t> gaps() const {
        std::vector<int64_t> g;
        for (size_t i = 1; i < sampleMs.size(); ++i) g.push_back(sampleMs[i] - sampleMs[i - 1]);
        return g;
    }
};

}  // namespace

TEST(RealTimeSampler, FirstSampleComesWithTheFirstFrameOfARun) {
    SamplerOnAClock s;
    s.clock.advance(60000);  // the window has been open a while
    s.sampler.start(0.2);
    const auto r = s.tick(100, 85.5f);
    ASSERT_EQ(r.outcome, RealTimeSampler::Outcome::Stored);
    EXPECT_EQ(r.index, 0);
    EXPECT_EQ(r.level, 85.5f);
    EXPECT_TRUE(r.newMaximum);
    EXPECT_TRUE(r.newMinimum);
    EXPECT_EQ(s.sampler.sampleCount(), 1);
    EXPECT_EQ(s.sampler.lastSampleTime(), s.now());
}

TEST(RealTimeSampler, SamplesAreSpacedByWholePollIntervals) {
    // 0.2 s on a 100 ms poll: every second tick.
    SamplerOnAClock fast;
    fast.sampler.start(0.2);
    fast.tick(200);
    for (int i = 0; i < 40; ++i) fast.tick(100);
    EXPECT_EQ(fast.sampleMs.size(), 21u);
    for (int64_t gap : fast.gaps()) EXPECT_EQ(gap, 200);

    // 0.1 s: every tick.
    SamplerOnAClock fastest;
    fastest.sampler.start(0.1);
    for (int i = 0; i < 10; ++i) fastest.tick(100);
    EXPECT_EQ(fastest.sampleMs.size(), 10u);

    // 1 s on a 500 ms poll: 1.0 s apart; a tick that comes just short of a full second waits
    // for the next one, 1.5 s after the last sample.
    SamplerOnAClock slow;
    slow.sampler.start(1.0);
    slow.tick(1000);
    slow.tick(500);
    slow.tick(500);  // 1.0 s
    slow.tick(500);
    slow.tick(495);  // 0.995 s: not yet
    slow.tick(505);  // 1.5 s
    EXPECT_EQ(slow.gaps(), (std::vector<int64_t>{1000, 1500}));
}

TEST(RealTimeSampler, TheClocksMillisecondGrainDoesNotCostASample) {
    // Ticks that arrive a millisecond early, as timer jitter on a millisecond clock does,
    // still take a sample; two milliseconds early do not.
    SamplerOnAClock s;
    s.sampler.start(0.2);
    s.tick(1000);
    s.tick(100);
    s.tick(99);  // 199 ms
    s.tick(100);
    s.tick(98);  // 198 ms: not due
    s.tick(100);
    EXPECT_EQ(s.gaps(), (std::vector<int64_t>{199, 298}));
}

TEST(RealTimeSampler, AClockSetBackDoesNotStallTheRun) {
    SamplerOnAClock s;
    s.sampler.start(1.0);
    s.tick(1000);
    // The wall clock goes back an hour (the end of daylight-saving time).
    s.clock.setNow(s.clock.now().addSecs(-3600));
    const auto r = s.sampler.offer(80.0f, s.now(), s.now());
    EXPECT_EQ(r.outcome, RealTimeSampler::Outcome::Stored);
    EXPECT_EQ(s.tick(500).outcome, RealTimeSampler::Outcome::NotDue);
    EXPECT_EQ(s.tick(500).outcome, RealTimeSampler::Outcome::Stored);
}

TEST(RealTimeSampler, ReadingsOutsideTheRangeAreReplacedOrSkipped) {
    SamplerOnAClock s;
    s.sampler.start(0.1);
    // As the first reading of a run (no good reading yet): nothing stored, one counted.
    auto r = s.tick(100, 150.0f);
    EXPECT_EQ(r.outcome, RealTimeSampler::Outcome::Skipped);
    EXPECT_TRUE(r.rejected);
    EXPECT_EQ(s.sampler.sampleCount(), 0);
    EXPECT_EQ(s.sampler.rejectedCount(), 1);
    // The skipped reading used up its interval.
    EXPECT_EQ(s.sampler.lastSampleTime(), s.now());

    // After a good 80 dB, a 150 dB reading stores 80 dB.
    s.tick(100, 80.0f);
    r = s.tick(100, 150.0f);
    EXPECT_EQ(r.outcome, RealTimeSampler::Outcome::Stored);
    EXPECT_TRUE(r.rejected);
    EXPECT_EQ(r.level, 80.0f);
    EXPECT_EQ(r.index, 1);
    EXPECT_EQ(s.sampler.rejectedCount(), 2);
    EXPECT_EQ(s.sampler.maxLevel(), 80.0f);

    // The bounds themselves are good readings; just outside and NaN are not.
    const struct {
        float level;
        bool rejected;
    } bounds[] = {
        {20.0f, false}, {140.0f, false}, {19.9f, true}, {140.1f, true}, {std::nanf(""), true}};
    for (const auto& b : bounds) {
        const int before = s.sampler.rejectedCount();
        r = s.tick(100, b.level);
        EXPECT_EQ(r.rejected, b.rejected) << b.level;
        EXPECT_EQ(s.sampler.rejectedCount() - before, b.rejected ? 1 : 0) << b.level;
    }
    // The last good reading was 140 dB, so the NaN was stored as 140.
    EXPECT_EQ(r.level, 140.0f);
}

TEST(RealTimeSampler, ALastGoodLevelOfThirtyOrLessIsNoReplacement) {
    SamplerOnAClock s;
    s.sampler.start(0.1);
    s.tick(100, 30.0f);
    EXPECT_EQ(s.tick(100, 10.0f).outcome, RealTimeSampler::Outcome::Skipped);
    s.tick(100, 30.1f);
    EXPECT_EQ(s.tick(100, 10.0f).outcome, RealTimeSampler::Outcome::Stored);
    EXPECT_EQ(s.sampler.sampleCount(), 3);
}

TEST(RealTimeSampler, ExtremesAverageAndAFreshStart) {
    SamplerOnAClock s;
    s.sampler.start(0.1);
    const float levels[] = {70.0f, 90.0f, 60.0f, 90.0f, 60.0f, 80.0f};
    std::vector<SerialDateTime> times;
    for (float l : levels) {
        s.tick(100, l);
        times.push_back(s.now());
    }
    EXPECT_EQ(s.sampler.maxLevel(), 90.0f);
    EXPECT_EQ(s.sampler.maxTime(), times[1]);  // the earlier of two equal extremes
    EXPECT_EQ(s.sampler.minLevel(), 60.0f);
    EXPECT_EQ(s.sampler.minTime(), times[2]);
    EXPECT_DOUBLE_EQ(s.sampler.average(), 75.0);

    // A new run forgets the last one, but not when the last sample was taken.
    s.tick(100, 150.0f);
    const SerialDateTime last = s.sampler.lastSampleTime();
    s.sampler.start(0.5);
    EXPECT_EQ(s.sampler.sampleCount(), 0);
    EXPECT_EQ(s.sampler.rejectedCount(), 0);
    EXPECT_EQ(s.sampler.lastGoodLevel(), 0.0f);
    EXPECT_EQ(s.sampler.maxLevel(), -9999.0f);
    EXPECT_EQ(s.sampler.minLevel(), 9999.0f);
    EXPECT_EQ(s.sampler.average(), 0.0);
    EXPECT_EQ(s.sampler.lastSampleTime(), last);
    EXPECT_EQ(s.tick(100, 150.0f).outcome, RealTimeSampler::Outcome::NotDue);
}
