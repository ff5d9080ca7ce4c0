#include <benchmark/benchmark.h>

#include <qcustomplot.h>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QToolButton>
#include <cmath>
#include <memory>
#include <numbers>

#include "app/ui/MainWindow.h"
#include "bench_support.h"
#include "graph/ui/GraphWindow.h"
#include "link/Clock.h"
#include "link/MeterLink.h"
#include "realtime/ui/RealTimeRecorder.h"
#include "realtime/ui/RealTimeSetupDialog.h"
#include "simulator/SimulatedMeter.h"
#include "support/Controls.h"
#include "support/MainWindowStart.h"
#include "support/ScriptedPrompts.h"

using namespace kl516;

namespace {

// The level of sample i every 0.2 s. Meter-like: slow swells of a few dB with a little noise, as
// the simulated meter gives. Noise: jumps across 40 dB from sample to sample, so that every pixel
// column of the plot holds a tall line (the costliest picture to draw).
enum Signal { MeterLike = 0, Noise = 1 };
float level(Signal signal, int i) {
    if (signal == Noise) return 50.0f + float((i * 37) % 400) * 0.1f;
    constexpr double kTwoPi = 2 * std::numbers::pi;
    const double t = i * 0.2;
    return float(66.5 + 6.0 * std::sin(kTwoPi * t / 97.0) + 3.0 * std::sin(kTwoPi * t / 23.0) +
                 1.2 * std::sin(kTwoPi * t / 5.3) + double((i * 7919) % 100) * 0.01 - 0.5);
}

// A real-time run at 0.2 s (every sample redrawn) whose graph already holds 99 999 samples,
// all in the visible range. The run's point count is raised past them so that it goes on.
struct FullRealTimeGraph {
    static constexpr int kHeld = 99999;
    QTemporaryDir dir;
    ManualClock clock;
    SimulatedMeter meter{clock};
    IdleLinkHost idle;
    MeterLink link{meter, clock, idle};
    test::ScriptedPrompts prompts;
    std::unique_ptr<MainWindow> window;
    Signal signal;
    int next = 0;

    explicit FullRealTimeGraph(Signal s) : signal(s) {
        window = test::startMainWindow(link, prompts, clock, dir);
        window->connection().stopPolling();
        window->pollTick();  // identifies the meter
        window->realTimeRecorder().execSetupDialog = [](RealTimeSetupDialog& d) {
            d.samplingRateBox->setEditText(QStringLiteral("0.2"));
            d.sampleCountEdit->setText(QStringLiteral("99999"));
            return true;
        };
        test::button(*window, "runButton")->click();
        window->realTimeWindow()->graphView->setPoints(4 * kHeld);
        while (next < kHeld) sample();
        QCoreApplication::processEvents();
    }

    bool usable() const {
        return window->runActive() && window->realTimeRecorder().sampleCount() == next;
    }
    GraphView* graph() const { return window->realTimeWindow()->graphView; }

    void sample() {
        clock.advance(200);
        window->realTimeRecorder().takeSample(level(signal, next), toSerialDateTime(clock.now()));
        ++next;
    }
};

FullRealTimeGraph& fixture(Signal signal) {
    // One window at a time (a second one would share the screen and slow the first); each
    // sample adds a point, so start again before the raised count runs out.
    static std::unique_ptr<FullRealTimeGraph> f;
    static const bool cleanupRegistered = [] {
        bench::atBenchEnd([] { f.reset(); });
        return true;
    }();
    (void)cleanupRegistered;
    if (!f || f->signal != signal || f->next > 3 * FullRealTimeGraph::kHeld) {
        f.reset();
        f = std::make_unique<FullRealTimeGraph>(signal);
    }
    return *f;
}

}  // namespace

// One sample into a graph of 99 999 points: the handler with its incremental ResetImage and the
// queued repaint request, which the event loop carries out later.
static void BM_TakeSample(benchmark::State& state) {
    FullRealTimeGraph& f = fixture(Signal(state.range(0)));
    if (!f.usable()) state.SkipWithError("the run did not start");
    for (auto _ : state) f.sample();
    QCoreApplication::processEvents();
}
BENCHMARK(BM_TakeSample)
    ->ArgName("noise")
    ->Arg(MeterLike)
    ->Arg(Noise)
    ->Unit(benchmark::kMicrosecond);

// The same with the redraw done at once, up to the widget's own paint: what one sample costs
// the user-interface thread.
static void BM_TakeSampleAndReplot(benchmark::State& state) {
    FullRealTimeGraph& f = fixture(Signal(state.range(0)));
    if (!f.usable()) state.SkipWithError("the run did not start");
    QCustomPlot* plot = f.graph()->plot();
    for (auto _ : state) {
        f.sample();
        plot->replot(QCustomPlot::rpImmediateRefresh);
    }
}
BENCHMARK(BM_TakeSampleAndReplot)
    ->ArgName("noise")
    ->Arg(MeterLike)
    ->Arg(Noise)
    ->Unit(benchmark::kMicrosecond);
