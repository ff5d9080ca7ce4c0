#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

#include "graph/Annotations.h"
#include "workspace/GraphDocument.h"
#include "graph/ui/PESGraph.h"

class QComboBox;
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
class TfrmAnnoEdit;
class TfrmDateTime;
class TfrmDelAnno;
struct RunningLeq;
class Tslider2;

// The window in which every series of levels is looked at: the graph control, the graph and
// cursor statistics panels, the range slider driving cursors A and B, and the tool bar. The
// same class serves the logger data sets ("DataLogger"), the live readings ("Real-Time Graph")
// and every other graph; its document's role tells them apart, the caption is only shown.
class TfrmGraph : public QWidget {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 1152;
    static constexpr int kClientHeight = 699;

    explicit TfrmGraph(GraphWindowHost& host, GraphDocument document = {},
                       QWidget* parent = nullptr);

    QString caption() const { return windowTitle(); }
    void setCaption(const QString& caption) { setWindowTitle(caption); }
    // What the window shows: its role, and what Save and the close question do with it.
    const GraphDocument& document() const { return document_; }
    WindowRole role() const { return document_.role; }
    void setDocument(const GraphDocument& document);
    // Shows the "Clear" button and its divider (the real-time window's).
    void setClearVisible(bool shown);
    // The model behind Grid2.
    DataSetListModel& dataSetList() const;

    // Prepares the graph for new data; applies the first graph template found (the user's, then
    // the shipped one, then one in the program's folder).
    void setUpGraph(int series, double topY, double bottomY, double rightX, double leftX,
                    int points);
    // Applies a template file (32-bit length + state block): its looks, not its points; the
    // graph keeps its annotations. False, with the state unchanged, when the file cannot be read
    // whole or its state cannot be loaded.
    bool loadGraphTemplate(const QString& path);
    void updateGraphStatistic();
    void showDataSet(int index);
    void redraw();
    // Slider range 0 ... points - 1 with the thumbs at a third and two thirds; the cursors
    // follow the series even when neither value changes.
    void setSliderRange(int points);

    // Cursors and statistics
    void Slider1ValueChange1();
    void placeCursor(int cursor, int point);
    void updateCursorStatistic();
    void PESGraph1MouseMove(const QPoint& pixel);
    void PESGraph1ZoomIn();
    void UndoZoomClick();
    void ToolButton1Click();
    void ToolButton2Click();
    int cursorA() const { return cursorA_; }
    int cursorB() const { return cursorB_; }

    // Graph options: the graph's settings dialog, then the question whether its looks become
    // the template of new graphs (written to the user's template).
    void Button1Click();
    void PESGraph1CustomizeDlg();

    // The start of a logger data set (DataLogger window): the selected row's set, or set i.
    void ChangeDateTime1Click();
    void changeDataSetDateTime(int i);
    // Runs the date/time dialog and returns its result; empty: exec(). Tests answer it here.
    std::function<int(TfrmDateTime&)> execDateTimeDialog;

    // Annotations. The three pointer buttons set the mode all graph windows share; a click on
    // the graph places a note or a cross; the erase dialog lists this window's annotations.
    void ToolButton4Click();
    void ToolButton9Click();
    void ToolButton5Click();
    void PESGraph1Click();
    void ToolButton13Click();
    void PESGraph1DataHotSpot(int series, int point);
    // A double click on an annotation in normal mode erases it.
    void PESGraph1GraphAnnotDoubleClick(int annotation);
    // The real-time window's Clear: 200 empty points from now, the annotations moved away.
    void tbntClrClick();
    // The dialogs, modal; true for OK / Delete. Tests answer them here.
    std::function<bool(TfrmAnnoEdit&)> execAnnoEdit;
    std::function<bool(TfrmDelAnno&)> execDelAnno;

    // Export Statistic: the statistics panels' texts to the clipboard.
    void Button2Click();
    // CAL Leq: a new window (owned by this one, with its caption) showing the levels and their
    // running Leq; null when there are fewer than two levels.
    TfrmGraph* bunCalLEQClick();
    // The Leq window made last, while it exists.
    TfrmGraph* leqWindow() const { return leqWindow_; }
    // Sets this window up with the levels ("SPL") and running Leq ("Leq") series, the statistics
    // and the drawing, without showing it; CAL Leq is disabled here.
    void showRunningLeq(const RunningLeq& leq);

    // Window events
    void FormShow();
    // The close question of the document; true allows the close (which then minimises).
    bool FormCloseQuery();

    // Controls
    PESGraph* PESGraph1;
    Tslider2* Slider1;
    QWidget *pnlDataSets, *pnlGraphStatistic, *pnlStatistic, *pnlSlider, *pnlSamplingRate;
    QWidget* pnlGraph;
    QLabel* StaticText1;
    QTableView* Grid2;  // shows a DataSetListModel
    QMenu* PopupMenu1;
    QAction* ChangeDateTime1;
    QSplitter *Splitter1, *Splitter2;
    QToolBar* ToolBar1;
    QToolButton *ToolButton1, *ToolButton2, *ToolButton4, *ToolButton5, *ToolButton9,
        *ToolButton13, *ToolButton6, *ToolButton7, *tbntClr, *UndoZoom, *Button1, *Button2,
        *bunCalLEQ;
    QAction* tbntSep3;
    QLabel* Panel12;
    QLineEdit *txtStartTime, *txtDataNo, *txtAvgAll, *txtMax, *txtMaxTime, *txtMin, *txtMinTime;
    QComboBox* txtSamplingRate;
    QLineEdit *txtCursorA, *txtCursorATime, *txtCursorB, *txtCursorBTime, *txtMaxAB,
        *txtMaxABTime, *txtMinAB, *txtMinABTime, *txtAvgAB;
    // The energy mean and the levels exceeded 10, 50 and 90 % of the time between the cursors.
    QLineEdit *txtLeqAB, *txtL10AB, *txtL50AB, *txtL90AB;

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
    void alignSlider();
    void movePanel12();
    void onGraphPressed(const QPoint& pixel, Qt::MouseButton button);
    void dragCursorLine(const QPoint& pixel);
    QString levelText(double level) const;
    QString dateTimeText(double x) const;
    QString longTimeText(double x) const;
    // Buttons and pointer of the shared annotation mode.
    void showAnnotationMode(AnnotationMode mode);
    void placeAnnotation(int32_t type, QPointF at, const QString& text);

    GraphWindowHost& host_;
    GraphDocument document_;
    int cursorA_ = 0;
    int cursorB_ = 100;
    bool draggingLine_[2] = {false, false};
    bool shownOnce_ = false;
    QPointer<TfrmGraph> leqWindow_;
};

}  // namespace kl516
