#include "graph/ui/GraphWindow.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QStyleOption>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <cmath>
#include <initializer_list>
#include <limits>

#include "dataset/DataSetTable.h"
#include "dataset/SerialDateTime.h"
#include "graph/GraphFile.h"
#include "graph/GraphSeries.h"
#include "graph/RunningLeq.h"
#include "graph/StatisticText.h"
#include "graph/Statistics.h"
#include "graph/ui/AnnotationTextDialog.h"
#include "graph/ui/CrossCursor.h"
#include "graph/ui/DataSetListModel.h"
#include "graph/ui/DataSetStartDialog.h"
#include "graph/ui/EraseAnnotationsDialog.h"
#include "assessment/ui/NoiseAssessmentWindow.h"
#include "graph/ui/RangeSlider.h"
#include "graph/ui/ReflowLayout.h"
#include "levels/LevelArithmetic.h"
#include "levels/LevelFigures.h"
#include "link/Clock.h"
#include "workspace/Prompts.h"
#include "workspace/ui/GraphWindowHost.h"
#include "workspace/ui/WindowService.h"

namespace kl516 {

namespace {

// A statistics field; its width follows the widest text it may show (fitStatisticFields).
QLineEdit* readOnlyField(QWidget* parent, const char* name) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setReadOnly(true);
    return e;
}

// The width at which a line edit shows the widest of `texts` whole: the text, the edit's own
// margins and its frame, as its size hint counts them.
int fieldWidthFor(const QLineEdit* field, const QStringList& texts) {
    const QFontMetrics metrics = field->fontMetrics();
    int text = 0;
    for (const QString& t : texts) text = std::max(text, metrics.horizontalAdvance(t));
    const QMargins tm = field->textMargins();
    const QMargins cm = field->contentsMargins();
    constexpr int kInnerMargin = 2;  // the line edit's own gap each side of its text
    QStyleOptionFrame option;
    option.initFrom(field);
    option.lineWidth = field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, field);
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken | QStyle::State_ReadOnly;
    const QSize contents(text + 2 * kInnerMargin + tm.left() + tm.right() + cm.left() + cm.right() +
                             2,  // a pixel each side for the glyphs' bearings
                         metrics.height());
    return field->style()->sizeFromContents(QStyle::CT_LineEdit, &option, contents, field).width();
}

// One statistic of a panel (its name, the field and for an extreme "@" and its time), kept on
// one line when the panel reflows.
QWidget* statisticCell(QWidget* panel, std::initializer_list<QWidget*> parts) {
    auto* cell = new QWidget(panel);
    auto* line = new QHBoxLayout(cell);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(4);
    for (QWidget* part : parts) line->addWidget(part);
    return cell;
}

QLabel* makeLabel(QWidget* parent, const QString& text) {
    return new QLabel(text, parent);
}

// Sets a read-only field's text when it differs: a cursor step leaves most fields as they are,
// and an unchanged field need not be repainted.
void showText(QLineEdit* field, const QString& text) {
    if (field->text() != text) field->setText(text);
}

const double kSamplingRates[9] = {0.1, 0.2, 0.5, 1, 2, 5, 10, 20, 30};

}  // namespace

GraphWindow::GraphWindow(GraphWindowHost& host, GraphDocument document, QWidget* parent)
    : QWidget(parent), host_(host), document_(document) {
    setRole(this, document_.role);
    setObjectName(QStringLiteral("graphWindow"));
    setWindowTitle(QStringLiteral("Graph"));
    resize(kClientWidth, kClientHeight);
    execAnnotationTextDialog = [](AnnotationTextDialog& dialog) {
        return dialog.exec() == QDialog::Accepted;
    };
    execEraseAnnotationsDialog = [](EraseAnnotationsDialog& dialog) {
        return dialog.exec() == QDialog::Accepted;
    };
    buildLayout();
    connect(&host_.annotations(), &AnnotationState::modeChanged, this,
            &GraphWindow::showAnnotationMode);
    showAnnotationMode(host_.annotations().mode());
}

DataSetListModel& GraphWindow::dataSetList() const {
    return *static_cast<DataSetListModel*>(dataSetTable->model());
}

void GraphWindow::buildLayout() {
    // Left: the data-set list, shown only in the DataLogger window.
    dataSetPanel = new QWidget(this);
    dataSetPanel->setObjectName(QStringLiteral("dataSetPanel"));
    auto* listLayout = new QVBoxLayout(dataSetPanel);
    listLayout->setContentsMargins(2, 2, 2, 2);
    dataSetsLabel = new QLabel(QStringLiteral("Data Sets"), dataSetPanel);
    dataSetsLabel->setObjectName(QStringLiteral("dataSetsLabel"));
    dataSetTable = new QTableView(dataSetPanel);
    dataSetTable->setObjectName(QStringLiteral("dataSetTable"));
    dataSetTable->setModel(new DataSetListModel(dataSetTable));
    const int widths[DataSetListModel::kColumns] = {25, 60, 60, 40, 40, 40, 40, 60};
    for (int c = 0; c < DataSetListModel::kColumns; ++c)
        dataSetTable->setColumnWidth(c, widths[c] + 12);
    dataSetTable->verticalHeader()->hide();
    dataSetTable->verticalHeader()->setDefaultSectionSize(dataSetTable->fontMetrics().height() + 6);
    dataSetTable->setWordWrap(false);
    dataSetTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    dataSetTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    dataSetTable->setCursor(Qt::PointingHandCursor);
    dataSetTable->setContextMenuPolicy(Qt::CustomContextMenu);
    dataSetMenu = new QMenu(dataSetTable);
    dataSetMenu->setObjectName(QStringLiteral("dataSetMenu"));
    // "&&" shows a plain ampersand; a single one would make "T" a shortcut.
    changeDateTimeAction = dataSetMenu->addAction(QStringLiteral("Change Date && Time"));
    changeDateTimeAction->setObjectName(QStringLiteral("changeDateTimeAction"));
    connect(dataSetTable, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
        dataSetMenu->popup(dataSetTable->viewport()->mapToGlobal(p));
    });
    connect(changeDateTimeAction, &QAction::triggered, this,
            &GraphWindow::changeSelectedDataSetDateTime);
    listLayout->addWidget(dataSetsLabel);
    listLayout->addWidget(dataSetTable);
    dataSetPanel->setMinimumWidth(120);
    dataSetPanel->resize(375, dataSetPanel->height());
    dataSetPanel->hide();

    // Right: tool bar, graph statistic, graph, cursor statistic.
    auto* side = new QWidget(this);
    auto* sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    sideLayout->setSpacing(0);

    toolBar = new QToolBar(side);
    toolBar->setObjectName(QStringLiteral("toolBar"));
    auto tool = [this](const char* name, const QString& text, const QString& hint, bool checkable) {
        auto* b = new QToolButton(toolBar);
        b->setObjectName(QLatin1String(name));
        b->setText(text);
        b->setToolTip(hint);
        b->setCheckable(checkable);
        b->setAutoRaise(true);
        toolBar->addWidget(b);
        return b;
    };
    graphStatisticsButton = tool("graphStatisticsButton", QStringLiteral("Stat"),
                                 QStringLiteral("Toggle Graph Statistic"), true);
    cursorStatisticsButton = tool("cursorStatisticsButton", QStringLiteral("Cursor"),
                                  QStringLiteral("Toggle Line Cursor Statistic"), true);
    graphStatisticsButton->setChecked(true);
    cursorStatisticsButton->setChecked(true);
    toolBar->addSeparator();
    normalModeButton =
        tool("normalModeButton", QStringLiteral("Normal"), QStringLiteral("Normal Cursor"), true);
    crossModeButton = tool("crossModeButton", QStringLiteral("Cross"),
                           QStringLiteral("Draw A Cross On Graph"), true);
    textModeButton = tool("textModeButton", QStringLiteral("Text"), QStringLiteral("Text"), true);
    normalModeButton->setChecked(true);
    for (QToolButton* b : {normalModeButton, crossModeButton, textModeButton})
        b->setAutoExclusive(true);
    eraseAnnotationsButton =
        tool("eraseAnnotationsButton", QStringLiteral("Erase"), QString(), false);
    colorButton = tool("colorButton", QStringLiteral("Color"), QStringLiteral("Color"), true);
    monochromeButton =
        tool("monochromeButton", QStringLiteral("Mono"), QStringLiteral("Monochrome"), true);
    colorButton->setAutoExclusive(true);
    monochromeButton->setAutoExclusive(true);
    colorButton->setChecked(true);
    for (QToolButton* b : {colorButton, monochromeButton})
        toolBar->actions()
            .at(toolBar->actions().size() - (b == colorButton ? 2 : 1))
            ->setVisible(false);
    clearSeparator = toolBar->addSeparator();
    clearSeparator->setVisible(false);
    clearButton = tool("clearButton", QStringLiteral("Clear"), QStringLiteral("Clear"), false);
    toolBar->actions().last()->setVisible(false);
    undoZoomButton =
        tool("undoZoomButton", QStringLiteral("Undo Zoom"), QStringLiteral("Undo Zoom"), false);
    undoZoomButton->setEnabled(false);
    graphOptionsButton = tool("graphOptionsButton", QStringLiteral("Graph Option"),
                              QStringLiteral("Graph Customization"), false);
    exportStatisticsButton =
        tool("exportStatisticsButton", QStringLiteral("Export Statistic"), QString(), false);
    runningLeqButton = tool("runningLeqButton", QStringLiteral("CAL Leq"), QString(), false);
    assessmentButton = tool("assessmentButton", QStringLiteral("Assessment"),
                            QStringLiteral("Noise Assessment between cursors A and B"), false);
    assessmentButton->setAccessibleName(QStringLiteral("Noise Assessment"));
    connect(graphStatisticsButton, &QToolButton::clicked, this,
            &GraphWindow::toggleGraphStatistics);
    connect(cursorStatisticsButton, &QToolButton::clicked, this,
            &GraphWindow::toggleCursorStatistics);
    connect(undoZoomButton, &QToolButton::clicked, this, &GraphWindow::undoZoom);
    // Ctrl+Z: Undo Zoom of the window that has the focus, not of every graph window.
    auto* undoZoomKey = new QAction(this);
    undoZoomKey->setObjectName(QStringLiteral("undoZoomAction"));
    undoZoomKey->setShortcut(QKeySequence::Undo);
    undoZoomKey->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(undoZoomKey);
    connect(undoZoomKey, &QAction::triggered, this, [this] {
        if (undoZoomButton->isEnabled()) undoZoom();
    });
    connect(graphOptionsButton, &QToolButton::clicked, this, &GraphWindow::openGraphOptions);
    connect(normalModeButton, &QToolButton::clicked, this, &GraphWindow::selectNormalMode);
    connect(textModeButton, &QToolButton::clicked, this, &GraphWindow::selectTextMode);
    connect(crossModeButton, &QToolButton::clicked, this, &GraphWindow::selectCrossMode);
    connect(eraseAnnotationsButton, &QToolButton::clicked, this, &GraphWindow::eraseAnnotations);
    connect(clearButton, &QToolButton::clicked, this, &GraphWindow::clearRealTimeGraph);
    connect(exportStatisticsButton, &QToolButton::clicked, this, &GraphWindow::exportStatistics);
    connect(runningLeqButton, &QToolButton::clicked, this, [this] { openRunningLeq(); });
    connect(assessmentButton, &QToolButton::clicked, this, [this] { openNoiseAssessment(); });
    auto setViewing = [this](ViewingStyle style) {
        graphView->editProperties([style](GraphState& s) { s.viewingStyle = style; });
        redraw();
    };
    connect(colorButton, &QToolButton::clicked, this,
            [setViewing] { setViewing(ViewingStyle::Color); });
    connect(monochromeButton, &QToolButton::clicked, this,
            [setViewing] { setViewing(ViewingStyle::Monochrome); });
    // The tool bar's own button for the tools a narrow window cannot show.
    if (auto* more = toolBar->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button")))
        more->setAccessibleName(QStringLiteral("More tools"));
    sideLayout->addWidget(toolBar);

    // Graph statistic: the whole series.
    graphStatisticsPanel = new QWidget(side);
    graphStatisticsPanel->setObjectName(QStringLiteral("graphStatisticsPanel"));
    // Its rows reflow to the window's width: two rows when wide, more when narrow.
    graphStatisticsPanel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* gs = new ReflowLayout(4, 12, 4, graphStatisticsPanel);
    gs->setContentsMargins(8, 4, 8, 4);
    seriesStartTime = readOnlyField(graphStatisticsPanel, "seriesStartTime");
    samplingRatePanel = new QWidget(graphStatisticsPanel);
    samplingRatePanel->setObjectName(QStringLiteral("samplingRatePanel"));
    auto* rateLayout = new QHBoxLayout(samplingRatePanel);
    rateLayout->setContentsMargins(0, 0, 0, 0);
    samplingRateBox = new QComboBox(samplingRatePanel);
    samplingRateBox->setObjectName(QStringLiteral("samplingRateBox"));
    samplingRateBox->setEditable(true);
    for (double r : kSamplingRates) samplingRateBox->addItem(QString::number(r, 'f', 1));
    samplingRateBox->setCurrentIndex(-1);
    samplingRateBox->setFixedWidth(70);
    // The label shares the box's panel: a screen reader names a combo box by the label beside
    // it (a buddy among its siblings), not by an accessible name. It keeps its normal colour
    // while the panel is disabled.
    auto* samplingRateLabel = makeLabel(samplingRatePanel, QStringLiteral("Sampling Rate"));
    samplingRateLabel->setBuddy(samplingRateBox);
    QPalette labelPalette = samplingRateLabel->palette();
    labelPalette.setColor(QPalette::Disabled, QPalette::WindowText,
                          labelPalette.color(QPalette::Active, QPalette::WindowText));
    samplingRateLabel->setPalette(labelPalette);
    rateLayout->addWidget(samplingRateLabel);
    rateLayout->addWidget(samplingRateBox);
    rateLayout->addWidget(makeLabel(samplingRatePanel, QStringLiteral("Sec")));
    samplingRatePanel->setEnabled(false);
    pointCount = readOnlyField(graphStatisticsPanel, "pointCount");
    pointCount->setText(QStringLiteral("0"));
    seriesAverage = readOnlyField(graphStatisticsPanel, "seriesAverage");
    seriesAverage->setText(QStringLiteral("***.* dB "));
    seriesMaximum = readOnlyField(graphStatisticsPanel, "seriesMaximum");
    seriesMaximumTime = readOnlyField(graphStatisticsPanel, "seriesMaximumTime");
    seriesMinimum = readOnlyField(graphStatisticsPanel, "seriesMinimum");
    seriesMinimumTime = readOnlyField(graphStatisticsPanel, "seriesMinimumTime");
    const auto at = [](QWidget* panel) { return makeLabel(panel, QStringLiteral("@")); };
    QWidget* const p = graphStatisticsPanel;
    for (QWidget* cell : {
             statisticCell(p, {makeLabel(p, QStringLiteral("Start Time")), seriesStartTime}),
             static_cast<QWidget*>(samplingRatePanel),
             statisticCell(p, {makeLabel(p, QStringLiteral("Data No.")), pointCount}),
             statisticCell(p, {makeLabel(p, QStringLiteral("Avg")), seriesAverage}),
             statisticCell(p, {makeLabel(p, QStringLiteral("Maximum")), seriesMaximum, at(p),
                               seriesMaximumTime}),
             statisticCell(p, {makeLabel(p, QStringLiteral("Minimum")), seriesMinimum, at(p),
                               seriesMinimumTime}),
         })
        gs->addWidget(cell);
    sideLayout->addWidget(graphStatisticsPanel);

    // Graph with the pointer readout in its corner, and the cursor panel under a splitter.
    graphSplitter = new QSplitter(Qt::Vertical, side);
    graphSplitter->setObjectName(QStringLiteral("graphSplitter"));
    graphPanel = new QWidget(graphSplitter);
    graphPanel->setObjectName(QStringLiteral("graphPanel"));
    auto* graphLayout = new QVBoxLayout(graphPanel);
    graphLayout->setContentsMargins(0, 0, 0, 0);
    graphView = new GraphView(graphPanel);
    graphView->setObjectName(QStringLiteral("graphView"));
    graphLayout->addWidget(graphView);
    pointerReadoutLabel = new QLabel(graphPanel);
    pointerReadoutLabel->setObjectName(QStringLiteral("pointerReadoutLabel"));
    pointerReadoutLabel->setAutoFillBackground(true);
    pointerReadoutLabel->setFrameShape(QFrame::Panel);
    pointerReadoutLabel->setFrameShadow(QFrame::Raised);
    pointerReadoutLabel->setMinimumWidth(150);
    // The pointer over the readout is still over the graph: no leave, no flicker.
    pointerReadoutLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    pointerReadoutLabel->hide();  // shown with the first pointer readout
    pointerReadoutLabel->raise();
    graphPanel->installEventFilter(this);

    cursorStatisticsPanel = new QWidget(graphSplitter);
    cursorStatisticsPanel->setObjectName(QStringLiteral("cursorStatisticsPanel"));
    auto* cs = new QVBoxLayout(cursorStatisticsPanel);
    cs->setContentsMargins(0, 0, 0, 4);
    sliderPanel = new QWidget(cursorStatisticsPanel);
    sliderPanel->setObjectName(QStringLiteral("sliderPanel"));
    sliderPanel->setFixedHeight(27);
    rangeSlider = new RangeSlider(sliderPanel);
    rangeSlider->setObjectName(QStringLiteral("rangeSlider"));
    rangeSlider->setGeometry(0, 2, 622, 23);
    rangeSlider->setTrackWidth(5);
    rangeSlider->setTrackColor(Qt::yellow);
    rangeSlider->setThumbHeight(10);
    rangeSlider->setThumbWidth(4);
    rangeSlider->setThumbColor(Qt::green);
    connect(rangeSlider, &RangeSlider::firstValueChanged, this, &GraphWindow::onRangeSliderChanged);
    connect(rangeSlider, &RangeSlider::secondValueChanged, this,
            &GraphWindow::onRangeSliderChanged);
    // A thumb points at the pixel of its point's X on the graph's axis, the pixel of its
    // cursor's line, whatever part of the axis is in view and however the points are spaced
    // in time (the value range is point indexes, the axis is time).
    rangeSlider->setPositionOf([this](int point) {
        if (point < 0 || point >= graphView->points())
            return std::numeric_limits<double>::quiet_NaN();
        const QPoint onGraph = graphView->valueToPixel(graphView->xValue(0, point), 0);
        return double(rangeSlider->mapFrom(this, graphView->mapTo(this, onGraph)).x());
    });
    cs->addWidget(sliderPanel);
    // Two columns of statistics when wide (cursor A and B beside the extremes between them),
    // one when narrow.
    auto* cg = new ReflowLayout(2, 16, 4);
    cg->setContentsMargins(8, 0, 8, 0);
    cursorALevel = readOnlyField(cursorStatisticsPanel, "cursorALevel");
    cursorATime = readOnlyField(cursorStatisticsPanel, "cursorATime");
    cursorBLevel = readOnlyField(cursorStatisticsPanel, "cursorBLevel");
    cursorBTime = readOnlyField(cursorStatisticsPanel, "cursorBTime");
    betweenCursorsMaximum = readOnlyField(cursorStatisticsPanel, "betweenCursorsMaximum");
    betweenCursorsMaximumTime = readOnlyField(cursorStatisticsPanel, "betweenCursorsMaximumTime");
    betweenCursorsMinimum = readOnlyField(cursorStatisticsPanel, "betweenCursorsMinimum");
    betweenCursorsMinimumTime = readOnlyField(cursorStatisticsPanel, "betweenCursorsMinimumTime");
    betweenCursorsAverage = readOnlyField(cursorStatisticsPanel, "betweenCursorsAverage");
    betweenCursorsLeq = readOnlyField(cursorStatisticsPanel, "betweenCursorsLeq");
    betweenCursorsL10 = readOnlyField(cursorStatisticsPanel, "betweenCursorsL10");
    betweenCursorsL50 = readOnlyField(cursorStatisticsPanel, "betweenCursorsL50");
    betweenCursorsL90 = readOnlyField(cursorStatisticsPanel, "betweenCursorsL90");
    // The levels between the cursors go with their average: whatever empties it (a new run, an
    // erase) empties them too.
    connect(betweenCursorsAverage, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!text.isEmpty()) return;
        for (QLineEdit* e :
             {betweenCursorsLeq, betweenCursorsL10, betweenCursorsL50, betweenCursorsL90})
            e->clear();
    });
    for (QLineEdit* e : {cursorALevel, cursorATime})
        e->setStyleSheet(QStringLiteral("color: blue;"));
    for (QLineEdit* e : {cursorBLevel, cursorBTime})
        e->setStyleSheet(QStringLiteral("color: red;"));
    auto* labelA = makeLabel(cursorStatisticsPanel, QStringLiteral("Cursor A"));
    labelA->setStyleSheet(QStringLiteral("color: blue;"));
    auto* labelB = makeLabel(cursorStatisticsPanel, QStringLiteral("Cursor B"));
    labelB->setStyleSheet(QStringLiteral("color: red;"));
    cursorLabels_[0] = labelA;
    cursorLabels_[1] = labelB;
    QWidget* const c = cursorStatisticsPanel;
    auto* levels = new QWidget(c);
    auto* levelsLine = new QHBoxLayout(levels);
    levelsLine->setContentsMargins(0, 0, 0, 0);
    levelsLine->setSpacing(4);
    for (const auto& [name, field] : {std::pair{"L10", betweenCursorsL10},
                                      {"L50", betweenCursorsL50},
                                      {"L90", betweenCursorsL90}}) {
        if (field != betweenCursorsL10) levelsLine->addSpacing(8);
        levelsLine->addWidget(makeLabel(c, QLatin1String(name)));
        levelsLine->addWidget(field);
    }
    for (QWidget* cell : std::initializer_list<QWidget*>{
             statisticCell(c, {labelA, cursorALevel, at(c), cursorATime}),
             statisticCell(c, {makeLabel(c, QStringLiteral("Max.Between A and B")),
                               betweenCursorsMaximum, at(c), betweenCursorsMaximumTime}),
             statisticCell(c, {labelB, cursorBLevel, at(c), cursorBTime}),
             statisticCell(c, {makeLabel(c, QStringLiteral("Min.Between A and B")),
                               betweenCursorsMinimum, at(c), betweenCursorsMinimumTime}),
             statisticCell(
                 c, {makeLabel(c, QStringLiteral("Leq Between A and B")), betweenCursorsLeq}),
             statisticCell(
                 c, {makeLabel(c, QStringLiteral("Avg Between A and B")), betweenCursorsAverage}),
             levels,
         })
        cg->addWidget(cell);
    cs->addLayout(cg);
    cs->addStretch(1);
    // A screen reader names each value by the label beside it and the cursor or range it
    // belongs to ("@" alone says nothing); the short tool button captions get their command.
    const std::pair<QWidget*, const char*> spokenNames[] = {
        {seriesStartTime, "Start Time"},
        {pointCount, "Data No."},
        {seriesAverage, "Average"},
        {seriesMaximum, "Maximum"},
        {seriesMaximumTime, "Maximum time"},
        {seriesMinimum, "Minimum"},
        {seriesMinimumTime, "Minimum time"},
        {cursorALevel, "Cursor A level"},
        {cursorATime, "Cursor A time"},
        {cursorBLevel, "Cursor B level"},
        {cursorBTime, "Cursor B time"},
        {betweenCursorsMaximum, "Maximum between A and B"},
        {betweenCursorsMaximumTime, "Maximum time between A and B"},
        {betweenCursorsMinimum, "Minimum between A and B"},
        {betweenCursorsMinimumTime, "Minimum time between A and B"},
        {betweenCursorsAverage, "Average between A and B"},
        {betweenCursorsLeq, "Leq between A and B"},
        {betweenCursorsL10, "L10 between A and B"},
        {betweenCursorsL50, "L50 between A and B"},
        {betweenCursorsL90, "L90 between A and B"},
        {graphStatisticsButton, "Toggle Graph Statistic"},
        {cursorStatisticsButton, "Toggle Line Cursor Statistic"},
        {normalModeButton, "Normal Cursor"},
        {crossModeButton, "Draw A Cross On Graph"},
        {textModeButton, "Text annotation"},
        {eraseAnnotationsButton, "Erase annotations"},
        {colorButton, "Color"},
        {monochromeButton, "Monochrome"},
        {clearButton, "Clear"},
        {rangeSlider, "Cursors A and B"},
        {dataSetTable, "Data Sets"},
        {graphView, "Graph"},
        {samplingRateBox->lineEdit(), "Sampling Rate in seconds"},
    };
    for (const auto& [widget, name] : spokenNames) widget->setAccessibleName(QLatin1String(name));
    graphSplitter->addWidget(graphPanel);
    graphSplitter->addWidget(cursorStatisticsPanel);
    graphSplitter->setStretchFactor(0, 1);
    graphSplitter->setStretchFactor(1, 0);
    fitStatisticFields();
    const int cursorPanelHeight = cursorStatisticsPanel->sizeHint().height();
    graphSplitter->setSizes({kClientHeight - graphStatisticsPanel->sizeHint().height() -
                                 cursorPanelHeight - toolBar->sizeHint().height(),
                             cursorPanelHeight});
    sideLayout->addWidget(graphSplitter, 1);

    dataSetSplitter = new QSplitter(Qt::Horizontal, this);
    dataSetSplitter->setObjectName(QStringLiteral("dataSetSplitter"));
    dataSetSplitter->addWidget(dataSetPanel);
    dataSetSplitter->addWidget(side);
    dataSetSplitter->setStretchFactor(1, 1);
    dataSetSplitter->setSizes({375, kClientWidth - 375});
    // A filled list fits its columns to their titles and texts (a long date, "FAST", the
    // range), never narrower than their listed widths, and widens its panel to all columns as
    // far as the graph beside it leaves room, so Fa/Sl and LEVEL are not cut off.
    connect(dataSetTable->model(), &QAbstractItemModel::modelReset, this, [this, widths] {
        int total = 2 * dataSetTable->frameWidth() +
                    dataSetTable->verticalScrollBar()->sizeHint().width() + 4;
        for (int c = 0; c < DataSetListModel::kColumns; ++c) {
            const auto* view = static_cast<const QAbstractItemView*>(dataSetTable);
            const int w = std::max({widths[c], dataSetTable->horizontalHeader()->sectionSizeHint(c),
                                    view->sizeHintForColumn(c)});
            dataSetTable->setColumnWidth(c, w);
            total += w;
        }
        QList<int> sizes = dataSetSplitter->sizes();
        if (sizes.size() == 2 && sizes[0] < total) {
            sizes[1] = std::max(0, sizes[1] - (total - sizes[0]));
            sizes[0] = total;
            dataSetSplitter->setSizes(sizes);
        }
    });
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(dataSetSplitter);
    // The window never gets smaller than a usable plot with both statistics panels and the
    // slider: the splitters may not fold the plot or the cursor panel away, and the window's
    // minimum size is what its layout needs, so neither Cascade nor a drag squeezes them out.
    constexpr int kMinimumPlotWidth = 320, kMinimumPlotHeight = 160;  // still a readable plot
    graphView->setMinimumSize(kMinimumPlotWidth, kMinimumPlotHeight);
    graphSplitter->setChildrenCollapsible(false);
    dataSetSplitter->setCollapsible(dataSetSplitter->indexOf(side), false);
    top->setSizeConstraint(QLayout::SetMinimumSize);

    connect(graphView, &GraphView::viewChanged, this, [this] {
        alignSlider();
        rangeSlider->update();  // the thumbs follow the axis
    });
    connect(graphView, &GraphView::mouseMoved, this, &GraphWindow::onGraphMouseMoved);
    // The readout tells what is under the pointer: with the pointer gone it would mislead.
    connect(graphView, &GraphView::mouseLeft, pointerReadoutLabel, &QWidget::hide);
    connect(graphView, &GraphView::zoomedIn, this, &GraphWindow::onGraphZoomedIn);
    connect(graphView, &GraphView::customizeDialogClosed, this, &GraphWindow::onGraphOptionsClosed);
    connect(graphView, &GraphView::clicked, this, &GraphWindow::onGraphClicked);
    connect(graphView, &GraphView::dataHotSpot, this, &GraphWindow::markDataPoint);
    connect(graphView, &GraphView::graphAnnotDoubleClicked, this,
            &GraphWindow::onAnnotationDoubleClicked);
    connect(graphView, &GraphView::graphAnnotHovered, this, [this](int annotation) {
        graphView->setToolTip(annotation >= 0 ? QStringLiteral("Double click to delete.")
                                              : QString());
    });
    connect(graphView, &GraphView::vertLineAnnotHotSpot, this, [this](int line) {
        if (line == 0 || line == 1) {
            draggingLine_[line] = true;
            setActiveCursor(line);
        }
    });
    graphView->installEventFilter(this);
    setActiveCursor(0);
    connect(graphView, &GraphView::mouseReleased, this,
            [this] { draggingLine_[0] = draggingLine_[1] = false; });
}

// ---- formats ---------------------------------------------------------------------------------

QString GraphWindow::levelText(double level) const {
    return kl516::levelText(level, host_.locale());
}
// X 0 is a point that never got a time (a list row whose time could not be read): it shows no
// time rather than the serial calendar's day zero.
QString GraphWindow::dateTimeText(double x) const {
    if (x == 0 || !std::isfinite(x)) return QString();
    return pointDateTimeText(x, host_.locale(), tenthsShown());
}
QString GraphWindow::longTimeText(double x) const {
    if (x == 0 || !std::isfinite(x)) return QString();
    return pointTimeText(x, host_.locale(), tenthsShown());
}

// The rate as the box shows it, whoever set it: the run's interval, a logger set's, or one
// computed from the points. Faster than one a second, whole seconds would repeat.
bool GraphWindow::tenthsShown() const {
    const QString text = samplingRateBox->currentText();
    bool ok = false;
    double rate = host_.locale().toDouble(text, &ok);
    if (!ok) rate = QLocale::c().toDouble(text, &ok);  // the form's items before the first show
    return ok && rate > 0 && rate < 1;
}

// ---- set-up ----------------------------------------------------------------------------------

bool GraphWindow::loadGraphTemplate(const QString& path) {
    GraphState look;
    if (!readGraphFile(path, look).ok) return false;
    // Notes belong to the series on show, not to a look.
    look.annotations = std::as_const(*graphView).state().annotations;
    return graphView->loadState(saveGraphState(look));
}

void GraphWindow::setUpGraph(int series, double topY, double bottomY, double rightX, double leftX,
                             int points) {
    QString path;
    for (const QString& candidate : host_.paths().templateCandidates()) {
        if (QFileInfo(candidate).isFile()) {
            path = candidate;
            break;
        }
    }
    // A template that cannot be applied (cut short, or a state the control cannot load) is
    // left out: the graph is set up as without one, so it never keeps stale points, and the
    // user is told.
    bool templateApplied = !path.isEmpty();
    if (templateApplied && !loadGraphTemplate(path)) {
        templateApplied = false;
        host_.templateUnusable(path);
    }

    graphView->setSubsets(series);
    graphView->setPoints(points);
    for (int i = 0; i < series; ++i) {
        graphView->setXValue(i, -1, 0.0);
        graphView->setYValue(i, -1, kNullDataValueY);
    }
    graphView->editProperties([&](GraphState& s) {
        s.nullDataValueY = kNullDataValueY;
        s.manualScaleControlY = ScaleControl::ManualMinAndMax;
        s.manualMinY = bottomY;
        s.manualMaxY = topY;
        if (leftX != 0) {
            s.manualScaleControlX = ScaleControl::ManualMinAndMax;
            s.manualMinX = leftX;
            s.manualMaxX = rightX;
        }
        if (!templateApplied) {
            applyNewGraphLooks(s);
            s.showVertLineAnnotations = true;
            s.allowVertLineAnnotHotSpots = true;
            s.mainTitle = QString();
            s.allowZooming = Zooming::HorzPlusVert;
            s.scrollingHorzZoom = true;
            s.scrollingVertZoom = true;
        }
        s.allowGraphAnnotHotSpots = true;
    });
    // The pointer stays that of the shared mode.
    showAnnotationMode(host_.annotations().mode());
    redraw();
}

void GraphWindow::redraw() {
    graphView->perform(GraphAction::ResetImage);
    graphView->perform(GraphAction::InvalidateImage);
}

// ---- statistics ------------------------------------------------------------------------------

void GraphWindow::updateGraphStatistic(const QString& samplingRate) {
    const int n = graphView->points();
    const GraphState& s = std::as_const(*graphView).state();
    const SeriesStatistics st =
        seriesStatistics(s.x.empty() ? nullptr : s.x[0].data(),
                         s.y.empty() ? nullptr : s.y[0].data(), n, s.nullDataValueY);
    // The rate first: it decides whether the times show tenths of a second.
    if (!samplingRate.isEmpty())
        samplingRateBox->setEditText(samplingRate);
    else
        samplingRateBox->setEditText(n >= 2 ? oneDecimalText(st.samplingRate, host_.locale())
                                            : QString());
    pointCount->setText(QString::number(n));
    if (n > 0)
        seriesStartTime->setText(dateTimeText(st.first));
    else
        seriesStartTime->clear();
    // The extremes and the mean from the figures of the whole series, as between the cursors.
    const CursorStatistics whole = st.empty ? CursorStatistics{} : seriesIndex().statistics(0, n - 1);
    if (whole.levels > 0) {
        seriesAverage->setText(levelText(whole.mean));
        seriesMaximum->setText(levelText(whole.maximum));
        seriesMaximumTime->setText(dateTimeText(whole.maximumTime));
        seriesMinimum->setText(levelText(whole.minimum));
        seriesMinimumTime->setText(dateTimeText(whole.minimumTime));
    } else {
        clearSeriesFigures();  // no level to describe
    }
    setSliderRange(n);
}

// The figures' index of series 0 as it is now, built again when its points changed.
const CursorStatisticsIndex& GraphWindow::seriesIndex() {
    const GraphState& s = std::as_const(*graphView).state();
    const int n = graphView->points();
    const double* xs = s.x.empty() ? nullptr : s.x[0].data();
    const float* ys = s.y.empty() ? nullptr : s.y[0].data();
    if (!cursorIndex_.matches(xs, ys, n, s.nullDataValueY))
        cursorIndex_.build(xs, ys, n, s.nullDataValueY);
    return cursorIndex_;
}

void GraphWindow::clearStatistics() {
    clearSeriesFigures();
    clearCursorFigures();
}

void GraphWindow::clearSeriesFigures() {
    for (QLineEdit* e :
         {seriesAverage, seriesMaximum, seriesMaximumTime, seriesMinimum, seriesMinimumTime})
        e->clear();
}

// The levels between the cursors go with their average (see buildLayout).
void GraphWindow::clearCursorFigures() {
    for (QLineEdit* e : {cursorALevel, cursorATime, cursorBLevel, cursorBTime,
                         betweenCursorsMaximum, betweenCursorsMaximumTime, betweenCursorsMinimum,
                         betweenCursorsMinimumTime, betweenCursorsAverage})
        e->clear();
}

void GraphWindow::showDataSet(int i) {
    const DataSetTable& t = host_.dataSets();
    if (i < 0 || i >= t.setCount()) return;
    const int n = t.counts()[i];
    setUpGraph(1, 130, 30, t.setEnd(i), t.startTimes()[i], n);
    const int offset = t.setOffset(i);
    graphView->copyXData(t.sampleTimes().data() + offset, n);
    graphView->copyYData(t.levels().data() + offset, n);
    cursorIndex_.clear();  // built anew for the set shown
    // The rate first: it decides whether the times show tenths of a second.
    samplingRateBox->setEditText(QString::number(t.intervals()[i]));
    seriesStartTime->setText(dateTimeText(t.startTimes()[i]));
    pointCount->setText(QString::number(n));
    // The set's extremes and mean as every series' (the data-set list keeps the logger's own).
    const CursorStatistics whole = n > 0 ? seriesIndex().statistics(0, n - 1) : CursorStatistics{};
    if (whole.levels > 0) {
        seriesMaximum->setText(levelText(whole.maximum));
        seriesMaximumTime->setText(dateTimeText(whole.maximumTime));
        seriesMinimum->setText(levelText(whole.minimum));
        seriesMinimumTime->setText(dateTimeText(whole.minimumTime));
        seriesAverage->setText(levelText(whole.mean));
    } else {
        clearSeriesFigures();  // a set without samples has no average (not 0)
    }
    setSliderRange(n);
    redraw();
}

void GraphWindow::setSliderRange(int n) {
    alignSlider();
    rangeSlider->setMinimum(0);
    rangeSlider->setMaximum(n - 1);
    rangeSlider->setFirstValue(n / 3);
    rangeSlider->setSecondValue(2 * n / 3);
    // A value that did not change fires nothing; the cursors still follow the new series, and
    // the thumbs the new points' places on the axis.
    onRangeSliderChanged();
    rangeSlider->update();
}

// ---- graph options and template ------------------------------------------------------------

void GraphWindow::openGraphOptions() {
    graphView->perform(GraphAction::Customize);
}

void GraphWindow::onGraphOptionsClosed() {
    if (graphView->dialogResult() != 1) return;
    Prompts& prompts = host_.prompts();
    if (prompts.ask(QStringLiteral("Do you want to save the changes ?")) != Prompts::Answer::Yes)
        return;
    const AppPaths paths = host_.paths();
    const QString folder = paths.templateFolder();
    // Without a per-user folder there is nowhere to write (the path would be the root's).
    if (paths.userFolder.isEmpty() || !QDir().mkpath(folder)) {
        prompts.message(QStringLiteral("Cannot create ") + QDir::toNativeSeparators(folder) +
                        QStringLiteral(" directory."));
        return;
    }
    // The template keeps the looks: the points and notes of this series stay out of it.
    GraphState look = std::as_const(*graphView).state();
    look.resize(look.subsets, 0);
    look.annotations.clear();
    look.vertLineX = {0, 0};
    look.vertLineText = {};
    const FileWriteResult written = writeGraphFile(look, paths.userTemplate());
    if (!written.ok()) prompts.message(written.error);
}

// ---- data set start time ---------------------------------------------------------------------

void GraphWindow::changeSelectedDataSetDateTime() {
    const QModelIndexList selected = dataSetTable->selectionModel()->selectedIndexes();
    if (selected.isEmpty()) return;
    int top = selected.front().row();
    for (const QModelIndex& index : selected) top = std::min(top, index.row());
    // The empty row of a list without sets has no date.
    if (dataSetList().text(top, 1).isEmpty()) return;
    changeDataSetDateTime(top);
}

void GraphWindow::changeDataSetDateTime(int i) {
    if (i < 0 || i >= host_.dataSets().setCount()) return;
    // The pickers start at the set's recorded start, the value being changed.
    const SerialDateTime current = host_.dataSets().startTimes()[i];
    DataSetStartDialog dialog(dateOf(current), timeOf(current), i + 1, host_.locale(), this);
    const int result = execDataSetStartDialog ? execDataSetStartDialog(dialog) : dialog.exec();
    if (result != QDialog::Accepted) return;
    const SerialDateTime start = toSerialDateTime(dialog.date(), dialog.time());
    host_.changeStartTime(i, start);
    dataSetList().setStartTime(i, start);
    showDataSet(i);
}

// ---- cursors ---------------------------------------------------------------------------------

void GraphWindow::onRangeSliderChanged() {
    cursorA_ = rangeSlider->firstValue();
    cursorB_ = rangeSlider->secondValue();
    // One point or none: no cursors, and nothing of an earlier series stays in their panel. (A
    // negative maximum is an empty series.)
    if (rangeSlider->maximum() <= 0 || graphView->points() == 0) {
        clearCursorFigures();
        graphView->editProperties([](GraphState& s) {
            s.vertLineX = {0, 0};
            s.vertLineText = {};
        });
        return;
    }
    placeCursor(0, cursorA_);
    placeCursor(1, cursorB_);
    updateCursorStatistic();
    redraw();
}

void GraphWindow::placeCursor(int cursor, int point) {
    const int n = graphView->points();
    if (n == 0) return;
    point = std::clamp(point, 0, n - 1);
    const double x = graphView->xValue(0, point);
    const float y = graphView->yValue(0, point);
    // A missed sample has its time but no level: the level field stays empty, the line's label
    // carries the time alone.
    const bool level = hasLevel(y, std::as_const(*graphView).state().nullDataValueY);
    showText(cursor == 0 ? cursorALevel : cursorBLevel, level ? levelText(y) : QString());
    showText(cursor == 0 ? cursorATime : cursorBTime, dateTimeText(x));
    QString label = QStringLiteral("|t") + longTimeText(x);
    if (level) label += QLatin1Char('\n') + levelText(y) + QStringLiteral("dB");
    graphView->editProperties([&](GraphState& s) {
        s.vertLineX[cursor] = x;
        s.vertLineText[cursor] = label;
    });
}

void GraphWindow::updateCursorStatistic() {
    const GraphState& s = std::as_const(*graphView).state();
    const int n = graphView->points();
    if (n == 0 || s.x.empty()) return;
    const CursorStatistics c = seriesIndex().statistics(cursorA_, cursorB_);
    if (c.levels > 0) {
        showText(betweenCursorsMaximum, levelText(c.maximum));
        showText(betweenCursorsMaximumTime, dateTimeText(c.maximumTime));
        showText(betweenCursorsMinimum, levelText(c.minimum));
        showText(betweenCursorsMinimumTime, dateTimeText(c.minimumTime));
        showText(betweenCursorsAverage, levelText(c.mean));
    } else {
        // Only missed samples between the cursors: no figure to show.
        for (QLineEdit* e :
             {betweenCursorsMaximum, betweenCursorsMaximumTime, betweenCursorsMinimum,
              betweenCursorsMinimumTime, betweenCursorsAverage})
            e->clear();
    }
    const CursorLevels levels = cursorIndex_.levels(cursorA_, cursorB_);
    const auto show = [&](QLineEdit* e, double level) {
        showText(e, levels.count > 0 ? levelText(level) : QString());
    };
    show(betweenCursorsLeq, levels.leq);
    show(betweenCursorsL10, levels.l10);
    show(betweenCursorsL50, levels.l50);
    show(betweenCursorsL90, levels.l90);
}

void GraphWindow::onGraphMouseMoved(const QPoint& pixel) {
    const QRect area = graphView->plottingArea();
    if (pixel.x() >= area.left() && pixel.x() <= area.right() + 1 && pixel.y() >= area.top() &&
        pixel.y() <= area.bottom() + 1) {
        const QPointF v = graphView->pixelToValue(pixel);
        pointerReadoutLabel->setText(levelText(v.y()) + QStringLiteral("dB@") +
                                     longTimeText(v.x()));
        pointerReadoutLabel->adjustSize();
        pointerReadoutLabel->show();
        pointerReadoutLabel->raise();
        dragCursorLine(pixel);
    }
}

// Dragging a cursor line: the cursor steps point by point towards the pointer's X.
void GraphWindow::dragCursorLine(const QPoint& pixel) {
    const int line = draggingLine_[0] ? 0 : draggingLine_[1] ? 1 : -1;
    const int n = graphView->points();
    if (line < 0 || n == 0) return;
    if (graphView->hotSpotAt(pixel).kind == HotSpotKind::VertLineAnnotation) return;
    const double pointerX = graphView->pixelToValue(pixel).x();
    int p = std::clamp(line == 0 ? cursorA_ : cursorB_, 0, n - 1);
    const int start = p;
    if (graphView->xValue(0, p) < pointerX) {
        while (p < n - 1 && graphView->xValue(0, p) < pointerX) ++p;
    } else if (graphView->xValue(0, p) > pointerX) {
        while (p > 0 && graphView->xValue(0, p) > pointerX) --p;
    }
    if (p == start) return;
    if (line == 0)
        rangeSlider->setFirstValue(p);
    else
        rangeSlider->setSecondValue(p);
}

void GraphWindow::setActiveCursor(int cursor) {
    activeCursor_ = cursor == 1 ? 1 : 0;
    for (int i = 0; i < 2; ++i) {
        if (!cursorLabels_[i]) continue;
        QFont f = cursorLabels_[i]->font();
        f.setBold(i == activeCursor_);
        cursorLabels_[i]->setFont(f);
    }
}

void GraphWindow::stepActiveCursor(int points) {
    if (rangeSlider->maximum() <= 0) return;
    const int from = activeCursor_ == 0 ? rangeSlider->firstValue() : rangeSlider->secondValue();
    // Far steps (Home, End) saturate instead of overflowing.
    const qint64 to =
        std::clamp<qint64>(qint64(from) + points, rangeSlider->minimum(), rangeSlider->maximum());
    if (activeCursor_ == 0)
        rangeSlider->setFirstValue(int(to));
    else
        rangeSlider->setSecondValue(int(to));
}

bool GraphWindow::graphKeyPressed(const QKeyEvent& event) {
    const Qt::KeyboardModifiers mods =
        event.modifiers() &
        (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const bool shift = mods == Qt::ShiftModifier;
    if (mods != Qt::NoModifier && !shift) return false;
    switch (event.key()) {
        case Qt::Key_Left:
            stepActiveCursor(shift ? -10 : -1);
            return true;
        case Qt::Key_Right:
            stepActiveCursor(shift ? 10 : 1);
            return true;
        case Qt::Key_Home:
            if (shift) return false;
            stepActiveCursor(INT_MIN);
            return true;
        case Qt::Key_End:
            if (shift) return false;
            stepActiveCursor(INT_MAX);
            return true;
        case Qt::Key_Tab:
            // Shift+Tab (Backtab) still leaves the graph, so the focus is never trapped in it.
            if (shift) return false;
            setActiveCursor(1 - activeCursor_);
            return true;
        default:
            return false;
    }
}

void GraphWindow::onGraphZoomedIn() {
    undoZoomButton->setEnabled(true);
}

void GraphWindow::undoZoom() {
    graphView->perform(GraphAction::undoZoomButton);
    graphView->perform(GraphAction::ResetImage);
    undoZoomButton->setEnabled(false);
}

void GraphWindow::toggleGraphStatistics() {
    graphStatisticsPanel->setVisible(graphStatisticsButton->isChecked());
    movePointerReadout();
}

void GraphWindow::toggleCursorStatistics() {
    const bool shown = cursorStatisticsButton->isChecked();
    cursorStatisticsPanel->setVisible(shown);
    graphView->editProperties([shown](GraphState& s) { s.showVertLineAnnotations = shown; });
    redraw();
}

// ---- annotations -----------------------------------------------------------------------------

void GraphWindow::showAnnotationMode(AnnotationMode mode) {
    QToolButton* down = mode == AnnotationMode::Text    ? textModeButton
                        : mode == AnnotationMode::Cross ? crossModeButton
                                                        : normalModeButton;
    down->setChecked(true);
    switch (mode) {
        case AnnotationMode::Normal:
            graphView->setCursor(Qt::ArrowCursor);
            break;
        case AnnotationMode::Text:
            graphView->setCursor(Qt::IBeamCursor);
            break;
        case AnnotationMode::Cross:
            graphView->setCursor(crossCursor());
            break;
    }
}

void GraphWindow::selectNormalMode() {
    host_.annotations().setMode(AnnotationMode::Normal);
}
void GraphWindow::selectTextMode() {
    host_.annotations().setMode(AnnotationMode::Text);
}
void GraphWindow::selectCrossMode() {
    host_.annotations().setMode(AnnotationMode::Cross);
}

void GraphWindow::placeAnnotation(int32_t type, QPointF at, const QString& text) {
    AnnotationState& shared = host_.annotations();
    const int index = shared.takeIndex(std::as_const(*graphView).state().annotations);
    graphView->editProperties(
        [&](GraphState& s) { setAnnotation(s.annotations, index, type, at.x(), at.y(), text); });
}

void GraphWindow::onGraphClicked() {
    const AnnotationMode mode = host_.annotations().mode();
    const std::optional<QPoint> at =
        annotationPoint(mode, graphView->lastMousePosition(), graphView->plottingArea());
    if (!at) return;
    const QPointF value = graphView->pixelToValue(*at);
    if (mode == AnnotationMode::Text) {
        AnnotationTextDialog dialog(this);
        // The text as typed; an empty one is an annotation that shows nothing.
        if (execAnnotationTextDialog(dialog))
            placeAnnotation(kAnnotationTextOnly, value, dialog.annotationText->text());
    } else {
        placeAnnotation(kAnnotationCross, value, QString());
    }
    redraw();
}

void GraphWindow::eraseAnnotations() {
    const std::vector<AnnotationRow> rows = erasableAnnotations(
        std::as_const(*graphView).state().annotations, host_.annotations().lastAnnotation());
    EraseAnnotationsDialog dialog(rows, host_.locale(), this);
    if (!execEraseAnnotationsDialog(dialog)) return;
    const std::vector<int> erased = dialog.selectedAnnotations();
    graphView->editProperties([&](GraphState& s) {
        for (int index : erased) eraseAnnotation(s.annotations, index);
    });
    redraw();
}

void GraphWindow::markDataPoint(int series, int point) {
    if (series < 0 || series >= graphView->subsets() || point < 0 || point >= graphView->points())
        return;
    const GraphAnnotation marker = markerAnnotation(
        graphView->xValue(series, point), graphView->yValue(series, point), host_.locale());
    graphView->editProperties([&](GraphState& s) {
        if (s.annotations.size() <= size_t(kMarkerAnnotation))
            s.annotations.resize(size_t(kMarkerAnnotation) + 1);
        s.annotations[size_t(kMarkerAnnotation)] = marker;
    });
    redraw();
}

void GraphWindow::onAnnotationDoubleClicked(int annotation) {
    // In text or cross mode the clicks place annotations instead.
    if (host_.annotations().mode() != AnnotationMode::Normal) return;
    graphView->editProperties([&](GraphState& s) { eraseAnnotation(s.annotations, annotation); });
    graphView->setToolTip(QString());
    redraw();
}

void GraphWindow::clearRealTimeGraph() {
    // An unsaved run goes only after the real-time save question: Cancel, or a save that did
    // not write the file, keeps it.
    if (!confirmClose()) return;
    setCaption(QStringLiteral("Real-Time Graph"));
    setClearVisible(true);
    constexpr int kClearedPoints = 200;
    constexpr double kClearedSeconds = 30;
    const SerialDateTime t = toSerialDateTime(host_.clock().now());
    // The points are empty: time 0 and, from setUpGraph, no level.
    setUpGraph(1, 130, 30, t + kClearedSeconds * kOneSecond, t, kClearedPoints);
    graphView->setXValue(0, -1, 0.0);
    emit realTimeCleared();
    graphView->editProperties([this](GraphState& s) { host_.annotations().clear(s.annotations); });
    // Nothing is left for the statistics to describe.
    seriesStartTime->clear();
    pointCount->setText(QStringLiteral("0"));
    setSliderRange(0);
    clearStatistics();
    redraw();
}

// ---- statistic export and running Leq ---------------------------------------------------------

void GraphWindow::exportStatistics() {
    StatisticFields f;
    f.startTime = seriesStartTime->text();
    f.samplingRate = samplingRateBox->currentText();
    f.dataNo = pointCount->text();
    f.avgAll = seriesAverage->text();
    f.max = seriesMaximum->text();
    f.maxTime = seriesMaximumTime->text();
    f.min = seriesMinimum->text();
    f.minTime = seriesMinimumTime->text();
    f.cursorA = cursorALevel->text();
    f.cursorATime = cursorATime->text();
    f.cursorB = cursorBLevel->text();
    f.cursorBTime = cursorBTime->text();
    f.maxAB = betweenCursorsMaximum->text();
    f.maxABTime = betweenCursorsMaximumTime->text();
    f.minAB = betweenCursorsMinimum->text();
    f.minABTime = betweenCursorsMinimumTime->text();
    f.avgAB = betweenCursorsAverage->text();
    f.leqAB = betweenCursorsLeq->text();
    f.l10AB = betweenCursorsL10->text();
    f.l50AB = betweenCursorsL50->text();
    f.l90AB = betweenCursorsL90->text();
    QGuiApplication::clipboard()->setText(statisticText(f));
    host_.prompts().information(QStringLiteral("The statistic has been copied to the clipboard"));
}

GraphWindow* GraphWindow::openRunningLeq() {
    const GraphState& s = std::as_const(*graphView).state();
    const int n = graphView->points();
    const RunningLeq leq = s.x.empty() || s.y.empty()
                               ? RunningLeq{}
                               : runningLeq(s.x[0].data(), s.y[0].data(), n, s.nullDataValueY);
    if (leq.levels < 2) {
        host_.prompts().message(QStringLiteral("data number < 2"));
        return nullptr;
    }
    // A running Leq answers for its source's data: the same close question, and its source's
    // caption with " – Leq", so that the Window menu tells the two apart.
    GraphWindow* window = host_.createGraphWindow(
        GraphDocument{WindowRole::LeqOfSource, document_.effectiveRole(), document_.unsaved},
        caption() + QStringLiteral(" \u2013 Leq"));
    if (!window) return nullptr;
    // It belongs to this window and goes with it.
    QWidget* frame = qobject_cast<QMdiSubWindow*>(window->parentWidget())
                         ? window->parentWidget()
                         : static_cast<QWidget*>(window);
    connect(this, &QObject::destroyed, frame, &QObject::deleteLater);
    runningLeqWindow_ = window;
    // The same run: its rate as this window shows it, not one worked out again.
    window->showRunningLeq(leq, samplingRateBox->currentText());
    if (auto* sub = qobject_cast<QMdiSubWindow*>(window->parentWidget())) sub->showNormal();
    window->showNormal();
    window->redraw();
    return window;
}

NoiseAssessmentWindow* GraphWindow::noiseAssessmentWindow() const {
    return noiseAssessmentWindow_;
}

NoiseAssessmentWindow* GraphWindow::openNoiseAssessment() {
    const GraphState& s = std::as_const(*graphView).state();
    const int n = graphView->points();
    AssessmentSeries series;
    if (n > 0) {
        const int lo = std::clamp(std::min(cursorA_, cursorB_), 0, n - 1);
        const int hi = std::clamp(std::max(cursorA_, cursorB_), 0, n - 1);
        // The measured series between the cursors: the points with a time (a real-time graph
        // part way through has not sampled the rest).
        MeasuredSeries measured = graphMeasuredSeries(s, LocalClock(), lo, hi);
        if (!measured.ok()) {
            host_.prompts().message(QStringLiteral("No noise assessment: ") + measured.error);
            return nullptr;
        }
        series.times = std::move(measured.times);
        series.levels = std::move(measured.levels);
    }
    auto* window = new NoiseAssessmentWindow(host_, std::move(series), caption());
    // In the workspace beside this window when it is in one; it goes with this window.
    auto* mdi = qobject_cast<QMdiSubWindow*>(parentWidget());
    QWidget* frame = window;
    if (QMdiArea* area = mdi ? mdi->mdiArea() : nullptr) {
        QMdiSubWindow* sub = area->addSubWindow(window);
        sub->setObjectName(QStringLiteral("noiseAssessmentSubWindow"));
        sub->setAttribute(Qt::WA_DeleteOnClose);
        sub->setWindowTitle(window->windowTitle());
        const QSize room = area->viewport()->size();
        sub->resize(std::min(room.width(), 960), std::min(room.height(), 660));
        // Whole within the workspace, in its middle.
        sub->move(std::max(0, (room.width() - sub->width()) / 2),
                  std::max(0, (room.height() - sub->height()) / 2));
        frame = sub;
    } else {
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    connect(this, &QObject::destroyed, frame, &QObject::deleteLater);
    noiseAssessmentWindow_ = window;
    frame->show();
    window->show();
    if (frame != window)
        qobject_cast<QMdiSubWindow*>(frame)->mdiArea()->setActiveSubWindow(
            qobject_cast<QMdiSubWindow*>(frame));
    return window;
}

void GraphWindow::showRunningLeq(const RunningLeq& leq, const QString& samplingRate) {
    const int n = int(leq.leq.size());
    if (n == 0) return;
    setUpGraph(2, 130, 30, leq.x.back(), leq.x.front(), n);
    graphView->editProperties(labelRunningLeqSeries);
    graphView->editPoints([&](GraphState& s) {
        std::copy(leq.x.begin(), leq.x.end(), s.x[0].begin());
        std::copy(leq.x.begin(), leq.x.end(), s.x[1].begin());
        std::copy(leq.spl.begin(), leq.spl.end(), s.y[0].begin());
        std::copy(leq.leq.begin(), leq.leq.end(), s.y[1].begin());
    });
    runningLeqButton->setEnabled(false);
    updateGraphStatistic(samplingRate);
    graphView->perform(GraphAction::ReinitAndReset);
}

// ---- window events ---------------------------------------------------------------------------

// The track spans the plotting area and half a thumb beyond each end, so that the thumb of a
// point on the area's first or last pixel is whole; the thumbs themselves point at their
// cursors' lines (see buildLayout).
void GraphWindow::alignSlider() {
    const QRect area = graphView->plottingArea();
    const QPoint topLeft = graphView->mapTo(this, area.topLeft());
    const QPoint inPanel = sliderPanel->mapFrom(this, topLeft);
    const int half = rangeSlider->thumbHeight() / 2;
    const QRect wanted(inPanel.x() - half, rangeSlider->y(),
                       std::max(area.width(), 1) + rangeSlider->thumbHeight() + 1,
                       rangeSlider->height());
    if (rangeSlider->geometry() != wanted) rangeSlider->setGeometry(wanted);
}

void GraphWindow::movePointerReadout() {
    pointerReadoutLabel->move(graphView->geometry().topLeft() + QPoint(2, 2));
}

void GraphWindow::onFirstShow() {
    colorButton->setChecked(true);
    host_.annotations().setMode(AnnotationMode::Normal);
    showAnnotationMode(AnnotationMode::Normal);
    const QString current = samplingRateBox->currentText();
    const bool blocked = samplingRateBox->blockSignals(true);
    for (int i = 0; i < 9; ++i)
        samplingRateBox->setItemText(i, oneDecimalText(kSamplingRates[i], host_.locale()));
    samplingRateBox->setEditText(current);
    samplingRateBox->blockSignals(blocked);
    fitStatisticFields();
}

void GraphWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!shownOnce_) {
        shownOnce_ = true;
        onFirstShow();
    }
    alignSlider();
    movePointerReadout();
}

void GraphWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    alignSlider();
}

void GraphWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) fitStatisticFields();
}

void GraphWindow::fitStatisticFields() {
    // The widest texts each field may show: levels with one decimal, a large point count, and
    // dates and times with eights (among the widest digits) in the morning and the afternoon,
    // with the tenth of a second.
    const QStringList levels{levelText(188.8), levelText(-88.8)};
    QStringList times;
    for (const QTime time : {QTime(8, 58, 58, 800), QTime(20, 58, 58, 800)})
        times << pointDateTimeText(toSerialDateTime(QDate(2088, 12, 28), time), host_.locale(),
                                   true);
    const auto fit = [](QLineEdit* field, const QStringList& texts) {
        field->setFixedWidth(fieldWidthFor(field, texts));
    };
    for (QLineEdit* field : {seriesStartTime, seriesMaximumTime, seriesMinimumTime, cursorATime,
                             cursorBTime, betweenCursorsMaximumTime, betweenCursorsMinimumTime})
        fit(field, times);
    for (QLineEdit* field :
         {seriesMaximum, seriesMinimum, cursorALevel, cursorBLevel, betweenCursorsMaximum,
          betweenCursorsMinimum, betweenCursorsAverage, betweenCursorsLeq, betweenCursorsL10,
          betweenCursorsL50, betweenCursorsL90})
        fit(field, levels);
    fit(seriesAverage, levels + QStringList{QStringLiteral("***.* dB ")});
    fit(pointCount, {QStringLiteral("88888888")});
}

bool GraphWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == graphView && event->type() == QEvent::KeyPress &&
        graphKeyPressed(*static_cast<QKeyEvent*>(event)))
        return true;
    if (watched == graphPanel && event->type() == QEvent::Resize) {
        movePointerReadout();
        alignSlider();
    }
    return QWidget::eventFilter(watched, event);
}

bool GraphWindow::confirmClose() {
    const QString question = document_.closeQuestion();
    if (!document_.unsaved || !*document_.unsaved || question.isEmpty()) return true;
    switch (host_.prompts().confirm(question)) {
        case Prompts::Answer::Cancel:
            return false;
        case Prompts::Answer::Yes:
            // Only a save that wrote the file forgets the data; a cancelled or failed one keeps
            // the window (and the question for the next time).
            if (!host_.saveWindow(*this)) return false;
            *document_.unsaved = false;
            return true;
        case Prompts::Answer::No:
            if (document_.noClearsUnsaved()) *document_.unsaved = false;
            return true;
    }
    return true;
}

void GraphWindow::setDocument(const GraphDocument& document) {
    document_ = document;
    setRole(this, document_.role);
}

void GraphWindow::setClearVisible(bool shown) {
    clearSeparator->setVisible(shown);
    const QList<QAction*> actions = toolBar->actions();
    const qsizetype clear = actions.indexOf(clearSeparator) + 1;
    if (clear > 0 && clear < actions.size()) actions[clear]->setVisible(shown);
}

void GraphWindow::closeEvent(QCloseEvent* event) {
    // A graph window is never destroyed by closing: it is minimised and keeps its data.
    event->ignore();
    if (!confirmClose()) return;
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
        sub->showMinimized();
    else
        showMinimized();
}

}  // namespace kl516
