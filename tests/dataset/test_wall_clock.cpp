// Serial days, wall seconds and instants; clock changes; ISO text and times of day.
// Expected instants were computed with Python's zoneinfo from the dates written beside them.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "dataset/MeasuredSeries.h"
#include "dataset/WallClock.h"

using namespace kl516;

namespace {

const LocalClock& berlin() {
    static const LocalClock clock(QTimeZone("Europe/Berlin"));
    return clock;
}

// Wall seconds of a date and time written out, for readable cases.
double wall(int y, int mo, int d, int h, int mi, int s = 0, int ms = 0) {
    return wallSecondsOf(QDate(y, mo, d), ((h * 60 + mi) * 60 + s) * 1000 + ms);
}

// 2024-03-31 01:00:00Z: Berlin's clocks go from 02:00 CET to 03:00 CEST.
constexpr double kSpringChange = 1711846800;
// 2024-10-27 01:00:00Z: Berlin's clocks go from 03:00 CEST back to 02:00 CET.
constexpr double kAutumnChange = 1729990800;

}  // namespace

TEST(WallClock, SerialDaysAndWallSecondsRoundTrip) {
    struct Case {
        const char* name;
        QDate date;
        int msOfDay;
        double serial, wallSeconds;
    } cases[] = {
        {"the epoch of 1970", QDate(1970, 1, 1), 0, 25569, 0},
        {"a day before the serial epoch", QDate(1899, 12, 29), 6 * 3600000, -1.25, -2209226400.0},
        {"long before, with milliseconds", QDate(1850, 6, 1), 45296789, -18109.524268391204,
         -3773733903.211},
        {"a time the clocks skip", QDate(2024, 3, 31), 9000000, 45382.104166666664, 1711852200.0},
        {"milliseconds", QDate(2024, 4, 13), 33631250, 45395.3892505787, 1713000031.25},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_DOUBLE_EQ(toSerialDateTime(c.date, QTime::fromMSecsSinceStartOfDay(c.msOfDay)),
                         c.serial);
        EXPECT_EQ(wallSecondsOf(c.date, c.msOfDay), c.wallSeconds);
        EXPECT_EQ(wallSecondsOfSerial(c.serial), c.wallSeconds);
        EXPECT_DOUBLE_EQ(serialOfWallSeconds(c.wallSeconds), c.serial);
        const WallDate back = wallDateOf(c.wallSeconds);
        EXPECT_EQ(back.date, c.date);
        EXPECT_EQ(back.msOfDay, c.msOfDay);
    }
    // 07:00 stays 07:00 through a day fraction's rounding.
    const double seven = toSerialDateTime(QDate(2024, 5, 2), QTime(7, 0));
    EXPECT_EQ(wallDateOf(wallSecondsOfSerial(seven)).msOfDay, 7 * 3600000);
    EXPECT_TRUE(std::isnan(wallSecondsOfSerial(std::nan(""))));
}

TEST(WallClock, InstantsOfWallTimesAcrossBerlinsClockChanges) {
    struct Case {
        const char* name;
        double wallSeconds;
        std::optional<double> notBefore;
        double instant;
    } cases[] = {
        {"winter time", wall(2024, 1, 15, 12, 0), {}, 1705316400},
        {"summer time", wall(2024, 7, 4, 12, 0), {}, 1720087200},
        {"the second before the spring gap", wall(2024, 3, 31, 1, 59, 59), {}, kSpringChange - 1},
        {"in the spring gap: the instant after it", wall(2024, 3, 31, 2, 30), {}, kSpringChange},
        {"the gap's first wall time", wall(2024, 3, 31, 2, 0), {}, kSpringChange},
        {"the end of the gap", wall(2024, 3, 31, 3, 0), {}, kSpringChange},
        {"the repeated hour: first pass", wall(2024, 10, 27, 2, 30), {}, 1729989000},
        {"the repeated hour after its first pass", wall(2024, 10, 27, 2, 30), kAutumnChange - 1,
         1729992600},
        {"after the repeated hour", wall(2024, 10, 27, 3, 0), {}, kAutumnChange + 3600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const double instant = berlin().instantOf(c.wallSeconds, c.notBefore);
        EXPECT_EQ(instant, c.instant);
        if (c.instant != kSpringChange || c.wallSeconds == wall(2024, 3, 31, 3, 0)) {
            EXPECT_EQ(berlin().wallOf(instant), c.wallSeconds);
        }
    }
    EXPECT_EQ(berlin().offsetAt(kAutumnChange - 1), 7200);
    EXPECT_EQ(berlin().offsetAt(kAutumnChange), 3600);
}

TEST(WallClock, SeriesReadsTheRepeatedHourAsItsSecondPassAndRefusesARealStepBack) {
    struct Step {
        double wallSeconds;
        bool accepted;
        double instant;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
    } cases[] = {
        {"1 s series over the autumn change",
         {{wall(2024, 10, 27, 2, 59, 58), true, kAutumnChange - 2},
          {wall(2024, 10, 27, 2, 59, 59), true, kAutumnChange - 1},
          {wall(2024, 10, 27, 2, 0, 0), true, kAutumnChange},
          {wall(2024, 10, 27, 2, 0, 1), true, kAutumnChange + 1}}},
        {"a step back within the second pass is refused",
         {{wall(2024, 10, 27, 2, 59, 59), true, kAutumnChange - 1},
          {wall(2024, 10, 27, 2, 10), true, kAutumnChange + 600},
          {wall(2024, 10, 27, 2, 5), false, 0}}},
        {"a step back on an ordinary day is refused",
         {{wall(2024, 5, 2, 10, 0), true, 1714636800}, {wall(2024, 5, 2, 9, 59), false, 0}}},
        {"times in the spring gap never run backwards",
         {{wall(2024, 3, 31, 1, 59, 59), true, kSpringChange - 1},
          {wall(2024, 3, 31, 2, 10), true, kSpringChange},
          {wall(2024, 3, 31, 3, 0), true, kSpringChange},
          {wall(2024, 3, 31, 3, 0, 1), true, kSpringChange + 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InstantSequence sequence(berlin());
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            SCOPED_TRACE(i);
            double instant = 0;
            ASSERT_EQ(sequence.next(c.steps[i].wallSeconds, instant), c.steps[i].accepted);
            if (c.steps[i].accepted) {
                EXPECT_EQ(instant, c.steps[i].instant);
            }
        }
    }
}

// Walks the cells from one wall time to another and checks that they tile the time: each
// cell's start is what cellStart gives inside it.
std::vector<double> cellsBetween(const LocalClock& clock, double from, double to, int length,
                                 int origin) {
    std::vector<double> starts;
    for (double t = clock.cellStart(from, length, origin); t < to;) {
        starts.push_back(t);
        const double next = clock.nextCellStart(t, length, origin);
        EXPECT_GT(next, t);
        EXPECT_EQ(clock.cellStart(next - 0.001, length, origin), t) << "cell at " << t;
        EXPECT_EQ(clock.cellStart(t, length, origin), t);
        t = next;
    }
    return starts;
}

TEST(WallClock, CellsFollowTheWallClockAcrossChanges) {
    const LocalClock kolkata(QTimeZone("Asia/Kolkata"));
    const LocalClock utc(QTimeZone::utc());
    struct Case {
        const char* name;
        const LocalClock& clock;
        double from, to;  // instants
        int length, origin;
        std::size_t cells;
        double firstLength;  // seconds
    } cases[] = {
        // 2024-10-27 00:00 CEST .. 2024-10-28 00:00 CET: 25 hours.
        {"hours of the autumn day", berlin(), 1729980000, 1730070000, 3600, 0, 25, 3600},
        {"quarters of the autumn day", berlin(), 1729980000, 1730070000, 900, 0, 100, 900},
        {"minutes of the autumn day", berlin(), 1729980000, 1730070000, 60, 0, 1500, 60},
        // 2024-03-31 00:00 CET .. 2024-04-01 00:00 CEST: 23 hours.
        {"hours of the spring day", berlin(), 1711839600, 1711922400, 3600, 0, 23, 3600},
        {"half hours of the spring day", berlin(), 1711839600, 1711922400, 1800, 0, 46, 1800},
        // Days from 07:00: 2024-10-26 07:00 CEST .. 10-27 07:00 CET is 25 h.
        {"the day from 07:00 over the autumn change", berlin(), 1729918800, 1730008800, 86400,
         25200, 1, 25 * 3600},
        {"the day from 07:00 over the spring change", berlin(), 1711778400, 1711861200, 86400,
         25200, 1, 23 * 3600},
        {"hours at +05:30", kolkata, 1717180200, 1717266600, 3600, 0, 24, 3600},
        {"the day from 07:00 at +05:30", kolkata, 1717205400, 1717291800, 86400, 25200, 1, 86400},
        {"hours in UTC", utc, 1717200000, 1717286400, 3600, 0, 24, 3600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<double> starts = cellsBetween(c.clock, c.from, c.to, c.length, c.origin);
        ASSERT_EQ(starts.size(), c.cells);
        EXPECT_EQ(starts.front(), c.from);
        EXPECT_EQ(c.clock.nextCellStart(c.from, c.length, c.origin) - c.from, c.firstLength);
        EXPECT_EQ(c.clock.nextCellStart(starts.back(), c.length, c.origin), c.to);
    }
    // The repeated hour is two cells with the same wall-clock bounds.
    EXPECT_EQ(berlin().cellStart(kAutumnChange - 1800, 3600), kAutumnChange - 3600);
    EXPECT_EQ(berlin().nextCellStart(kAutumnChange - 1800, 3600), kAutumnChange);
    EXPECT_EQ(berlin().cellStart(kAutumnChange + 1800, 3600), kAutumnChange);
    EXPECT_EQ(berlin().nextCellStart(kAutumnChange - 600, 1800), kAutumnChange);
    EXPECT_EQ(berlin().wallOf(kAutumnChange - 3600), berlin().wallOf(kAutumnChange));
}

TEST(WallClock, CellsTileTheTimeWhereTheClocksChangeByHalfAnHour) {
    // Lord Howe Island: +11:00 to +10:30 on 2024-04-06 15:00Z, back on 2024-10-05 15:30Z.
    const LocalClock lordHowe(QTimeZone("Australia/Lord_Howe"));
    for (int length : {60, 1800, 3600, 86400}) {
        SCOPED_TRACE(length);
        for (double from : {1712325600.0, 1727964000.0}) {  // two days around each change
            const std::vector<double> starts =
                cellsBetween(lordHowe, from, from + 2 * 86400, length, 7 * 3600);
            ASSERT_FALSE(starts.empty());
        }
    }
}

TEST(WallClock, IsoTextWithAndWithoutOffset) {
    const LocalClock kolkata(QTimeZone("Asia/Kolkata"));
    const LocalClock newYork(QTimeZone("America/New_York"));
    struct Case {
        const char* name;
        const LocalClock& clock;
        double instant;
        bool withMs;
        const char* text;
    } cases[] = {
        {"summer time", berlin(), kAutumnChange - 1, false, "2024-10-27T02:59:59+02:00"},
        {"the repeated hour", berlin(), kAutumnChange, false, "2024-10-27T02:00:00+01:00"},
        {"milliseconds shown", berlin(), kAutumnChange + 0.25, false,
         "2024-10-27T02:00:00.250+01:00"},
        {"milliseconds asked for", berlin(), kAutumnChange, true, "2024-10-27T02:00:00.000+01:00"},
        {"half an hour", kolkata, 1717205400, false, "2024-06-01T07:00:00+05:30"},
        {"west of Greenwich", newYork, 1720108800, false, "2024-07-04T12:00:00-04:00"},
        {"before 1970", LocalClock(QTimeZone::utc()), -2209226400.0, false,
         "1899-12-29T06:00:00+00:00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(isoInstantText(c.instant, c.clock, c.withMs), QString::fromLatin1(c.text));
        const std::optional<IsoTime> back = parseIsoTime(QString::fromLatin1(c.text));
        ASSERT_TRUE(back);
        EXPECT_TRUE(back->hasOffset);
        EXPECT_EQ(back->seconds, c.instant);
    }
    EXPECT_EQ(isoWallText(wall(2024, 4, 13, 9, 20, 31)), QStringLiteral("2024-04-13T09:20:31"));
    EXPECT_EQ(isoWallText(wall(2024, 4, 13, 9, 20, 31), true),
              QStringLiteral("2024-04-13T09:20:31.000"));
}

TEST(WallClock, ParsesIsoTimes) {
    struct Case {
        const char* name;
        const char* text;
        std::optional<double> seconds;
        bool hasOffset;
    } cases[] = {
        {"wall time", "2024-10-27T02:00:00", wall(2024, 10, 27, 2, 0), false},
        {"wall time without seconds, blank for T", "2024-10-27 02:00", wall(2024, 10, 27, 2, 0),
         false},
        {"Z", "2024-10-27T01:00:00Z", kAutumnChange, true},
        {"offset without colon", "2024-10-27T02:00:00+0100", kAutumnChange, true},
        {"milliseconds", "2024-10-27T01:00:00.5Z", kAutumnChange + 0.5, true},
        {"decimals rounded to the millisecond", "2024-10-27T01:00:00.12349Z", kAutumnChange + 0.123,
         true},
        {"leap day", "2024-02-29T00:00:00", wall(2024, 2, 29, 0, 0), false},
        {"not a leap day", "2023-02-29T00:00:00", {}, false},
        {"a date only", "2024-10-27", {}, false},
        {"hour 24", "2024-10-27T24:00:00", {}, false},
        {"a short offset", "2024-10-27T02:00:00+1", {}, false},
        {"text after it", "2024-10-27T02:00:00 x", {}, false},
        {"a decimal point without decimals", "2024-10-27T02:00:00.", {}, false},
        {"empty", "", {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<IsoTime> t = parseIsoTime(QString::fromLatin1(c.text));
        ASSERT_EQ(t.has_value(), c.seconds.has_value());
        if (!t) continue;
        EXPECT_EQ(t->seconds, *c.seconds);
        EXPECT_EQ(t->hasOffset, c.hasOffset);
    }
}

TEST(WallClock, TimesOfDay) {
    struct Case {
        const char* name;
        const char* text;
        std::optional<int> seconds;
    } cases[] = {
        {"hours and minutes", "07:00", 25200},
        {"one-digit hour", "7:00", 25200},
        {"seconds", "23:59:59", 86399},
        {"midnight", " 00:00 ", 0},
        {"hour 24", "24:00", {}},
        {"minute 60", "07:60", {}},
        {"no minutes", "7", {}},
        {"a colon too many", "07:00:", {}},
        {"letters", "ab:cd", {}},
        {"text after it", "07:00 x", {}},
        {"three-digit hour", "007:00", {}},
        {"empty", "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(parseTimeOfDay(QString::fromLatin1(c.text)), c.seconds);
    }
    EXPECT_EQ(timeOfDayText(25200), QStringLiteral("07:00"));
    EXPECT_EQ(timeOfDayText(25230), QStringLiteral("07:00:30"));
    EXPECT_EQ(timeOfDayText(0), QStringLiteral("00:00"));
}

TEST(MeasuredSeries, SerialPointsBecomeInstantsWithGaps) {
    const LocalClock utc(QTimeZone::utc());
    const double t0 = serialOfWallSeconds(1e9);
    const double second = kOneSecond;
    const std::vector<double> times{t0, 0, t0 + second, std::nan(""), t0 + 2 * second};
    const std::vector<float> levels{60, 61, 9999, 63, std::nanf("")};
    const MeasuredSeries s = measuredSeriesOfSerials(times, levels, 9999, utc);
    ASSERT_TRUE(s.ok());
    EXPECT_EQ(s.times, (std::vector<double>{1e9, 1e9 + 1, 1e9 + 2}));
    EXPECT_EQ(s.sourceIndex, (std::vector<std::size_t>{0, 2, 4}));
    EXPECT_EQ(s.levels[0], 60);
    EXPECT_TRUE(std::isnan(s.levels[1]));
    EXPECT_TRUE(std::isnan(s.levels[2]));

    const std::vector<double> backwards{t0, t0 + second, t0};
    const MeasuredSeries refused =
        measuredSeriesOfSerials(backwards, std::vector<float>{1, 2, 3}, 9999, utc);
    EXPECT_EQ(refused.error, QStringLiteral("point 3: the time goes backwards"));
}

TEST(MeasuredSeries, BuilderMixesWallTimesAndInstants) {
    MeasuredSeriesBuilder b(berlin());
    EXPECT_TRUE(b.addWall(wall(2024, 10, 27, 2, 59, 59), 50, 0, 1));
    EXPECT_TRUE(b.addInstant(kAutumnChange, 51, 1, 2));  // 02:00:00+01:00
    EXPECT_TRUE(b.addWall(wall(2024, 10, 27, 2, 0, 1), 52, 2, 3));
    EXPECT_FALSE(b.addInstant(kAutumnChange, 53, 3, 4));
    const MeasuredSeries s = b.take();
    EXPECT_EQ(s.times, (std::vector<double>{kAutumnChange - 1, kAutumnChange, kAutumnChange + 1}));
    EXPECT_EQ(s.error, QStringLiteral("row 4: the time goes backwards"));
}
