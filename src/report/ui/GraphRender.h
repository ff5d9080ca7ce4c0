#pragma once

#include <QDateTime>
#include <QRectF>
#include <QSize>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "graph/GraphState.h"
#include "report/GraphDrawing.h"

class QCPPainter;
class QPrinter;

namespace kl516 {

class GraphView;

// Pictures of a graph, for files and paper. The graph is drawn in screen pixels (96 per inch)
// at the size of its place, so that fonts, ticks, cursor lines and their labels, annotations and
// the legend keep their proportions on screen whatever the page or file.

// Draws the graph of `view` into `target` at the target's own size. The painter's device must
// count 96 dots per inch (kScreenDpi), the screen's pixels in which the graph lays out its
// text: pages and files set their resolution to it, which costs a vector drawing nothing.
inline constexpr int kScreenDpi = 96;
void drawGraph(GraphView& view, QCPPainter& painter, const QRectF& target);

// Writes the graph as a PNG, SVG or PDF file of `size` pixels (a PDF page of that size at 96
// pixels per inch). Empty when written; otherwise why not.
QString writeGraphImage(GraphView& view, const QString& path, QSize size);

// The same for a graph state, drawn by a graph control that is laid out at a graph window's
// size and never shown (the command-line tool's way).
QString writeGraphImage(GraphState state, const QString& path, QSize size);

// Calls f(view) with such a control holding `state`.
void withOffscreenGraph(GraphState state, const std::function<void(GraphView&)>& f);

// Prints the graph on one page of `printer`: a header with the caption and the date printed,
// the graph filling the page at its size, and the page number. False when the printer could
// not begin the document.
bool printGraphPage(GraphView& view, QPrinter& printer, const QString& caption,
                    const QDateTime& printedAt);

}  // namespace kl516
