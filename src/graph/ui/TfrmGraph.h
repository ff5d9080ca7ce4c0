#pragma once

#include <QWidget>

#include "graph/GraphDocument.h"
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

    // Prepares the graph for new data; applies the template when there is one.
    void setUpGraph(int series, double topY, double bottomY, double rightX, double leftX,
                    int points);
    // Applies a template file (32-bit length + state block). False, with the state unchanged,
    // when the file cannot be read whole or its state cannot be loaded.
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

    // Window events
    void FormShow();
    // The close question of the document; true allows the close (which then minimises).
    bool FormCloseQuery();

    QString templatePath() const;

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

    GraphWindowHost& host_;
    GraphDocument document_;
    int cursorA_ = 0;
    int cursorB_ = 100;
    bool draggingLine_[2] = {false, false};
    bool shownOnce_ = false;
};

}  // namespace kl516
