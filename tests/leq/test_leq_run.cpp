#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "formats/TableText.h"
#include "leq/LeqRun.h"

using namespace kl516;

namespace {

const QDateTime kComputerNow(QDate(2024, 3, 1), QTime(12, 34, 56, 789));

// A status frame carrying a level and a BCD meter clock.
ResponseFrame frame(int tenths, int sec, int min = 0, int hour = 10, int day = 15, int month = 1,
                    int year = 24) {
    ResponseFrame f{};
    f[0] = kFrameStart;
    f[5] = uint8_t(tenths >> 8);
    f[6] = uint8_t(tenths & 0xFF);
    f[15] = toBcd(sec);
    f[16] = toBcd(min);
    f[17] = toBcd(hour);
    f[18] = toBcd(day);
    f[19] = toBcd(month);
    f[21] = toBcd(year);
    f[31] = kFrameEnd;
    return f;
}

LeqReading reading(int tenths, int sec) {
    return leqReadingFromFrame(frame(tenths, sec), kComputerNow);
}

struct Step {
    int tenths;
    int sec;
    int64_t tickMs = -1;  // the computer's clock; -1: 40 ms after the reading before
};

// Runs the readings through a run of `seconds` and returns the rows it closed.
std::vector<LeqRow> rowsOf(const std::vector<Step>& steps, int seconds = 100) {
    LeqRun run;
    run.start(seconds);
    std::vector<LeqRow> rows;
    int64_t tick = 0;
    for (const Step& s : steps) {
        LeqReading r = reading(s.tenths, s.sec);
        tick = s.tickMs >= 0 ? s.tickMs : tick + 40;
        r.tickMs = tick;
        const LeqRun::Outcome o = run.add(r);
        if (o == LeqRun::Outcome::RowClosed || o == LeqRun::Outcome::Ended)
            rows.insert(rows.end(), run.closedRows().begin(), run.closedRows().end());
    }
    return rows;
}

struct RowCase {
    const char* name;
    std::vector<Step> readings;
    // Expected per row: SPL and Leq in tenths of a dB after rounding to one decimal, or -1 for
    // a row without a level.
    std::vector<std::pair<int, int>> rows;
};

int tenthsOf(float v) {
    return int(std::lround(double(v) * 10));
}

// 25 readings in one second, 50 and 80 dB by turns (13 of 50 dB).
std::vector<Step> alternating() {
    std::vector<Step> steps;
    for (int i = 0; i < 25; ++i) steps.push_back({i % 2 == 0 ? 500 : 800, 0});
    steps.push_back({0, 1});
    return steps;
}

// Expected values from python3: 10 lg of the mean of 10^(L/10) for a second, and the running
// Leq, the same energy mean over the seconds that have a level.
TEST(LeqRun, ReadingSequencesGiveRows) {
    const std::vector<RowCase> cases = {
        // 10 lg((13 * 1e5 + 12 * 1e8) / 25) = 76.8; the mean of the dB values would be 65.0.
        {"energy mean of a second", alternating(), {{768, 768}}},
        // The first reading of a run is the first second's only reading.
        {"60 then 70", {{600, 0}, {700, 1}, {700, 1}, {5, 2}}, {{600, 600}, {700, 674}}},
        // The reading that reveals a new second counts in it: 10 lg((1e9 + 1e8) / 2) = 87.4.
        {"boundary reading counts",
         {{800, 0}, {900, 1}, {800, 1}, {0, 2}},
         {{800, 800}, {874, 851}}},
        // Levels 0 and 6553.5 dB in one second: 6553.5 + 10 lg(1/2); the sum does not overflow.
        {"widest levels in a second", {{0, 0}, {65535, 0}, {0, 1}}, {{65505, 65505}}},
        // The meter's clock went from second 0 to 2 while 1.5 s passed: second 1 had no
        // reading. It is an empty row and not weighed: 10 lg((1e6 + 1e7) / 2) = 67.4, not
        // the 66.0 of counting it with the running Leq.
        {"skipped second",
         {{600, 0, 0}, {700, 2, 1500}, {0, 3, 2500}},
         {{600, 600}, {-1, -1}, {700, 674}}},
        // The clock jumped 30 s within 40 ms (set during the run): one second change, no gap.
        {"clock set forward",
         {{600, 0, 0}, {700, 30, 40}, {0, 31, 1040}},
         {{600, 600}, {700, 674}}},
        {"first reading only", {{600, 5}}, {}},
        // A second of 6553.5 dB after one of 60: the running Leq is 6553.5 + 10 lg(1/2), its
        // energies kept relative to the loudest so that nothing overflows.
        {"loudest level in the running Leq",
         {{600, 0}, {65535, 1}, {65535, 1}, {1, 2}},
         {{600, 600}, {65535, 65505}}},
    };
    for (const RowCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<LeqRow> rows = rowsOf(c.readings);
        ASSERT_EQ(rows.size(), c.rows.size());
        for (size_t i = 0; i < rows.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "row " << i + 1);
            EXPECT_EQ(rows[i].number, int(i) + 1);
            if (c.rows[i].first < 0) {
                EXPECT_FALSE(rows[i].hasLevel);
                EXPECT_EQ(rows[i].samples, 0);
                continue;
            }
            ASSERT_TRUE(rows[i].hasLevel);
            EXPECT_EQ(tenthsOf(rows[i].spl), c.rows[i].first);
            EXPECT_EQ(tenthsOf(rows[i].leq), c.rows[i].second);
        }
    }
}

// No reading is dropped: every reading of a run is counted in a row, but those of the second
// still open when the run ends.
TEST(LeqRun, EveryReadingCountsAndSkippedSecondsAreRows) {
    LeqRun run;
    run.start(5);
    std::vector<LeqRow> rows;
    int64_t tick = 0;
    const auto add = [&](int tenths, int sec, int64_t gapMs = 40) {
        LeqReading r = reading(tenths, sec);
        r.tickMs = tick += gapMs;
        const LeqRun::Outcome o = run.add(r);
        rows.insert(rows.end(), run.closedRows().begin(), run.closedRows().end());
        return o;
    };
    for (int i = 0; i < 3; ++i) add(600, 10);
    for (int i = 0; i < 7; ++i) add(600, 11);
    // Two seconds skipped: their rows are labelled with their own times and close with the
    // second before them in one outcome.
    EXPECT_EQ(add(700, 14, 2500), LeqRun::Outcome::RowClosed);
    ASSERT_EQ(rows.size(), 4u);
    const QLocale uk(QLocale::English, QLocale::UnitedKingdom);
    EXPECT_EQ(rows[2].cells(uk), (QStringList{"15/01/2024", "10:00:12", "", ""}));
    EXPECT_EQ(rows[3].cells(uk)[1], QStringLiteral("10:00:13"));
    EXPECT_EQ(add(0, 15), LeqRun::Outcome::Ended);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[4].samples, 1);
    EXPECT_FLOAT_EQ(rows[4].spl, 70.0f);
    int samples = 0;
    for (const LeqRow& r : rows) samples += r.samples;
    EXPECT_EQ(samples, 11);  // all but the reading of second 15, after the run
    EXPECT_EQ(run.secondCount(), 5);
    EXPECT_EQ(run.levelSeconds(), 3);
    EXPECT_EQ(run.secondsLeft(), 0);
    EXPECT_FALSE(run.running());

    // Skipped seconds past the end of the run are not added.
    LeqRun shortRun;
    shortRun.start(2);
    LeqReading first = reading(600, 0), late = reading(600, 5);
    late.tickMs = 5000;
    shortRun.add(first);
    EXPECT_EQ(shortRun.add(late), LeqRun::Outcome::Ended);
    EXPECT_EQ(shortRun.closedRows().size(), 2u);
}

TEST(LeqRun, TheRunningLeqIsTheEnergyMeanOfTheSecondsSoFar) {
    // Seconds of 60, 70, 70 and 6553.5 dB (the highest level a frame carries). python3:
    // 10*log10((10**6 + 10**7) / 2) = 67.4036, 10*log10((10**6 + 2 * 10**7) / 3) = 68.4510, and
    // with the loud second, relative to it, 6547.4794: no overflow.
    LeqRun run;
    run.start(10);
    const int tenths[] = {600, 700, 700, 65535, 600};
    std::vector<float> leqs;
    for (int sec = 0; sec < 5; ++sec) {
        run.add(reading(tenths[sec], sec));
        for (const LeqRow& row : run.closedRows()) leqs.push_back(row.leq);
    }
    ASSERT_EQ(leqs.size(), 4u);
    EXPECT_FLOAT_EQ(leqs[0], 60.0f);
    EXPECT_NEAR(leqs[1], 67.4036, 1e-4);
    EXPECT_NEAR(leqs[2], 68.4510, 1e-4);
    EXPECT_NEAR(leqs[3], 6547.4794, 1e-3);
    EXPECT_FLOAT_EQ(run.leq(), leqs[3]);
}

TEST(LeqRun, RowIsLabelledWithTheMeterClockOfItsFirstReading) {
    LeqRun run;
    run.start(10);
    run.add(leqReadingFromFrame(frame(600, 59, 59, 23, 31, 12, 9), kComputerNow));
    run.add(leqReadingFromFrame(frame(600, 59, 59, 23, 31, 12, 9), kComputerNow));
    ASSERT_EQ(run.add(leqReadingFromFrame(frame(600, 0, 0, 0, 1, 1, 10), kComputerNow)),
              LeqRun::Outcome::RowClosed);
    ASSERT_EQ(run.closedRows().size(), 1u);
    const QLocale uk(QLocale::English, QLocale::UnitedKingdom);
    const QStringList cells = run.closedRows()[0].cells(uk);
    EXPECT_EQ(cells[0], QStringLiteral("31/12/2009"));
    EXPECT_EQ(cells[1], QStringLiteral("23:59:59"));
}

TEST(LeqRun, InvalidClockBytesUseTheComputersTime) {
    struct Bad {
        int byte;
        uint8_t value;
    };
    // A nibble above 9, an impossible date, an impossible time.
    for (const Bad b : {Bad{15, 0x5A}, Bad{18, 0x31}, Bad{19, 0x13}, Bad{17, 0x24}, Bad{21, 0xF0}}) {
        SCOPED_TRACE(b.byte);
        ResponseFrame f = frame(600, 10, 20, 10, 30, 1, 24);
        if (b.byte == 18) f[19] = 0x02;  // 31 February
        f[b.byte] = b.value;
        const LeqReading r = leqReadingFromFrame(f, kComputerNow);
        EXPECT_FALSE(r.meterClock);
        EXPECT_EQ(fromSerialDateTime(r.stamp), QDateTime(QDate(2024, 3, 1), QTime(12, 34, 56)));
        EXPECT_EQ(r.secondByte, f[15]);  // the raw byte still paces the rows
    }
    EXPECT_TRUE(leqReadingFromFrame(frame(600, 10), kComputerNow).meterClock);
}

TEST(LeqRun, DurationEndsAfterItsSecondChanges) {
    LeqRun run;
    run.start(3);
    run.add(reading(600, 0));
    std::vector<LeqRun::Outcome> outcomes;
    for (int s = 1; s <= 3; ++s) outcomes.push_back(run.add(reading(600, s)));
    EXPECT_EQ(outcomes.back(), LeqRun::Outcome::Ended);
    EXPECT_EQ(outcomes[0], LeqRun::Outcome::RowClosed);
    EXPECT_EQ(run.secondsLeft(), 0);
    EXPECT_FALSE(run.running());
    EXPECT_EQ(run.add(reading(600, 4)), LeqRun::Outcome::Idle);
}

TEST(LeqRun, FiftyOneSpreadFailuresEndTheRun) {
    LeqRun run;
    run.start(86400);
    int sec = 0;
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(run.fail(), LeqRun::Outcome::Failed);
        run.add(reading(600, sec++ % 60));  // good reads between do not reset the count
    }
    EXPECT_TRUE(run.running());
    EXPECT_EQ(run.fail(), LeqRun::Outcome::FailedOut);
    EXPECT_FALSE(run.running());
}

TEST(LeqRun, TimeLeftText) {
    EXPECT_EQ(leqTimeLeftText(3725), QStringLiteral("1:2:5"));
    EXPECT_EQ(leqTimeLeftText(0), QStringLiteral("0:0:0"));
    EXPECT_EQ(leqTimeLeftText(545), QStringLiteral("0:9:5"));
    EXPECT_EQ(leqTimeLeftText(86400), QStringLiteral("24:0:0"));
}

TEST(LeqSummary, LevelsAgainstHandComputedValues) {
    // Ten seconds of 81..90 dB and one empty second.
    std::vector<LeqRow> rows;
    for (int i = 0; i < 10; ++i) rows.push_back({i + 1, 0, true, float(90 - i), 0, 3});
    rows.push_back({11, 0, false, 0, 0, 0});
    const LeqSummary s = leqSummary(rows);
    EXPECT_EQ(s.seconds, 11);
    EXPECT_EQ(s.countedSeconds, 10);
    EXPECT_NEAR(s.leq, 86.410678, 1e-6);  // python3: 10 lg(mean of 10^(L/10))
    EXPECT_DOUBLE_EQ(s.lmax, 90);
    EXPECT_DOUBLE_EQ(s.lmin, 81);
    EXPECT_DOUBLE_EQ(s.l10, 89);  // one second of ten lies above
    EXPECT_DOUBLE_EQ(s.l50, 85);  // five lie above
    EXPECT_DOUBLE_EQ(s.l90, 81);  // nine lie above
    // T is the measured time, the ten seconds with a level: 86.41 + 10 dB.
    EXPECT_NEAR(s.sel, 96.410678, 1e-6);
    EXPECT_FALSE(leqSummary({rows.back()}).valid());
}

// The summary kept row by row during a run equals the one computed over the whole table, after
// every row: the ranks move as rows come, and ties and empty seconds must not shift them.
TEST(LeqSummary, RunningSummaryEqualsTheWholeTableAfterEveryRow) {
    auto rowsOf = [](const std::vector<float>& levels) {
        std::vector<LeqRow> rows;
        for (float level : levels)  // a negative level stands for a second without one
            rows.push_back({int(rows.size()) + 1, 0, level >= 0, std::max(level, 0.0f), 0, 1});
        return rows;
    };
    std::vector<float> mixed;  // tenths of a dB with many ties, and now and then an empty second
    uint32_t seed = 12345;
    for (int i = 0; i < 400; ++i) {
        seed = seed * 1664525u + 1013904223u;
        mixed.push_back(i % 37 == 5 ? -1.0f : 55.0f + float((seed >> 16) % 300) / 10.0f);
    }
    const std::vector<std::pair<const char*, std::vector<float>>> cases = {
        {"one row", {72.6f}},
        {"empty first second", {-1, 60.0f, 70.0f}},
        {"falling levels", {90, 89, 88, 87, 86, 85, 84, 83, 82, 81, -1}},
        {"ties", {60, 60, 60, 61.5f, 60, 60}},
        {"rising levels",
         {50.1f, 51.2f, 52.3f, 53.4f, 54.5f, 55.6f, 56.7f, 57.8f, 58.9f, 60.0f, 61.1f, 62.2f}},
        {"400 random rows", mixed},
    };
    for (const auto& [name, levels] : cases) {
        SCOPED_TRACE(name);
        const std::vector<LeqRow> rows = rowsOf(levels);
        RunningLeqSummary running;
        EXPECT_FALSE(running.summary().valid());
        for (size_t n = 1; n <= rows.size(); ++n) {
            running.add(rows[n - 1]);
            const std::vector<LeqRow> prefix(rows.begin(), rows.begin() + qsizetype(n));
            const LeqSummary want = leqSummary(prefix);
            const LeqSummary got = running.summary();
            ASSERT_EQ(got.countedSeconds, want.countedSeconds) << "after row " << n;
            ASSERT_EQ(got.valid(), want.valid());
            ASSERT_EQ(got.seconds, want.seconds);
            ASSERT_EQ(got.lmax, want.lmax) << "after row " << n;
            ASSERT_EQ(got.lmin, want.lmin) << "after row " << n;
            ASSERT_EQ(got.l10, want.l10) << "after row " << n;
            ASSERT_EQ(got.l50, want.l50) << "after row " << n;
            ASSERT_EQ(got.l90, want.l90) << "after row " << n;
            ASSERT_EQ(got.leq, want.leq) << "after row " << n;
            ASSERT_EQ(got.sel, want.sel);
        }
    }
    // A new run starts from nothing.
    RunningLeqSummary running;
    running.add(rowsOf({80})[0]);
    running.clear();
    running.add(rowsOf({60})[0]);
    EXPECT_DOUBLE_EQ(running.summary().lmax, 60);
}

TEST(TableText, SavedLeqTableReadsBackWithSplAndLeqTitles) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("leq.txt"));
    const std::vector<QStringList> table = {{"15/01/2024", "10:00:00", "60.0", "60.0"},
                                            {"15/01/2024", "10:00:01", "", ""}};
    ASSERT_TRUE(writeTableTextFile(path, 2, [&](qint64 r) { return table[size_t(r)]; },
                                   textFileSeparator(path))
                    .ok());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("15/01/2024\t10:00:00\t60.0\t60.0\t\r\n"
                                      "15/01/2024\t10:00:01\t\t\t\r\n"));
    std::vector<QStringList> back;
    ASSERT_TRUE(readTableTextFile(path, back));
    EXPECT_EQ(back, table);
    EXPECT_EQ(tableTextTitles(back)[2], QStringLiteral("SPL"));
    EXPECT_EQ(tableTextTitles(back)[3], QStringLiteral("Leq"));
    EXPECT_EQ(tableTextTitles({{"a", "b", "1.0"}})[2], QStringLiteral("Value"));
    // A first row without a level does not hide the Leq column.
    EXPECT_EQ(tableTextTitles({table[1], table[0]})[3], QStringLiteral("Leq"));
    EXPECT_EQ(textFileSeparator(QStringLiteral("x.CSV")), QLatin1Char(','));
    EXPECT_FALSE(writeTableTextFile(dir.filePath(QStringLiteral("no/such/dir/x.txt")), 1,
                                    [&](qint64) { return table[0]; }, QLatin1Char('\t'))
                     .ok());
}

}  // namespace

// Rows are paced by the meter's seconds byte: a clock that stands still ends the run after
// five seconds of readings, not before, and a second holding more readings than 32 bits can
// sum still averages right.
TEST(LeqRunClock, StoppedClockEndsTheRunAndLongSumsDoNotOverflow) {
    LeqRun run;
    run.start(100);
    const auto at = [](int tenths, int sec, int64_t tickMs) {
        LeqReading r = reading(tenths, sec);
        r.tickMs = tickMs;
        return r;
    };
    EXPECT_EQ(run.add(at(500, 1, 1000)), LeqRun::Outcome::Counted);
    EXPECT_EQ(run.add(at(500, 2, 1040)), LeqRun::Outcome::RowClosed);
    int64_t tick = 1040;
    for (; tick < 1040 + LeqRun::kClockStopMs - 40;)
        ASSERT_EQ(run.add(at(600, 2, tick += 40)), LeqRun::Outcome::Counted) << tick;
    EXPECT_EQ(run.add(at(600, 2, 1040 + LeqRun::kClockStopMs)), LeqRun::Outcome::ClockStopped);
    EXPECT_FALSE(run.running());
    EXPECT_EQ(run.add(at(600, 3, tick + 80)), LeqRun::Outcome::Idle);

    // 40 000 readings of 6553.5 dB in one second: the energy sum stays finite and exact.
    LeqRun full;
    full.start(10);
    full.add(reading(0xFFFF, 1));
    for (int i = 0; i < 40000; ++i) full.add(reading(0xFFFF, 2));
    ASSERT_EQ(full.add(reading(0xFFFF, 3)), LeqRun::Outcome::RowClosed);
    ASSERT_EQ(full.closedRows().size(), 1u);
    EXPECT_EQ(full.closedRows()[0].samples, 40000);
    EXPECT_FLOAT_EQ(full.closedRows()[0].spl, 6553.5f);
}
