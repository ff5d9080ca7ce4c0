#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <memory>

#include "dataset/SerialDateTime.h"
#include "graph/RunningLeq.h"
#include "graph/ui/GraphWindow.h"
#include "support/FakeGraphHost.h"

using namespace kl516;

namespace {

// CAL Leq of the longest real-time run: the running Leq of 99 999 levels, and the Leq window
// built and filled with both series, its statistics and its drawing state (not shown).
void BM_CalLeq(benchmark::State& state) {
    QTemporaryDir dir;
    test::FakeGraphHost host;
    host.folder = dir.path();
    const int n = int(state.range(0));
    GraphWindow source(host);
    const SerialDateTime start = toSerialDateTime(QDate(2024, 5, 1), QTime(8, 0, 0));
    source.setUpGraph(1, 130, 30, start + n * 0.1 * kOneSecond, start, n);
    std::vector<double> x(static_cast<size_t>(n));
    std::vector<float> y(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        x[size_t(i)] = start + i * 0.1 * kOneSecond;
        y[size_t(i)] = 55.0f + float((i * 37) % 400) / 10;
    }
    source.graphView->copyXData(x.data(), n);
    source.graphView->copyYData(y.data(), n);
    const GraphState& s = std::as_const(*source.graphView).state();
    for (auto _ : state) {
        const RunningLeq leq = runningLeq(s.x[0].data(), s.y[0].data(), n, s.nullDataValueY);
        auto window = std::make_unique<GraphWindow>(
            host, GraphDocument{WindowRole::LeqOfSource, WindowRole::OpenedFile, nullptr});
        window->showRunningLeq(leq);
        benchmark::DoNotOptimize(window->graphView->points());
        state.PauseTiming();
        window.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_CalLeq)->Arg(99999)->Unit(benchmark::kMillisecond)->Repetitions(3)->ReportAggregatesOnly(true);

}  // namespace
