#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QLocale>
#include <QTableView>
#include <cstring>
#include <vector>

#include "dataset/DataSetTable.h"
#include "graph/ui/GraphWindow.h"
#include "link/Clock.h"
#include "link/MeterLink.h"
#include "logger/Download.h"
#include "logger/LoggerImage.h"
#include "logger/MemoryParser.h"
#include "logger/ui/LoggerCommands.h"
#include "simulator/SimulatedMeter.h"
#include "support/FakeGraphHost.h"

using namespace kl516;

namespace {

const QDateTime kNow(QDate(2024, 6, 1), QTime(12, 0, 0));
const QLocale kLocale(QLocale::English, QLocale::UnitedKingdom);

// A full logger memory: `sets` records of `samples` samples each, from offset 256.
LoggerImage loggerImage(int sets, int samples) {
    LoggerImage img(size_t(kLoggerMemorySize), 0xFF);
    std::fill(img.begin(), img.begin() + 256, 0);
    img[0] = 0x04;
    img[31] = 0x05;
    img[9] = uint8_t(sets >> 8);
    img[10] = uint8_t(sets);
    size_t r = 256;
    for (int s = 0; s < sets; ++s) {
        uint8_t* p = &img[r];
        const uint8_t head[16] = {0xA5,
                                  0x5A,
                                  0,
                                  0x24,
                                  0x05,
                                  0x31,
                                  0x08,
                                  0x00,
                                  0x00,
                                  0,
                                  1,
                                  uint8_t(samples >> 16),
                                  uint8_t(samples >> 8),
                                  uint8_t(samples),
                                  0x03,
                                  0};
        std::memcpy(p, head, sizeof head);
        for (int k = 0; k < samples; ++k) {
            const int v = 450 + (k * 37 + s) % 500;
            p[16 + 2 * k] = uint8_t(v >> 8);
            p[17 + 2 * k] = uint8_t(v);
        }
        p[16 + 2 * samples] = 0x5A;
        p[17 + 2 * samples] = 0xA5;
        r += size_t(18 + 2 * samples);
    }
    const uint32_t last = uint32_t(r - 1);
    img[11] = uint8_t(last >> 16);
    img[12] = uint8_t(last >> 8);
    img[13] = uint8_t(last);
    return img;
}

void parseBenchmark(benchmark::State& state, const LoggerImage& img, bool withRows) {
    DataSetTable table;
    QList<QStringList> rows;
    const int32_t lastAddress = imageLastAddress(img);
    for (auto _ : state) {
        const int32_t r =
            parseImage(img, lastAddress, kNow, table, withRows ? &rows : nullptr, kLocale);
        benchmark::DoNotOptimize(r);
        benchmark::DoNotOptimize(table.levels().data());
    }
    state.counters["samples"] = double(table.levels().size());
    state.counters["sets"] = table.setCount();
}

}  // namespace

// What copying a full memory image costs: the floor under parsing it.
static void BM_CopyImageBaseline(benchmark::State& state) {
    const LoggerImage src = loggerImage(1, 65399);
    LoggerImage dst(src.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(src.size()));
}
BENCHMARK(BM_CopyImageBaseline);

// One set filling the whole memory (65 399 samples, the largest): the parse Load Data runs,
// which installs the table that the data-set list formats its rows from when they are drawn.
static void BM_ParseFullImage(benchmark::State& state) {
    parseBenchmark(state, loggerImage(1, 65399), false);
}
BENCHMARK(BM_ParseFullImage);

// 4000 sets of 7 samples (the most sets, filling the memory), parsed as by Load Data.
static void BM_ParseManySets(benchmark::State& state) {
    parseBenchmark(state, loggerImage(4000, 7), false);
}
BENCHMARK(BM_ParseManySets);

// The same with all 4000 rows' texts made at once, as `kl516-cli sets` prints them: what a list
// that formatted every row up front would add.
static void BM_ParseManySetsAllRowTexts(benchmark::State& state) {
    parseBenchmark(state, loggerImage(4000, 7), true);
}
BENCHMARK(BM_ParseManySetsAllRowTexts);

// Listing 4000 parsed sets in the DataLogger window and drawing the list once.
static void BM_FillDataSetList(benchmark::State& state) {
    DataSetTable table;
    const LoggerImage img = loggerImage(4000, 7);
    parseImage(img, imageLastAddress(img), kNow, table, nullptr, kLocale);
    test::FakeGraphHost host;
    GraphWindow window(host);
    window.dataSetPanel->show();
    window.resize(GraphWindow::kClientWidth, GraphWindow::kClientHeight);
    window.show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        fillDataSetList(window, table, kLocale);
        window.dataSetTable->viewport()->repaint();
    }
    state.counters["rows"] = window.dataSetTable->model()->rowCount();
}
BENCHMARK(BM_FillDataSetList)->Unit(benchmark::kMicrosecond);

// A full 131 072-byte download from the simulated meter at zero latency; the manual clock makes
// the presence check's waits free, so this is the program's own cost per download.
static void BM_DownloadFullMemory(benchmark::State& state) {
    ManualClock clock;
    SimulatedMeter::Options options;
    const LoggerImage img = loggerImage(1, 65399);
    options.initialImage =
        QByteArray(reinterpret_cast<const char*>(img.data()), qsizetype(img.size()));
    SimulatedMeter meter(clock, options);
    IdleLinkHost host;
    MeterLink link(meter, clock, host);
    LoggerImage image;
    int32_t lastAddress = 0;
    for (auto _ : state) {
        const int32_t r = downloadMemory(link, host, image, lastAddress, nullptr);
        if (r != 0 || image.size() != size_t(kLoggerMemorySize))
            state.SkipWithError("download failed");
        benchmark::DoNotOptimize(image.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kLoggerMemorySize);
}
BENCHMARK(BM_DownloadFullMemory)->Unit(benchmark::kMillisecond);
