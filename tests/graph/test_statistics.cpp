#include <gtest/gtest.h>

#include <QLocale>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "dataset/SerialDateTime.h"
#include "graph/StatisticText.h"
#include "graph/Statistics.h"
#include "levels/LevelArithmetic.h"

using namespace kl516;

namespace {

const QLocale kBritish(QLocale::English, QLocale::UnitedKingdom);
const SerialDateTime kStart = 45306.5;  // 15 January 2024 12:00

// A series of levels one step of seconds apart.
struct Series {
    Series(std::vector<float> levels, double stepSeconds = 1.0) : y(std::move(levels)) {
        for (size_t i = 0; i < y.size(); ++i) x.push_back(kStart + i * stepSeconds * kOneSecond);
    }
    int n() const { return int(y.size()); }
    std::vector<double> x;
    std::vector<float> y;
};

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
            formatLevel(seriesStatistics(s.x.data(), s.y.data(), s.n()).samplingRate, kBritish),
            c.rate);
    }
}

TEST(SeriesStatistics, ExtremesAndMean) {
    const Series s({80, 100, 95, 100, 30, 30, 95});
    const SeriesStatistics st = seriesStatistics(s.x.data(), s.y.data(), s.n());
    EXPECT_FALSE(st.empty);
    EXPECT_EQ(st.count, 7);
    EXPECT_EQ(st.levels, 7);
    EXPECT_EQ(st.first, s.x[0]);
    EXPECT_EQ(st.last, s.x[6]);
    EXPECT_EQ(st.maximum, 100.0f);
    EXPECT_EQ(st.maxIndex, 1);  // the earlier of the two equal maxima
    EXPECT_EQ(st.maximumTime, s.x[1]);
    EXPECT_EQ(st.minimum, 30.0f);
    EXPECT_EQ(st.minIndex, 4);
    EXPECT_EQ(st.minimumTime, s.x[4]);
    EXPECT_DOUBLE_EQ(st.mean, 530.0 / 7);  // arithmetic mean of the dB values
}

TEST(SeriesStatistics, OnePointAndNoPoints) {
    const Series one({72.5f});
    const SeriesStatistics st = seriesStatistics(one.x.data(), one.y.data(), 1);
    EXPECT_EQ(st.samplingRate, 0.0);
    EXPECT_EQ(st.maximum, 72.5f);
    EXPECT_EQ(st.minimum, 72.5f);
    EXPECT_EQ(st.mean, 72.5);

    const SeriesStatistics none = seriesStatistics(nullptr, nullptr, 0);
    EXPECT_TRUE(none.empty);
    EXPECT_EQ(none.count, 0);
    EXPECT_EQ(none.samplingRate, 0.0);
    EXPECT_EQ(none.mean, 0.0);
}

TEST(CursorStatistics, CoversThePointsBetweenCursorsInEitherOrder) {
    std::vector<float> levels(100, 50.0f);
    levels[10] = 120.0f;  // outside the cursors
    levels[25] = 99.0f;
    levels[40] = 99.0f;
    levels[30] = 31.0f;
    levels[70] = 31.0f;
    const Series s(levels);
    const CursorStatistics ab = cursorStatistics(s.x.data(), s.y.data(), s.n(), 70, 20);
    const CursorStatistics ba = cursorStatistics(s.x.data(), s.y.data(), s.n(), 20, 70);
    for (const CursorStatistics& c : {ab, ba}) {
        EXPECT_EQ(c.lo, 20);
        EXPECT_EQ(c.hi, 70);
        EXPECT_EQ(c.maximum, 99.0f);
        EXPECT_EQ(c.maxIndex, 25);
        EXPECT_EQ(c.maximumTime, s.x[25]);
        EXPECT_EQ(c.minimum, 31.0f);
        EXPECT_EQ(c.minIndex, 30);
        EXPECT_EQ(c.minimumTime, s.x[30]);
        // 51 points: 47 at 50, two at 99, two at 31.
        EXPECT_DOUBLE_EQ(c.mean, (47 * 50.0 + 2 * 99.0 + 2 * 31.0) / 51);
    }
}

TEST(CursorStatistics, MeanIsArithmeticAndOnePointIsItsOwnStatistic) {
    const Series s({80.0f, 100.0f, 60.0f});
    EXPECT_DOUBLE_EQ(cursorStatistics(s.x.data(), s.y.data(), 3, 0, 1).mean, 90.0);

    const CursorStatistics same = cursorStatistics(s.x.data(), s.y.data(), 3, 1, 1);
    EXPECT_EQ(same.maximum, 100.0f);
    EXPECT_EQ(same.minimum, 100.0f);
    EXPECT_EQ(same.mean, 100.0);
    EXPECT_EQ(same.maximumTime, s.x[1]);
    EXPECT_EQ(same.minimumTime, s.x[1]);
}

TEST(CursorStatistics, IndexesOutsideTheSeriesAreClamped) {
    const Series s({40.0f, 50.0f, 60.0f});
    const CursorStatistics c = cursorStatistics(s.x.data(), s.y.data(), 3, -5, 99);
    EXPECT_EQ(c.lo, 0);
    EXPECT_EQ(c.hi, 2);
    EXPECT_EQ(c.maximum, 60.0f);
    EXPECT_EQ(c.minimum, 40.0f);
    EXPECT_DOUBLE_EQ(c.mean, 50.0);

    const CursorStatistics none = cursorStatistics(nullptr, nullptr, 0, 0, -1);
    EXPECT_TRUE(none.empty);
    EXPECT_EQ(none.mean, 0.0);
}

TEST(CursorStatistics, AgreesWithAPlainScanOnRandomLevels) {
    // Levels in whole dB so that equal extremes are frequent.
    std::vector<float> levels(1003);
    uint32_t seed = 12345;
    for (float& v : levels) {
        seed = seed * 1664525u + 1013904223u;
        v = 30.0f + float((seed >> 16) % 40);
    }
    const Series s(levels);
    const std::pair<int, int> windows[] = {{0, 1002}, {1, 6}, {999, 3}, {500, 500}, {17, 18}};
    for (auto [a, b] : windows) {
        SCOPED_TRACE(testing::Message() << a << ".." << b);
        const int lo = std::min(a, b), hi = std::max(a, b);
        float maximum = -99999.0f, minimum = 99999.0f;
        int maxIndex = 0, minIndex = 0;
        double sum = 0;
        for (int i = lo; i <= hi; ++i) {
            sum += s.y[i];
            if (s.y[i] > maximum) maximum = s.y[i], maxIndex = i;
            if (s.y[i] < minimum) minimum = s.y[i], minIndex = i;
        }
        const CursorStatistics c = cursorStatistics(s.x.data(), s.y.data(), s.n(), a, b);
        EXPECT_EQ(c.maximum, maximum);
        EXPECT_EQ(c.maxIndex, maxIndex);
        EXPECT_EQ(c.minimum, minimum);
        EXPECT_EQ(c.minIndex, minIndex);
        EXPECT_EQ(c.mean, sum / (hi - lo + 1));
    }
    const SeriesStatistics all = seriesStatistics(s.x.data(), s.y.data(), s.n());
    const CursorStatistics whole = cursorStatistics(s.x.data(), s.y.data(), s.n(), 0, s.n() - 1);
    EXPECT_EQ(all.maxIndex, whole.maxIndex);
    EXPECT_EQ(all.minIndex, whole.minIndex);
    EXPECT_EQ(all.mean, whole.mean);
}

// The null value and anything that is no number are missed samples: no extreme, mean or count
// of levels takes them in, in the whole series or between the cursors.
TEST(Statistics, PointsWithoutALevelAreLeftOutOfEveryFigure) {
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
        // More points than the four lanes of the scan, the nulls at either end of a lane.
        {"nulls across the lanes",
         {kNullLevel, 30, 30, kNullLevel, kNullLevel, 95, 20, kNaN, 95},
         5,
         95,
         20,
         5,
         6,
         (30.0 + 30 + 95 + 20 + 95) / 5},
        {"no level at all", {kNullLevel, kNaN, kNullLevel}, 0, 0, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Series s(c.levels);
        const SeriesStatistics st = seriesStatistics(s.x.data(), s.y.data(), s.n());
        const CursorStatistics cu = cursorStatistics(s.x.data(), s.y.data(), s.n(), s.n() - 1, 0);
        EXPECT_FALSE(st.empty);
        EXPECT_EQ(st.count, s.n());  // a missed sample is still a point of the run
        EXPECT_EQ(st.levels, c.withLevel);
        EXPECT_EQ(cu.levels, c.withLevel);
        EXPECT_EQ(st.maximum, c.maximum);
        EXPECT_EQ(cu.maximum, c.maximum);
        EXPECT_EQ(st.minimum, c.minimum);
        EXPECT_EQ(cu.minimum, c.minimum);
        EXPECT_EQ(st.maxIndex, c.maxIndex);
        EXPECT_EQ(cu.maxIndex, c.maxIndex);
        EXPECT_EQ(st.minIndex, c.minIndex);
        EXPECT_EQ(cu.minIndex, c.minIndex);
        EXPECT_DOUBLE_EQ(st.mean, c.mean);
        EXPECT_DOUBLE_EQ(cu.mean, c.mean);
        if (c.withLevel > 0) {
            EXPECT_EQ(st.maximumTime, s.x[size_t(c.maxIndex)]);
            EXPECT_EQ(cu.minimumTime, s.x[size_t(c.minIndex)]);
        }
    }
    // Cursors on the null alone: nothing between them has a level.
    const Series s({50, kNullLevel, 60});
    EXPECT_EQ(cursorStatistics(s.x.data(), s.y.data(), 3, 1, 1).levels, 0);
    // A graph whose null value is not the usual one.
    const Series other({-1, 55, -1});
    EXPECT_EQ(seriesStatistics(other.x.data(), other.y.data(), 3, -1.0f).minimum, 55.0f);
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

// The index answers as a plain scan does, over many random ranges of a series with levels in
// tenths of a dB (equal extremes are frequent), missed samples (null, NaN, infinity), a stretch
// of quiet after a loud one, and ranges both wide (the ordered walk) and narrow (the selection).
TEST(CursorStatisticsIndex, AgreesWithAPlainScanOverRandomRanges) {
    const float kNaN = std::numeric_limits<float>::quiet_NaN();
    const float kInf = std::numeric_limits<float>::infinity();
    std::vector<float> levels(3001);
    uint32_t seed = 2024;
    const auto next = [&] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (size_t i = 0; i < levels.size(); ++i) {
        const uint32_t r = next();
        levels[i] = r % 13 == 0   ? kNullLevel
                    : r % 97 == 1 ? kNaN
                    : r % 89 == 2 ? -kInf
                    : i < 40      ? 125.0f + float(r % 10) / 10.0f  // loud, then quiet
                                  : 30.0f + float(r % 300) / 10.0f;
    }
    for (int i = 1200; i < 1400; ++i) levels[size_t(i)] = kNullLevel;  // a gap of missed samples
    const Series s(levels);
    CursorStatisticsIndex index;
    index.build(s.x.data(), s.y.data(), s.n(), kNullLevel);

    std::vector<std::pair<int, int>> ranges = {{0, 3000},    {3000, 0},    {-7, 5000}, {5, 5},
                                               {1250, 1300}, {1199, 1400}, {63, 64},   {64, 127}};
    for (int k = 0; k < 400; ++k) {
        const int a = int(next() % 3001);
        ranges.push_back({a, k % 2 ? int(next() % 3001) : a + int(next() % 90) - 45});
    }
    for (auto [a, b] : ranges) {
        SCOPED_TRACE(testing::Message() << a << ".." << b);
        const int lo = std::clamp(std::min(a, b), 0, s.n() - 1);
        const int hi = std::clamp(std::max(a, b), 0, s.n() - 1);
        std::vector<float> held;
        float maximum = 0, minimum = 0;
        int maxIndex = -1, minIndex = -1;
        double sum = 0, energy = 0;
        for (int i = lo; i <= hi; ++i) {
            const float v = s.y[size_t(i)];
            if (!std::isfinite(v) || v == kNullLevel) continue;
            held.push_back(v);
            sum += v;
            energy += std::pow(10.0, v / 10.0);
            if (maxIndex < 0 || v > maximum) maximum = v, maxIndex = i;
            if (minIndex < 0 || v < minimum) minimum = v, minIndex = i;
        }
        std::sort(held.begin(), held.end());
        const auto percentile = [&](double n) {
            const int rank = int(std::ceil((100 - n) / 100.0 * double(held.size())));
            return held[size_t(std::max(rank, 1) - 1)];
        };

        const CursorStatistics c = index.statistics(a, b);
        const CursorLevels l = index.levels(a, b);
        EXPECT_EQ(c.lo, lo);
        EXPECT_EQ(c.hi, hi);
        ASSERT_EQ(c.levels, int(held.size()));
        ASSERT_EQ(l.count, int(held.size()));
        if (held.empty()) continue;
        EXPECT_EQ(c.maximum, maximum);
        EXPECT_EQ(c.maxIndex, maxIndex);
        EXPECT_EQ(c.maximumTime, s.x[size_t(maxIndex)]);
        EXPECT_EQ(c.minimum, minimum);
        EXPECT_EQ(c.minIndex, minIndex);
        EXPECT_EQ(c.minimumTime, s.x[size_t(minIndex)]);
        EXPECT_EQ(c.mean, sum / double(held.size()));
        EXPECT_NEAR(l.leq, 10 * std::log10(energy / double(held.size())), 1e-9);
        EXPECT_EQ(l.l10, percentile(10));
        EXPECT_EQ(l.l50, percentile(50));
        EXPECT_EQ(l.l90, percentile(90));
    }

    // A level changed in place is seen, and a new build answers for it.
    Series changed = s;
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
    CursorStatisticsIndex index;
    index.build(s.x.data(), s.y.data(), s.n(), kNullLevel);
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
