#include <gtest/gtest.h>

#include <QLocale>
#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "dataset/SerialDateTime.h"
#include "graph/Statistics.h"

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

TEST(SeriesStatistics, SamplingRateDividesTheSpanByThePointCount) {
    const Series three({50, 60, 70}, 1.0);
    EXPECT_EQ(
        formatLevel(seriesStatistics(three.x.data(), three.y.data(), 3).samplingRate, kBritish),
        "0.7");
    const Series hundred(std::vector<float>(100, 60.0f), 0.5);
    EXPECT_EQ(formatLevel(seriesStatistics(hundred.x.data(), hundred.y.data(), 100).samplingRate,
                          kBritish),
              "0.5");
}

TEST(SeriesStatistics, ExtremesAndMean) {
    const Series s({80, 100, 95, 100, 30, 30, 95});
    const SeriesStatistics st = seriesStatistics(s.x.data(), s.y.data(), s.n());
    EXPECT_FALSE(st.empty);
    EXPECT_EQ(st.count, 7);
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
