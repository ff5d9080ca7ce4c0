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
    bool hasLevel = false;  // false: only the boundary reading arrived; SPL and Leq stay empty
    float spl = 0;
    float leq = 0;
    int samples = 0;  // readings counted in the second

    // Cells 1..4 as the table shows and saves them: date, time, SPL, Leq.
    QStringList cells(const QLocale& locale) const;
};

// The bookkeeping of an LEQ run: takes readings and failures, closes one row whenever the
// meter's seconds byte changes and counts the time left. No timer, window or file.
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
        RowClosed,     // a new second began: the previous one became a row
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

    // The row that the last RowClosed / Ended outcome closed.
    const LeqRow& lastRow() const { return lastRow_; }
    int secondsLeft() const { return secondsLeft_; }
    int failures() const { return failures_; }
    int secondCount() const { return secondCount_; }  // n
    int nextRow() const { return row_; }
    float leq() const { return leqValue_; }
    bool started() const { return started_; }
    // Readings counted in the last closed second that had any.
    int lastRate() const { return lastRate_; }

  private:
    bool running_ = false;
    int row_ = 1;
    int secondsLeft_ = 0;
    bool started_ = false;
    uint8_t secondByte_ = 0;
    int sampleCount_ = 0;
    int64_t sampleSum_ = 0;  // a day of readings in one second would overflow 32 bits
    int64_t secondStartTick_ = 0;
    int secondCount_ = 0;
    float leqValue_ = 0;
    int failures_ = 0;
    int lastRate_ = 0;
    SerialDateTime rowStamp_ = 0;
    LeqRow lastRow_;
};

// What a timed measurement reports beside the Leq, over the seconds that have a level: the
// highest and lowest SPL, the levels exceeded in 10, 50 and 90 % of those seconds, and the
// sound exposure level SEL = Leq + 10 log10(T / 1 s) with T the run's seconds.
struct LeqSummary {
    int seconds = 0;         // T: every second of the run, empty ones included
    int countedSeconds = 0;  // seconds with an SPL
    float leq = 0;
    double lmax = 0, lmin = 0, l10 = 0, l50 = 0, l90 = 0, sel = 0;
    bool valid() const { return countedSeconds > 0; }
};

// LN is the N-th level from the top: sorted ascending, the nearest-rank (100 - N) percentile,
// so that at most N % of the seconds lie above it.
LeqSummary leqSummary(const std::vector<LeqRow>& rows, float leq, int seconds);

// The same summary kept up to date row by row during a run, so that it can be shown after every
// second without going over the table again: the extremes are kept as they come, and each LN
// splits the levels at its rank into two heaps (the lower ones, whose top is LN, and the rest).
// Adding a row costs O(log n).
class RunningLeqSummary {
  public:
    void clear() { *this = RunningLeqSummary{}; }
    // A row without a level is not counted here (the run's seconds are given to summary()).
    void add(const LeqRow& row);
    LeqSummary summary(float leq, int seconds) const;

  private:
    // The level exceeded `percent` % of the time: the lower heap holds the `rank` lowest levels.
    struct Exceeded {
        int percent;
        std::priority_queue<float> lower;
        std::priority_queue<float, std::vector<float>, std::greater<float>> upper;
        void add(float level, int count);
    };
    int count_ = 0;
    float lowest_ = 0, highest_ = 0;
    Exceeded l10_{10, {}, {}}, l50_{50, {}, {}}, l90_{90, {}, {}};
};

}  // namespace kl516
