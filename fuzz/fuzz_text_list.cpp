// libFuzzer target: text files read into the tabular list, with both separators (and as the
// spreadsheet CSV where the first line is its header), and the list turned into graph points.
#include <QBuffer>
#include <QLocale>
#include <cstdint>
#include <cstdlib>

#include "formats/ListTable.h"

namespace {

void check(const QByteArray& bytes, QChar separator, const QLocale& locale) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    kl516::ListTableModel list;
    const kl516::ListReadResult result = kl516::readTextIntoList(buffer, separator, list);
    if (result.stop == kl516::ListReadStop::CannotOpen) std::abort();
    if (result.lines != list.rowCount()) std::abort();
    // A row comes from at most 179 characters: its fields and the separators between them. The
    // spreadsheet CSV's time, "2024-04-13T09:20" at its shortest, shows as a date and a time of
    // at most 4 characters more ("2024-04-13", "09:20:00.0").
    const bool spreadsheet =
        kl516::textDialectOf(bytes.left(bytes.indexOf('\n'))) == kl516::TextDialect::SpreadsheetCsv;
    const qsizetype most = kl516::kMaxListLine + (spreadsheet ? 4 : 0);
    for (int r = 0; r < list.rowCount(); ++r) {
        if (list.cell(r, 0) != QString::number(r + 1)) std::abort();
        qsizetype chars = 0;
        for (int c = 1; c < kl516::ListTableModel::kColumns; ++c) chars += list.cell(r, c).size();
        if (chars > most) std::abort();
    }
    (void)kl516::listReadMessage(result);
    const kl516::ListGraphPoints points = kl516::listGraphPoints(list, locale);
    if (points.error.isEmpty() &&
        (points.x.size() != size_t(list.rowCount()) || points.y.size() != points.x.size()))
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QLocale us(QLocale::English, QLocale::UnitedStates);
    static const QLocale german(QLocale::German, QLocale::Germany);
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    check(bytes, QLatin1Char('\t'), us);
    check(bytes, QLatin1Char(','), german);
    return 0;
}
