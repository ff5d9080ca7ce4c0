#include "graph/GraphSeries.h"

#include <algorithm>
#include <span>

namespace kl516 {

int graphSeriesLength(const GraphState& state) {
    if (state.x.empty() || state.y.empty()) return 0;
    const std::vector<double>& times = state.x[0];
    size_t n = std::min({size_t(std::max(state.points, 0)), times.size(), state.y[0].size()});
    while (n > 0 && !hasSerialTime(times[n - 1])) --n;
    return int(n);
}

MeasuredSeries graphMeasuredSeries(const GraphState& state, const LocalClock& clock, int first,
                                   int last) {
    const int n = graphSeriesLength(state);
    const int from = std::max(first, 0);
    const int to = last < 0 ? n - 1 : std::min(last, n - 1);
    if (from > to) return MeasuredSeries{};
    const size_t count = size_t(to - from + 1);
    MeasuredSeries series = measuredSeriesOfSerials(
        std::span<const double>(state.x[0].data() + from, count),
        std::span<const float>(state.y[0].data() + from, count), state.nullDataValueY, clock);
    if (from > 0)
        for (size_t& i : series.sourceIndex) i += size_t(from);
    return series;
}

void labelRunningLeqSeries(GraphState& state) {
    state.subsetLabels = {QStringLiteral("SPL"), QStringLiteral("Leq")};
    state.subsetColors = {makeArgb(255, 255, 255, 0), makeArgb(255, 255, 0, 0)};
}

}  // namespace kl516
