#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

class QAbstractItemModel;
class QPrinter;

namespace kl516 {

// Printing a table as plain text lines in a fixed-pitch font: a title row from the model's
// horizontal header, then one line per row. Any table model can be printed.
namespace TablePrinter {

// "FixedSys" where it is installed, otherwise the system's fixed-pitch font; 10 points.
QFont font();

// A row as one line: each cell followed by two blanks for every character it is shorter than
// its column's width (17 for column 2, the time column; 10 for the others). A cell of the
// width or longer gets no blanks and touches the next one.
QString paddedLine(const QStringList& cells);

// The columns printed: every column up to the last one holding a title or a cell text (a
// table's trailing empty columns are left out, the others all printed).
int printedColumns(const QAbstractItemModel& model);

// Line height h (the font's text height + 4 device pixels) and lines per page on a printer. The
// first line of a page starts one line height below its top, so a page holds one line less than
// page height / h: every line, the last one too, lies whole on the page.
struct Layout {
    int lineHeight = 0;
    int linesPerPage = 0;
};
Layout layout(QPrinter& printer);

// Prints the title row (on the first page only) and every row of `model` on `printer`, starting
// a new page every linesPerPage lines. False when the printer could not begin the document.
bool print(const QAbstractItemModel& model, QPrinter& printer);

}  // namespace TablePrinter

}  // namespace kl516
