#include <benchmark/benchmark.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <memory>

#include "app/ui/MainWindow.h"
#include "bench_support.h"
#include "leq/LeqRun.h"
#include "leq/ui/LeqCommands.h"
#include "leq/ui/LeqWindow.h"
#include "link/Clock.h"
#include "link/MeterLink.h"
#include "simulator/SimulatedMeter.h"
#include "support/Controls.h"
#include "support/MainWindowStart.h"
#include "support/ScriptedPrompts.h"

using namespace kl516;

namespace {

// The main window with its LEQ window open and a "Manual" run going against the simulated meter
// at zero latency, the log in a temporary folder.
struct LeqRunFixture {
    QTemporaryDir dir;
    ManualClock clock;
    SimulatedMeter meter{clock};
    IdleLinkHost idle;
    MeterLink link{meter, clock, idle};
    test::ScriptedPrompts prompts;
    std::unique_ptr<MainWindow> window;

    LeqRunFixture() {
        window = test::startMainWindow(link, prompts, clock, dir);
        window->pollTick();  // identifies the meter
        leq().setLogPath(dir.filePath(QStringLiteral("temp/LEQ.txt")));
        test::action(*window, "leqAction")->trigger();
        leq().window()->durationBox->setCurrentIndex(9);  // Manual
        leq().window()->startRunButton->click();
        QCoreApplication::processEvents();
    }
    LeqCommands& leq() { return window->leqCommands(); }
    void tick() {
        clock.advance(LeqCommands::kTickMs);
        leq().runTick();
    }
};

LeqRunFixture& fixture() {
    static std::unique_ptr<LeqRunFixture> f;
    if (!f || !f->leq().running()) {
        f = std::make_unique<LeqRunFixture>();
        bench::atBenchEnd([] { f.reset(); });
    }
    return *f;
}

// One 40 ms tick's work: the exchange, the bookkeeping, the log line and, once a second, a row.
void BM_LeqTick(benchmark::State& state) {
    LeqRunFixture& f = fixture();
    for (auto _ : state) f.tick();
    QCoreApplication::processEvents();
}
BENCHMARK(BM_LeqTick)->Repetitions(5)->ReportAggregatesOnly(true);

// Adding the 86 400th row to a full day's table shown in its view: the model's insertion and
// the view's row bookkeeping (argument 0), and with the scroll to the new last row (1).
void BM_LeqTableAppend(benchmark::State& state) {
    LeqRunFixture& f = fixture();
    LeqTableModel& table = f.leq().window()->table();
    LeqRow row{0, toSerialDateTime(f.clock.now()), true, 65.0f, 65.0f, 24};
    table.reserve(86400 + 200000);
    while (table.rowCount() < 86399) {
        row.number = table.rowCount() + 1;
        row.stamp += kOneSecond;
        table.append(row);
    }
    f.leq().window()->scrollToLastRow();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        row.number = table.rowCount() + 1;
        row.stamp += kOneSecond;
        table.append(row);
        if (state.range(0)) f.leq().window()->scrollToLastRow();
        // The repaint of the visible rows that follows is left out: it costs the same at any
        // table size and happens at most once per meter second.
        state.PauseTiming();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LeqTableAppend)->Arg(0)->Arg(1)->Iterations(2000)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

// The summary's update for the 86 400th row of a day: Lmax, Lmin and L10/L50/L90 follow every
// row, so this runs once per meter second.
static void BM_LeqSummaryRow(benchmark::State& state) {
    constexpr int kDay = 86400;
    RunningLeqSummary summary;
    LeqRow row;
    row.hasLevel = true;
    uint32_t seed = 1;
    const auto nextLevel = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return 30.0f + float(seed >> 8 & 0xffff) / 655.36f;  // 30 .. 130 dB
    };
    for (int i = 0; i < kDay - 1; ++i) {
        row.spl = nextLevel();
        summary.add(row);
    }
    // The table grows by the iterations' rows, a negligible share of a day.
    for (auto _ : state) {
        row.spl = nextLevel();
        summary.add(row);
        benchmark::DoNotOptimize(summary.summary());
    }
}
BENCHMARK(BM_LeqSummaryRow)->Iterations(200)->Repetitions(5)->ReportAggregatesOnly(true);
