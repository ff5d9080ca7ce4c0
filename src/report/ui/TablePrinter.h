#pragma once

#include <QDateTime>
#include <QFont>
#include <QString>

class QAbstractItemModel;
class QPrinter;

namespace kl516 {

// Printing a table: the window's caption as the title on page 1, the column titles over their
// columns on every page, then the rows; a header line (caption, date printed) and "Page n of m"
// on every page. Columns are placed by the widths of their texts measured in the print font
// on the printer (the widest cell of each column plus a gap), so they line up in any font.
namespace TablePrinter {

// "FixedSys" where it is installed, otherwise the system's fixed-pitch font; 10 points.
QFont font();

// The columns printed: every column up to the last one holding a title or a cell text (a
// table's trailing empty columns are left out, the others all printed).
int printedColumns(const QAbstractItemModel& model);

// Prints `model` on `printer`. False when the printer could not begin the document.
bool print(const QAbstractItemModel& model, QPrinter& printer, const QString& caption = QString(),
           const QDateTime& printedAt = QDateTime::currentDateTime());

}  // namespace TablePrinter

}  // namespace kl516
