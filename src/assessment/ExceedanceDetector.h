#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace kl516 {

// The exceedances of a threshold: the one rule, fed one sample at a time, that the noise
// assessment runs over a series and the monitor over its readings as they come.
//
// An event is a run of samples above the threshold, one after the other. A sample at or below
// the threshold, a sample without level, a gap longer than twice the typical spacing (missing
// time) or a time before the previous one (a clock set back) ends it, and so does end() (the
// series ends, the meter is lost). Its duration is its first sample's time to its last one's,
// plus the typical spacing; only events lasting at least the minimum duration are reported.
// Its Leq is the energy mean of its samples, each weighted by the time it represents.
struct ExceedanceEvent {
    double start = 0;     // time of its first sample, seconds
    double duration = 0;  // seconds
    double lmax = 0, leq = 0;
    int64_t samples = 0;
};

struct ExceedanceResult {
    std::vector<ExceedanceEvent> events;
    double secondsAbove = 0;     // the sum of the events' durations
    double measuredSeconds = 0;  // the time the samples with a level represent
    double percentAbove = 0;     // secondsAbove / measuredSeconds * 100
};

class ExceedanceDetector {
  public:
    // threshold: dB; minDurationSeconds: the shortest event reported; typicalSpacing: the time a
    // sample stands for in a regular series (the series' median spacing, the monitor's reading
    // period), seconds.
    ExceedanceDetector(double threshold, double minDurationSeconds, double typicalSpacing);

    // The next sample: its time (seconds), its level (no level: see hasLevel) and the time it
    // represents (seconds; weighs its level into the event's Leq and counts as measured time
    // when it has a level). Returns the event it ended, when that lasted long enough.
    std::optional<ExceedanceEvent> add(double time, float level, double weight);
    // Ends a running event; the same return.
    std::optional<ExceedanceEvent> end();

    double threshold() const { return threshold_; }
    // Totals of what was fed: the time the samples with a level represent, and the duration of
    // the events reported.
    double measuredSeconds() const { return measured_; }
    double secondsAbove() const { return above_; }
    // secondsAbove in percent of measuredSeconds (at most 100; 0 when nothing was measured).
    double percentAbove() const;

  private:
    void start(double time, float level, double weight);

    double threshold_, minDuration_, typical_;
    bool running_ = false;
    double first_ = 0, last_ = 0;
    double weighted_ = 0, weights_ = 0;  // the event's sum of weight * energy, and of weights
    float lmax_ = 0;
    int64_t samples_ = 0;
    double measured_ = 0, above_ = 0;
};

}  // namespace kl516
