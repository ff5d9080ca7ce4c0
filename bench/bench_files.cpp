#include <benchmark/benchmark.h>

#include <malloc.h>

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include "dataset/SerialDateTime.h"
#include "formats/ListTable.h"
#include "formats/PointText.h"

using namespace kl516;

namespace {

// A field of /proc/self/status in MB ("VmRSS", "VmHWM").
double statusMb(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ')[0].toDouble() / 1024;
    }
    return 0;
}

// Clears the peak resident size, so that VmHWM afterwards is the peak of what follows.
void resetPeak() {
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly)) refs.write("5");
}

// A point text file of a million lines (about 30 characters each), made once.
const QString& millionLineFile() {
    static QTemporaryDir dir;
    static const QString path = [] {
        const QString p = dir.filePath(QStringLiteral("million.txt"));
        const int n = 1'000'000;
        std::vector<double> times(n);
        std::vector<float> levels(n);
        const SerialDateTime start = toSerialDateTime(QDate(2024, 3, 15), QTime(9, 30, 0));
        for (int i = 0; i < n; ++i) {
            times[size_t(i)] = start + i * 0.5 * kOneSecond;
            levels[size_t(i)] = 40.0f + float(i % 700) / 10.0f;
        }
        writePointTextFile(p, times, levels, u'\t', QLocale::c(), PointDateStyle::Iso);
        return p;
    }();
    return path;
}

}  // namespace

// Opening a million-line point text file into the tabular list: the time, the resident memory
// the filled list holds (rss_growth_MB) and the peak during the read (peak_growth_MB).
static void BM_ReadTextIntoList(benchmark::State& state) {
    const QString& path = millionLineFile();
    double growth = 0, peak = 0;
    qint64 rows = 0;
    for (auto _ : state) {
        state.PauseTiming();
        malloc_trim(0);
        const double before = statusMb("VmRSS");
        resetPeak();
        auto list = std::make_unique<ListTableModel>();
        state.ResumeTiming();
        const ListReadResult result = readTextIntoList(path, u'\t', *list);
        state.PauseTiming();
        growth = statusMb("VmRSS") - before;
        peak = statusMb("VmHWM") - before;
        rows = result.lines;
        list.reset();
        state.ResumeTiming();
    }
    state.counters["rows"] = double(rows);
    state.counters["rss_growth_MB"] = growth;
    state.counters["peak_growth_MB"] = peak;
}
BENCHMARK(BM_ReadTextIntoList)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);

// Saving a full logger-sized graph (99 999 points) as point text in the user's locale.
static void BM_WritePointText(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("points.txt"));
    const int n = 99'999;
    std::vector<double> times(n);
    std::vector<float> levels(n);
    const SerialDateTime start = toSerialDateTime(QDate(2024, 3, 15), QTime(23, 0, 0));
    for (int i = 0; i < n; ++i) {
        times[size_t(i)] = start + i * 0.1 * kOneSecond;  // ten points a second, across midnight
        levels[size_t(i)] = 40.0f + float(i % 700) / 10.0f;
    }
    const QLocale locale(QLocale::English, QLocale::UnitedStates);
    qint64 lines = 0;
    for (auto _ : state) {
        lines =
            writePointTextFile(path, times, levels, u'\t', locale, PointDateStyle::Locale).lines;
    }
    state.counters["lines"] = double(lines);
}
BENCHMARK(BM_WritePointText)->Unit(benchmark::kMillisecond);
