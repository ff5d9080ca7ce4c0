#include <gtest/gtest.h>

#include <QLocale>
#include <QTimeZone>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "dataset/MeasuredSeries.h"
#include "dataset/SerialDateTime.h"
#include "graph/StatisticText.h"
#include "graph/Statistics.h"
#include "levels/LevelArithmetic.h"
#include "levels/LevelFigures.h"

using namespace kl516;

namespace {

const QLocale kBritish(QLocale::English, QLocale::UnitedKingdom);
const SerialDateTime kStart = 45306.5;  // 15 January 2024 12:00

// A series of levels one step of seconds apart, or at given times.
struct Series {
    Series(std::vector<float> levels, double stepSeconds = 1.0) : y(std::move(levels)) {
        for (size_t i = 0; i < y.size(); ++i) x.push_back(kStart + i * stepSeconds * kOneSecond);
    }
    Series(std::vector<double> times, std::vector<float> levels)
        : x(std::move(times)), y(std::move(levels)) {}
    int n() const { return int(y.size()); }
    std::vector<double> x;
    std::vector<float> y;
};

// The index of a series in UTC, so that no clock change of the machine's zone moves a time.
CursorStatisticsIndex indexOf(const Series& s, float nullValue = kNullLevel) {
    CursorStatisticsIndex index;
    index.build(s.x.data(), s.y.data(), s.n(), nullValue, LocalClock(QTimeZone::utc()));
    return index;
}

}  // namespace

TEST(SeriesStatistics, SamplingRateIsTheSpanOverTheIntervalsBetweenPoints) {
    const struct {
        int points;
        double step;
        const char* rate;
    } cases[] = {
        {3, 1.0, "1.0"},    // 2 s over 2 intervals
        {6, 1.0, "1.0"},    // a text file of 6 rows 1 s apart
        {100, 0.5, "0.5"},  // 49.5 s over 99 intervals
        {11, 0.1, "0.1"},  {4, 60.0, "60.0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.points);
        const Series s(std::vector<float>(size_t(c.points), 60.0f), c.step);
        EXPECT_EQ(
            oneDecimalText(seriesStatistics(s.x.data(), s.y.data(), s.n()).samplingRate, kBritish),
            c.rate);
    }
}

TEST(SeriesStatistics, PointsAndPointsWithALevel) {
    const Series s({80, kNullLevel, 95, std::numeric_limits<float>::quiet_NaN(), 30});
    const SeriesStatistics st = seriesStatistics(s.x.data(), s.y.data(), s.n());
    EXPECT_FALSE(st.empty);
    EXPECT_EQ(st.count, 5);  // a missed sample is still a point of the run
    EXPECT_EQ(st.levels, 3);
    EXPECT_EQ(st.first, s.x[0]);
    EXPECT_EQ(st.last, s.x[4]);

    const Series one({72.5f});
    EXPECT_EQ(seriesStatistics(one.x.data(), one.y.data(), 1).samplingRate, 0.0);
    const SeriesStatistics none = seriesStatistics(nullptr, nullptr, 0);
    EXPECT_TRUE(none.empty);
    EXPECT_EQ(none.count, 0);
    EXPECT_EQ(none.samplingRate, 0.0);
}

TEST(CursorStatistics, ExtremesAndMeanBetweenTheCursorsInEitherOrder) {
    std::vector<float> levels(100, 50.0f);
    levels[10] = 120.0f;  // outside the cursors
    levels[25] = 99.0f;
    levels[40] = 99.0f;
    levels[30] = 31.0f;
    levels[70] = 31.0f;
    const Series s(levels);
    const CursorStatisticsIndex index = indexOf(s);
    for (const CursorStatistics& c : {index.statistics(70, 20), index.statistics(20, 70)}) {
        EXPECT_EQ(c.lo, 20);
        EXPECT_EQ(c.hi, 70);
        EXPECT_EQ(c.maximum, 99.0f);
        EXPECT_EQ(c.maxIndex, 25);  // the earlier of two equal extremes
        EXPECT_EQ(c.maximumTime, s.x[25]);
        EXPECT_EQ(c.minimum, 31.0f);
        EXPECT_EQ(c.minIndex, 30);
        EXPECT_EQ(c.minimumTime, s.x[30]);
        // 51 points: 47 at 50, two at 99, two at 31: the mean of the dB values.
        EXPECT_DOUBLE_EQ(c.mean, (47 * 50.0 + 2 * 99.0 + 2 * 31.0) / 51);
    }
    // One point is its own statistic; cursors beyond the series are clamped.
    const CursorStatistics same = index.statistics(25, 25);
    EXPECT_EQ(same.maximum, 99.0f);
    EXPECT_EQ(same.minimum, 99.0f);
    EXPECT_EQ(same.mean, 99.0);
    const CursorStatistics all = index.statistics(-5, 999);
    EXPECT_EQ(all.lo, 0);
    EXPECT_EQ(all.hi, 99);
    EXPECT_EQ(all.maximum, 120.0f);
    EXPECT_TRUE(CursorStatisticsIndex().statistics(0, -1).empty);
}

// The null value and anything that is no number are missed samples: no extreme, mean, Leq or
// count of levels takes them in.
TEST(CursorStatistics, PointsWithoutALevelAreLeftOutOfEveryFigure) {
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    constexpr float kInf = std::numeric_limits<float>::infinity();
    const struct {
        const char* what;
        std::vector<float> levels;
        int withLevel;
        float maximum, minimum;
        int maxIndex, minIndex;
        double mean;
    } cases[] = {
        {"a null among levels", {50, 50, 50, 50, kNullLevel}, 4, 50, 50, 0, 0, 50},
        {"null, NaN and infinities",
         {kNullLevel, 62, kNaN, 40, kInf, -kInf, 71, kNullLevel},
         3,
         71,
         40,
         6,
         3,
         (62.0 + 40 + 71) / 3},
        {"no level at all", {kNullLevel, kNaN, kNullLevel}, 0, 0, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Series s(c.levels);
        const CursorStatistics cu = indexOf(s).statistics(s.n() - 1, 0);
        EXPECT_EQ(cu.levels, c.withLevel);
        EXPECT_EQ(cu.maximum, c.maximum);
        EXPECT_EQ(cu.minimum, c.minimum);
        EXPECT_EQ(cu.maxIndex, c.maxIndex);
        EXPECT_EQ(cu.minIndex, c.minIndex);
        EXPECT_DOUBLE_EQ(cu.mean, c.mean);
        EXPECT_EQ(indexOf(s).levels(0, s.n() - 1).count, c.withLevel);
    }
    // A graph whose null value is not the usual one.
    const Series other({-1, 55, -1});
    EXPECT_EQ(indexOf(other, -1.0f).statistics(0, 2).minimum, 55.0f);
    EXPECT_EQ(indexOf(other, -1.0f).statistics(0, 2).levels, 1);
}

// Every figure between the cursors is levelFigures' of the measured series (which python3
// checks in tests/levels): a point without a time is no part of it, a point with no level a
// gap, and a level weighs the time to the next point, a gap at most twice the typical spacing.
TEST(CursorLevels, AreTheFiguresOfTheMeasuredSeriesWeighedByTime) {
    const SerialDateTime t0 = kStart;
    auto at = [&](double seconds) { return t0 + seconds * kOneSecond; };
    struct Case {
        const char* name;
        Series series;
        int a, b;
        double leq;
        float l10, l50, l90;
        double seconds;
    };
    const Case cases[] = {
        // 10 log10((10^1 + ... + 10^10) / 10); ranks ceil(9), ceil(5), ceil(1).
        {"even, whole dB", Series({999, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, kNullLevel, 0}),
         11, 1, 90.457575, 90, 50, 10, 10},
        // python3: weights 1 1 1 2 1 1 1 1 2 1 (a 3 s and a 20 s step, capped at 2 s).
        {"uneven with gaps",
         Series({at(0), at(1), at(2), at(3), at(6), at(7), at(8), at(9), at(10), at(30)},
                {60, 62, 90, 61, 60, 58, 59, 60, 61, 70}),
         0, 9, 79.298640, 70, 61, 59, 12},
        // python3: the range 3 .. 8 holds weights 2 1 1 1 1 2, its last point weighing the
        // capped step to the point after it.
        {"a range of the uneven series",
         Series({at(0), at(1), at(2), at(3), at(6), at(7), at(8), at(9), at(10), at(30)},
                {60, 62, 90, 61, 60, 58, 59, 60, 61, 70}),
         3, 8, 60.243311, 61, 60, 58, 8},
        // A point without a time (an unreadable row) is left out; its level too.
        {"a point without a time", Series({at(0), 0, at(1), at(2)}, {70, 99, 70, 80}), 0, 3,
         76.020599, 80, 70, 70, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CursorLevels l = indexOf(c.series).levels(c.a, c.b);
        EXPECT_NEAR(l.leq, c.leq, 1e-6);
        EXPECT_EQ(l.l10, c.l10);
        EXPECT_EQ(l.l50, c.l50);
        EXPECT_EQ(l.l90, c.l90);
        EXPECT_NEAR(l.measuredSeconds, c.seconds, 1e-6);
    }
}

// Times that run backwards give no time to weigh by: every level counts alike.
TEST(CursorLevels, TimesRunningBackwardsCountEveryLevelAlike) {
    const Series s({kStart + 10 * kOneSecond, kStart, kStart + 20 * kOneSecond}, {80, 60, 70});
    const CursorLevels l = indexOf(s).levels(0, 2);
    EXPECT_EQ(l.count, 3);
    EXPECT_NEAR(l.leq, 75.682017, 1e-6);  // 10 log10((1e8 + 1e6 + 1e7) / 3)
    EXPECT_EQ(l.l50, 70.0f);
}

TEST(PointTimeText, TenthsFollowTheSecondsInTheLocalesFormat) {
    const QLocale german(QLocale::German, QLocale::Germany);
    const QLocale american(QLocale::English, QLocale::UnitedStates);
    const SerialDateTime t = toSerialDateTime(QDate(2024, 1, 15), QTime(2, 26, 42, 380));
    const SerialDateTime late = toSerialDateTime(QDate(2024, 1, 15), QTime(23, 59, 59, 990));
    // The American long time has its day half after the seconds: the tenth goes between.
    QString americanWhole = formatLongTime(t, american);
    ASSERT_TRUE(americanWhole.startsWith("2:26:42"));
    const QString americanTenths = americanWhole.replace("42", "42.3");
    const struct {
        const QLocale& locale;
        SerialDateTime t;
        bool tenths;
        QString time;
    } cases[] = {
        {kBritish, t, true, "02:26:42.3"},    {kBritish, t, false, "02:26:42"},
        {german, t, true, "02:26:42,3"},      {american, t, true, americanTenths},
        {kBritish, late, true, "23:59:59.9"},  // cut like the seconds, never the next day
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.time.toStdString());
        EXPECT_EQ(pointTimeText(c.t, c.locale, c.tenths), c.time);
        EXPECT_EQ(pointDateTimeText(c.t, c.locale, c.tenths),
                  formatShortDate(c.t, c.locale) + ' ' + c.time);
    }
}

// The index answers as levelFigures does over the same range of the measured series (and as
// a plain scan for the mean), over many random ranges of a series with levels in tenths of a dB
// (equal extremes are frequent), missed samples (null, NaN, infinity), a stretch of quiet after
// a loud one, and ranges both wide (the ordered walk) and narrow (the selection): once evenly
// spaced, once with uneven steps, gaps and points without a time.
TEST(CursorStatisticsIndex, AgreesWithLevelFiguresOverRandomRanges) {
    const float kNaN = std::numeric_limits<float>::quiet_NaN();
    const float kInf = std::numeric_limits<float>::infinity();
    for (const bool even : {true, false}) {
        SCOPED_TRACE(even ? "even" : "uneven");
        std::vector<float> levels(3001);
        std::vector<double> times(3001);
        uint32_t seed = 2024;
        const auto next = [&] {
            seed = seed * 1664525u + 1013904223u;
            return seed >> 8;
        };
        double t = 0;
        for (size_t i = 0; i < levels.size(); ++i) {
            const uint32_t r = next();
            levels[i] = r % 13 == 0   ? kNullLevel
                        : r % 97 == 1 ? kNaN
                        : r % 89 == 2 ? -kInf
                        : i < 40      ? 125.0f + float(r % 10) / 10.0f  // loud, then quiet
                                      : 30.0f + float(r % 300) / 10.0f;
            t += even ? 1.0 : (r % 7 == 0 ? 3.5 : r % 5 == 0 ? 0.0 : 1.0);
            times[i] = !even && r % 101 == 3 ? 0.0 : kStart + t * kOneSecond;
        }
        for (int i = 1200; i < 1400; ++i) levels[size_t(i)] = kNullLevel;  // missed samples
        const Series s(times, levels);
        const LocalClock utc(QTimeZone::utc());
        const CursorStatisticsIndex index = indexOf(s);
        const MeasuredSeries m = figureSeries(s.x.data(), s.y.data(), s.n(), kNullLevel, utc);
        ASSERT_TRUE(measuredSeriesOfSerials(s.x, s.y, kNullLevel, utc).ok());
        const double typical = typicalSpacing(m.times);

        std::vector<std::pair<int, int>> ranges = {{0, 3000}, {3000, 0},    {-7, 5000},
                                                   {5, 5},    {1250, 1300}, {1199, 1400},
                                                   {63, 64},  {64, 127}};
        for (int k = 0; k < 400; ++k) {
            const int a = int(next() % 3001);
            ranges.push_back({a, k % 2 ? int(next() % 3001) : a + int(next() % 90) - 45});
        }
        for (auto [a, b] : ranges) {
            SCOPED_TRACE(testing::Message() << a << ".." << b);
            const int lo = std::clamp(std::min(a, b), 0, s.n() - 1);
            const int hi = std::clamp(std::max(a, b), 0, s.n() - 1);
            const size_t begin =
                size_t(std::lower_bound(m.sourceIndex.begin(), m.sourceIndex.end(), size_t(lo)) -
                       m.sourceIndex.begin());
            const size_t end =
                size_t(std::upper_bound(m.sourceIndex.begin(), m.sourceIndex.end(), size_t(hi)) -
                       m.sourceIndex.begin());
            const LevelFigures f = levelFigures(m.times, m.levels, typical, begin, end);
            double sum = 0;
            for (size_t k = begin; k < end; ++k)
                if (hasLevel(m.levels[k])) sum += m.levels[k];

            const CursorStatistics c = index.statistics(a, b);
            const CursorLevels l = index.levels(a, b);
            EXPECT_EQ(c.lo, lo);
            EXPECT_EQ(c.hi, hi);
            ASSERT_EQ(c.levels, int(f.samples));
            ASSERT_EQ(l.count, int(f.samples));
            if (f.samples == 0) continue;
            EXPECT_EQ(c.maximum, float(*f.lmax));
            EXPECT_EQ(size_t(c.maxIndex), m.sourceIndex[f.lmaxIndex]);
            EXPECT_EQ(c.maximumTime, s.x[size_t(c.maxIndex)]);
            EXPECT_EQ(c.minimum, float(*f.lmin));
            EXPECT_EQ(size_t(c.minIndex), m.sourceIndex[f.lminIndex]);
            EXPECT_EQ(c.minimumTime, s.x[size_t(c.minIndex)]);
            EXPECT_DOUBLE_EQ(c.mean, sum / double(f.samples));
            EXPECT_NEAR(l.leq, *f.leq, 1e-9);
            EXPECT_NEAR(l.measuredSeconds, f.measuredSeconds, 1e-6);
            EXPECT_EQ(l.l10, float(*f.l10));
            EXPECT_EQ(l.l50, float(*f.l50));
            EXPECT_EQ(l.l90, float(*f.l90));
        }
    }

    // A level changed in place is seen, and a new build answers for it.
    Series changed({std::vector<float>(3001, 50.0f)});
    CursorStatisticsIndex other;
    other.build(changed.x.data(), changed.y.data(), changed.n(), kNullLevel);
    EXPECT_TRUE(other.matches(changed.x.data(), changed.y.data(), changed.n(), kNullLevel));
    EXPECT_FALSE(other.matches(changed.x.data(), changed.y.data(), changed.n(), -1.0f));
    changed.y[2000] = 140.0f;
    EXPECT_FALSE(other.matches(changed.x.data(), changed.y.data(), changed.n(), kNullLevel));
    other.build(changed.x.data(), changed.y.data(), changed.n(), kNullLevel);
    EXPECT_EQ(other.statistics(0, 3000).maxIndex, 2000);
    EXPECT_EQ(CursorStatisticsIndex().statistics(0, 1).empty, true);
    EXPECT_EQ(CursorStatisticsIndex().levels(0, 1).count, 0);
}

// Energies are worked out once per distinct level: with far more distinct levels than a
// meter gives (none repeating, at full float precision), each range's Leq is still the energy
// mean of its own levels.
TEST(CursorStatisticsIndex, LeqHoldsForLevelsThatNeverRepeat) {
    std::vector<float> levels(20000);
    for (size_t i = 0; i < levels.size(); ++i)
        levels[i] = i % 50 == 7 ? kNullLevel : 20.0f + float((i * 7919) % 20000) * 0.0049f;
    const Series s(levels);
    const CursorStatisticsIndex index = indexOf(s);
    for (auto [a, b] : {std::pair{0, 19999}, {19999, 10000}, {123, 130}, {5000, 5000}, {7, 7}}) {
        SCOPED_TRACE(testing::Message() << a << ".." << b);
        double energy = 0;
        int count = 0;
        for (int i = std::min(a, b); i <= std::max(a, b); ++i) {
            if (s.y[size_t(i)] == kNullLevel) continue;
            energy += std::pow(10.0, s.y[size_t(i)] / 10.0);
            ++count;
        }
        const CursorLevels l = index.levels(a, b);
        ASSERT_EQ(l.count, count);
        if (count > 0) {
            EXPECT_NEAR(l.leq, 10 * std::log10(energy / count), 1e-9);
        }
    }
}
