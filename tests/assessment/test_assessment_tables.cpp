#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "assessment/AssessmentChoices.h"
#include "assessment/AssessmentOptions.h"
#include "assessment/AssessmentTables.h"
#include "assessment/ExceedanceDetector.h"
#include "assessment/NoiseAssessment.h"
#include "levels/LevelArithmetic.h"
#include "platform/Settings.h"

using namespace kl516;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

}  // namespace

// One name per interval, and every name (and the short forms of the command line) reads back.
TEST(AssessmentOptions, IntervalNamesReadBack) {
    struct Case {
        int seconds;
        const char* name;
    };
    const Case named[] = {{60, "1 min"},    {300, "5 min"}, {600, "10 min"}, {900, "15 min"},
                          {1800, "30 min"}, {3600, "1 h"},  {86400, "24 h"}};
    for (const Case& c : named) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(intervalName(c.seconds), QLatin1String(c.name));
        EXPECT_EQ(parseInterval(QString::fromLatin1(c.name)), c.seconds);
    }
    EXPECT_EQ(offeredIntervalNames(), "1 min, 5 min, 10 min, 15 min, 30 min, 1 h or 24 h");
    EXPECT_EQ(intervalName(20), "20 s");

    struct Spelling {
        const char* text;
        std::optional<int> seconds;
    };
    const Spelling spellings[] = {
        {"15m", 900},    {"15min", 900}, {"60m", 3600},        {"1h", 3600},
        {"1H", 3600},    {"24h", 86400}, {"900", 900},         {"900 s", 900},
        {" 1 h ", 3600}, {"0.25h", 900}, {"7m", {}},           {"0", {}},
        {"15x", {}},     {"", {}},       {"1  h", {}},         {"-1h", {}},
        {"1.5 min", {}}, {"1e3", {}},    {"99999999999h", {}},
    };
    for (const Spelling& s : spellings) {
        SCOPED_TRACE(s.text);
        EXPECT_EQ(parseInterval(QString::fromLatin1(s.text)), s.seconds);
    }
    EXPECT_EQ(parseDuration(u"2 m"), 120.0);
    EXPECT_EQ(parseDuration(u"1.5h"), 5400.0);
    EXPECT_EQ(parseDuration(u"10"), 10.0);
}

TEST(AssessmentOptions, ChecksSayWhatIsWrong) {
    struct Case {
        const char* name;
        AssessmentOptions options;
        const char* says;  // empty: accepted
    };
    const auto with = [](auto change) {
        AssessmentOptions o;
        change(o);
        return o;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {"defaults", {}, ""},
        {"20 s intervals", with([](AssessmentOptions& o) { o.intervalSeconds = 20; }), ""},
        {"7 min intervals", with([](AssessmentOptions& o) { o.intervalSeconds = 420; }),
         "does not divide 24 hours"},
        {"threshold 200", with([](AssessmentOptions& o) { o.threshold = 200; }), ""},
        {"threshold above 200", with([](AssessmentOptions& o) { o.threshold = 200.1; }),
         "the threshold 200.1 dB is outside 0 .. 200 dB"},
        {"threshold NaN", with([=](AssessmentOptions& o) { o.threshold = nan; }), "threshold"},
        {"a day's minimum", with([](AssessmentOptions& o) { o.minDurationSeconds = 86400; }), ""},
        {"minimum above a day", with([](AssessmentOptions& o) { o.minDurationSeconds = 86401; }),
         "the minimum duration 86401 s is outside 0 .. 86400 s"},
        {"negative minimum", with([](AssessmentOptions& o) { o.minDurationSeconds = -1; }),
         "minimum duration"},
        {"night after midnight", with([](AssessmentOptions& o) {
             o.periods = {7 * 3600, 19 * 3600, 1800, 23 * 3600};
         }),
         ""},
        {"evening before the day",
         with([](AssessmentOptions& o) { o.periods.eveningStart = 6 * 3600 + 30 * 60; }),
         "the day periods are not in order: day 07:00, evening 06:30, night 23:00"},
        {"Ldn night with the day",
         with([](AssessmentOptions& o) { o.periods.ldnNightStart = 7 * 3600; }),
         "the night of Ldn starts at 07:00, with the day"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<QString> message = checkAssessmentOptions(c.options);
        if (*c.says == 0) {
            EXPECT_FALSE(message) << message->toStdString();
        } else {
            ASSERT_TRUE(message);
            EXPECT_TRUE(message->contains(QLatin1String(c.says))) << message->toStdString();
        }
    }
    // What the user may choose: the offered intervals and the automatic one, no other.
    EXPECT_FALSE(checkChosenInterval(0));
    EXPECT_FALSE(checkChosenInterval(900));
    ASSERT_TRUE(checkChosenInterval(20));
    EXPECT_EQ(*checkChosenInterval(20),
              "the interval is 1 min, 5 min, 10 min, 15 min, 30 min, 1 h or 24 h, not 20 s");
}

// The window's remembered choices go through the same checks when read back: a value refused
// reads as its default, the others as stored.
TEST(AssessmentChoicesStore, RefusedValuesReadAsTheirDefaults) {
    QTemporaryDir dir;
    QSettings store(dir.filePath("s.ini"), settingsFormat());
    const AssessmentOptions defaults;
    const struct {
        const char* name;
        std::vector<std::pair<const char*, const char*>> values;
    } bad[] = {
        {"interval not dividing a day", {{"Assessment/Interval", "7"}}},
        {"interval not offered", {{"Assessment/Interval", "20"}}},
        {"interval of an hour and a second", {{"Assessment/Interval", "3601"}}},
        {"interval not a number", {{"Assessment/Interval", "hourly"}}},
        {"threshold above 200", {{"Assessment/Threshold", "200.5"}}},
        {"threshold below 0", {{"Assessment/Threshold", "-1"}}},
        {"threshold infinite", {{"Assessment/Threshold", "inf"}}},
        {"negative duration", {{"Assessment/MinimumDuration", "-3"}}},
        {"duration above a day", {{"Assessment/MinimumDuration", "90000"}}},
        {"no time of day", {{"Assessment/DayStart", "25:00"}}},
        {"no time at all", {{"Assessment/NightStart", "late"}}},
        {"periods out of order",
         {{"Assessment/EveningStart", "06:00"}, {"Assessment/NightStart", "22:30"}}},
    };
    for (const auto& b : bad) {
        SCOPED_TRACE(b.name);
        store.clear();
        for (const auto& [key, text] : b.values) store.setValue(key, text);
        const AssessmentOptions c = readAssessmentChoices(store);
        EXPECT_EQ(c.intervalSeconds, defaults.intervalSeconds);
        EXPECT_EQ(c.threshold, defaults.threshold);
        EXPECT_EQ(c.minDurationSeconds, defaults.minDurationSeconds);
        EXPECT_EQ(c.periods.dayStart, defaults.periods.dayStart);
        EXPECT_EQ(c.periods.eveningStart, defaults.periods.eveningStart);
        EXPECT_EQ(c.periods.nightStart, defaults.periods.nightStart);
    }
    store.clear();
    AssessmentOptions c;
    c.intervalSeconds = 86400;
    c.threshold = 65.5;
    c.minDurationSeconds = 10;
    c.periods.nightStart = 22 * 3600 + 30 * 60;
    c.periods.ldnNightStart = 21 * 3600 + 15 * 60 + 30;
    writeAssessmentChoices(store, c);
    EXPECT_EQ(store.value("Assessment/NightStart").toString(), "22:30");
    EXPECT_EQ(store.value("Assessment/LdnNightStart").toString(), "21:15:30");
    const AssessmentOptions back = readAssessmentChoices(store);
    EXPECT_EQ(back.intervalSeconds, 86400);
    EXPECT_EQ(back.threshold, 65.5);
    EXPECT_EQ(back.minDurationSeconds, 10);
    EXPECT_EQ(back.periods.nightStart, c.periods.nightStart);
    EXPECT_EQ(back.periods.ldnNightStart, c.periods.ldnNightStart);
}

// The exceedances of a small uneven series as the assessment feeds them: each sample weighs the
// time to the next, at most twice the typical spacing (1 s here). Worked out independently in
// python3 from the definitions:
//   times  0  1  2  3  4  6  7  7  8 14 15 16  17 18
//   levels 60 72 75 71 69 80 82 90 81 77 76 -  78 60
//   weights 1  1  1  1  2  1  0  1  2  1  1 (1) 1  1
//   events above 70: 1 s 3 s Lmax 75 Leq 73.01471; 6 s 3 s Lmax 90 Leq 85.288477 (the gap
//   8 -> 14 ends it); 14 s 2 s Lmax 77 Leq 76.528719 (no level at 16 ends it); 17 s 1 s 78.
//   Measured 14 s; above 9 s = 64.2857 %; with a minimum of 2 s the last is left out (8 s).
TEST(ExceedanceDetector, RunsOfAnUnevenSeriesAsAPythonComputationGivesThem) {
    AssessmentSeries series;
    series.times = {0, 1, 2, 3, 4, 6, 7, 7, 8, 14, 15, 16, 17, 18};
    series.levels = {60, 72, 75, 71, 69, 80, 82, 90, 81, 77, 76, kNaN, 78, 60};
    for (double& t : series.times) t += 19737.0 * 86400 + 10 * 3600;  // 2024-01-15 10:00
    const double t0 = series.times.front();
    struct Expected {
        double start, duration, lmax, leq;
        int64_t samples;
    };
    struct Case {
        const char* name;
        double minDuration;
        std::vector<Expected> events;
        double above, percent;
    };
    const Case cases[] = {
        {"every run",
         0,
         {{1, 3, 75, 73.01471, 3},
          {6, 3, 90, 85.288477, 4},
          {14, 2, 77, 76.528719, 2},
          {17, 1, 78, 78, 1}},
         9,
         64.285714},
        {"at least 2 s",
         2,
         {{1, 3, 75, 73.01471, 3}, {6, 3, 90, 85.288477, 4}, {14, 2, 77, 76.528719, 2}},
         8,
         57.142857},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AssessmentOptions options;
        options.minDurationSeconds = c.minDuration;
        const AssessmentOutcome out = assessNoise(series, options);
        ASSERT_TRUE(out.assessment) << out.error->message.toStdString();
        const ExceedanceResult& x = out.assessment->exceedances;
        ASSERT_EQ(x.events.size(), c.events.size());
        for (std::size_t i = 0; i < x.events.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_DOUBLE_EQ(x.events[i].start - t0, c.events[i].start);
            EXPECT_DOUBLE_EQ(x.events[i].duration, c.events[i].duration);
            EXPECT_EQ(x.events[i].lmax, c.events[i].lmax);
            EXPECT_NEAR(x.events[i].leq, c.events[i].leq, 1e-6);
            EXPECT_EQ(x.events[i].samples, c.events[i].samples);
        }
        EXPECT_DOUBLE_EQ(x.measuredSeconds, 14);
        EXPECT_DOUBLE_EQ(x.secondsAbove, c.above);
        EXPECT_NEAR(x.percentAbove, c.percent, 1e-6);
    }
}

// Fed by hand: a time before the previous one (a clock set back) ends a run; samples that all
// weigh nothing give the loudest level as the Leq; nothing measured is 0 % above.
TEST(ExceedanceDetector, ClockSetBackAndWeightlessSamples) {
    ExceedanceDetector d(70, 0, 1);
    EXPECT_EQ(d.percentAbove(), 0);
    EXPECT_FALSE(d.add(100, 80, 1));
    EXPECT_FALSE(d.add(101, 80, 1));
    const auto back = d.add(50, 75, 0);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->start, 100);
    EXPECT_EQ(back->duration, 2);
    const auto weightless = d.end();
    ASSERT_TRUE(weightless);
    EXPECT_EQ(weightless->start, 50);
    EXPECT_EQ(weightless->leq, 75);
    EXPECT_DOUBLE_EQ(d.measuredSeconds(), 2);
    EXPECT_DOUBLE_EQ(d.secondsAbove(), 3);
    EXPECT_DOUBLE_EQ(d.percentAbove(), 100);  // at most 100
    EXPECT_FALSE(d.end());
}

// Every table has as many cells in a row as columns, and each cell is written as its column's
// kind says: levels by the one rounding, percentages with one decimal, seconds to the
// millisecond, the status as a word, a missing figure as the output wants it.
TEST(AssessmentTables, CellsFollowTheirColumns) {
    AssessmentSeries series;
    for (int i = 0; i < 120; ++i) {
        series.times.push_back(19737.0 * 86400 + 7 * 3600 + i * 30.0);
        series.levels.push_back(i < 3 ? 75.4f : 60.0f);
    }
    AssessmentOptions options;
    options.intervalSeconds = 3600;
    options.minDurationSeconds = 0.25;
    const AssessmentOutcome out = assessNoise(series, options);
    ASSERT_TRUE(out.assessment);
    const Assessment& a = *out.assessment;
    for (AssessmentTable table : {AssessmentTable::Intervals, AssessmentTable::Periods,
                                  AssessmentTable::Events, AssessmentTable::Totals}) {
        SCOPED_TRACE(int(table));
        const std::vector<AssessmentColumn>& columns = assessmentColumns(table);
        EXPECT_EQ(columnTitles(table).size(), qsizetype(columns.size()));
        EXPECT_EQ(columnTitles(table).removeDuplicates(), 0);
        EXPECT_EQ(columnCsvNames(table).removeDuplicates(), 0);
        const std::vector<AssessmentCells> rows = tableCells(a, table);
        ASSERT_FALSE(rows.empty());
        for (const AssessmentCells& row : rows) {
            ASSERT_EQ(row.size(), columns.size());
            for (std::size_t c = 0; c < row.size(); ++c) EXPECT_EQ(row[c].kind, columns[c].kind);
        }
    }
    const CellFormat comma{[](double t) { return QString::number(t - 19737.0 * 86400); },
                           QLocale(QLocale::German, QLocale::Germany), QStringLiteral("-")};
    // 07:00-08:00: three samples of 75.4 dB and 117 of 60 dB, 30 s each:
    // 10 lg((3·10^7.54 + 117·10^6) / 120) = 62.65 (python3); L10 60; the hour 100 % covered.
    EXPECT_EQ(cellTexts(tableCells(a, AssessmentTable::Intervals)[0], comma),
              (QStringList{"25200", "28800", "62,7", "75,4", "60,0", "60,0", "60,0", "60,0", "120",
                           "100,0"}));
    // The day from 07:00: one of its 12 hours; no evening, no night.
    EXPECT_EQ(
        cellTexts(tableCells(a, AssessmentTable::Periods)[0], comma),
        (QStringList{"25200", "62,7", "-", "-", "-", "-", "8,3", "0,0", "0,0", "incomplete"}));
    // The run of three samples: 60 s + 30 s; above for 90 of 3600 s measured.
    EXPECT_EQ(cellTexts(tableCells(a, AssessmentTable::Events)[0], comma),
              (QStringList{"25200", "90,0", "75,4", "75,4"}));
    EXPECT_EQ(cellTexts(tableCells(a, AssessmentTable::Totals)[0], CellFormat{}),
              (QStringList{"1", "90.0", "2.5", "3600.0"}));

    EXPECT_EQ(statusText(true), "complete");
    const struct {
        double seconds;
        const char* text;
    } durations[] = {
        {60, "60.0"}, {0.25, "0.25"}, {1.2345, "1.235"}, {1e6, "1000000.0"}, {0, "0.0"}};
    for (const auto& d : durations) {
        SCOPED_TRACE(d.text);
        EXPECT_EQ(secondsText(d.seconds), QLatin1String(d.text));
    }
    EXPECT_EQ(secondsText(0.5, QLocale(QLocale::German, QLocale::Germany)), "0,5");
}
