#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>
#include <queue>
#include <vector>

#include "dataset/SerialDateTime.h"
#include "levels/LevelArithmetic.h"
#include "link/Frames.h"

namespace kl516 {

// The durations offered for an LEQ run, in the order of the window's list.
struct LeqDuration {
    const char* caption;
    int seconds;
};
inline constexpr LeqDuration kLeqDurations[] = {
    {"10 sec", 10},      {"1 minute", 60},   {"5 minutes", 300}, {"10 minutes", 600},
    {"15 minutes", 900}, {"30 minutes", 1800}, {"1 hour", 3600},  {"8 hour", 28800},
    {"24 hours", 86400}, {"Manual", 86400},  // Manual: ended by Stop, at the latest after a day
};

// "h:m:s" of a number of seconds, each part without leading zeros: 3725 -> "1:2:5".
QString leqTimeLeftText(int seconds);

// One reading of the meter during a run: the level and the meter's clock from a status frame.
struct LeqReading {
    uint16_t tenths = 0;     // level in tenths of a dB (bytes 5-6, big-endian)
    uint8_t secondByte = 0;  // the clock's seconds byte, undecoded; it paces the rows
    SerialDateTime stamp = 0;  // the meter's date and time, or the computer's when unreadable
    bool meterClock = true;  // false: the clock bytes were not a valid BCD date and time
    int64_t tickMs = 0;      // the computer's steady clock when the reading arrived

    float level() const { return static_cast<float>(tenths * 0.1); }
};

// The reading in a status frame; computerNow labels it when the clock bytes are not valid BCD
// or no possible date and time.
LeqReading leqReadingFromFrame(const ResponseFrame& frame, const QDateTime& computerNow);

// One completed second of a run.
struct LeqRow {
    int number = 0;
    SerialDateTime stamp = 0;  // the meter's clock at the second's first reading
    // false: no reading arrived in this second (the meter's clock went on by more than one
    // second between two readings); SPL and Leq stay empty.
    bool hasLevel = false;
    float spl = 0;  // the energy mean of the second's readings
    float leq = 0;
    int samples = 0;  // readings in the second

    // Cells 1..4 as the table shows and saves them: date, time, SPL, Leq.
    QStringList cells(const QLocale& locale) const;
};

// The bookkeeping of an LEQ run: takes readings and failures, closes one row whenever the
// meter's seconds byte changes and counts the time left. No timer, window or file.
//
// Every reading counts in the second the meter's clock shows for it, the first of a run and the
// one that reveals a new second included. A second's SPL is the energy mean of its readings,
// 10 lg(mean of 10^(L/10)). Seconds that the meter's clock passed without a reading become rows
// without a level; the running Leq weighs only the seconds that have one.
class LeqRun {
  public:
    static constexpr int kFailureLimit = 50;  // the run ends at the failure after this many
    // Readings without a new second for this long end the run: the rows are paced by the
    // meter's clock, so a clock that stands still would sum into one second for ever.
    static constexpr int64_t kClockStopMs = 5000;
    // What the window and the command line say when ClockStopped ended a run.
    static QString clockStoppedMessage() {
        return QStringLiteral(
            "The meter's clock stopped: no new second for 5 s of readings. The LEQ run ended; "
            "the rows measured so far are kept.");
    }

    enum class Outcome {
        Counted,       // the reading started the run or was summed into the current second
        RowClosed,     // a new second began: the previous one (and any it skipped) became rows
        Ended,         // as RowClosed, and the duration is over
        Failed,        // a failed read was counted
        FailedOut,     // the failure that ends the run
        ClockStopped,  // the meter's seconds byte stood still for kClockStopMs of readings
        Idle,          // the run is not going
    };

    // Resets every run state and starts a run of `seconds`.
    void start(int seconds);
    void stop() { running_ = false; }
    bool running() const { return running_; }

    Outcome add(const LeqReading& reading);
    Outcome fail();

    // The rows that the last RowClosed / Ended outcome closed, in order: the second that ended,
    // then one row without a level for each second the meter's clock skipped.
    const std::vector<LeqRow>& closedRows() const { return closed_; }
    int secondsLeft() const { return secondsLeft_; }
    int failures() const { return failures_; }
    int secondCount() const { return secondCount_; }    // rows closed, empty ones included
    int levelSeconds() const { return levelSeconds_; }  // rows closed with a level: n
    int nextRow() const { return row_; }
    float leq() const { return leqValue_; }
    bool started() const { return started_; }
    // Readings counted in the last closed second that had any.
    int lastRate() const { return lastRate_; }

  private:
    void beginSecond(const LeqReading& reading);
    void count(const LeqReading& reading);
    void closeSecond();
    void closeSkippedSecond();
    int skippedSeconds(const LeqReading& reading) const;

    bool running_ = false;
    int row_ = 1;
    int secondsLeft_ = 0;
    bool started_ = false;
    uint8_t secondByte_ = 0;
    int sampleCount_ = 0;
    EnergyMean second_;  // the readings of the current second
    EnergyMean run_;     // the run's seconds that have a level
    int64_t secondStartTick_ = 0;
    int64_t lastTick_ = 0;  // the computer's clock at the last reading
    int secondCount_ = 0;
    int levelSeconds_ = 0;
    float leqValue_ = 0;
    int failures_ = 0;
    int lastRate_ = 0;
    SerialDateTime rowStamp_ = 0;
    bool rowMeterClock_ = true;
    std::vector<LeqRow> closed_;
};

// What a timed measurement reports beside the Leq: the figures of its seconds (levelFigures),
// each second with an SPL weighing one second and a second without one being missing time.
// Leq is their energy mean, Lmax and Lmin the highest and lowest SPL, LN the level exceeded in
// N % of the counted seconds (the nearest rank of their SPLs), and SEL = Leq + 10 lg(T / 1 s)
// with T the counted seconds.
struct LeqSummary {
    int seconds = 0;         // the run's seconds, empty ones included
    int countedSeconds = 0;  // seconds with an SPL: the measured time T
    double leq = 0, lmax = 0, lmin = 0, l10 = 0, l50 = 0, l90 = 0, sel = 0;
    bool valid() const { return countedSeconds > 0; }
};

LeqSummary leqSummary(const std::vector<LeqRow>& rows);

// The same summary kept up to date row by row during a run, so that it can be shown after every
// second without going over the table again: the energy and the extremes are kept as they
// come, and each LN splits the levels at its rank into two heaps (the lower ones, whose top is
// LN, and the rest). Every counted second weighs alike, so the rank is levelFigures' rule.
// Adding a row costs O(log n).
class RunningLeqSummary {
  public:
    void clear() { *this = RunningLeqSummary{}; }
    void add(const LeqRow& row);
    LeqSummary summary() const;

  private:
    // The level exceeded `percent` % of the time: the lower heap holds the `rank` lowest levels.
    struct Exceeded {
        int percent;
        std::priority_queue<float> lower;
        std::priority_queue<float, std::vector<float>, std::greater<float>> upper;
        void add(float level, int count);
    };
    int rows_ = 0;
    int count_ = 0;
    double energy_ = 0;
    float lowest_ = 0, highest_ = 0;
    Exceeded l10_{10, {}, {}}, l50_{50, {}, {}}, l90_{90, {}, {}};
};

}  // namespace kl516
