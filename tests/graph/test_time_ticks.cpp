#include <gtest/gtest.h>

#include <QDateTime>
#include <QLocale>
#include <cmath>
#include <limits>
#include <vector>

#include "graph/TimeTicks.h"

using namespace kl516;

namespace {

constexpr double kMinute = 60, kHour = 3600, kDay = 86400;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Seconds since 1970 of a wall-clock time on 1 May 2024.
double at(int hour, int minute, double second) {
    const double midnight =
        double(QDateTime(QDate(2024, 5, 1), QTime(0, 0), Qt::UTC).toSecsSinceEpoch());
    return midnight + hour * kHour + minute * kMinute + second;
}

// Room per label: tenths, seconds, minutes, days.
const TimeLabelRoom kRoom = {70, 60, 45, 70};

}  // namespace

TEST(TimeTicks, StepIsTheFinestWhoseLabelsFit) {
    struct Case {
        double span, pixels, step;
    };
    const Case cases[] = {
        {20, 1000, 2},  // 1 s would put labels 50 px apart
        {25, 1000, 2},  // never 2.5 s
        {60, 1000, 5},
        {100, 1000, 10},
        {200, 1000, 15},
        {400, 1000, 30},
        {1000, 1000, kMinute},  // minute labels are narrower: 60 px is room enough
        {3 * kHour, 1000, 10 * kMinute},
        {5 * kHour, 1000, 15 * kMinute},
        {kDay, 1000, 2 * kHour},
        {2 * kDay, 1000, 3 * kHour},
        {3 * kDay, 1000, 6 * kHour},
        {30 * kDay, 1000, 5 * kDay},
        {400 * kDay, 1000, 50 * kDay},
        {2, 1000, 0.2},
        {0.5, 1000, 0.1},
        {20, 100000, 0.1},
        {0, 1000, 0.1},  // nothing to divide: the finest step
        {kNaN, 1000, 0.1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(chooseTimeTickStep(c.span, c.pixels, kRoom), c.step)
            << c.span << " s over " << c.pixels << " px";
    }
    // No room at all: the coarsest step, so that hardly a tick is made.
    EXPECT_GE(chooseTimeTickStep(3 * kDay, 0, kRoom), 1e9 * kDay);
}

TEST(TimeTicks, UnitOfEachStep) {
    EXPECT_EQ(timeLabelUnit(0.5), TimeLabelUnit::Tenths);
    EXPECT_EQ(timeLabelUnit(1), TimeLabelUnit::Seconds);
    EXPECT_EQ(timeLabelUnit(30), TimeLabelUnit::Seconds);
    EXPECT_EQ(timeLabelUnit(kMinute), TimeLabelUnit::Minutes);
    EXPECT_EQ(timeLabelUnit(12 * kHour), TimeLabelUnit::Minutes);
    EXPECT_EQ(timeLabelUnit(kDay), TimeLabelUnit::Days);
}

TEST(TimeTicks, TicksAreWholeMultiplesOfTheStep) {
    struct Case {
        const char* what;
        double lower, upper, step;
        std::vector<double> ticks;
    };
    const Case cases[] = {
        {"2 s",
         at(12, 24, 40.3),
         at(12, 24, 47),
         2,
         {at(12, 24, 42), at(12, 24, 44), at(12, 24, 46)}},
        {"15 s across a minute",
         at(12, 24, 40),
         at(12, 25, 20),
         15,
         {at(12, 24, 45), at(12, 25, 0), at(12, 25, 15)}},
        {"bounds on ticks",
         at(12, 24, 40),
         at(12, 24, 50),
         5,
         {at(12, 24, 40), at(12, 24, 45), at(12, 24, 50)}},
        {"3 h from midnight",
         at(1, 0, 0),
         at(10, 0, 0),
         3 * kHour,
         {at(3, 0, 0), at(6, 0, 0), at(9, 0, 0)}},
        {"days at midnight", at(5, 0, 0), at(50, 0, 0), kDay, {at(24, 0, 0), at(48, 0, 0)}},
        {"none inside", at(12, 24, 41), at(12, 24, 44), 5, {}},
        {"inverted range", at(12, 24, 50), at(12, 24, 40), 1, {}},
        {"no step", at(12, 24, 40), at(12, 24, 50), 0, {}},
        {"unusable bound", kNaN, at(12, 24, 50), 1, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(timeTicks(c.lower, c.upper, c.step), c.ticks) << c.what;

    // Tenths are the doubles nearest the decimals, so that their labels round to them.
    const std::vector<double> tenths = timeTicks(at(12, 24, 41.05), at(12, 24, 41.65), 0.2);
    ASSERT_EQ(tenths.size(), 3u);
    for (size_t i = 0; i < tenths.size(); ++i)
        EXPECT_EQ(tenths[i], (at(12, 24, 41) * 10 + 2 * double(i + 1)) / 10);

    // Too many ticks make none rather than a flood.
    EXPECT_TRUE(timeTicks(0, 1e9, 1, 1000).empty());
}

TEST(TimeTicks, SubTicksDivideTheStepIntoLadderSteps) {
    const std::pair<double, int> cases[] = {
        {0.1, 0}, {0.5, 4},         {1, 1},         {5, 4},    {15, 2},
        {30, 1},  {5 * kMinute, 4}, {3 * kHour, 2}, {kDay, 1}, {5 * kDay, 4},
    };
    for (const auto& [step, count] : cases) EXPECT_EQ(timeSubTickCount(step), count) << step;
}

TEST(TimeTicks, SpansDaysWhenTheEndsFallOnDifferentDays) {
    EXPECT_FALSE(spansDays(at(0, 0, 0), at(23, 59, 59)));
    EXPECT_TRUE(spansDays(at(23, 59, 59), at(24, 0, 1)));
    EXPECT_TRUE(spansDays(at(12, 0, 0), at(36, 0, 0)));
}

TEST(TimeTicks, LabelsStateTheirTickInTheLocalesFormats) {
    const QLocale british(QLocale::English, QLocale::UnitedKingdom);
    const QLocale german(QLocale::German, QLocale::Germany);
    const QLocale american(QLocale::English, QLocale::UnitedStates);
    struct Case {
        const char* what;
        double key;
        TimeLabelUnit unit;
        bool spansDays;
        const QLocale& locale;
        QString label;
    };
    const Case cases[] = {
        {"seconds", at(12, 24, 45), TimeLabelUnit::Seconds, false, british, "12:24:45"},
        {"minutes", at(12, 25, 0), TimeLabelUnit::Minutes, false, british, "12:25"},
        {"days", at(24, 0, 0), TimeLabelUnit::Days, false, british, "02/05/2024"},
        {"tenths", at(12, 24, 45.3), TimeLabelUnit::Tenths, false, british, "12:24:45.3"},
        {"a whole second in tenths", at(12, 24, 46), TimeLabelUnit::Tenths, false, british,
         "12:24:46.0"},
        {"tenths with a decimal comma", at(12, 24, 45.3), TimeLabelUnit::Tenths, false, german,
         "12:24:45,3"},
        {"tenths before the day half", at(14, 24, 45.5), TimeLabelUnit::Tenths, false, american,
         "2:24:45.5 PM"},
        {"minutes across days", at(24, 15, 0), TimeLabelUnit::Minutes, true, british,
         "02/05/2024\n00:15"},
        {"seconds across days", at(23, 59, 50), TimeLabelUnit::Seconds, true, british,
         "01/05/2024\n23:59:50"},
        // Locales whose short date has a two-digit year show all four digits.
        {"days, American", at(24, 0, 0), TimeLabelUnit::Days, false, american, "5/2/2024"},
        {"minutes across days, German", at(24, 15, 0), TimeLabelUnit::Minutes, true, german,
         "02.05.2024\n00:15"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(timeTickLabel(c.key, c.unit, c.spansDays, c.locale), c.label) << c.what;
    EXPECT_TRUE(timeTickLabel(kNaN, TimeLabelUnit::Seconds, false, british).isEmpty());
}
