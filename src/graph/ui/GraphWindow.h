#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

#include "graph/Annotations.h"
#include "graph/Statistics.h"
#include "graph/ui/GraphView.h"
#include "workspace/GraphDocument.h"

class QComboBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QSplitter;
class QTableView;
class QToolBar;
class QToolButton;
class QAction;

namespace kl516 {

class DataSetListModel;
class GraphWindowHost;
class AnnotationTextDialog;
class DataSetStartDialog;
class EraseAnnotationsDialog;
struct RunningLeq;
class NoiseAssessmentWindow;
class RangeSlider;

// The window in which every series of levels is looked at: the graph control, the graph and
// cursor statistics panels, the range slider driving cursors A and B, and the tool bar. The
// same class serves the logger data sets ("DataLogger"), the live readings ("Real-Time Graph")
// and every other graph; its document's role tells them apart, the caption is only shown.
class GraphWindow : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kClientWidth = 1152;
    static constexpr int kClientHeight = 699;

    explicit GraphWindow(GraphWindowHost& host, GraphDocument document = {},
                         QWidget* parent = nullptr);

    QString caption() const { return windowTitle(); }
    void setCaption(const QString& caption) { setWindowTitle(caption); }
    // What the window shows: its role, and what Save and the close question do with it.
    const GraphDocument& document() const { return document_; }
    WindowRole role() const { return document_.role; }
    void setDocument(const GraphDocument& document);
    // Shows the "Clear" button and its divider (the real-time window's).
    void setClearVisible(bool shown);
    // The model behind dataSetTable.
    DataSetListModel& dataSetList() const;

    // Prepares the graph for new data; applies the first graph template found (the user's, then
    // the shipped one, then one in the program's folder).
    void setUpGraph(int series, double topY, double bottomY, double rightX, double leftX,
                    int points);
    // Applies a template file (32-bit length + state block): its looks, not its points; the
    // graph keeps its annotations. False, with the state unchanged, when the file cannot be read
    // whole or its state cannot be loaded.
    bool loadGraphTemplate(const QString& path);
    // Fills the graph statistic from series 0 and resets the slider. `samplingRate` is the
    // run's own rate as text when the caller knows it; empty, the rate is the span divided by
    // the intervals between the points.
    void updateGraphStatistic(const QString& samplingRate = QString());
    // Empties the figures of both statistics panels (averages, extremes, cursor readouts and
    // their times); start time, sampling rate and point count stay for the caller to set.
    void clearStatistics();
    void showDataSet(int index);
    void redraw();
    // Slider range 0 ... points - 1 with the thumbs at a third and two thirds; the cursors
    // follow the series even when neither value changes.
    void setSliderRange(int points);

    // Cursors and statistics
    void onRangeSliderChanged();
    void placeCursor(int cursor, int point);
    void updateCursorStatistic();
    void onGraphMouseMoved(const QPoint& pixel);
    void onGraphZoomedIn();
    void undoZoom();
    void toggleGraphStatistics();
    void toggleCursorStatistics();
    int cursorA() const { return cursorA_; }
    int cursorB() const { return cursorB_; }
    // The cursor the keys move while the graph has the focus: 0 (A) or 1 (B). Its label in the
    // cursor panel is shown bold. Tab on the graph switches it; pressing a cursor line takes it.
    int activeCursor() const { return activeCursor_; }
    void setActiveCursor(int cursor);
    // Moves the active cursor by `points` (clamped to the series), through the slider as a drag
    // does.
    void stepActiveCursor(int points);

    // Graph options: the graph's settings dialog, then the question whether its looks become
    // the template of new graphs (written to the user's template).
    void openGraphOptions();
    void onGraphOptionsClosed();

    // The start of a logger data set (DataLogger window): the selected row's set, or set i.
    void changeSelectedDataSetDateTime();
    void changeDataSetDateTime(int i);
    // Runs the date/time dialog and returns its result; empty: exec(). Tests answer it here.
    std::function<int(DataSetStartDialog&)> execDataSetStartDialog;

    // Annotations. The three pointer buttons set the mode all graph windows share; a click on
    // the graph places a note or a cross; the erase dialog lists this window's annotations.
    void selectNormalMode();
    void selectTextMode();
    void selectCrossMode();
    void onGraphClicked();
    void eraseAnnotations();
    void markDataPoint(int series, int point);
    // A double click on an annotation in normal mode erases it.
    void onAnnotationDoubleClicked(int annotation);
    // The real-time window's Clear: after the real-time save question when the run is unsaved,
    // 200 empty points from now, the annotations moved away, the statistics emptied.
    void clearRealTimeGraph();
    // The dialogs, modal; true for OK / Delete. Tests answer them here.
    std::function<bool(AnnotationTextDialog&)> execAnnotationTextDialog;
    std::function<bool(EraseAnnotationsDialog&)> execEraseAnnotationsDialog;

    // Export Statistic: the statistics panels' texts to the clipboard.
    void exportStatistics();
    // CAL Leq: a new window (owned by this one, captioned "<its caption> – Leq") showing the
    // levels and their running Leq; null when there are fewer than two levels.
    GraphWindow* openRunningLeq();
    // Assessment: the noise assessment of series 0 between cursors A and B, in a new window
    // (going with this one) captioned "<its caption> – Noise Assessment". A series the assessment
    // refuses (fewer than two samples...) is told in that window.
    NoiseAssessmentWindow* openNoiseAssessment();
    // The assessment window made last, while it exists.
    NoiseAssessmentWindow* noiseAssessmentWindow() const;
    // The running-Leq window made last, while it exists.
    GraphWindow* runningLeqWindow() const { return runningLeqWindow_; }
    // Sets this window up with the levels ("SPL") and running Leq ("Leq") series, the statistics
    // and the drawing, without showing it; CAL Leq is disabled here.
    // `samplingRate`: the source run's rate as its window shows it (empty: computed).
    void showRunningLeq(const RunningLeq& leq, const QString& samplingRate = QString());

    // Window events
    void onFirstShow();
    // The close question of the document; true allows the close (which then minimises).
    bool confirmClose();

    // Controls
    GraphView* graphView;
    RangeSlider* rangeSlider;
    QWidget *dataSetPanel, *graphStatisticsPanel, *cursorStatisticsPanel, *sliderPanel,
        *samplingRatePanel;
    QWidget* graphPanel;
    QLabel* dataSetsLabel;
    QTableView* dataSetTable;  // shows a DataSetListModel
    QMenu* dataSetMenu;
    QAction* changeDateTimeAction;
    QSplitter *graphSplitter, *dataSetSplitter;
    QToolBar* toolBar;
    QToolButton *graphStatisticsButton, *cursorStatisticsButton, *normalModeButton,
        *crossModeButton, *textModeButton, *eraseAnnotationsButton, *colorButton, *monochromeButton,
        *clearButton, *undoZoomButton, *graphOptionsButton, *exportStatisticsButton,
        *runningLeqButton, *assessmentButton;
    QAction* clearSeparator;
    QLabel* pointerReadoutLabel;
    QLineEdit *seriesStartTime, *pointCount, *seriesAverage, *seriesMaximum, *seriesMaximumTime,
        *seriesMinimum, *seriesMinimumTime;
    QComboBox* samplingRateBox;
    QLineEdit *cursorALevel, *cursorATime, *cursorBLevel, *cursorBTime, *betweenCursorsMaximum,
        *betweenCursorsMaximumTime, *betweenCursorsMinimum, *betweenCursorsMinimumTime,
        *betweenCursorsAverage;
    // The energy mean and the levels exceeded 10, 50 and 90 % of the time between the cursors.
    QLineEdit *betweenCursorsLeq, *betweenCursorsL10, *betweenCursorsL50, *betweenCursorsL90;

  signals:
    // Clear was pressed: the real-time sample count goes back to 0 (the main window's part).
    void realTimeCleared();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildLayout();
    // Sizes each statistics field to the widest text it may show in the window's font and
    // locale.
    void fitStatisticFields();
    void alignSlider();
    void movePointerReadout();
    void onGraphPressed(const QPoint& pixel, Qt::MouseButton button);
    void dragCursorLine(const QPoint& pixel);
    // Keys pressed on the graph: cursor moves and Tab. True when the key was used.
    bool graphKeyPressed(const QKeyEvent& event);
    // A level as every level is shown (kl516::levelText), in the host's locale.
    QString levelText(double level) const;
    const CursorStatisticsIndex& seriesIndex();
    // Point times, with tenths of a second while the sampling rate shown is below one second.
    QString dateTimeText(double x) const;
    QString longTimeText(double x) const;
    bool tenthsShown() const;
    void clearSeriesFigures();
    void clearCursorFigures();
    // Buttons and pointer of the shared annotation mode.
    void showAnnotationMode(AnnotationMode mode);
    void placeAnnotation(int32_t type, QPointF at, const QString& text);

    GraphWindowHost& host_;
    GraphDocument document_;
    int cursorA_ = 0;
    int cursorB_ = 100;
    // The figures of the first series, whole and between the cursors, rebuilt when its points
    // change.
    CursorStatisticsIndex cursorIndex_;
    bool draggingLine_[2] = {false, false};
    int activeCursor_ = 0;
    QLabel* cursorLabels_[2] = {nullptr, nullptr};
    bool shownOnce_ = false;
    QPointer<GraphWindow> runningLeqWindow_;
    QPointer<NoiseAssessmentWindow> noiseAssessmentWindow_;
};

}  // namespace kl516
