#include <benchmark/benchmark.h>

#include <qcustomplot.h>
#include <QCoreApplication>
#include <QEvent>
#include <QPaintEvent>
#include <memory>
#include <vector>

#include "graph/ui/GraphWindow.h"
#include "graph/ui/RangeSlider.h"
#include "support/FakeGraphHost.h"

using namespace kl516;

namespace {

// Counts the paints a widget receives and the pixels they cover.
struct PaintCounter : QObject {
    int paints = 0;
    double pixels = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::Paint) return false;
        ++paints;
        for (const QRect& r : static_cast<QPaintEvent*>(event)->region())
            pixels += double(r.width()) * r.height();
        return false;
    }
};

}  // namespace

// One step of cursor A through the slider on a full logger set (65 399 points), up to the
// picture the user sees: the handler, the queued replot and the paint of everything it made
// dirty (plot, slider thumbs, cursor fields), all carried out before the next step.
static void BM_SliderStep(benchmark::State& state) {
    constexpr int kSamples = 65399;
    test::FakeGraphHost host;
    std::vector<float> levels(kSamples);
    for (int i = 0; i < kSamples; ++i) levels[size_t(i)] = 50.0f + float((i * 37) % 400) * 0.1f;
    host.fill({{toSerialDateTime(QDate(2024, 5, 1), QTime(8, 0)), 1, std::move(levels)}});
    auto graph = std::make_unique<GraphWindow>(host);
    graph->setCaption(QStringLiteral("DataLogger"));
    graph->resize(GraphWindow::kClientWidth, GraphWindow::kClientHeight);
    graph->show();
    graph->showDataSet(0);
    QCoreApplication::processEvents();

    QCustomPlot* plot = graph->graphView->plot();
    int replots = 0;
    QObject::connect(plot, &QCustomPlot::afterReplot, plot, [&replots] { ++replots; });
    PaintCounter counter;
    plot->installEventFilter(&counter);

    RangeSlider* slider = graph->rangeSlider;
    int value = slider->firstValue();
    for (auto _ : state) {
        value = value + 1 < kSamples ? value + 1 : 0;
        slider->setFirstValue(value);
        // The queued replot and the paint requests it leaves, carried out now.
        QCoreApplication::processEvents();
    }
    plot->removeEventFilter(&counter);
    if (graph->cursorA() != value) state.SkipWithError("cursor A did not follow the slider");
    const double steps = double(state.iterations());
    // A cursor move redraws the cursor layer alone, which is no complete replot.
    state.counters["full_replots_per_step"] = replots / steps;
    state.counters["plot_paints_per_step"] = counter.paints / steps;
    // The share of the plot's pixels a step repaints: the moved line and its label only.
    state.counters["plot_share_painted"] =
        counter.pixels / (steps * plot->width() * plot->height());
}
BENCHMARK(BM_SliderStep)->Unit(benchmark::kMillisecond);
