#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <optional>

#include "dataset/MeasuredSeries.h"
#include "graph/GraphState.h"
#include "assessment/NoiseAssessment.h"
#include "report/GraphDrawing.h"

namespace kl516 {

class GraphView;

// The figures of a range of points of series 0 (both ends included): levelFigures of the
// measured series, as the graph window's statistics panels show them.
struct RangeFigures {
    int lo = 0, hi = 0;
    int levels = 0;  // points counted (a time and a level); 0: no figure below is meaningful
    float lmax = 0, lmin = 0;
    double lmaxTime = 0, lminTime = 0;  // SerialDateTime
    double leq = 0;
    float l10 = 0, l50 = 0, l90 = 0;
    // Leq + 10 lg(T / 1 s), T the measured time (each level weighs the time to the next point,
    // a gap only up to twice the typical spacing); empty when T is 0.
    std::optional<double> sel;
};

struct ReportFigures {
    int samples = 0;
    int missing = 0;             // points without a level
    double first = 0, last = 0;  // SerialDateTime of the first and last point
    double samplingRate = 0;     // seconds: the typical (median) spacing of the points
    RangeFigures whole;
    std::optional<RangeFigures> cursors;  // only when the cursors are not at the series' ends
};

// a, b: the cursors' point indexes (either order), or -1 when there are none.
ReportFigures reportFigures(const GraphState& state, int a = -1, int b = -1);
// The same with the state's measured series (graphMeasuredSeries) made once by the caller.
ReportFigures reportFigures(const GraphState& state, const MeasuredSeries& series, int a, int b);

// Writes the measurement report of the graph of `view` (series 0) as a PDF file: page 1 the
// series' particulars, the graph as on screen, the figures of the whole series and between the
// cursors, and the notes; then the noise assessment's interval and day-evening-night tables
// (when the series can be assessed) and, when asked for, every sample. Empty when written;
// otherwise why not.
QString writeMeasurementReport(GraphView& view, const ReportRequest& request, const QString& path);
// The same for a graph state, drawn by a graph control that is never shown.
QString writeMeasurementReport(GraphState state, const ReportRequest& request,
                               const QString& path);

}  // namespace kl516
