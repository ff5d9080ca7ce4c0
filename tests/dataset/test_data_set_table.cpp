#include <gtest/gtest.h>

#include <QDateTime>
#include <QLocale>

#include "dataset/DataSetTable.h"
#include "dataset/SerialDateTime.h"

using namespace kl516;

namespace {

const QLocale kBritish(QLocale::English, QLocale::UnitedKingdom);
const QLocale kAmerican(QLocale::English, QLocale::UnitedStates);
const QLocale kGerman(QLocale::German, QLocale::Germany);

SerialDateTime at(int y, int mo, int d, int h, int mi, int s) {
    return toSerialDateTime(QDateTime(QDate(y, mo, d), QTime(h, mi, s)));
}

struct SetSpec {
    SerialDateTime start;
    int interval;
    std::vector<float> levels;
    uint8_t mode = 0;
};

// Installs the sets the way the memory parser does: headers first, then samples set by set.
void install(DataSetTable& table, const std::vector<SetSpec>& sets) {
    DataSetHeaders h;
    int32_t record = 256;
    for (const SetSpec& s : sets) {
        const int32_t n = int32_t(s.levels.size());
        h.startTimes.push_back(s.start);
        h.intervals.push_back(s.interval);
        h.counts.push_back(n);
        h.modes.push_back(s.mode);
        h.recordStarts.push_back(record);
        h.recordEnds.push_back(record + 17 + 2 * n);
        record += 18 + 2 * n;
    }
    ASSERT_TRUE(table.replaceAll(std::move(h)));
    for (const SetSpec& s : sets)
        ASSERT_TRUE(table.appendSet(s.levels.data(), int(s.levels.size())));
}

// Three sets, the middle one empty.
class ThreeSets : public ::testing::Test {
protected:
    void SetUp() override {
        install(table, {{at(2024, 1, 15, 14, 21, 36), 2, {60.0f, 85.3f, 85.3f, 40.0f}},
                        {at(2024, 1, 15, 15, 0, 0), 1, {}},
                        {at(2024, 1, 16, 8, 0, 0), 60, {70.0f, 30.5f, 30.5f}}});
    }
    DataSetTable table;
};

}  // namespace

TEST(SerialDateTime, RoundTripsLocalWallClockToTheMillisecond) {
    EXPECT_DOUBLE_EQ(toSerialDateTime(QDateTime(QDate(1899, 12, 30), QTime(0, 0))), 0.0);
    EXPECT_DOUBLE_EQ(toSerialDateTime(QDateTime(QDate(1900, 1, 1), QTime(18, 0))), 2.75);
    // Before the epoch the days count backwards and the time of day forwards.
    EXPECT_EQ(fromSerialDateTime(-1.25), QDateTime(QDate(1899, 12, 29), QTime(6, 0)));
    EXPECT_DOUBLE_EQ(toSerialDateTime(QDateTime(QDate(1899, 12, 29), QTime(6, 0))), -1.25);

    // 02:30 on 31 March 2024 does not exist in Central Europe (run again under TZ=Europe/Berlin):
    // wall-clock values still keep and show it.
    const QDateTime t(QDate(2024, 3, 31), QTime(2, 30, 15, 123));
    EXPECT_EQ(timeOf(toSerialDateTime(t)), QTime(2, 30, 15, 123));
    EXPECT_EQ(dateOf(toSerialDateTime(t)), QDate(2024, 3, 31));
    EXPECT_EQ(fromSerialDateTime(toSerialDateTime(t)).time(), t.time());
    EXPECT_EQ(
        formatDateTime(toSerialDateTime(t), QLocale(QLocale::English, QLocale::UnitedKingdom)),
        "31/03/2024 02:30:15");
    // Adding whole seconds does not drift below the next second.
    EXPECT_EQ(fromSerialDateTime(at(2024, 1, 15, 23, 59, 59) + kOneSecond),
              QDateTime(QDate(2024, 1, 16), QTime(0, 0)));
    EXPECT_EQ(fromSerialDateTime(at(2024, 1, 15, 10, 0, 0) + 7 * kOneSecond).time(),
              QTime(10, 0, 7));
}

TEST(SerialDateTime, TextsFollowTheLocaleWithoutTimeZone) {
    const SerialDateTime t = at(2024, 1, 15, 14, 21, 36);
    EXPECT_EQ(formatLongTime(t, kBritish), "14:21:36");
    EXPECT_EQ(formatLongTime(t, kAmerican), "2:21:36 PM");
    EXPECT_EQ(formatLongTime(t, QLocale(QLocale::Chinese, QLocale::China)), "14:21:36");
    EXPECT_EQ(formatShortDate(t, kBritish), "15/01/2024");
    EXPECT_EQ(formatDateTime(t, kBritish), "15/01/2024 14:21:36");
    // Short formats that drop the century get it back; everything else of them stays.
    EXPECT_EQ(formatDateTime(t, kGerman), "15.01.2024 14:21:36");
    EXPECT_EQ(formatShortDate(at(1999, 12, 31, 0, 0, 0), kAmerican), "12/31/1999");
    EXPECT_EQ(withFourDigitYear(QStringLiteral("d 'yy' yy")), QStringLiteral("d 'yy' yyyy"));
    EXPECT_EQ(withFourDigitYear(QStringLiteral("yyyy/MM/dd")), QStringLiteral("yyyy/MM/dd"));

    EXPECT_EQ(oneDecimalText(85.3, kBritish), "85.3");
    EXPECT_EQ(oneDecimalText(85.3, kGerman), "85,3");
    EXPECT_EQ(oneDecimalText(1234.56, kBritish), "1234.6");  // no group separator
    EXPECT_EQ(oneDecimalText(1234.56, kGerman), "1234,6");
    EXPECT_EQ(oneDecimalText(0.5, kBritish), "0.5");
    EXPECT_EQ(oneDecimalText(90, kBritish), "90.0");
}

TEST_F(ThreeSets, AddressesEverySetAroundAnEmptyOne) {
    ASSERT_EQ(table.setCount(), 3);
    EXPECT_EQ(table.setOffset(0), 0);
    EXPECT_EQ(table.setOffset(1), 4);
    EXPECT_EQ(table.setOffset(2), 4);
    EXPECT_EQ(table.levels().size(), 7u);
    EXPECT_EQ(table.sampleTimes().size(), 7u);
    EXPECT_EQ(table.setLevels(2)[0], 70.0f);
    EXPECT_EQ(table.setLevels(1).size(), 0u);

    EXPECT_DOUBLE_EQ(table.setEnd(1), table.startTimes()[1]);
    EXPECT_EQ(table.maxIndexes()[1], 0);
    EXPECT_EQ(table.minIndexes()[1], 0);
    EXPECT_EQ(table.averages()[1], 0.0);

    EXPECT_DOUBLE_EQ(table.setEnd(0), table.startTimes()[0] + 8 * kOneSecond);
    EXPECT_DOUBLE_EQ(table.setEnd(2), table.startTimes()[2] + 3 * 60 * kOneSecond);
    EXPECT_EQ(fromSerialDateTime(table.setTimes(2)[2]).time(), QTime(8, 2, 0));
}

TEST_F(ThreeSets, StatisticsKeepTheEarliestExtreme) {
    EXPECT_EQ(table.maxIndexes()[0], 1);  // 85.3 at 1 and 2
    EXPECT_EQ(table.minIndexes()[0], 3);
    EXPECT_NEAR(table.averages()[0], (60.0 + 85.3 + 85.3 + 40.0) / 4, 1e-5);
    EXPECT_EQ(table.maxIndexes()[2], 0);
    EXPECT_EQ(table.minIndexes()[2], 1);  // 30.5 at 1 and 2
}

TEST_F(ThreeSets, ChangeStartTimeMovesOnlyThatSet) {
    const std::vector<double> before = table.sampleTimes();
    const std::vector<float> levelsBefore = table.levels();
    const SerialDateTime newStart = at(2010, 5, 1, 10, 0, 0);
    table.changeStartTime(0, newStart);

    EXPECT_DOUBLE_EQ(table.startTimes()[0], newStart);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(fromSerialDateTime(table.setTimes(0)[k]).time(), QTime(10, 0, 2 * k));
    for (size_t p = 4; p < before.size(); ++p) EXPECT_EQ(table.sampleTimes()[p], before[p]);
    EXPECT_EQ(table.levels(), levelsBefore);
    EXPECT_EQ(table.maxIndexes()[0], 1);
    EXPECT_EQ(table.rowText(0, kBritish)[1], "01/05/2010");
    EXPECT_EQ(table.rowText(0, kBritish)[2], "10:00:00");

    // A set in the middle: its neighbours keep their times.
    table.changeStartTime(2, newStart);
    for (size_t p = 0; p < 4; ++p) EXPECT_DOUBLE_EQ(table.sampleTimes()[p], table.setTimes(0)[p]);
    EXPECT_DOUBLE_EQ(table.setTimes(2)[1], newStart + 60 * kOneSecond);
}

TEST(DataSetTable, IntervalZeroGivesEveryTimeTheStart) {
    DataSetTable table;
    const SerialDateTime start = at(2024, 2, 1, 9, 30, 0);
    install(table, {{start, 0, {50.0f, 51.0f, 52.0f}}});
    for (double t : table.sampleTimes()) EXPECT_EQ(t, start);
    EXPECT_EQ(table.setEnd(0), start);
}

TEST(DataSetTable, OutOfRangeLevelsGiveZeroStatistics) {
    DataSetTable table;
    install(table, {{at(2024, 2, 1, 9, 30, 0), 1, {0.0f, 0.0f, 0.0f}}});
    EXPECT_EQ(table.maxIndexes()[0], 0);
    EXPECT_EQ(table.minIndexes()[0], 0);
    EXPECT_EQ(table.averages()[0], 0.0);
}

TEST(DataSetTable, ZeroLevelsCountInMinimumAndAverage) {
    const float levels[] = {50.0f, 0.0f, 70.0f};
    const SetStatistics s = computeStatistics(levels, 3);
    EXPECT_EQ(s.minIndex, 1);
    EXPECT_EQ(s.maxIndex, 2);
    EXPECT_DOUBLE_EQ(s.average, 40.0);
    const SetStatistics empty = computeStatistics(nullptr, 0);
    EXPECT_EQ(empty.average, 0.0);
    EXPECT_EQ(empty.maxIndex, 0);
}

TEST(DataSetTable, RowTexts) {
    struct Case {
        int interval;
        uint8_t mode;
        const char* rate;
        const char* weighting;
        const char* response;
    };
    const Case cases[] = {
        {0, 0x00, "00:00", "dBC", "SLOW"},
        {5, 0x01, "00:05", "dBC", "FAST"},
        {59, 0x02, "00:59", "dBA", "SLOW"},
        {60, 0xFF, "01:00", "dBA", "FAST"},  // other bits ignored
        {2, 0xFC, "00:02", "dBC", "SLOW"},
    };
    std::vector<SetSpec> sets;
    for (const Case& c : cases)
        sets.push_back({at(2024, 1, 15, 9, 5, 7), c.interval, {80.0f, 81.0f}, c.mode});
    DataSetTable table;
    install(table, sets);
    for (int i = 0; i < int(std::size(cases)); ++i) {
        SCOPED_TRACE(i);
        const Case& c = cases[i];
        const QStringList row = table.rowText(i, kBritish);
        const QStringList expected = {QString::number(i + 1),
                                      "15/01/2024",
                                      "09:05:07",
                                      c.rate,
                                      "2",
                                      c.weighting,
                                      c.response,
                                      "30-130"};
        EXPECT_EQ(row, expected);
    }
    // The time column is on the 24-hour clock whatever the locale; the date follows it.
    DataSetTable afternoon;
    install(afternoon, {{at(2024, 1, 15, 14, 21, 36), 1, {}}});
    EXPECT_EQ(afternoon.rowText(0, kAmerican)[1], "1/15/2024");
    EXPECT_EQ(afternoon.rowText(0, kAmerican)[2], "14:21:36");
    EXPECT_EQ(afternoon.rowText(0, kAmerican)[4], "0");
}

TEST(DataSetTable, ReplacingLeavesOnlyTheSecondTable) {
    DataSetTable table;
    install(table, {{at(2024, 1, 1, 0, 0, 0), 1, {90.0f, 100.0f}},
                    {at(2024, 1, 2, 0, 0, 0), 1, {40.0f, 41.0f, 42.0f}}});
    install(table, {{at(2024, 3, 3, 12, 0, 0), 2, {35.0f, 33.0f, 34.0f}}});
    ASSERT_EQ(table.setCount(), 1);
    EXPECT_EQ(table.levels(), (std::vector<float>{35.0f, 33.0f, 34.0f}));
    EXPECT_EQ(table.sampleTimes().size(), 3u);
    EXPECT_EQ(table.maxIndexes(), std::vector<int32_t>{0});
    EXPECT_EQ(table.minIndexes(), std::vector<int32_t>{1});
    EXPECT_EQ(table.averages().size(), 1u);
    EXPECT_NEAR(table.averages()[0], 34.0, 1e-5);
    EXPECT_EQ(table.rowText(0, kBritish)[1], "03/03/2024");
}

TEST(DataSetTable, RejectsInconsistentInput) {
    DataSetTable table;
    install(table, {{at(2024, 1, 1, 0, 0, 0), 1, {90.0f, 100.0f}}});

    DataSetHeaders ragged;
    ragged.startTimes = {0.0, 1.0};
    ragged.intervals = {1};
    ragged.counts = {1, 1};
    ragged.modes = {0, 0};
    ragged.recordStarts = {256, 275};
    ragged.recordEnds = {274, 293};
    EXPECT_FALSE(table.replaceAll(ragged));
    EXPECT_EQ(table.setCount(), 1);
    EXPECT_EQ(table.levels().size(), 2u);

    // A set given fewer levels than its count still holds its count, padded with zeros; no
    // set is appended past the last.
    DataSetHeaders one{{0.0}, {1}, {3}, {0}, {256}, {279}};
    ASSERT_TRUE(table.replaceAll(one));
    const float levels[] = {50.0f};
    EXPECT_FALSE(table.appendSet(levels, 1));
    EXPECT_EQ(table.levels(), (std::vector<float>{50.0f, 0.0f, 0.0f}));
    EXPECT_EQ(table.sampleTimes().size(), 3u);
    EXPECT_FALSE(table.appendSet(levels, 1));
    EXPECT_EQ(table.levels().size(), 3u);
}

namespace {
// Computed while the program starts, before main: must not depend on another file's
// constants being constructed first.
const kl516::SerialDateTime kStartUpValue =
    kl516::toSerialDateTime(QDate(2024, 5, 1), QTime(8, 0, 0));
}  // namespace

TEST(SerialDateTime, ValuesComputedAtStartUpUseTheRightEpoch) {
    EXPECT_DOUBLE_EQ(kStartUpValue, 45413.0 + 8.0 / 24.0);
    EXPECT_DOUBLE_EQ(kl516::toSerialDateTime(QDate(1899, 12, 30), QTime(0, 0)), 0.0);
}
