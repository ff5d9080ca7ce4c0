#include <benchmark/benchmark.h>

#include "link/MeterLink.h"
#include "simulator/SimulatedMeter.h"

using namespace kl516;

// One status poll round trip against the simulated meter at zero latency: the program's own
// cost per exchange, next to the USB link's floor of about 1 ms per report.
static void BM_PollStatus(benchmark::State& state) {
    SystemClock clock;
    SimulatedMeter meter(clock);
    IdleLinkHost host;
    MeterLink link(meter, clock, host);
    for (auto _ : state) {
        bool ok = link.pollStatus();
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(link.mainResponse().data());
    }
}
BENCHMARK(BM_PollStatus);
