#include <benchmark/benchmark.h>

#include <QPrinter>
#include <QTemporaryDir>
#include <cmath>
#include <memory>

#include "dataset/SerialDateTime.h"
#include "graph/ui/GraphView.h"
#include "leq/ui/LeqWindow.h"
#include "report/ui/GraphRender.h"
#include "report/ui/MeasurementReport.h"
#include "report/ui/TablePrinter.h"

using namespace kl516;

namespace {

// A whole day of LEQ rows printed to a PDF file: the model's texts, the widths measured in the
// print font and the PDF writer's work for every page.
void BM_PrintTable(benchmark::State& state) {
    QTemporaryDir dir;
    LeqTableModel table(QLocale(QLocale::English, QLocale::UnitedKingdom));
    const int rows = int(state.range(0));
    table.reserve(size_t(rows));
    const SerialDateTime start = toSerialDateTime(QDate(2024, 5, 1), QTime(0, 0, 0));
    for (int i = 0; i < rows; ++i)
        table.append({i + 1, start + i * kOneSecond, true, 60.0f + float(i % 300) / 10,
                      65.0f + float(i % 70) / 10, 24});
    for (auto _ : state) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath(QStringLiteral("day.pdf")));
        if (!TablePrinter::print(table, printer, QStringLiteral("LEQ")))
            state.SkipWithError("the PDF printer did not begin");
    }
}
BENCHMARK(BM_PrintTable)->Arg(86400)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

// A logger's full memory as one set: 65 399 points over a day, in a graph control of a
// window's size.
std::unique_ptr<GraphView> dayGraph() {
    const int n = 65399;
    const SerialDateTime start = toSerialDateTime(QDate(2024, 5, 1), QTime(0, 0, 0));
    std::vector<double> times(static_cast<size_t>(n));
    std::vector<float> levels(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        times[size_t(i)] = start + i * (86400.0 / n) * kOneSecond;
        levels[size_t(i)] =
            float(std::round((55 + 15 * std::sin(i / 900.0) + (i * 7919 % 17) * 0.6) * 10) / 10);
    }
    auto view = std::make_unique<GraphView>();
    view->resize(1152, 560);
    view->loadState(saveGraphState(seriesGraphState(times, levels, QStringLiteral("Day"))));
    view->perform(GraphAction::ResetImage);
    return view;
}

// The measurement report of that set: page 1 with its graph and figures, the 24 hourly levels
// and the day-evening-night levels.
void BM_ReportPdf(benchmark::State& state) {
    QTemporaryDir dir;
    const std::unique_ptr<GraphView> view = dayGraph();
    ReportRequest request;
    request.title = QStringLiteral("Day");
    request.cursorA = 20000;
    request.cursorB = 40000;
    request.assessment.intervalSeconds = 3600;
    for (auto _ : state) {
        const QString error =
            writeMeasurementReport(*view, request, dir.filePath(QStringLiteral("day.pdf")));
        if (!error.isEmpty()) state.SkipWithError(qPrintable(error));
    }
}
BENCHMARK(BM_ReportPdf)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(3);

// A 1600 x 900 PNG of that graph.
void BM_ExportPng(benchmark::State& state) {
    QTemporaryDir dir;
    const std::unique_ptr<GraphView> view = dayGraph();
    for (auto _ : state) {
        const QString error =
            writeGraphImage(*view, dir.filePath(QStringLiteral("day.png")), kDefaultImageSize);
        if (!error.isEmpty()) state.SkipWithError(qPrintable(error));
    }
}
BENCHMARK(BM_ExportPng)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(3);

}  // namespace
