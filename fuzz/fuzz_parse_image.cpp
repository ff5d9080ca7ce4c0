// Parses any bytes as a logger image and checks that the table it installs keeps its
// invariants: the parse must never read outside the image, end for any header, and leave set
// counts, record offsets, intervals, levels and statistics consistent.
#include <QDateTime>
#include <QLocale>
#include <cstdint>
#include <cstdlib>
#include <numeric>
#include <span>

#include "dataset/DataSetTable.h"
#include "logger/LoggerImage.h"
#include "logger/MemoryParser.h"

using namespace kl516;

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

void checkTable(const DataSetTable& t, size_t imageSize, const QList<QStringList>* rows) {
    const int n = t.setCount();
    require(n >= 1 && n <= kMaxDataSets);
    require(t.appendedSets() == n);
    const int64_t total = std::accumulate(t.counts().begin(), t.counts().end(), int64_t{0});
    require(int64_t(t.levels().size()) == total && int64_t(t.sampleTimes().size()) == total);
    require(total * 2 <= int64_t(imageSize));
    require(t.recordStarts().front() == 256);
    for (int i = 0; i < n; ++i) {
        const auto s = size_t(i);
        const int32_t c = t.counts()[s];
        require(c >= 0);
        require(t.recordEnds()[s] >= t.recordStarts()[s] + 16);
        if (i + 1 < n) require(t.recordStarts()[s + 1] == t.recordEnds()[s] + 1);
        require(t.intervals()[s] >= 0 && t.intervals()[s] <= 60);
        require(c == 0 ? t.maxIndexes()[s] == 0 && t.minIndexes()[s] == 0 && t.averages()[s] == 0
                       : t.maxIndexes()[s] < c && t.minIndexes()[s] < c);
    }
    for (const float level : t.levels())
        require(level == 0.0f || (level >= 20.0f && level <= 140.0f));
    if (rows) require(rows->size() == n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QDateTime now(QDate(2024, 6, 1), QTime(12, 30, 45, 250));
    const std::span<const uint8_t> image(data, size);
    DataSetTable table;
    QList<QStringList> rows;
    // Header byte 1 is not read by the parser: its low bit chooses whether the list rows are
    // built too, for images of few sets (rows cost far more than the parse, and thousands of
    // them would slow the search down).
    const bool withRows = size > 10 && (data[1] & 1) != 0 && data[9] == 0 && data[10] <= 64;
    const int32_t result = parseImage(image, imageLastAddress(image), now, table,
                                      withRows ? &rows : nullptr, QLocale::c());
    if (parseInstalledTable(result))
        checkTable(table, size, withRows ? &rows : nullptr);
    else
        require(table.setCount() == 0 && rows.isEmpty());
    return 0;
}
