#include <benchmark/benchmark.h>

#include <qcustomplot.h>
#include <QBuffer>
#include <QCoreApplication>
#include <QEvent>
#include <QTemporaryDir>
#include <memory>

#include "app/ui/MainWindow.h"
#include "files/ui/FileCommands.h"
#include "formats/ListTable.h"
#include "formats/PointText.h"
#include "graph/ui/GraphWindow.h"
#include "graph/ui/RangeSlider.h"
#include "link/MeterLink.h"
#include "simulator/SimulatedMeter.h"
#include "support/FakeGraphHost.h"
#include "support/ScriptedPrompts.h"

using namespace kl516;

// One poll tick with a decoded status frame and a refreshed control panel.
static void BM_PollTick(benchmark::State& state) {
    QTemporaryDir dir;
    SystemClock clock;
    SimulatedMeter meter(clock);
    IdleLinkHost idle;
    MeterLink link(meter, clock, idle);
    test::ScriptedPrompts prompts;
    MainWindow window(
        link, prompts, clock,
        {dir.filePath(QStringLiteral("kl516.ini")), dir.filePath(QStringLiteral("docs")),
         dir.path(), dir.filePath(QStringLiteral("user"))});
    window.resize(1280, 900);
    window.show();
    window.completeStartUp();
    window.connection().stopPolling();
    window.pollTick();  // identifies the meter
    if (!window.connected()) state.SkipWithError("the simulated meter did not connect");
    for (auto _ : state) {
        window.pollTick();
        QCoreApplication::processEvents();  // the panel's repaint
    }
}
BENCHMARK(BM_PollTick)->Unit(benchmark::kMicrosecond);

namespace {

// A DataLogger-like window over one logger set that fills the whole memory.
struct FullSetWindow {
    static constexpr int kSamples = 65399;
    test::FakeGraphHost host;
    std::unique_ptr<GraphWindow> graph;
    FullSetWindow() {
        std::vector<float> levels(kSamples);
        for (int i = 0; i < kSamples; ++i) levels[i] = 50.0f + float((i * 37) % 400) * 0.1f;
        host.fill({{toSerialDateTime(QDate(2024, 5, 1), QTime(8, 0)), 1, std::move(levels)}});
        graph = std::make_unique<GraphWindow>(host);
        graph->setCaption(QStringLiteral("DataLogger"));
        graph->resize(GraphWindow::kClientWidth, GraphWindow::kClientHeight);
        graph->show();
        QCoreApplication::processEvents();
    }
};

}  // namespace

// Showing a full logger set: graph set-up, two bulk copies, statistics, cursors and one full
// redraw at the window's design size.
static void BM_ShowDataSet(benchmark::State& state) {
    FullSetWindow w;
    for (auto _ : state) {
        w.graph->showDataSet(0);
        w.graph->graphView->plot()->replot();
    }
}
BENCHMARK(BM_ShowDataSet)->Unit(benchmark::kMillisecond);

// The between-cursor statistics over a whole full set, with their texts.
static void BM_CursorStatistic(benchmark::State& state) {
    FullSetWindow w;
    w.graph->showDataSet(0);
    w.graph->rangeSlider->setFirstValue(0);
    w.graph->rangeSlider->setSecondValue(FullSetWindow::kSamples - 1);
    for (auto _ : state) w.graph->updateCursorStatistic();
}
BENCHMARK(BM_CursorStatistic)->Unit(benchmark::kMicrosecond);

namespace {

// Counts the paints a widget receives.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

}  // namespace

// "Output Tabular to graph" of a list of state.range(0) rows: every row's date, time and level
// read, the graph set up and filled, its statistics and one reset, then the window shown and
// painted for the first time. A new window for each run (made and destroyed outside the timing),
// as the command opens one.
static void BM_OutputToGraph(benchmark::State& state) {
    const int rows = int(state.range(0));
    test::FakeGraphHost host;
    QByteArray text;
    const double start = toSerialDateTime(QDate(2024, 5, 1), QTime(8, 0));
    for (int i = 0; i < rows; ++i)
        text += pointTextLine(start + i * 0.5 / 86400, 50.0f + float(i % 400) * 0.1f, nullptr,
                              QLatin1Char('\t'), host.fixedLocale, PointDateStyle::Locale)
                    .toLocal8Bit() +
                "\r\n";
    QBuffer buffer(&text);
    buffer.open(QIODevice::ReadOnly);
    ListTableModel list;
    readTextIntoList(buffer, QLatin1Char('\t'), list);
    if (list.rowCount() != rows) state.SkipWithError("the list was not read whole");
    for (auto _ : state) {
        state.PauseTiming();
        auto graph = std::make_unique<GraphWindow>(host);
        graph->resize(GraphWindow::kClientWidth, GraphWindow::kClientHeight);
        PaintCounter counter;
        graph->graphView->plot()->installEventFilter(&counter);
        state.ResumeTiming();
        const QString error = graphFromList(list, *graph, host.fixedLocale);
        if (!error.isEmpty()) state.SkipWithError(qPrintable(error));
        graph->show();
        QCoreApplication::processEvents();  // the first paint
        state.PauseTiming();
        if (counter.paints == 0) state.SkipWithError("the graph was not painted");
        graph->graphView->plot()->removeEventFilter(&counter);
        graph.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OutputToGraph)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
