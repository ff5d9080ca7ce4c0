#pragma once

#include <QDateTime>
#include <QLocale>
#include <QSize>
#include <QString>
#include <optional>

#include "graph/GraphState.h"
#include "assessment/NoiseAssessment.h"

namespace kl516 {

// What is asked of a picture or a report of a graph, and the drawing behind one interface: the
// drawing needs the graph control and the graphical libraries, which the command-line tool
// reaches only through GraphDrawing.

enum class GraphImageKind { Png, Svg, Pdf };

// By the file name's suffix (.png, .svg, .pdf, any case); nothing for any other.
std::optional<GraphImageKind> graphImageKind(const QString& path);

// The default size of a graph image, in pixels.
inline constexpr QSize kDefaultImageSize{1600, 900};

struct ReportRequest {
    QString title;   // caption or file name
    QString source;  // where the series came from
    int cursorA = -1, cursorB = -1;
    bool includeSamples = false;
    AssessmentOptions assessment;
    QLocale locale = QLocale::c();  // the levels' decimal separator
    QDateTime printedAt = QDateTime::currentDateTime();
};

// The date-time texts of printouts: four-digit years, "2024-04-13 09:20:31".
QString printedDateTime(const QDateTime& t);

// Draws a graph state as a graph window would show it. Each call returns an empty text when
// the file was written, otherwise why not.
class GraphDrawing {
  public:
    virtual ~GraphDrawing() = default;
    // A PNG, SVG or PDF file of `size` pixels. The state is taken over (a series may hold
    // millions of points: pass it moved).
    virtual QString writeImage(GraphState state, const QString& path, QSize size) const = 0;
    // The measurement report as a PDF file.
    virtual QString writeReport(GraphState state, const ReportRequest& request,
                                const QString& path) const = 0;
};

}  // namespace kl516
