#include "report/ui/TablePrinter.h"

#include <QAbstractItemModel>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>
#include <algorithm>

namespace kl516::TablePrinter {

namespace {

constexpr int kPointSize = 10;
constexpr int kTimeColumn = 2;
constexpr int kTimeColumnWidth = 17;
constexpr int kColumnWidth = 10;
constexpr int kLineGap = 4;  // device pixels added to the text height
const char* const kMeasureText = "String Grid Printout";

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

QString paddedLine(const QStringList& cells) {
    QString line;
    line.reserve(cells.size() * 2 * kTimeColumnWidth);
    for (qsizetype j = 0; j < cells.size(); ++j) {
        const QString& text = cells[j];
        const int width = j == kTimeColumn ? kTimeColumnWidth : kColumnWidth;
        line += text;
        if (text.size() < width) line += QString(2 * (width - text.size()), QLatin1Char(' '));
    }
    return line;
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

Layout layout(QPrinter& printer) {
    const QFontMetrics metrics(font(), &printer);
    Layout l;
    l.lineHeight = metrics.boundingRect(QLatin1String(kMeasureText)).height() + kLineGap;
    l.lineHeight = std::max({l.lineHeight, metrics.height() + kLineGap, 1});
    l.linesPerPage = std::max(printer.height() / l.lineHeight - 1, 1);
    return l;
}

bool print(const QAbstractItemModel& model, QPrinter& printer) {
    const Layout l = layout(printer);
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    painter.setFont(font());
    painter.setPen(Qt::black);
    const int ascent = painter.fontMetrics().ascent();
    const int columns = printedColumns(model);
    const int rows = model.rowCount();
    QStringList cells;
    cells.reserve(columns);
    // Line 0 is the title row, line i the model's row i - 1.
    for (int i = 0; i <= rows; ++i) {
        if (i % l.linesPerPage == 0 && i != 0) printer.newPage();
        cells.clear();
        for (int c = 0; c < columns; ++c)
            cells.append(i == 0 ? titleText(model, c) : cellText(model, i - 1, c));
        const int top = (i % l.linesPerPage) * l.lineHeight + l.lineHeight;
        QString line = paddedLine(cells);
        // Trailing blanks draw nothing (leading ones place the text).
        qsizetype end = line.size();
        while (end > 0 && line[end - 1] == QLatin1Char(' ')) --end;
        line.truncate(end);
        painter.drawText(1, top + ascent, line);
    }
    return painter.end();
}

}  // namespace kl516::TablePrinter
