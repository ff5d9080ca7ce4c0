#include <gtest/gtest.h>

#include <QLocale>
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <vector>

#include "levels/LevelArithmetic.h"
#include "levels/LevelFigures.h"

using namespace kl516;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Runs of samples: `count` samples from `startMs`, `stepMs` apart, their levels `pattern`
// repeated.
struct SampleRun {
    double startMs;
    int count;
    double stepMs;
    std::vector<float> pattern;
};

struct Series {
    std::vector<double> times;
    std::vector<float> levels;
};

Series seriesOf(const std::vector<SampleRun>& runs, double baseSeconds = 0) {
    Series s;
    for (const SampleRun& r : runs)
        for (int k = 0; k < r.count; ++k) {
            s.times.push_back(baseSeconds + (r.startMs + k * r.stepMs) / 1000.0);
            s.levels.push_back(r.pattern[size_t(k) % r.pattern.size()]);
        }
    return s;
}

}  // namespace

// Every expected figure below comes from a separate computation in python3 from the definitions
// (exact fractions for the weights): a sample weighs the time to the next one, at most twice
// the median spacing, the last one the median spacing; LN is the lowest level L such that the
// levels up to L fill at least (100 - N) % of the measured time T; SEL = Leq + 10 lg T.
TEST(LevelFigures, FiguresOfSeriesAgainstAnIndependentComputation) {
    struct Case {
        const char* name;
        std::vector<SampleRun> runs;
        double leq, lmax, lmaxTime, lmin, lminTime, l10, l50, l90, seconds;
        std::optional<double> sel;
        int samples;
    };
    // clang-format off: one case per row, its figures in the order of Case
    const Case cases[] = {
        {"even, 1 s",
         {{0, 10, 1000, {50, 60, 70, 80, 90, 55, 65, 75, 85, 95}}},
         86.650842,
         95,
         9,
         50,
         0,
         90,
         70,
         50,
         10,
         96.650842,
         10},
        // 30 levels: L90 is the 3rd lowest (ceil(0.1 * 30) = 3 exactly, not 4).
        {"thirty even levels",
         {{0, 30, 1000, {40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54,
                         55, 56, 57, 58, 59, 60, 61, 62, 63, 64, 65, 66, 67, 68, 69}}},
         61.092696,
         69,
         29,
         40,
         0,
         66,
         54,
         42,
         30,
         75.863908,
         30},
        {"uneven: a 3 s and a 4 s step, capped at 2 s",
         {{0, 3, 1000, {60, 70, 65}}, {5000, 2, 1000, {80, 50}}, {10000, 1, 1000, {72.5f}}},
         72.282314,
         80,
         5,
         50,
         6,
         80,
         65,
         50,
         8,
         81.313214,
         6},
        // Weighted by time the 50 dB sample (2 s) holds the median; by count it would be 90 dB.
        {"a long sample moves L50",
         {{0, 1, 1000, {40}}, {1000, 1, 1000, {50}}, {4000, 3, 1000, {90, 91, 92}}},
         88.066354,
         92,
         6,
         40,
         0,
         92,
         50,
         40,
         6,
         95.847866,
         5},
        {"1 h at 60 dB, a 3 h hole, 1 h at 60 dB",
         {{0, 3600, 1000, {60}}, {14400000, 3600, 1000, {60}}},
         60,
         60,
         0,
         60,
         0,
         60,
         60,
         60,
         7201,
         98.573928,
         7200},
        {"15 samples at 0.1 s of 80 dB",
         {{0, 15, 100, {80}}},
         80,
         80,
         0,
         80,
         0,
         80,
         80,
         80,
         1.5,
         81.760913,
         15},
        {"samples without level",
         {{0, 8, 1000, {61, kNullLevel, 63, kNaN, 65, 66, kNullLevel, 64.5f}}},
         64.221274,
         66,
         5,
         61,
         0,
         66,
         64.5,
         61,
         5,
         71.210974,
         5},
        {"samples sharing their time",
         {{0, 3, 0, {70, 80, 90}},
          {1000, 1, 1000, {60}},
          {2000, 1, 0, {50}},
          {2000, 1, 0, {55}},
          {3000, 2, 1000, {62, 58}}},
         83.025613,
         90,
         0,
         50,
         2,
         90,
         60,
         55,
         5,
         90.015313,
         8},
        {"all at one time: each counts alike",
         {{5000, 4, 0, {70, 71, 72, 73}}},
         71.642845,
         73,
         5,
         70,
         5,
         73,
         71,
         70,
         0,
         std::nullopt,
         4},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Series s = seriesOf(c.runs);
        const LevelFigures f = levelFigures(s.times, s.levels);
        ASSERT_TRUE(f.leq);
        EXPECT_NEAR(*f.leq, c.leq, 1e-6);
        EXPECT_EQ(*f.lmax, c.lmax);
        EXPECT_DOUBLE_EQ(f.lmaxTime, c.lmaxTime);
        EXPECT_EQ(*f.lmin, c.lmin);
        EXPECT_DOUBLE_EQ(f.lminTime, c.lminTime);
        EXPECT_EQ(s.times[f.lmaxIndex], f.lmaxTime);
        EXPECT_EQ(*f.l10, c.l10);
        EXPECT_EQ(*f.l50, c.l50);
        EXPECT_EQ(*f.l90, c.l90);
        EXPECT_NEAR(f.measuredSeconds, c.seconds, 1e-9);
        EXPECT_EQ(f.samples, c.samples);
        ASSERT_EQ(f.sel.has_value(), c.sel.has_value());
        if (c.sel) {
            EXPECT_NEAR(*f.sel, *c.sel, 1e-6);
        }
    }
}

TEST(LevelFigures, TheGapCaseAndTheTenthsOfASecondPrintAsMeasured) {
    const Series gap = seriesOf({{0, 3600, 1000, {60}}, {14400000, 3600, 1000, {60}}});
    EXPECT_DOUBLE_EQ(typicalSpacing(gap.times), 1.0);
    EXPECT_EQ(levelText(*levelFigures(gap.times, gap.levels).sel), "98.6");
    const Series fast = seriesOf({{0, 15, 100, {80}}});
    EXPECT_EQ(levelText(*levelFigures(fast.times, fast.levels).sel), "81.8");
}

// A range of a series takes its weights from the whole series: the last sample of the range
// weighs the time to the sample after it.
TEST(LevelFigures, ARangeWeighsItsLastSampleUpToTheNextOfTheSeries) {
    const Series s = seriesOf({{0, 4, 1000, {60}}, {5000, 2, 1000, {70}}});  // a 2 s step
    const double typical = typicalSpacing(s.times);
    const LevelFigures first = levelFigures(s.times, s.levels, typical, 0, 4);
    EXPECT_DOUBLE_EQ(first.measuredSeconds, 5);  // 1 + 1 + 1 + 2
    const LevelFigures second = levelFigures(s.times, s.levels, typical, 4, 6);
    EXPECT_DOUBLE_EQ(second.measuredSeconds, 2);
    EXPECT_FALSE(levelFigures(s.times, s.levels, typical, 3, 3).leq);
    EXPECT_EQ(levelFigures(s.times, s.levels, typical, 3, 3).samples, 0);
}

// For evenly spaced samples the time-weighted LN is the nearest rank of the sorted levels,
// exactly, also where the times are instants to the millisecond whose differences are not.
TEST(LevelFigures, EvenlySpacedLevelsGiveTheNearestRank) {
    std::mt19937 random(7);
    for (const double stepMs : {100.0, 1000.0}) {
        for (int n : {1, 2, 3, 7, 10, 29, 30, 31, 99, 100, 101, 1000, 4321}) {
            SCOPED_TRACE(testing::Message() << "step " << stepMs << " ms, n " << n);
            Series s;
            for (int k = 0; k < n; ++k) {
                s.times.push_back(std::round((1.7e9 + k * stepMs / 1000.0) * 1000) / 1000);
                s.levels.push_back(float(300 + int(random() % 700)) / 10.0f);
            }
            std::vector<float> sorted = s.levels;
            std::sort(sorted.begin(), sorted.end());
            const auto rank = [&](int percent) {
                // ceil((100 - N) / 100 * n), 1-based, by whole numbers
                const int r = ((100 - percent) * n + 99) / 100;
                return sorted[size_t(std::max(r, 1) - 1)];
            };
            const LevelFigures f = levelFigures(s.times, s.levels);
            EXPECT_EQ(*f.l10, rank(10));
            EXPECT_EQ(*f.l50, rank(50));
            EXPECT_EQ(*f.l90, rank(90));
        }
    }
}

TEST(LevelFigures, TypicalSpacingIsTheMedianOfThePositiveSteps) {
    const std::vector<double> none;
    EXPECT_EQ(typicalSpacing(none), 0);
    const std::vector<double> one{5};
    EXPECT_EQ(typicalSpacing(one), 0);
    const std::vector<double> odd{0, 1, 1, 3, 10};  // steps 1, 2, 7 (the 0 is left out)
    EXPECT_EQ(typicalSpacing(odd), 2);
    const std::vector<double> even{0, 1, 3, 7, 15};  // steps 1, 2, 4, 8
    EXPECT_EQ(typicalSpacing(even), 3);
    // A step holding half the steps is not yet the median; most of them, wherever they stand.
    const std::vector<double> half{0, 1, 2, 4, 9};  // steps 1, 1, 2, 5: (1 + 2) / 2
    EXPECT_EQ(typicalSpacing(half), 1.5);
    const std::vector<double> later{0, 2, 3, 4, 5};  // steps 2, 1, 1, 1
    EXPECT_EQ(typicalSpacing(later), 1);
    const std::vector<double> most{0, 1, 2, 3, 4, 13};  // steps 1, 1, 1, 1, 9
    EXPECT_EQ(typicalSpacing(most), 1);
}

TEST(LevelFigures, CumulativeLeqEndsAtTheSeriesLeq) {
    const Series s = seriesOf({{0, 3, 1000, {60, 70, kNullLevel}}, {5000, 3, 1000, {80, 50, 65}}});
    const double typical = typicalSpacing(s.times);
    const std::vector<double> leqs = cumulativeLeqs(s.times, s.levels, typical);
    ASSERT_EQ(leqs.size(), s.times.size());
    EXPECT_DOUBLE_EQ(leqs[0], 60);
    EXPECT_NEAR(leqs[1], 67.403627, 1e-6);  // python3: 10 lg((1e6 + 1e7) / 2)
    EXPECT_TRUE(std::isnan(leqs[2]));
    for (size_t i = 0; i < leqs.size(); ++i) {
        if (std::isnan(leqs[i])) continue;
        SCOPED_TRACE(i);
        EXPECT_EQ(leqs[i], *levelFigures(s.times, s.levels, typical, 0, i + 1).leq);
    }
    EXPECT_EQ(leqs.back(), *levelFigures(s.times, s.levels).leq);
}

TEST(LevelRounding, OneTenthHalvesAwayFromZeroAfterTheNoise) {
    struct Case {
        const char* name;
        double level;
        const char* text;
    };
    const Case cases[] = {
        {"a plain tenth", 85.3, "85.3"},
        {"an exact half", 60.25, "60.3"},
        {"a half below by arithmetic noise", 60.25 - 1e-10, "60.3"},
        {"a half above by arithmetic noise", 60.25 + 1e-10, "60.3"},
        {"just below a half", 60.2499, "60.2"},
        {"a half not exact in binary", 60.15, "60.2"},
        {"another", 70.05, "70.1"},
        {"a negative half", -88.85, "-88.9"},
        {"rounding to zero from below", -0.04, "0.0"},
        {"thousands without separators", 1234.45, "1234.5"},
        {"the null value", 9999, "9999.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(levelText(c.level), QString::fromLatin1(c.text));
        EXPECT_EQ(levelAscii(c.level), QByteArray(c.text));
        EXPECT_EQ(QString::number(roundedLevel(c.level), 'f', 1), QString::fromLatin1(c.text));
    }
    EXPECT_EQ(levelText(1234.45, QLocale(QLocale::German, QLocale::Germany)), "1234,5");
    EXPECT_EQ(levelText(std::numeric_limits<double>::quiet_NaN()), QString());
}

// The energy mean of a constant level is that level, however the energies were summed: it
// prints as its Lmax does.
TEST(LevelRounding, AConstantLevelShowsItsOwnTenth) {
    const Series s = seriesOf({{0, 1000, 1000, {60.25f}}});
    const LevelFigures f = levelFigures(s.times, s.levels);
    EXPECT_EQ(levelText(*f.leq), "60.3");
    EXPECT_EQ(levelText(*f.lmax), "60.3");
    EXPECT_EQ(levelText(energyLevel(std::exp(60.25 * std::log(10.0) / 10))), "60.3");
}
