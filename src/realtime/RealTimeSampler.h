#pragma once

#include <cstdint>

#include "dataset/SerialDateTime.h"

namespace kl516 {

// The sampling logic of a real-time run, free of windows: when a sample is due, which readings
// are rejected and what replaces them, the running extremes and the count. The recorder window
// code stores each accepted sample as the next point of the real-time graph.
class RealTimeSampler {
public:
    // Levels outside this range are rejected as meter faults.
    static constexpr float kLowestLevel = 20.0f;
    static constexpr float kHighestLevel = 140.0f;
    // A rejected reading is replaced by the last good one only when that is above this level.
    static constexpr float kReplacementFloor = 30.0f;
    // The clock reads whole milliseconds, so an interval one millisecond short may be a full one.
    static constexpr int64_t kClockResolutionMs = 1;

    enum class Outcome {
        NotDue,   // less than one sampling interval since the last sample
        Skipped,  // due, but the reading was rejected and there is no good one to replace it
        Stored,   // a sample was taken: store `level` at point `index`
    };
    struct Result {
        Outcome outcome = Outcome::NotDue;
        bool rejected = false;    // the reading was outside 20 ... 140 dB (and was counted)
        float level = 0.0f;       // the level stored (the last good one for a rejected reading)
        int index = -1;           // the point the sample goes to
        bool newMaximum = false;  // the sample is the run's new maximum
        bool newMinimum = false;  // ... or its new minimum
    };

    // lastSampleTime starts at the time the real-time window was created.
    explicit RealTimeSampler(SerialDateTime lastSampleTime = 0) : lastSampleTime_(lastSampleTime) {}

    // Starts a run at `rate` seconds per sample: no samples, extremes at -9999 / 9999, no last
    // good level, no rejections. The time of the last sample is kept, so the first reading of
    // the run is taken as soon as one interval has passed since the previous run's last sample.
    void start(double rate);

    // Whether a reading at `now` is due: at least one interval since the last sample, or the
    // clock went backwards (a daylight-saving change or a clock set back), which would
    // otherwise stall the run until the clock caught up.
    bool isDue(SerialDateTime now) const;

    // Offers one reading taken at frameTime; `now` decides whether a sample is due.
    Result offer(float level, SerialDateTime frameTime, SerialDateTime now);

    // The Clear button: the sample count returns to 0.
    void clearSamples();

    void setLastSampleTime(SerialDateTime t) { lastSampleTime_ = t; }

    double rate() const { return rate_; }
    int sampleCount() const { return sampleCount_; }
    SerialDateTime lastSampleTime() const { return lastSampleTime_; }
    float lastGoodLevel() const { return lastGoodLevel_; }
    int rejectedCount() const { return rejectedCount_; }
    float maxLevel() const { return maxLevel_; }
    float minLevel() const { return minLevel_; }
    SerialDateTime maxTime() const { return maxTime_; }
    SerialDateTime minTime() const { return minTime_; }
    // Mean of the stored levels (arithmetic, in dB), 0 without samples.
    double average() const { return sampleCount_ > 0 ? sum_ / sampleCount_ : 0.0; }

private:
    double rate_ = 0.2;
    int sampleCount_ = 0;
    SerialDateTime lastSampleTime_ = 0;
    float lastGoodLevel_ = 0.0f;
    int rejectedCount_ = 0;
    float maxLevel_ = -9999.0f;
    float minLevel_ = 9999.0f;
    SerialDateTime maxTime_ = 0;
    SerialDateTime minTime_ = 0;
    double sum_ = 0.0;
};

}  // namespace kl516
