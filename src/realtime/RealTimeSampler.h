#pragma once

#include <cstdint>

#include "dataset/SerialDateTime.h"

namespace kl516 {

// The sampling logic of a real-time run, free of windows: which sample a reading is for, which
// samples went by without one, which readings are rejected and what replaces them, the running
// extremes and the count. The recorder window code stores each sample as the next point of the
// real-time graph.
//
// Samples follow a schedule on the steady tick counter: sample slot k is due at
// start + k x rate and takes the first reading from its due time on. A late poll tick is thus
// taken late without pushing the next sample back, and a slot that gets no reading within its
// interval is a missing sample ("no level" at its due time) rather than a stretched interval.
// A reading may come a quarter of an interval past the slot's interval and still be its own:
// after a stall the poll timer keeps a new phase, and ticks that land right on the slots'
// boundaries would otherwise lose every other sample to a millisecond of jitter. The run's
// first sample is the slot its first good reading arrives in.
class RealTimeSampler {
public:
    // Levels outside this range are rejected as meter faults.
    static constexpr float kLowestLevel = 20.0f;
    static constexpr float kHighestLevel = 140.0f;
    // A rejected reading is replaced by the last good one only when that is above this level.
    static constexpr float kReplacementFloor = 30.0f;
    // The tick counter reads whole milliseconds, so a reading one millisecond before its due time
    // may well be on time.
    static constexpr int64_t kClockResolutionMs = 1;

    enum class Outcome {
        NotDue,   // the next sample is not due yet
        Skipped,  // due, but rejected with no good reading to replace it
        Stored,   // `level` is the sample at `index`
    };
    // What one reading added to the run: first `missing` samples without a level from
    // `firstIndex` on, then, when Stored, the sample at `index` (= firstIndex + missing).
    struct Result {
        Outcome outcome = Outcome::NotDue;
        int firstIndex = 0;
        int missing = 0;
        bool rejected = false;    // the reading was outside 20 ... 140 dB (and was counted)
        float level = 0.0f;       // the level stored (the last good one for a rejected reading)
        int index = -1;
        bool newMaximum = false;  // the sample is the run's new maximum
        bool newMinimum = false;  // ... or its new minimum
        bool full = false;        // the run now holds all its samples
    };

    // Starts a run of at most `capacity` samples at `rate` seconds each. Its schedule starts at
    // `startMs` on the steady tick counter, which is `startTime` on the wall clock. No samples,
    // extremes at -9999 / 9999, no last good level, no rejections.
    void start(double rate, int capacity, int64_t startMs, SerialDateTime startTime);

    // The run's length in samples: the points of its graph.
    void setCapacity(int capacity) { capacity_ = capacity > 0 ? capacity : 0; }

    // Offers the reading of one status frame decoded at `nowMs` on the tick counter.
    Result offer(float level, int64_t nowMs);

    // The run ends at `nowMs`: the slots whose time for a reading has gone by without one are
    // missing samples (those still open are not samples). The result has no Stored sample.
    Result closeMissedSlots(int64_t nowMs);

    // The Clear button: the run's samples are gone.
    void clearSamples();

    // The time of sample `index` on the wall clock: its due time, from the run's start.
    SerialDateTime sampleTime(int index) const;

    double rate() const { return rate_; }
    int capacity() const { return capacity_; }
    // Samples of the run, those without a level included.
    int sampleCount() const { return sampleCount_; }
    // Samples with a level.
    int levelCount() const { return levelCount_; }
    float lastGoodLevel() const { return lastGoodLevel_; }
    int rejectedCount() const { return rejectedCount_; }
    float maxLevel() const { return maxLevel_; }
    float minLevel() const { return minLevel_; }
    SerialDateTime maxTime() const { return maxTime_; }
    SerialDateTime minTime() const { return minTime_; }
    // Mean of the levels stored (arithmetic, in dB); missing samples do not count. 0 without any.
    double average() const { return levelCount_ > 0 ? sum_ / levelCount_ : 0.0; }

  private:
    // The slot whose interval holds `nowMs` (slot k: from start + k x rate on).
    int64_t slotAt(int64_t nowMs) const;
    // The first slot still open for a reading at `nowMs`: earlier ones have had their time.
    int64_t firstOpenSlot(int64_t nowMs) const;
    // Slots before `slot` that have no sample yet become missing samples, up to the capacity.
    void markMissingBefore(int64_t slot, Result& r);

    double rate_ = 0.2;
    int capacity_ = 0;
    int64_t startMs_ = 0;
    SerialDateTime startTime_ = 0;
    bool anchored_ = false;  // the first sample has been taken
    int64_t firstSlot_ = 0;  // the slot of sample 0
    int sampleCount_ = 0;
    int levelCount_ = 0;
    float lastGoodLevel_ = 0.0f;
    int rejectedCount_ = 0;
    float maxLevel_ = -9999.0f;
    float minLevel_ = 9999.0f;
    SerialDateTime maxTime_ = 0;
    SerialDateTime minTime_ = 0;
    double sum_ = 0.0;
};

}  // namespace kl516
