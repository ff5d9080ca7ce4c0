#include <gtest/gtest.h>

#include <QDateTime>
#include <QLocale>
#include <cmath>
#include <optional>
#include <random>
#include <vector>

#include "dataset/SerialDateTime.h"
#include "realtime/RealTimeSampler.h"
#include "realtime/RecordingPeriod.h"
#include "realtime/SamplingRate.h"

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

TEST(SamplingRateText, OneDecimalOrAsManyAsTheRateTakes) {
    const struct {
        double seconds;
        const char* point;
        const char* comma;
    } cases[] = {
        {0.1, "0.1", "0,1"},  {0.2, "0.2", "0,2"},    {1, "1.0", "1,0"},
        {30, "30.0", "30,0"}, {0.3, "0.3", "0,3"},    {0.25, "0.25", "0,25"},
        {2.5, "2.5", "2,5"},  {0.15, "0.15", "0,15"}, {12.125, "12.125", "12,125"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(samplingRateText(c.seconds, kPoint), c.point) << c.seconds;
        EXPECT_EQ(samplingRateText(c.seconds, kComma), c.comma) << c.seconds;
        // The text reads back as the same interval.
        EXPECT_EQ(parseRate(samplingRateText(c.seconds, kComma), kComma), c.seconds);
    }
}

// ---- sampler -----------------------------------------------------------------------------------

namespace {

constexpr float kMissing = -1.0f;  // a sample without a level, in the expectations below

// A sampler fed with readings at chosen ticks of the steady clock; it keeps the run's points as
// the recorder stores them (no level for a missing sample).
struct ScheduledRun {
    static constexpr int64_t kStartMs = 5000;
    const SerialDateTime startTime = toSerialDateTime(QDateTime(QDate(2024, 1, 15), QTime(10, 0)));
    RealTimeSampler sampler;
    std::vector<float> levels;     // kMissing for a sample without a level
    std::vector<int64_t> takenAt;  // the tick of the reading behind each sample (-1: missing)

    ScheduledRun(double rate, int capacity) { sampler.start(rate, capacity, kStartMs, startTime); }

    void keep(const RealTimeSampler::Result& r, int64_t at) {
        for (int i = 0; i < r.missing; ++i) {
            levels.push_back(kMissing);
            takenAt.push_back(-1);
        }
        if (r.outcome == RealTimeSampler::Outcome::Stored) {
            EXPECT_EQ(r.index, int(levels.size()));
            levels.push_back(r.level);
            takenAt.push_back(at);
        }
        EXPECT_EQ(int(levels.size()), sampler.sampleCount());
    }
    // A reading `ms` after the start of the run.
    RealTimeSampler::Result at(int64_t ms, float level = 80.0f) {
        const RealTimeSampler::Result r = sampler.offer(level, kStartMs + ms);
        keep(r, ms);
        return r;
    }
    RealTimeSampler::Result stopAt(int64_t ms) {
        const RealTimeSampler::Result r = sampler.closeMissedSlots(kStartMs + ms);
        EXPECT_NE(r.outcome, RealTimeSampler::Outcome::Stored);
        keep(r, ms);
        return r;
    }
    // Seconds from the start of the run to sample i.
    double secondsOf(int i) const { return (sampler.sampleTime(i) - startTime) * 86400.0; }
};

}  // namespace

TEST(RealTimeSampler, TheScheduleKeepsEveryDueTimeWhateverTheTicksDo) {
    // Poll ticks on their own grid (`phaseMs` after the run's start, every `pollMs`), each
    // delivered up to `lateMs` late. Every due time start + k x rate gets its sample and no
    // interval stretches. Where the ticks' lateness stays inside one interval, each sample is
    // the first reading at or after its due time; ticks that land on the slots' boundaries
    // (the timer's phase after a stall) may be taken up to a quarter interval later.
    const struct {
        double rate;
        int pollMs, phaseMs, lateMs, samples;
        bool firstReading;  // each sample is the first reading at or after its due time
    } cases[] = {
        {0.1, 100, 0, 90, 600, true},  // the fastest rate: one tick per sample
        {0.2, 100, 0, 90, 300, true},  // every second tick
        {0.5, 100, 0, 90, 200, true},
        {1.0, 500, 250, 90, 100, true},  // a second on the slow poll, its phase moved
        {1.0, 500, 5, 450, 100, true},
        {0.3, 100, 0, 90, 200, true},  // a typed rate that is not a multiple of the poll
        {30.0, 500, 120, 400, 10, true},
        {0.1, 100, 95, 10, 600, false},  // ticks straddling the boundaries
        {0.1, 100, 99, 20, 600, false},
    };
    std::mt19937 random(516);
    for (const auto& c : cases) {
        ScheduledRun run(c.rate, c.samples);
        std::uniform_int_distribution<int> late(0, c.lateMs);
        std::vector<std::pair<int64_t, float>> frames;
        for (int j = 1; run.sampler.sampleCount() < c.samples && j < 100000; ++j) {
            // The first ticks are the extremes: as late as allowed, then on time.
            const int lateness = j <= 2 ? (j == 1 ? c.lateMs : 0) : late(random);
            const int64_t t = c.phaseMs + int64_t(j) * c.pollMs + lateness;
            const float level = 40.0f + float(j % 90);
            frames.emplace_back(t, level);
            run.at(t, level);
        }
        ASSERT_EQ(run.sampler.sampleCount(), c.samples) << c.rate << "/" << c.phaseMs;
        EXPECT_EQ(run.sampler.levelCount(), c.samples) << c.rate << "/" << c.phaseMs;

        // Independently: sample i is due at the first sample's due time + i x rate, a whole
        // number of intervals from the start of the run, and holds a reading from its due time
        // on (a millisecond's grain allowed), each reading used once and in order.
        const double rateMs = c.rate * 1000.0;
        const double firstMs = run.secondsOf(0) * 1000.0;
        EXPECT_NEAR(firstMs, std::round(firstMs / rateMs) * rateMs, 1e-2) << c.rate;
        for (int i = 0; i < c.samples; ++i) {
            const double dueMs = firstMs + i * rateMs;
            const auto where = [&] {
                return std::to_string(c.rate) + "/" + std::to_string(c.phaseMs) + " #" +
                       std::to_string(i);
            };
            ASSERT_NEAR(run.secondsOf(i) * 1000.0, dueMs, 1e-3) << where();
            const double takenMs = double(run.takenAt[size_t(i)]);
            ASSERT_GE(takenMs + 1 + 1e-3, dueMs) << where();
            ASSERT_LT(takenMs, dueMs + rateMs * (c.firstReading ? 1.0 : 1.25)) << where();
            if (i > 0) {
                ASSERT_GT(run.takenAt[size_t(i)], run.takenAt[size_t(i) - 1]) << where();
            }
            if (c.firstReading) {
                auto first = frames.begin();
                while (first->first + 1 < dueMs) ++first;
                ASSERT_EQ(run.levels[size_t(i)], first->second) << where();
            }
        }
    }
}

TEST(RealTimeSampler, ASampleWithoutAReadingInItsIntervalIsMissing) {
    ScheduledRun run(0.2, 100);
    run.at(100, 60.0f);  // the first reading: the sample of slot 0 (0.0 s)
    run.at(200, 61.0f);  // 0.2 s
    EXPECT_EQ(run.at(300, 99.0f).outcome, RealTimeSampler::Outcome::NotDue);
    EXPECT_EQ(run.at(398, 99.0f).outcome, RealTimeSampler::Outcome::NotDue);
    // The poll paused (a command held the link): 0.4, 0.6 and 0.8 s went by without a reading.
    const RealTimeSampler::Result late = run.at(1050, 64.0f);
    EXPECT_EQ(late.firstIndex, 2);
    EXPECT_EQ(late.missing, 3);
    EXPECT_EQ(late.index, 5);
    // The late reading does not push the next sample back: 1.2 s is due at 1200 ms (a
    // millisecond early counts, two do not).
    EXPECT_EQ(run.at(1198, 99.0f).outcome, RealTimeSampler::Outcome::NotDue);
    run.at(1199, 65.0f);
    run.at(1400, 66.0f);
    EXPECT_EQ(run.levels, (std::vector<float>{60, 61, kMissing, kMissing, kMissing, 64, 65, 66}));
    for (int i = 0; i < 8; ++i) EXPECT_NEAR(run.secondsOf(i), 0.2 * i, 1e-6) << i;

    // Stop: a sample whose time for a reading has gone by is missing too; one that could still
    // get a reading is no sample. The reading for 1.6 s could come until 1.85 s, the one for
    // 1.8 s until 2.05 s.
    run.stopAt(1999);
    EXPECT_EQ(run.levels.size(), 9u);
    EXPECT_EQ(run.levels[8], kMissing);
    EXPECT_EQ(run.sampler.levelCount(), 5);
    EXPECT_DOUBLE_EQ(run.sampler.average(), (60.0 + 61 + 64 + 65 + 66) / 5);

    // A reading up to a quarter interval past a sample's interval is still that sample's;
    // from then on it is the next one's, and the sample before is missing.
    ScheduledRun grace(0.2, 100);
    grace.at(0, 60.0f);    // 0.0 s
    grace.at(249, 61.0f);  // 0.2 s, read 49 ms into the next interval
    grace.at(400, 62.0f);  // 0.4 s
    grace.at(850, 63.0f);  // 0.6 s could be read until 0.85 s: missing; this is 0.8 s
    EXPECT_EQ(grace.levels, (std::vector<float>{60, 61, 62, kMissing, 63}));

    // A run stopped before its first reading has nothing to close.
    ScheduledRun empty(0.1, 100);
    EXPECT_EQ(empty.stopAt(5000).missing, 0);
    EXPECT_EQ(empty.sampler.sampleCount(), 0);
}

TEST(RealTimeSampler, TheRunEndsWithItsLastSample) {
    // A gap longer than the rest of the run fills it, and the late reading is past its end.
    ScheduledRun run(0.5, 5);
    run.at(100);
    run.at(600);
    const RealTimeSampler::Result r = run.at(9000);
    EXPECT_EQ(r.missing, 3);
    EXPECT_EQ(r.outcome, RealTimeSampler::Outcome::NotDue);
    EXPECT_TRUE(r.full);
    EXPECT_EQ(run.sampler.sampleCount(), 5);
    EXPECT_TRUE(run.at(9500).full);
    EXPECT_EQ(run.sampler.sampleCount(), 5);
    EXPECT_EQ(run.stopAt(20000).missing, 0);

    // The last sample itself ends the run; so does closing it at Stop.
    ScheduledRun exact(0.1, 2);
    EXPECT_FALSE(exact.at(0).full);
    EXPECT_TRUE(exact.at(100).full);
    ScheduledRun closing(0.1, 3);
    closing.at(0);
    EXPECT_TRUE(closing.stopAt(10000).full);
    EXPECT_EQ(closing.levels, (std::vector<float>{80, kMissing, kMissing}));
}

TEST(RealTimeSampler, ReadingsOutsideTheRangeAreReplacedOrMissing) {
    ScheduledRun run(0.1, 100);
    // As the first reading of a run (no good reading yet): the run has not begun.
    RealTimeSampler::Result r = run.at(100, 150.0f);
    EXPECT_EQ(r.outcome, RealTimeSampler::Outcome::Skipped);
    EXPECT_TRUE(r.rejected);
    EXPECT_EQ(run.sampler.sampleCount(), 0);
    EXPECT_EQ(run.sampler.rejectedCount(), 1);

    // The first good reading starts it (at 0.2 s); after a good 80 dB, 150 dB stores 80 dB.
    run.at(200, 80.0f);
    r = run.at(300, 150.0f);
    EXPECT_EQ(r.outcome, RealTimeSampler::Outcome::Stored);
    EXPECT_EQ(r.level, 80.0f);
    EXPECT_EQ(run.sampler.rejectedCount(), 2);
    EXPECT_NEAR(run.secondsOf(0), 0.2, 1e-6);

    // The bounds themselves are good readings; just outside and NaN are not.
    const struct {
        float level;
        bool rejected;
    } bounds[] = {
        {20.0f, false}, {140.0f, false}, {19.9f, true}, {140.1f, true}, {std::nanf(""), true}};
    int64_t t = 300;
    for (const auto& b : bounds) {
        const int before = run.sampler.rejectedCount();
        r = run.at(t += 100, b.level);
        EXPECT_EQ(r.rejected, b.rejected) << b.level;
        EXPECT_EQ(run.sampler.rejectedCount() - before, b.rejected ? 1 : 0) << b.level;
    }
    EXPECT_EQ(r.level, 140.0f);  // the NaN became the last good reading

    // With a last good level of 30 dB or less there is no replacement: the sample is missing.
    run.at(t += 100, 30.0f);
    r = run.at(t += 100, 10.0f);
    EXPECT_EQ(r.outcome, RealTimeSampler::Outcome::Skipped);
    EXPECT_EQ(r.missing, 1);
    run.at(t += 100, 30.1f);
    EXPECT_EQ(run.at(t += 100, 10.0f).level, 30.1f);
    EXPECT_EQ(run.levels,
              (std::vector<float>{80, 80, 20, 140, 140, 140, 140, 30, kMissing, 30.1f, 30.1f}));
}

TEST(RealTimeSampler, ExtremesAndAverageLeaveMissingSamplesOut) {
    ScheduledRun run(0.1, 100);
    run.at(0, 70.0f);
    run.at(100, 90.0f);
    run.at(450, 60.0f);  // 0.2 and 0.3 s missing
    run.at(500, 90.0f);
    run.at(600, 60.0f);
    run.at(700, 80.0f);
    EXPECT_EQ(run.sampler.sampleCount(), 8);
    EXPECT_EQ(run.sampler.maxLevel(), 90.0f);
    EXPECT_EQ(run.sampler.maxTime(), run.sampler.sampleTime(1));  // the earlier of two equal
    EXPECT_EQ(run.sampler.minLevel(), 60.0f);
    EXPECT_EQ(run.sampler.minTime(), run.sampler.sampleTime(4));
    EXPECT_DOUBLE_EQ(run.sampler.average(), 75.0);

    // A new run forgets the last one.
    run.sampler.start(0.5, 10, 0, 0);
    EXPECT_EQ(run.sampler.sampleCount(), 0);
    EXPECT_EQ(run.sampler.levelCount(), 0);
    EXPECT_EQ(run.sampler.rejectedCount(), 0);
    EXPECT_EQ(run.sampler.lastGoodLevel(), 0.0f);
    EXPECT_EQ(run.sampler.maxLevel(), -9999.0f);
    EXPECT_EQ(run.sampler.minLevel(), 9999.0f);
    EXPECT_EQ(run.sampler.average(), 0.0);
}
