#include <benchmark/benchmark.h>

#include <QPrinter>
#include <QTemporaryDir>

#include "dataset/SerialDateTime.h"
#include "leq/ui/LeqWindow.h"
#include "report/ui/TablePrinter.h"

using namespace kl516;

namespace {

// A whole day of LEQ rows printed to a PDF file: the model's texts, the padded lines and the
// PDF writer's work for every page.
void BM_PrintTable(benchmark::State& state) {
    QTemporaryDir dir;
    LeqTableModel table(QLocale(QLocale::English, QLocale::UnitedKingdom));
    const int rows = int(state.range(0));
    table.reserve(size_t(rows));
    const SerialDateTime start = toSerialDateTime(QDate(2024, 5, 1), QTime(0, 0, 0));
    for (int i = 0; i < rows; ++i)
        table.append({i + 1, start + i * kOneSecond, true, 60.0f + float(i % 300) / 10,
                      65.0f + float(i % 70) / 10, 24});
    int pages = 0;
    for (auto _ : state) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath(QStringLiteral("day.pdf")));
        if (!TablePrinter::print(table, printer)) state.SkipWithError("the PDF printer did not begin");
        pages = (rows + 1 + TablePrinter::layout(printer).linesPerPage - 1) /
                TablePrinter::layout(printer).linesPerPage;
    }
    state.counters["pages"] = pages;
}
BENCHMARK(BM_PrintTable)->Arg(86400)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

}  // namespace
