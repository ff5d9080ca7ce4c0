#include "report/ui/TablePrinter.h"

#include <QAbstractItemModel>
#include <QFontDatabase>
#include <QPainter>
#include <QPrinter>
#include <vector>

#include "report/ui/GraphRender.h"
#include "report/ui/PageWriter.h"

namespace kl516::TablePrinter {

namespace {

constexpr int kPointSize = 10;

QString cellText(const QAbstractItemModel& model, int row, int column) {
    return model.data(model.index(row, column), Qt::DisplayRole).toString();
}

QString titleText(const QAbstractItemModel& model, int column) {
    return model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
}

}  // namespace

QFont font() {
    static const QString kPreferred = QStringLiteral("FixedSys");
    QFont f = QFontDatabase::hasFamily(kPreferred)
                  ? QFont(kPreferred)
                  : QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setPointSize(kPointSize);
    f.setStyleHint(QFont::TypeWriter);
    f.setFixedPitch(true);
    // Table text needs no shaping (no ligatures, kerning or joined scripts in a fixed pitch).
    f.setStyleStrategy(QFont::PreferNoShaping);
    return f;
}

int printedColumns(const QAbstractItemModel& model) {
    const int rows = model.rowCount();
    for (int c = model.columnCount() - 1; c >= 0; --c) {
        if (!titleText(model, c).isEmpty()) return c + 1;
        for (int r = 0; r < rows; ++r)
            if (!cellText(model, r, c).isEmpty()) return c + 1;
    }
    return 0;
}

bool print(const QAbstractItemModel& model, QPrinter& printer, const QString& caption,
           const QDateTime& printedAt) {
    const int columns = printedColumns(model);
    const int rows = model.rowCount();
    QStringList header;
    for (int c = 0; c < columns; ++c) header << titleText(model, c);
    std::vector<QStringList> cells{size_t(rows)};
    for (int r = 0; r < rows; ++r) {
        QStringList& line = cells[size_t(r)];
        line.reserve(columns);
        for (int c = 0; c < columns; ++c) line << cellText(model, r, c);
    }
    const TableLayout layout = layOutTable(printer, font(), header, cells, printer.width());
    const QString printed = printedDateTime(printedAt);
    auto compose = [&](QPainter* painter, int total) {
        PageWriter w(painter, printer, caption, printed, total);
        w.table(caption, layout, header, cells);
        return w.finish();
    };
    const int total = compose(nullptr, 0);
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    compose(&painter, total);
    return painter.end();
}

}  // namespace kl516::TablePrinter
