#include <benchmark/benchmark.h>

#include <QApplication>
#include <vector>

#include "bench_support.h"

namespace {
std::vector<std::function<void()>>& cleanups() {
    static std::vector<std::function<void()>> list;
    return list;
}
}  // namespace

void kl516::bench::atBenchEnd(std::function<void()> cleanup) {
    cleanups().push_back(std::move(cleanup));
}

// The window benchmarks need one QApplication; they run on the offscreen platform.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (auto& cleanup : cleanups()) cleanup();
    return 0;
}
