#pragma once

#include "dataset/MeasuredSeries.h"
#include "graph/GraphState.h"

namespace kl516 {

// What a graph holds of a measurement: its first series (the measured one; a second series is
// a running Leq drawn beside it).

// The points of the first series that belong to it: as many as the graph's point count says
// (never more than its arrays hold), without the points at its end that hold no time yet (a
// real-time graph holds the points of its whole run from the start).
int graphSeriesLength(const GraphState& state);

// The measured series of the first series' points first .. last (both included, clamped to
// graphSeriesLength): points without a time are left out, a level that is the graph's null
// value is a gap, and sourceIndex holds each point's index in the graph. last < 0: to the end.
MeasuredSeries graphMeasuredSeries(const GraphState& state, const LocalClock& clock, int first = 0,
                                   int last = -1);

// Names and colours the two series of a measured level and its running Leq, as a running Leq
// window shows them: "SPL" in yellow first, "Leq" in red second.
void labelRunningLeqSeries(GraphState& state);

}  // namespace kl516
