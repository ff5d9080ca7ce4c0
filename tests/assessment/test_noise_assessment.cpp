#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "levels/LevelArithmetic.h"
#include "assessment/NoiseAssessment.h"

using namespace kl516;

// Expected figures were computed by hand and checked with a few lines of python3 (energy sums of
// the levels, the weighting rule and the nearest-rank rule written out independently).

namespace {

constexpr double kJan15 = 19737.0 * 86400;  // 2024-01-15 00:00 UTC
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

double at(int hour, int minute = 0, int second = 0, int day = 0) {
    return kJan15 + day * 86400.0 + hour * 3600.0 + minute * 60.0 + second;
}

// Samples every `step` seconds from `from` up to but not including `to`.
AssessmentSeries evenly(double from, double to, double step,
                        const std::function<float(double)>& level) {
    AssessmentSeries s;
    for (double t = from; t < to; t += step) {
        s.times.push_back(t);
        s.levels.push_back(level(t));
    }
    return s;
}

void append(AssessmentSeries& s, const AssessmentSeries& more) {
    s.times.insert(s.times.end(), more.times.begin(), more.times.end());
    s.levels.insert(s.levels.end(), more.levels.begin(), more.levels.end());
}

// The tests' times are on a UTC clock, where an instant is its wall time, unless a case sets
// its own clock.
const LocalClock& utc() {
    static const LocalClock clock(QTimeZone::utc());
    return clock;
}

Assessment assess(AssessmentSeries s, const AssessmentOptions& o = {}) {
    if (!s.clock) s.clock = &utc();
    AssessmentOutcome out = assessNoise(s, o);
    EXPECT_FALSE(out.error) << (out.error ? out.error->message.toStdString() : "");
    EXPECT_TRUE(out.assessment);
    return out.assessment.value_or(Assessment{});
}

// The level of the energy mean of (weight, level) pairs.
double energyMean(std::initializer_list<std::pair<double, double>> parts) {
    double e = 0, w = 0;
    for (auto [weight, level] : parts) {
        e += weight * std::pow(10.0, level / 10);
        w += weight;
    }
    return 10 * std::log10(e / w);
}

// Two hours of 60 dB at 1 s from 10:00, with the minute 10:20:00 .. 10:20:59 at 80 dB.
AssessmentSeries loudMinute() {
    return evenly(at(10), at(12), 1,
                  [](double t) { return t >= at(10, 20) && t < at(10, 21) ? 80.0f : 60.0f; });
}

}  // namespace

TEST(NoiseAssessment, IntervalsOfTwoHoursWithOneLoudMinute) {
    struct Case {
        int interval;
        std::size_t rows;
        std::size_t loudRow;
        double loudLeq, l10, l50, l90;
    };
    const Case cases[] = {
        // 15 min: 840 s at 60 dB and 60 s at 80 dB; 810th of 900 levels is 60.
        {900, 8, 1, 10 * std::log10((14e6 + 1e8) / 15), 60, 60, 60},
        // 5 min (10:20 .. 10:25): 240 s at 60, 60 s at 80; rank 270 of 300 is 80.
        {300, 24, 4, 10 * std::log10((240e6 + 60e8) / 300), 80, 60, 60},
        // 1 min: the loud minute alone.
        {60, 120, 20, 80, 80, 80, 80},
    };
    const AssessmentSeries s = loudMinute();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.interval);
        AssessmentOptions o;
        o.intervalSeconds = c.interval;
        const Assessment a = assess(s, o);
        EXPECT_EQ(a.intervalSeconds, c.interval);
        EXPECT_DOUBLE_EQ(a.typicalSpacing, 1);
        ASSERT_EQ(a.intervals.size(), c.rows);
        EXPECT_DOUBLE_EQ(a.intervals.front().start, at(10));
        EXPECT_DOUBLE_EQ(a.intervals.back().end, at(12));
        for (std::size_t r = 0; r < c.rows; ++r) {
            const IntervalRow& row = a.intervals[r];
            EXPECT_DOUBLE_EQ(row.start, at(10) + double(r) * c.interval);
            EXPECT_DOUBLE_EQ(row.end - row.start, c.interval);
            EXPECT_EQ(row.figures.samples, c.interval);
            EXPECT_DOUBLE_EQ(row.coveragePercent, 100);
            if (r == c.loudRow) continue;
            EXPECT_NEAR(*row.figures.leq, 60, 1e-9);
            EXPECT_EQ(*row.figures.lmax, 60);
        }
        const LevelFigures& loud = a.intervals[c.loudRow].figures;
        EXPECT_NEAR(*loud.leq, c.loudLeq, 1e-9);
        EXPECT_EQ(*loud.lmax, 80);
        EXPECT_EQ(*loud.lmin, c.interval == 60 ? 80 : 60);
        EXPECT_EQ(*loud.l10, c.l10);
        EXPECT_EQ(*loud.l50, c.l50);
        EXPECT_EQ(*loud.l90, c.l90);
    }
    EXPECT_NEAR(10 * std::log10((14e6 + 1e8) / 15), 68.808, 0.001);
}

TEST(NoiseAssessment, TheLoudMinuteIsOneExceedanceOfAMinute) {
    AssessmentOptions o;
    o.threshold = 70;
    o.minDurationSeconds = 10;
    const ExceedanceResult e = assess(loudMinute(), o).exceedances;
    ASSERT_EQ(e.events.size(), 1u);
    EXPECT_DOUBLE_EQ(e.events[0].start, at(10, 20));
    EXPECT_DOUBLE_EQ(e.events[0].duration, 60);
    EXPECT_EQ(e.events[0].lmax, 80);
    EXPECT_NEAR(e.events[0].leq, 80, 1e-9);
    EXPECT_DOUBLE_EQ(e.secondsAbove, 60);
    EXPECT_DOUBLE_EQ(e.measuredSeconds, 7200);
    EXPECT_NEAR(e.percentAbove, 60.0 / 7200 * 100, 1e-9);

    // Strictly above: a threshold equal to the loud level finds nothing; a minimum duration
    // longer than the minute drops the event.
    o.threshold = 80;
    o.minDurationSeconds = 0;
    EXPECT_TRUE(assess(loudMinute(), o).exceedances.events.empty());
    o.threshold = 70;
    o.minDurationSeconds = 61;
    const ExceedanceResult none = assess(loudMinute(), o).exceedances;
    EXPECT_TRUE(none.events.empty());
    EXPECT_EQ(none.secondsAbove, 0);
    EXPECT_EQ(none.percentAbove, 0);
}

TEST(NoiseAssessment, ConstantLevelGivesTheKnownLdenAndLdn) {
    // 50 dB every minute from 03:00 on the 15th to 10:59 on the 17th: the periods starting at
    // 07:00 on the 14th (only 03:00 .. 07:00 of its night) and on the 17th (four hours of day)
    // are partial; those of the 15th and 16th are whole.
    const AssessmentSeries s = evenly(at(3), at(11, 0, 0, 2), 60, [](double) { return 50.0f; });
    const Assessment a = assess(s);
    ASSERT_EQ(a.periods.size(), 4u);
    const double lden = 10 * std::log10((12 * 1e5 + 4 * std::pow(10, 5.5) + 8 * 1e6) / 24);
    const double ldn = 10 * std::log10((15 * 1e5 + 9 * 1e6) / 24);
    for (int k = 0; k < 4; ++k) {
        const PeriodRow& p = a.periods[std::size_t(k)];
        SCOPED_TRACE(k);
        EXPECT_DOUBLE_EQ(p.start, at(7, 0, 0, k - 1));
        if (k == 1 || k == 2) {
            EXPECT_TRUE(p.complete);
            ASSERT_TRUE(p.lden && p.ldn);
            EXPECT_NEAR(*p.lden, 56.4, 0.05);
            EXPECT_NEAR(*p.lden, lden, 1e-9);
            EXPECT_NEAR(*p.ldn, 56.4, 0.05);
            EXPECT_NEAR(*p.ldn, ldn, 1e-9);
            EXPECT_NEAR(*p.day.leq, 50, 1e-9);
            EXPECT_EQ(p.day.samples, 12 * 60);
            EXPECT_EQ(p.evening.samples, 4 * 60);
            EXPECT_EQ(p.night.samples, 8 * 60);
            EXPECT_DOUBLE_EQ(p.dayCoverage, 100);
            EXPECT_DOUBLE_EQ(p.eveningCoverage, 100);
            EXPECT_DOUBLE_EQ(p.nightCoverage, 100);
        } else {
            EXPECT_FALSE(p.complete);
            EXPECT_FALSE(p.lden);
            EXPECT_FALSE(p.ldn);
        }
    }
    // The first period has four of its eight night hours (50 %, enough on its own) and nothing
    // else; the last four of its twelve day hours.
    EXPECT_DOUBLE_EQ(a.periods[0].nightCoverage, 50);
    EXPECT_DOUBLE_EQ(a.periods[0].dayCoverage, 0);
    EXPECT_FALSE(a.periods[0].day.leq);
    EXPECT_NEAR(*a.periods[0].night.leq, 50, 1e-9);
    EXPECT_NEAR(a.periods[3].dayCoverage, 4.0 / 12 * 100, 1e-9);
    EXPECT_DOUBLE_EQ(a.periods[3].nightCoverage, 0);
}

TEST(NoiseAssessment, LdenAndLdnWeighTheirPartsByTheConfiguredHours) {
    // One whole period: 60 dB by day, 55 in the evening, 45 at night (default hours).
    const auto level = [](double t) {
        const double hour = std::fmod(t - kJan15, 86400) / 3600;
        if (hour >= 7 && hour < 19) return 60.0f;
        if (hour >= 19 && hour < 23) return 55.0f;
        return 45.0f;
    };
    const AssessmentSeries s = evenly(at(7), at(7, 0, 0, 1), 60, level);
    const double ed = 1e6, ee = std::pow(10, 5.5), en = std::pow(10, 4.5);
    struct Case {
        DayPeriods periods;
        double lden, lnight, ldn;
    };
    // Ldn's day 07 .. 22 holds 12 h of 60 and 3 h of 55; its night 22 .. 07 1 h of 55 and 8 of 45.
    const double ldnDay = (12 * ed + 3 * ee) / 15, ldnNight = (ee + 8 * en) / 9;
    const double ldn = 10 * std::log10((15 * ldnDay + 9 * ldnNight * 10) / 24);
    const Case cases[] = {
        {DayPeriods{}, 10 * std::log10((12 * ed + 4 * ee * std::pow(10, 0.5) + 8 * en * 10) / 24),
         45, ldn},
        // Night from 22:00: 12, 3 and 9 hours.
        {DayPeriods{7 * 3600, 19 * 3600, 22 * 3600, 22 * 3600},
         10 * std::log10((12 * ed + 3 * ee * std::pow(10, 0.5) + 9 * ldnNight * 10) / 24),
         10 * std::log10(ldnNight), ldn},
    };
    for (const Case& c : cases) {
        AssessmentOptions o;
        o.periods = c.periods;
        const Assessment a = assess(s, o);
        ASSERT_EQ(a.periods.size(), 1u);
        const PeriodRow& p = a.periods[0];
        EXPECT_TRUE(p.complete);
        EXPECT_NEAR(*p.day.leq, 60, 1e-9);
        EXPECT_NEAR(*p.evening.leq, 55, 1e-9);
        EXPECT_NEAR(*p.night.leq, c.lnight, 1e-9);
        EXPECT_NEAR(*p.ldnDay.leq, 10 * std::log10(ldnDay), 1e-9);
        EXPECT_NEAR(*p.ldnNight.leq, 10 * std::log10(ldnNight), 1e-9);
        EXPECT_NEAR(*p.lden, c.lden, 1e-9);
        EXPECT_NEAR(*p.ldn, c.ldn, 1e-9);
    }
    EXPECT_NEAR(cases[0].lden, 58.8766, 1e-4);
    EXPECT_NEAR(cases[1].lden, 59.3559, 1e-4);
    EXPECT_NEAR(ldn, 58.9025, 1e-4);
}

TEST(NoiseAssessment, GapsAreMissingTimeNotLevel) {
    // 1 s samples 10:00 .. 10:19:59 and 10:50 .. 11:14:59, 60 dB except 80 dB for the ten
    // seconds either side of the gap.
    const auto level = [](double t) {
        return (t >= at(10, 19, 50) && t < at(10, 50, 10)) ? 80.0f : 60.0f;
    };
    AssessmentSeries s = evenly(at(10), at(10, 20), 1, level);
    append(s, evenly(at(10, 50), at(11, 15), 1, level));
    AssessmentOptions o;
    o.intervalSeconds = 900;
    o.threshold = 70;
    const Assessment a = assess(s, o);
    ASSERT_EQ(a.intervals.size(), 5u);
    // 10:15: 299 samples weigh 1 s, the last before the gap twice the typical spacing.
    const double coverage[] = {100, 301.0 / 900 * 100, 0, 600.0 / 900 * 100, 100};
    const int64_t samples[] = {900, 300, 0, 600, 900};
    for (std::size_t r = 0; r < 5; ++r) {
        SCOPED_TRACE(r);
        EXPECT_DOUBLE_EQ(a.intervals[r].start, at(10, 15 * int(r)));
        EXPECT_NEAR(a.intervals[r].coveragePercent, coverage[r], 1e-9);
        EXPECT_EQ(a.intervals[r].figures.samples, samples[r]);
    }
    const LevelFigures& empty = a.intervals[2].figures;
    EXPECT_FALSE(empty.leq || empty.lmax || empty.lmin || empty.l10 || empty.l50 || empty.l90);
    // The last ten seconds before the gap weigh 1 s each but the last 2 s.
    EXPECT_NEAR(*a.intervals[1].figures.leq, energyMean({{290, 60}, {11, 80}}), 1e-9);

    // The gap ends a run above the threshold: two events of ten seconds.
    const ExceedanceResult& e = a.exceedances;
    ASSERT_EQ(e.events.size(), 2u);
    EXPECT_DOUBLE_EQ(e.events[0].start, at(10, 19, 50));
    EXPECT_DOUBLE_EQ(e.events[0].duration, 10);
    EXPECT_DOUBLE_EQ(e.events[1].start, at(10, 50));
    EXPECT_DOUBLE_EQ(e.events[1].duration, 10);
    EXPECT_DOUBLE_EQ(e.secondsAbove, 20);
    EXPECT_DOUBLE_EQ(e.measuredSeconds, 1201 + 1500);
    EXPECT_NEAR(e.percentAbove, 20.0 / 2701 * 100, 1e-9);
}

TEST(NoiseAssessment, UnevenSamplesWeighByTheTimeTheyRepresent) {
    // Spacings 1, 1, 2, 6, 1: typical 1 s; weights 1, 1, 2, 2 (6 capped), 1 and 1 for the last.
    const std::vector<double> offsets{0, 1, 2, 4, 10, 11};
    AssessmentSeries s;
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        s.times.push_back(at(9) + offsets[i]);
        s.levels.push_back(50.0f + 10.0f * float(i));
    }
    AssessmentOptions o;
    o.threshold = 75;
    const Assessment a = assess(s, o);
    EXPECT_DOUBLE_EQ(a.typicalSpacing, 1);
    EXPECT_EQ(a.intervalSeconds, 60);
    ASSERT_EQ(a.intervals.size(), 1u);
    const LevelFigures& f = a.intervals[0].figures;
    EXPECT_NEAR(*f.leq, energyMean({{1, 50}, {1, 60}, {2, 70}, {2, 80}, {1, 90}, {1, 100}}), 1e-9);
    EXPECT_NEAR(*f.leq, 91.4695, 1e-4);
    EXPECT_DOUBLE_EQ(f.measuredSeconds, 8);
    EXPECT_NEAR(a.intervals[0].coveragePercent, 8.0 / 60 * 100, 1e-9);
    EXPECT_EQ(*f.l10, 100);  // ranks ceil(5.4) = 6, ceil(3) = 3, ceil(0.6) = 1 of six
    EXPECT_EQ(*f.l50, 70);
    EXPECT_EQ(*f.l90, 50);
    // Above 75: 80 at 4 s, then (after a gap longer than two spacings) 90 and 100.
    const ExceedanceResult& e = a.exceedances;
    ASSERT_EQ(e.events.size(), 2u);
    EXPECT_DOUBLE_EQ(e.events[0].duration, 1);
    EXPECT_DOUBLE_EQ(e.events[1].start, at(9) + 10);
    EXPECT_DOUBLE_EQ(e.events[1].duration, 2);
    EXPECT_NEAR(e.events[1].leq, energyMean({{1, 90}, {1, 100}}), 1e-9);
    EXPECT_EQ(e.events[1].lmax, 100);
    EXPECT_DOUBLE_EQ(e.measuredSeconds, 8);

    // An even number of spacings: the median is the mean of the middle two.
    AssessmentSeries two{{at(9), at(9) + 1, at(9) + 3}, {60, 60, 60}};
    EXPECT_DOUBLE_EQ(assess(two).typicalSpacing, 1.5);
    // Samples sharing a time weigh nothing; the spacing ignores their zero distance.
    AssessmentSeries same{{at(9), at(9), at(9) + 2, at(9) + 4}, {90, 60, 60, 60}};
    const Assessment b = assess(same);
    EXPECT_DOUBLE_EQ(b.typicalSpacing, 2);
    EXPECT_NEAR(*b.intervals[0].figures.leq, 60, 1e-9);
    EXPECT_EQ(*b.intervals[0].figures.lmax, 90);
    EXPECT_DOUBLE_EQ(b.intervals[0].figures.measuredSeconds, 6);
}

TEST(NoiseAssessment, SamplesWithoutLevelCountNowhere) {
    AssessmentSeries s;
    const float levels[] = {60, kNullLevel, 70, kNaN, 60, 60, kNullLevel, 80, 80, 80};
    for (int i = 0; i < 10; ++i) {
        s.times.push_back(at(8) + i);
        s.levels.push_back(levels[i]);
    }
    AssessmentOptions o;
    o.threshold = 65;
    const Assessment a = assess(s, o);
    const LevelFigures& f = a.intervals.at(0).figures;
    EXPECT_EQ(f.samples, 7);
    EXPECT_DOUBLE_EQ(f.measuredSeconds, 7);
    EXPECT_NEAR(*f.leq, energyMean({{3, 60}, {1, 70}, {3, 80}}), 1e-9);
    EXPECT_EQ(*f.lmax, 80);
    EXPECT_EQ(*f.lmin, 60);
    EXPECT_EQ(*f.l10, 80);
    EXPECT_EQ(*f.l50, 70);
    EXPECT_EQ(*f.l90, 60);
    // A missing sample ends a run: 70 alone, then three at 80.
    const ExceedanceResult& e = a.exceedances;
    ASSERT_EQ(e.events.size(), 2u);
    EXPECT_DOUBLE_EQ(e.events[0].start, at(8) + 2);
    EXPECT_DOUBLE_EQ(e.events[0].duration, 1);
    EXPECT_DOUBLE_EQ(e.events[1].start, at(8) + 7);
    EXPECT_DOUBLE_EQ(e.events[1].duration, 3);
    EXPECT_DOUBLE_EQ(e.secondsAbove, 4);
    EXPECT_DOUBLE_EQ(e.measuredSeconds, 7);
    EXPECT_NEAR(e.percentAbove, 4.0 / 7 * 100, 1e-9);

    // No level at all: rows with empty figures, nothing above any threshold.
    AssessmentSeries silent{{at(8), at(8) + 1, at(8) + 2}, {kNullLevel, kNaN, kNullLevel}};
    const Assessment b = assess(silent);
    ASSERT_EQ(b.intervals.size(), 1u);
    EXPECT_FALSE(b.intervals[0].figures.leq);
    EXPECT_EQ(b.intervals[0].coveragePercent, 0);
    ASSERT_EQ(b.periods.size(), 1u);
    EXPECT_FALSE(b.periods[0].complete);
    EXPECT_TRUE(b.exceedances.events.empty());
    EXPECT_EQ(b.exceedances.measuredSeconds, 0);
    EXPECT_EQ(b.exceedances.percentAbove, 0);
}

TEST(NoiseAssessment, IntervalsFollowTheClockAndTheDefaultKeepsToTwoHundredRows) {
    struct Case {
        double first, last;
        int interval;  // asked; 0 for the default
        int used;
        std::size_t rows;
        double firstStart;
    };
    const Case cases[] = {
        {at(10, 0, 30), at(13, 19, 59), 0, 60, 200, at(10)},
        {at(10, 0, 30), at(13, 20), 0, 900, 14, at(10)},
        {at(10, 7), at(11, 59, 59, 2), 0, 900, 200, at(10)},
        {at(10, 7), at(12, 0, 0, 2), 0, 3600, 51, at(10)},
        {at(10), at(10, 0, 0, 30), 0, 3600, 721, at(10)},
        {at(10, 7, 30), at(10, 52), 600, 600, 6, at(10)},
        {at(10, 7, 30), at(10, 52), 1800, 1800, 2, at(10)},
        // A day interval starts at the day start: 07:00 of the day before for 03:00.
        {at(3), at(12, 0, 0, 1), 86400, 86400, 3, at(7, 0, 0, -1)},
        // Any length that divides the day is taken.
        {at(10), at(10, 1), 20, 20, 4, at(10)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rows);
        AssessmentOptions o;
        o.intervalSeconds = c.interval;
        const Assessment a = assess(AssessmentSeries{{c.first, c.last}, {60, 60}}, o);
        EXPECT_EQ(a.intervalSeconds, c.used);
        ASSERT_EQ(a.intervals.size(), c.rows);
        EXPECT_DOUBLE_EQ(a.intervals.front().start, c.firstStart);
        EXPECT_LE(a.intervals.back().start, c.last);
        EXPECT_GT(a.intervals.back().end, c.last);
    }
    EXPECT_EQ(assessmentIntervals(), (std::vector<int>{60, 300, 600, 900, 1800, 3600, 86400}));
}

TEST(NoiseAssessment, RefusesBadInput) {
    const AssessmentSeries good{{at(10), at(10) + 1, at(10) + 2}, {60, 61, 62}};
    struct Case {
        const char* name;
        AssessmentSeries series;
        AssessmentOptions options;
        const char* says;
    };
    const auto options = [](auto change) {
        AssessmentOptions o;
        change(o);
        return o;
    };
    const auto periods = [&](int d, int e, int n, int ldn) {
        return options([=](AssessmentOptions& o) { o.periods = DayPeriods{d, e, n, ldn}; });
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {"no sample", {}, {}, "fewer than two"},
        {"one sample", {{at(10)}, {60}}, {}, "fewer than two"},
        {"lengths differ", {{at(10), at(11)}, {60}}, {}, "2 times but 1 levels"},
        {"unreadable time", {{at(10), nan, at(11)}, {60, 60, 60}}, {}, "row 2"},
        {"infinite time",
         {{at(10), std::numeric_limits<double>::infinity()}, {60, 60}},
         {},
         "row 2"},
        {"far future", {{at(10), 1e15}, {60, 60}}, {}, "row 2: the time is out of range"},
        {"backwards",
         {{at(10), at(10) + 2, at(10) + 1, at(10) + 3}, {60, 60, 60, 60}},
         {},
         "row 3"},
        {"same time", {{at(10), at(10), at(10)}, {60, 60, 60}}, {}, "same time"},
        {"7 min", good, options([](AssessmentOptions& o) { o.intervalSeconds = 420; }), "divide"},
        {"negative interval", good, options([](AssessmentOptions& o) { o.intervalSeconds = -60; }),
         "divide"},
        {"longer than a day", good,
         options([](AssessmentOptions& o) { o.intervalSeconds = 172800; }), "divide"},
        {"threshold below 0", good, options([](AssessmentOptions& o) { o.threshold = -1; }),
         "threshold"},
        {"threshold above 200", good, options([](AssessmentOptions& o) { o.threshold = 200.5; }),
         "threshold"},
        {"threshold NaN", good, options([=](AssessmentOptions& o) { o.threshold = nan; }),
         "threshold"},
        {"negative duration", good,
         options([](AssessmentOptions& o) { o.minDurationSeconds = -1; }), "duration"},
        {"evening before day", good, periods(7 * 3600, 6 * 3600, 23 * 3600, 22 * 3600), "order"},
        {"night before evening", good, periods(7 * 3600, 19 * 3600, 18 * 3600, 22 * 3600), "order"},
        {"evening with the day", good, periods(7 * 3600, 7 * 3600, 23 * 3600, 22 * 3600), "order"},
        {"Ldn night with the day", good, periods(7 * 3600, 19 * 3600, 23 * 3600, 7 * 3600), "Ldn"},
        {"outside the day", good, periods(7 * 3600, 19 * 3600, 90000, 22 * 3600), "outside"},
        {"too many rows",
         {{at(0), at(0, 0, 0, 3000)}, {60, 60}},
         options([](AssessmentOptions& o) { o.intervalSeconds = 60; }),
         "too long"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const AssessmentOutcome out = assessNoise(c.series, c.options);
        EXPECT_FALSE(out.assessment);
        ASSERT_TRUE(out.error);
        EXPECT_TRUE(out.error->message.contains(QLatin1String(c.says)))
            << out.error->message.toStdString();
    }
    // In order round the clock is in order: a night starting after midnight.
    AssessmentOptions late;
    late.periods = DayPeriods{7 * 3600, 19 * 3600, 1800, 23 * 3600};
    EXPECT_TRUE(assessNoise(good, late).assessment);
}

TEST(NoiseAssessment, RunsEndAtTheThresholdAndAtMissingSamples) {
    struct Case {
        const char* name;
        std::vector<float> levels;  // one a second
        double minDuration;
        std::vector<std::pair<double, double>> events;  // start offset, duration
    };
    const Case cases[] = {
        {"at the threshold", {71, 70, 71, 72}, 0, {{0, 1}, {2, 2}}},
        {"no level", {71, kNullLevel, 71, 72}, 0, {{0, 1}, {2, 2}}},
        {"unreadable", {71, kNaN, 71, 72}, 0, {{0, 1}, {2, 2}}},
        {"one run", {69, 71, 90, 71, 69}, 0, {{1, 3}}},
        {"long enough", {71, 69, 71, 72, 73}, 3, {{2, 3}}},
        {"too short", {71, 69, 71, 72, 69}, 3, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AssessmentSeries s;
        for (std::size_t i = 0; i < c.levels.size(); ++i) {
            s.times.push_back(at(12) + double(i));
            s.levels.push_back(c.levels[i]);
        }
        AssessmentOptions o;
        o.minDurationSeconds = c.minDuration;
        const ExceedanceResult e = assess(s, o).exceedances;
        ASSERT_EQ(e.events.size(), c.events.size());
        double above = 0;
        for (std::size_t k = 0; k < c.events.size(); ++k) {
            EXPECT_DOUBLE_EQ(e.events[k].start, at(12) + c.events[k].first);
            EXPECT_DOUBLE_EQ(e.events[k].duration, c.events[k].second);
            above += c.events[k].second;
        }
        EXPECT_DOUBLE_EQ(e.secondsAbove, above);
    }
}

TEST(NoiseAssessment, PercentilesAreOfEachIntervalsOwnLevels) {
    // Two 20 s intervals of the twenty levels 50 .. 69, rising, then falling: ranks 18, 10
    // and 2 of twenty.
    AssessmentSeries s;
    for (int i = 0; i < 40; ++i) {
        s.times.push_back(at(12) + i);
        s.levels.push_back(float(i < 20 ? 50 + i : 89 - i));
    }
    AssessmentOptions o;
    o.intervalSeconds = 20;
    const Assessment a = assess(s, o);
    ASSERT_EQ(a.intervals.size(), 2u);
    for (const IntervalRow& row : a.intervals) {
        EXPECT_EQ(*row.figures.l10, 67);
        EXPECT_EQ(*row.figures.l50, 59);
        EXPECT_EQ(*row.figures.l90, 51);
        EXPECT_EQ(*row.figures.lmax, 69);
        EXPECT_EQ(*row.figures.lmin, 50);
    }
}

TEST(NoiseAssessment, APeriodNeedsHalfOfEachPartForLdenAndOfItsOwnPartsForLdn) {
    // One period at 60 s, 55 dB, with the samples of [from, to) taken out.
    struct Case {
        const char* name;
        double from, to;
        bool complete, ldn;
        double dayCoverage, eveningCoverage, nightCoverage;
    };
    const Case cases[] = {
        // Day 07 .. 13 missing: the day has 6 of 12 h (exactly half).
        {"half the day", at(7), at(13), true, true, 50, 100, 100},
        // Day 07 .. 14 missing: 5 of 12 h; Ldn's day (07 .. 22) keeps 8 of 15 h.
        {"day short", at(7), at(14), false, true, 5.0 / 12 * 100, 100, 100},
        // Evening 19:00 .. 21:00 missing: 119 of 240 min (the sample of 18:59 counts 2 min, in
        // the day).
        {"evening short", at(19), at(21, 1), false, true, 100, 119.0 / 240 * 100, 100},
        // Night 23:00 .. 03:00 missing: 239 of 480 min; Ldn's night keeps 61 + 239 of 540.
        {"night short", at(23), at(3, 1, 0, 1), false, true, 100, 100, 239.0 / 480 * 100},
        // 22:00 .. 03:00 missing: Lden's night keeps exactly half, its evening 181 of 240 min
        // (the sample of 21:59 counts 2 min); Ldn's night 22 .. 07 keeps 4 of 9 h.
        {"Ldn night short", at(22), at(3, 0, 0, 1), true, false, 100, 181.0 / 240 * 100, 50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AssessmentSeries s;
        for (double t = at(7); t < at(7, 0, 0, 1); t += 60) {
            if (t >= c.from && t < c.to) continue;
            s.times.push_back(t);
            s.levels.push_back(55);
        }
        const Assessment a = assess(s);
        ASSERT_EQ(a.periods.size(), 1u);
        const PeriodRow& p = a.periods[0];
        EXPECT_NEAR(p.dayCoverage, c.dayCoverage, 1e-9);
        EXPECT_NEAR(p.eveningCoverage, c.eveningCoverage, 1e-9);
        EXPECT_NEAR(p.nightCoverage, c.nightCoverage, 1e-9);
        EXPECT_EQ(p.complete, c.complete);
        EXPECT_EQ(p.lden.has_value(), c.complete);
        EXPECT_EQ(p.ldn.has_value(), c.ldn);
        if (p.ldn) {
            EXPECT_NEAR(*p.ldn, 55 + 10 * std::log10((15 + 90) / 24.0), 1e-9);
        }
    }
}

TEST(NoiseAssessment, IntervalsAndPeriodsFollowTheLocalClockWhereItChanges) {
    // 60 dB every minute over three days around each of Berlin's 2024 clock changes. Instants
    // from Python's zoneinfo: the local midnights and 07:00s of those days.
    const LocalClock berlin(QTimeZone("Europe/Berlin"));
    struct Case {
        const char* name;
        double from, to;        // the series: local midnight .. two days later
        double dayFrom, dayTo;  // the local day of the change
        std::size_t hourRows;   // the hour intervals of that day
        double periodStart;     // 07:00 before the change
        double periodHours;     // to 07:00 after it
    } cases[] = {
        {"autumn", 1729893600, 1730156400, 1729980000, 1730070000, 25, 1729918800, 25},
        {"spring", 1711753200, 1712008800, 1711839600, 1711922400, 23, 1711778400, 23},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AssessmentSeries s = evenly(c.from, c.to, 60, [](double) { return 60.0f; });
        s.clock = &berlin;
        AssessmentOptions o;
        o.intervalSeconds = 3600;
        const Assessment a = assess(s, o);
        std::size_t rows = 0;
        for (const IntervalRow& r : a.intervals) {
            if (r.start < c.dayFrom || r.start >= c.dayTo) continue;
            ++rows;
            EXPECT_EQ(r.end - r.start, 3600);
            EXPECT_DOUBLE_EQ(r.coveragePercent, 100);
        }
        EXPECT_EQ(rows, c.hourRows);
        const auto period =
            std::find_if(a.periods.begin(), a.periods.end(),
                         [&](const PeriodRow& p) { return p.start == c.periodStart; });
        ASSERT_NE(period, a.periods.end());
        EXPECT_EQ(period->end - period->start, c.periodHours * 3600);
        // Each part is measured against its real length: the night is 9 or 7 hours.
        EXPECT_DOUBLE_EQ(period->dayCoverage, 100);
        EXPECT_DOUBLE_EQ(period->eveningCoverage, 100);
        EXPECT_DOUBLE_EQ(period->nightCoverage, 100);
        EXPECT_EQ(period->night.measuredSeconds, (c.periodHours - 16) * 3600);
        ASSERT_TRUE(period->lden);
        // The parts keep their weights: 10 lg((12 + 4 * 10^0.5 + 8 * 10) / 24) = 6.3952 dB.
        EXPECT_NEAR(*period->lden, 66.3952, 1e-4);
    }
    // The repeated hour of autumn is two rows, 02:00 CEST and 02:00 CET.
    AssessmentSeries s = evenly(1729980000, 1730070000, 60, [](double) { return 60.0f; });
    s.clock = &berlin;
    AssessmentOptions o;
    o.intervalSeconds = 3600;
    const Assessment a = assess(s, o);
    ASSERT_EQ(a.intervals.size(), 25u);
    EXPECT_EQ(a.intervals[2].start, 1729987200);  // 00:00Z
    EXPECT_EQ(a.intervals[3].start, 1729990800);  // 01:00Z
    EXPECT_EQ(berlin.wallOf(a.intervals[2].start), berlin.wallOf(a.intervals[3].start));
}
