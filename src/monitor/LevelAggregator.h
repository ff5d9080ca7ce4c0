#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "dataset/WallClock.h"

namespace kl516 {

// The figures of one aggregate period of the monitor, built from the readings that fell into
// it. Times are milliseconds since 1970-01-01 00:00 UTC, which go on when the clocks change;
// the periods are aligned to the local clock: a 60 s period is a clock minute, a day runs from
// local midnight to midnight (23 or 25 hours on the days the clocks change).
struct PeriodSummary {
    int64_t startMs = 0, endMs = 0;
    std::optional<double> leq, lmax, lmin, l10, l50, l90;  // empty: no reading with a level
    int64_t samples = 0;                                   // readings with a level
    double coverage = 0;   // percent of the period those readings represent (0 .. 100)
    bool partial = false;  // cut short by the end of the monitor
};

// Readings into clock-aligned periods. Each reading with a level represents one reading period
// in the coverage: a minute whose meter was away for 20 s of 1 s readings holds 40 of them and a
// coverage of 66.7 %, its missing time never bridged. The figures are levelFigures' of the
// period's readings, the reading period their typical spacing, so that a reading weighs the
// time to the next one, at most two reading periods, as in the assessment.
class LevelAggregator {
  public:
    // periodS: the aggregate period, at least 1 s, dividing a day; readingS: the reading period.
    LevelAggregator(int periodS, double readingS);

    // Opens the period of tMs when none is open (the monitor's start), else closes the periods
    // that ended at or before tMs, in order: a meter away for a whole period still gives that
    // period's summary, with coverage 0.
    std::vector<PeriodSummary> advanceTo(int64_t tMs);
    // A reading at time tMs: advanceTo(tMs), then the reading joins the open period unless it
    // has no level. A time before the open period (the system clock was set back) ends that
    // period as a partial one and opens the period of tMs: nothing is merged across the jump.
    std::vector<PeriodSummary> add(int64_t tMs, float level);
    // The current period up to tMs, marked partial, and no period open after it. Empty when
    // no period is open or it has not begun by tMs.
    std::optional<PeriodSummary> finish(int64_t tMs);

    int periodS() const { return periodS_; }

  private:
    // nextMs: the reading after the period, which ends the weight of its last one.
    PeriodSummary close(int64_t endMs, bool partial, std::optional<int64_t> nextMs = {});
    void open(int64_t startMs);
    int64_t periodEnd() const;
    // The start of the local-clock period that holds the instant tMs.
    int64_t localPeriodStart(int64_t tMs) const;

    LocalClock clock_;  // the system's zone, whose wall clock the periods follow
    int periodS_;
    double readingS_;
    bool open_ = false;
    int64_t startMs_ = 0;
    int64_t lastMs_ = 0;         // the latest time seen
    // The open period's readings: UTC seconds and levels (the null value where none), reused.
    std::vector<double> times_;
    std::vector<float> levels_;
};

}  // namespace kl516
