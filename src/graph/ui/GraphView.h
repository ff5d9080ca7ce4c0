#pragma once

#include <QColor>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QWidget>

#include "graph/GraphState.h"

class QCustomPlot;

namespace kl516 {

// Actions of the graph control.
enum class GraphAction {
    ResetImage,       // rebuild the drawing from the state (after any change)
    InvalidateImage,  // repaint
    undoZoomButton,
    Customize,  // the settings dialog; dialogResult() tells OK (1) or not (0)
    ReinitAndReset,
};

enum class HotSpotKind { None, Data, VertLineAnnotation, GraphAnnotation };
struct HotSpot {
    HotSpotKind kind = HotSpotKind::None;
    int series = -1;  // Data
    int index = -1;   // point (Data), line 0/1, or annotation index
};

// The scientific graph control of every graph window: one or two series of levels against
// time, manual scales, titles, colours, annotation tables, two cursor lines, rubber-band zoom
// and the state as one block. Properties live in the state (editProperties); after changing them
// the caller runs ResetImage then InvalidateImage, as with the control this replaces.
class GraphView : public QWidget {
    Q_OBJECT
  public:
    explicit GraphView(QWidget* parent = nullptr);
    ~GraphView() override;

    // Settings are edited through editProperties, points through the setters below or
    // editPoints. ResetImage compares all settings with those last drawn, so any change of a
    // setting is picked up; the setters record the points they change, which keeps ResetImage
    // incremental, while editPoints marks every point for a check.

    // Calls f(GraphState&) to change settings (scales, looks, annotations, cursor lines). The
    // point vectors are moved out while f runs, so f sees them empty and cannot touch a point;
    // nothing is marked for re-checking. A change of the series or point count made by f is
    // applied as setSubsets / setPoints would.
    template <class F>
    void editProperties(F&& f) {
        const int32_t subsets = state_.subsets;
        const int32_t points = state_.points;
        PointVectors held;
        held.x.swap(state_.x);
        held.y.swap(state_.y);
        struct Restore {  // the points go back even when f throws
            GraphView* graph;
            PointVectors* held;
            ~Restore() {
                graph->state_.x.swap(held->x);
                graph->state_.y.swap(held->y);
            }
        };
        {
            Restore restore{this, &held};
            f(state_);
            // f must not write points: what it put into the moved-out vectors is dropped.
            Q_ASSERT(state_.x.empty() && state_.y.empty());
        }
        propertiesEdited(subsets, points);
    }

    // Calls f(GraphState&) with everything, points included, and marks every point for a check
    // at the next ResetImage.
    template <class F>
    void editPoints(F&& f) {
        struct Mark {  // marked even when f throws half way
            bool& touched;
            ~Mark() { touched = true; }
        } mark{stateTouched_};
        f(state_);
    }

    const GraphState& state() const { return state_; }

    // Data. Point -1 means every point of the series.
    void setSubsets(int count);
    int subsets() const { return state_.subsets; }
    void setPoints(int count);  // keeps existing points, new ones are X 0 / Y null
    int points() const { return state_.points; }
    double xValue(int series, int point) const;
    void setXValue(int series, int point, double value);
    float yValue(int series, int point) const;
    void setYValue(int series, int point, float value);
    // Bulk copies into series 0, from point 0.
    void copyXData(const double* values, int count);
    void copyYData(const float* values, int count);

    void perform(GraphAction action);
    int dialogResult() const { return dialogResult_; }

    // Queries
    QPoint lastMousePosition() const { return lastMouse_; }
    QRect plottingArea() const;  // in this widget's pixels
    HotSpot hotSpotAt(const QPoint& pixel) const;
    QPointF pixelToValue(const QPoint& pixel) const;  // (X, Y) of the first axis pair
    QPoint valueToPixel(double x, double y) const;
    bool isZoomed() const;
    // Ends a rubber-band zoom drag without zooming (Escape does this while the graph has the
    // focus). False when no drag was under way.
    bool cancelZoomDrag();

    QByteArray saveState() const { return saveGraphState(state_); }
    // Replaces the whole state and rebuilds the drawing (ResetImage); false leaves the state as
    // it was.
    bool loadState(const QByteArray& block);
    // The same from a state (moved in, or copied once).
    void setState(GraphState state);

    // Colour of cursor line 0 or 1 (default blue and red).
    void setVertLineColor(int line, const QColor& color);
    // The text lines drawn as the label of cursor line 0 or 1 after the last ResetImage: the
    // placement code is dropped and a line feed starts a new line. Empty while the line is hidden.
    QStringList vertLineLabelLines(int line) const;

    // Pages of the settings dialog (Customize): 1 titles, 2 axes, fonts, subsets; colours and
    // styles are always offered.
    void setAllowTitlesPage(bool on) { allowTitlesPage_ = on; }
    void setAllowAxesPage(bool on) { allowAxesPage_ = on; }
    void setAllowFontPage(bool on) { allowFontPage_ = on; }
    void setAllowSubsetsPage(bool on) { allowSubsetsPage_ = on; }

    QCustomPlot* plot() const { return plot_; }

  signals:
    void clicked(QPoint pixel);
    void mouseMoved(QPoint pixel);
    void mouseLeft();  // the pointer left the control
    void mousePressed(QPoint pixel, Qt::MouseButton button);
    void mouseReleased(QPoint pixel);
    void zoomedIn();
    void dataHotSpot(int series, int point);
    void vertLineAnnotHotSpot(int line);     // a press on cursor line 0 or 1
    void graphAnnotHotSpot(int annotation);  // a press on an annotation
    void graphAnnotDoubleClicked(int annotation);
    // The pointer came over an annotation (its index) or left it (-1).
    void graphAnnotHovered(int annotation);
    void customizeDialogClosed();
    // The X axis range or the plotting area is not what it was at the last replot; emitted
    // after the replot that shows it, before it is painted.
    void viewChanged();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    struct PointVectors {
        std::vector<std::vector<double>> x;
        std::vector<std::vector<float>> y;
    };
    // After editProperties: applies a series or point count that f changed.
    void propertiesEdited(int32_t subsetsBefore, int32_t pointsBefore);
    void resetImage();
    void customize();

    GraphState state_;
    bool stateTouched_ = true;
    bool allowTitlesPage_ = true, allowAxesPage_ = true, allowFontPage_ = true,
         allowSubsetsPage_ = true;
    QCustomPlot* plot_ = nullptr;
    QPoint lastMouse_;
    int hoveredAnnotation_ = -1;
    int dialogResult_ = 0;
    struct Impl;
    Impl* d_ = nullptr;
};

}  // namespace kl516
