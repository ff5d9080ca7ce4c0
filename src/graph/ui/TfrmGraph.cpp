#include "graph/ui/TfrmGraph.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QSplitter>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "workspace/Prompts.h"
#include "workspace/ui/WindowService.h"
#include "dataset/DataSetTable.h"
#include "dataset/TDateTime.h"
#include "graph/GraphFile.h"
#include "graph/CalLeq.h"
#include "graph/StatisticText.h"
#include "graph/Statistics.h"
#include "graph/ui/CrossCursor.h"
#include "graph/ui/DataSetListModel.h"
#include "workspace/ui/GraphWindowHost.h"
#include "graph/ui/TfrmAnnoEdit.h"
#include "graph/ui/TfrmDelAnno.h"
#include "graph/ui/TfrmDateTime.h"
#include "graph/ui/Tslider2.h"
#include "link/Clock.h"

namespace kl516 {

namespace {

QLineEdit* readOnlyField(QWidget* parent, const char* name, int width) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setReadOnly(true);
    e->setFixedWidth(width);
    return e;
}

QLabel* makeLabel(QWidget* parent, const QString& text) { return new QLabel(text, parent); }

const double kSamplingRates[9] = {0.1, 0.2, 0.5, 1, 2, 5, 10, 20, 30};

}  // namespace

TfrmGraph::TfrmGraph(GraphWindowHost& host, GraphDocument document, QWidget* parent)
    : QWidget(parent), host_(host), document_(document) {
    setRole(this, document_.role);
    setObjectName(QStringLiteral("frmGraph"));
    setWindowTitle(QStringLiteral("Graph"));
    resize(kClientWidth, kClientHeight);
    execAnnoEdit = [](TfrmAnnoEdit& dialog) { return dialog.exec() == QDialog::Accepted; };
    execDelAnno = [](TfrmDelAnno& dialog) { return dialog.exec() == QDialog::Accepted; };
    buildLayout();
    connect(&host_.annotations(), &AnnotationState::modeChanged, this,
            &TfrmGraph::showAnnotationMode);
    showAnnotationMode(host_.annotations().mode());
}

DataSetListModel& TfrmGraph::dataSetList() const {
    return *static_cast<DataSetListModel*>(Grid2->model());
}

void TfrmGraph::buildLayout() {
    // Left: the data-set list, shown only in the DataLogger window.
    pnlDataSets = new QWidget(this);
    pnlDataSets->setObjectName(QStringLiteral("pnlDataSets"));
    auto* listLayout = new QVBoxLayout(pnlDataSets);
    listLayout->setContentsMargins(2, 2, 2, 2);
    StaticText1 = new QLabel(QStringLiteral("Data Sets"), pnlDataSets);
    StaticText1->setObjectName(QStringLiteral("StaticText1"));
    Grid2 = new QTableView(pnlDataSets);
    Grid2->setObjectName(QStringLiteral("Grid2"));
    Grid2->setModel(new DataSetListModel(Grid2));
    const int widths[DataSetListModel::kColumns] = {25, 60, 60, 40, 40, 40, 40, 60};
    for (int c = 0; c < DataSetListModel::kColumns; ++c) Grid2->setColumnWidth(c, widths[c] + 12);
    Grid2->verticalHeader()->hide();
    Grid2->verticalHeader()->setDefaultSectionSize(Grid2->fontMetrics().height() + 6);
    Grid2->setWordWrap(false);
    Grid2->setSelectionBehavior(QAbstractItemView::SelectRows);
    Grid2->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid2->setCursor(Qt::PointingHandCursor);
    Grid2->setContextMenuPolicy(Qt::CustomContextMenu);
    PopupMenu1 = new QMenu(Grid2);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    // "&&" shows a plain ampersand; a single one would make "T" a shortcut.
    ChangeDateTime1 = PopupMenu1->addAction(QStringLiteral("Change Date && Time"));
    ChangeDateTime1->setObjectName(QStringLiteral("ChangeDateTime1"));
    connect(Grid2, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { PopupMenu1->popup(Grid2->viewport()->mapToGlobal(p)); });
    connect(ChangeDateTime1, &QAction::triggered, this, &TfrmGraph::ChangeDateTime1Click);
    listLayout->addWidget(StaticText1);
    listLayout->addWidget(Grid2);
    pnlDataSets->setMinimumWidth(120);
    pnlDataSets->resize(375, pnlDataSets->height());
    pnlDataSets->hide();

    // Right: tool bar, graph statistic, graph, cursor statistic.
    auto* side = new QWidget(this);
    auto* sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    sideLayout->setSpacing(0);

    ToolBar1 = new QToolBar(side);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    auto tool = [this](const char* name, const QString& text, const QString& hint, bool checkable) {
        auto* b = new QToolButton(ToolBar1);
        b->setObjectName(QLatin1String(name));
        b->setText(text);
        b->setToolTip(hint);
        b->setCheckable(checkable);
        b->setAutoRaise(true);
        ToolBar1->addWidget(b);
        return b;
    };
    ToolButton1 = tool("ToolButton1", QStringLiteral("Stat"), QStringLiteral("Toggle Graph Statistic"), true);
    ToolButton2 = tool("ToolButton2", QStringLiteral("Cursor"), QStringLiteral("Toggle Line Cursor Statistic"), true);
    ToolButton1->setChecked(true);
    ToolButton2->setChecked(true);
    ToolBar1->addSeparator();
    ToolButton4 = tool("ToolButton4", QStringLiteral("Normal"), QStringLiteral("Normal Cursor"), true);
    ToolButton5 = tool("ToolButton5", QStringLiteral("Cross"), QStringLiteral("Draw A Cross On Graph"), true);
    ToolButton9 = tool("ToolButton9", QStringLiteral("Text"), QStringLiteral("Text"), true);
    ToolButton4->setChecked(true);
    for (QToolButton* b : {ToolButton4, ToolButton5, ToolButton9})
        b->setAutoExclusive(true);
    ToolButton13 = tool("ToolButton13", QStringLiteral("Erase"), QString(), false);
    ToolButton6 = tool("ToolButton6", QStringLiteral("Color"), QStringLiteral("Color"), true);
    ToolButton7 = tool("ToolButton7", QStringLiteral("Mono"), QStringLiteral("Monochrome"), true);
    ToolButton6->setAutoExclusive(true);
    ToolButton7->setAutoExclusive(true);
    ToolButton6->setChecked(true);
    for (QToolButton* b : {ToolButton6, ToolButton7})
        ToolBar1->actions().at(ToolBar1->actions().size() - (b == ToolButton6 ? 2 : 1))->setVisible(false);
    tbntSep3 = ToolBar1->addSeparator();
    tbntSep3->setVisible(false);
    tbntClr = tool("tbntClr", QStringLiteral("Clear"), QStringLiteral("Clear"), false);
    ToolBar1->actions().last()->setVisible(false);
    UndoZoom = tool("UndoZoom", QStringLiteral("Undo Zoom"), QStringLiteral("Undo Zoom"), false);
    UndoZoom->setEnabled(false);
    Button1 = tool("Button1", QStringLiteral("Graph Option"), QStringLiteral("Graph Customization"), false);
    Button2 = tool("Button2", QStringLiteral("Export Statistic"), QString(), false);
    bunCalLEQ = tool("bunCalLEQ", QStringLiteral("CAL Leq"), QString(), false);
    connect(ToolButton1, &QToolButton::clicked, this, &TfrmGraph::ToolButton1Click);
    connect(ToolButton2, &QToolButton::clicked, this, &TfrmGraph::ToolButton2Click);
    connect(UndoZoom, &QToolButton::clicked, this, &TfrmGraph::UndoZoomClick);
    connect(Button1, &QToolButton::clicked, this, &TfrmGraph::Button1Click);
    connect(ToolButton4, &QToolButton::clicked, this, &TfrmGraph::ToolButton4Click);
    connect(ToolButton9, &QToolButton::clicked, this, &TfrmGraph::ToolButton9Click);
    connect(ToolButton5, &QToolButton::clicked, this, &TfrmGraph::ToolButton5Click);
    connect(ToolButton13, &QToolButton::clicked, this, &TfrmGraph::ToolButton13Click);
    connect(tbntClr, &QToolButton::clicked, this, &TfrmGraph::tbntClrClick);
    connect(Button2, &QToolButton::clicked, this, &TfrmGraph::Button2Click);
    connect(bunCalLEQ, &QToolButton::clicked, this, [this] { bunCalLEQClick(); });
    auto setViewing = [this](ViewingStyle style) {
        PESGraph1->editProperties([style](GraphState& s) { s.viewingStyle = style; });
        redraw();
    };
    connect(ToolButton6, &QToolButton::clicked, this, [setViewing] { setViewing(ViewingStyle::Color); });
    connect(ToolButton7, &QToolButton::clicked, this, [setViewing] { setViewing(ViewingStyle::Monochrome); });
    sideLayout->addWidget(ToolBar1);

    // Graph statistic: the whole series.
    pnlGraphStatistic = new QWidget(side);
    pnlGraphStatistic->setObjectName(QStringLiteral("pnlGraphStatistic"));
    pnlGraphStatistic->setFixedHeight(75);
    auto* gs = new QGridLayout(pnlGraphStatistic);
    gs->setContentsMargins(8, 4, 8, 4);
    txtStartTime = readOnlyField(pnlGraphStatistic, "txtStartTime", 170);
    pnlSamplingRate = new QWidget(pnlGraphStatistic);
    pnlSamplingRate->setObjectName(QStringLiteral("pnlSamplingRate"));
    auto* rateLayout = new QHBoxLayout(pnlSamplingRate);
    rateLayout->setContentsMargins(0, 0, 0, 0);
    txtSamplingRate = new QComboBox(pnlSamplingRate);
    txtSamplingRate->setObjectName(QStringLiteral("txtSamplingRate"));
    txtSamplingRate->setEditable(true);
    for (double r : kSamplingRates) txtSamplingRate->addItem(QString::number(r, 'f', 1));
    txtSamplingRate->setCurrentIndex(-1);
    txtSamplingRate->setFixedWidth(70);
    rateLayout->addWidget(txtSamplingRate);
    rateLayout->addWidget(makeLabel(pnlSamplingRate, QStringLiteral("Sec")));
    pnlSamplingRate->setEnabled(false);
    txtDataNo = readOnlyField(pnlGraphStatistic, "txtDataNo", 80);
    txtDataNo->setText(QStringLiteral("0"));
    txtAvgAll = readOnlyField(pnlGraphStatistic, "txtAvgAll", 80);
    txtAvgAll->setText(QStringLiteral("***.* dB "));
    txtMax = readOnlyField(pnlGraphStatistic, "txtMax", 60);
    txtMaxTime = readOnlyField(pnlGraphStatistic, "txtMaxTime", 170);
    txtMin = readOnlyField(pnlGraphStatistic, "txtMin", 60);
    txtMinTime = readOnlyField(pnlGraphStatistic, "txtMinTime", 170);
    gs->addWidget(makeLabel(pnlGraphStatistic, QStringLiteral("Start Time")), 0, 0);
    gs->addWidget(txtStartTime, 0, 1);
    gs->addWidget(makeLabel(pnlGraphStatistic, QStringLiteral("Sampling Rate")), 0, 2);
    gs->addWidget(pnlSamplingRate, 0, 3);
    gs->addWidget(makeLabel(pnlGraphStatistic, QStringLiteral("Data No.")), 0, 4);
    gs->addWidget(txtDataNo, 0, 5);
    gs->addWidget(makeLabel(pnlGraphStatistic, QStringLiteral("Avg")), 0, 6);
    gs->addWidget(txtAvgAll, 0, 7);
    gs->addWidget(makeLabel(pnlGraphStatistic, QStringLiteral("Maximum ")), 1, 0);
    gs->addWidget(txtMax, 1, 1, Qt::AlignLeft);
    gs->addWidget(makeLabel(pnlGraphStatistic, QStringLiteral("@")), 1, 2, Qt::AlignRight);
    gs->addWidget(txtMaxTime, 1, 3, 1, 2);
    gs->addWidget(makeLabel(pnlGraphStatistic, QStringLiteral("Minimum")), 1, 5);
    gs->addWidget(txtMin, 1, 6);
    gs->addWidget(makeLabel(pnlGraphStatistic, QStringLiteral("@")), 1, 7, Qt::AlignLeft);
    gs->addWidget(txtMinTime, 1, 8);
    gs->setColumnStretch(9, 1);
    sideLayout->addWidget(pnlGraphStatistic);

    // Graph with the pointer readout in its corner, and the cursor panel under a splitter.
    Splitter1 = new QSplitter(Qt::Vertical, side);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    pnlGraph = new QWidget(Splitter1);
    pnlGraph->setObjectName(QStringLiteral("pnlGraph"));
    auto* graphLayout = new QVBoxLayout(pnlGraph);
    graphLayout->setContentsMargins(0, 0, 0, 0);
    PESGraph1 = new PESGraph(pnlGraph);
    PESGraph1->setObjectName(QStringLiteral("PESGraph1"));
    graphLayout->addWidget(PESGraph1);
    Panel12 = new QLabel(pnlGraph);
    Panel12->setObjectName(QStringLiteral("Panel12"));
    Panel12->setAutoFillBackground(true);
    Panel12->setFrameShape(QFrame::Panel);
    Panel12->setFrameShadow(QFrame::Raised);
    Panel12->setMinimumWidth(150);
    Panel12->hide();  // shown with the first pointer readout
    Panel12->raise();
    pnlGraph->installEventFilter(this);

    pnlStatistic = new QWidget(Splitter1);
    pnlStatistic->setObjectName(QStringLiteral("pnlStatistic"));
    auto* cs = new QVBoxLayout(pnlStatistic);
    cs->setContentsMargins(0, 0, 0, 4);
    pnlSlider = new QWidget(pnlStatistic);
    pnlSlider->setObjectName(QStringLiteral("pnlSlider"));
    pnlSlider->setFixedHeight(27);
    Slider1 = new Tslider2(pnlSlider);
    Slider1->setObjectName(QStringLiteral("Slider1"));
    Slider1->setGeometry(0, 2, 622, 23);
    Slider1->setTrackWidth(5);
    Slider1->setTrackColor(Qt::yellow);
    Slider1->setThumbHeight(10);
    Slider1->setThumbWidth(4);
    Slider1->setThumbColor(Qt::green);
    connect(Slider1, &Tslider2::OnValueChange1, this, &TfrmGraph::Slider1ValueChange1);
    connect(Slider1, &Tslider2::OnValueChange2, this, &TfrmGraph::Slider1ValueChange1);
    // A thumb points at the pixel of its point's X on the graph's axis, the pixel of its
    // cursor's line, whatever part of the axis is in view and however the points are spaced
    // in time (the value range is point indexes, the axis is time).
    Slider1->setPositionOf([this](int point) {
        if (point < 0 || point >= PESGraph1->points()) return std::numeric_limits<double>::quiet_NaN();
        const QPoint onGraph = PESGraph1->valueToPixel(PESGraph1->XDataII(0, point), 0);
        return double(Slider1->mapFrom(this, PESGraph1->mapTo(this, onGraph)).x());
    });
    cs->addWidget(pnlSlider);
    auto* cg = new QGridLayout;
    cg->setContentsMargins(8, 0, 8, 0);
    txtCursorA = readOnlyField(pnlStatistic, "txtCursorA", 60);
    txtCursorATime = readOnlyField(pnlStatistic, "txtCursorATime", 170);
    txtCursorB = readOnlyField(pnlStatistic, "txtCursorB", 60);
    txtCursorBTime = readOnlyField(pnlStatistic, "txtCursorBTime", 170);
    txtMaxAB = readOnlyField(pnlStatistic, "txtMaxAB", 60);
    txtMaxABTime = readOnlyField(pnlStatistic, "txtMaxABTime", 170);
    txtMinAB = readOnlyField(pnlStatistic, "txtMinAB", 60);
    txtMinABTime = readOnlyField(pnlStatistic, "txtMinABTime", 170);
    txtAvgAB = readOnlyField(pnlStatistic, "txtAvgAB", 60);
    txtLeqAB = readOnlyField(pnlStatistic, "txtLeqAB", 60);
    txtL10AB = readOnlyField(pnlStatistic, "txtL10AB", 60);
    txtL50AB = readOnlyField(pnlStatistic, "txtL50AB", 60);
    txtL90AB = readOnlyField(pnlStatistic, "txtL90AB", 60);
    // The levels between the cursors go with their average: whatever empties it (a new run, an
    // erase) empties them too.
    connect(txtAvgAB, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!text.isEmpty()) return;
        for (QLineEdit* e : {txtLeqAB, txtL10AB, txtL50AB, txtL90AB}) e->clear();
    });
    for (QLineEdit* e : {txtCursorA, txtCursorATime}) e->setStyleSheet(QStringLiteral("color: blue;"));
    for (QLineEdit* e : {txtCursorB, txtCursorBTime}) e->setStyleSheet(QStringLiteral("color: red;"));
    auto* labelA = makeLabel(pnlStatistic, QStringLiteral("Cursor A"));
    labelA->setStyleSheet(QStringLiteral("color: blue;"));
    auto* labelB = makeLabel(pnlStatistic, QStringLiteral("Cursor B"));
    labelB->setStyleSheet(QStringLiteral("color: red;"));
    const struct {
        QLabel* label;
        QLineEdit* value;
        QLineEdit* time;
        int row, column;
    } rows[] = {
        {labelA, txtCursorA, txtCursorATime, 0, 0},
        {labelB, txtCursorB, txtCursorBTime, 1, 0},
        {makeLabel(pnlStatistic, QStringLiteral("Max.Between A and B")), txtMaxAB, txtMaxABTime, 0, 4},
        {makeLabel(pnlStatistic, QStringLiteral("Min.Between A and B")), txtMinAB, txtMinABTime, 1, 4},
        {makeLabel(pnlStatistic, QStringLiteral("Avg Between A and B")), txtAvgAB, nullptr, 2, 4},
    };
    for (const auto& r : rows) {
        cg->addWidget(r.label, r.row, r.column);
        cg->addWidget(r.value, r.row, r.column + 1);
        if (r.time) {
            cg->addWidget(makeLabel(pnlStatistic, QStringLiteral("@")), r.row, r.column + 2);
            cg->addWidget(r.time, r.row, r.column + 3);
        }
    }
    auto* levels = new QHBoxLayout;
    levels->setContentsMargins(0, 0, 0, 0);
    levels->addWidget(txtLeqAB);
    for (const auto& [name, field] : {std::pair{"L10", txtL10AB}, {"L50", txtL50AB}, {"L90", txtL90AB}}) {
        levels->addSpacing(8);
        levels->addWidget(makeLabel(pnlStatistic, QLatin1String(name)));
        levels->addWidget(field);
    }
    levels->addStretch(1);
    cg->addWidget(makeLabel(pnlStatistic, QStringLiteral("Leq Between A and B")), 2, 0);
    cg->addLayout(levels, 2, 1, 1, 3);
    cg->setColumnStretch(8, 1);
    cs->addLayout(cg);
    cs->addStretch(1);
    Splitter1->addWidget(pnlGraph);
    Splitter1->addWidget(pnlStatistic);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    Splitter1->setSizes({kClientHeight - 75 - 139 - 30, 139});
    sideLayout->addWidget(Splitter1, 1);

    Splitter2 = new QSplitter(Qt::Horizontal, this);
    Splitter2->setObjectName(QStringLiteral("Splitter2"));
    Splitter2->addWidget(pnlDataSets);
    Splitter2->addWidget(side);
    Splitter2->setStretchFactor(1, 1);
    Splitter2->setSizes({375, kClientWidth - 375});
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(Splitter2);
    // The window never gets smaller than a usable plot with both statistics panels and the
    // slider: the splitters may not fold the plot or the cursor panel away, and the window's
    // minimum size is what its layout needs, so neither Cascade nor a drag squeezes them out.
    constexpr int kMinimumPlotWidth = 320, kMinimumPlotHeight = 160;  // still a readable plot
    PESGraph1->setMinimumSize(kMinimumPlotWidth, kMinimumPlotHeight);
    Splitter1->setChildrenCollapsible(false);
    Splitter2->setCollapsible(Splitter2->indexOf(side), false);
    top->setSizeConstraint(QLayout::SetMinimumSize);

    connect(PESGraph1, &PESGraph::viewChanged, this, [this] {
        alignSlider();
        Slider1->update();  // the thumbs follow the axis
    });
    connect(PESGraph1, &PESGraph::mouseMoved, this, &TfrmGraph::PESGraph1MouseMove);
    connect(PESGraph1, &PESGraph::zoomedIn, this, &TfrmGraph::PESGraph1ZoomIn);
    connect(PESGraph1, &PESGraph::customizeDialogClosed, this, &TfrmGraph::PESGraph1CustomizeDlg);
    connect(PESGraph1, &PESGraph::clicked, this, &TfrmGraph::PESGraph1Click);
    connect(PESGraph1, &PESGraph::dataHotSpot, this, &TfrmGraph::PESGraph1DataHotSpot);
    connect(PESGraph1, &PESGraph::graphAnnotDoubleClicked, this,
            &TfrmGraph::PESGraph1GraphAnnotDoubleClick);
    connect(PESGraph1, &PESGraph::graphAnnotHovered, this, [this](int annotation) {
        PESGraph1->setToolTip(annotation >= 0 ? QStringLiteral("Double click to delete.") : QString());
    });
    connect(PESGraph1, &PESGraph::vertLineAnnotHotSpot, this,
            [this](int line) {
                if (line == 0 || line == 1) draggingLine_[line] = true;
            });
    connect(PESGraph1, &PESGraph::mouseReleased, this, [this] {
        draggingLine_[0] = draggingLine_[1] = false;
    });
}

// ---- formats ---------------------------------------------------------------------------------

QString TfrmGraph::levelText(double level) const { return formatLevel(level, host_.locale()); }
QString TfrmGraph::dateTimeText(double x) const { return formatDateTime(x, host_.locale()); }
QString TfrmGraph::longTimeText(double x) const { return formatLongTime(x, host_.locale()); }

// ---- set-up ----------------------------------------------------------------------------------

bool TfrmGraph::loadGraphTemplate(const QString& path) {
    GraphState look;
    if (!readGraphFile(path, look).ok) return false;
    // Notes belong to the series on show, not to a look.
    look.annotations = std::as_const(*PESGraph1).state().annotations;
    return PESGraph1->loadState(saveGraphState(look));
}

void TfrmGraph::setUpGraph(int series, double topY, double bottomY, double rightX, double leftX,
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

    PESGraph1->setSubsets(series);
    PESGraph1->setPoints(points);
    for (int i = 0; i < series; ++i) {
        PESGraph1->setXDataII(i, -1, 0.0);
        PESGraph1->setYData(i, -1, kNullDataValueY);
    }
    PESGraph1->editProperties([&](GraphState& s) {
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
            s.showVertLineAnnotations = true;
            s.allowVertLineAnnotHotSpots = true;
            s.lineAnnotationTextSize = 100;
            s.showGraphAnnotations = true;
            s.graphAnnotationTextSize = 100;
            s.gridStyle = GridStyle::Dot;
            s.mainTitle = QString();
            s.subTitle = QStringLiteral(" ");
            s.dateTimeMode = DateTimeMode::VBDateTime;
            s.xAxisLabel = QStringLiteral("Time");
            s.allowZooming = Zooming::HorzPlusVert;
            s.scrollingHorzZoom = true;
            s.scrollingVertZoom = true;
            s.graphForeColor = PEargb(255, 190, 190, 190);
            s.graphBackColor = PEargb(255, 0, 0, 0);
            s.deskColor = PEargb(255, 190, 190, 190);
            s.textColor = PEargb(255, 0, 0, 0);
            s.subsetColors = {PEargb(255, 255, 255, 0), PEargb(255, 255, 0, 0)};
            s.subsetLineTypes = {0, 0};
            s.yAxisColor = PEargb(255, 255, 0, 0);
        }
        s.allowGraphAnnotHotSpots = true;
    });
    // The pointer stays that of the shared mode.
    showAnnotationMode(host_.annotations().mode());
    redraw();
}

void TfrmGraph::redraw() {
    PESGraph1->PEactions(PEAction::ResetImage);
    PESGraph1->PEactions(PEAction::InvalidateImage);
}

// ---- statistics ------------------------------------------------------------------------------

void TfrmGraph::updateGraphStatistic() {
    const int n = PESGraph1->points();
    const GraphState& s = std::as_const(*PESGraph1).state();
    const SeriesStatistics st =
        seriesStatistics(s.x.empty() ? nullptr : s.x[0].data(), s.y.empty() ? nullptr : s.y[0].data(), n);
    if (n > 0) {
        txtStartTime->setText(dateTimeText(st.first));
        txtSamplingRate->setEditText(levelText(st.samplingRate));
        txtDataNo->setText(QString::number(n));
        txtAvgAll->setText(levelText(st.mean));
        txtMax->setText(levelText(st.maximum));
        txtMaxTime->setText(dateTimeText(s.x[0][st.maxIndex]));
        txtMin->setText(levelText(st.minimum));
        txtMinTime->setText(dateTimeText(s.x[0][st.minIndex]));
    } else {
        // No points: nothing to describe.
        for (QLineEdit* e : {txtStartTime, txtAvgAll, txtMax, txtMaxTime, txtMin, txtMinTime}) e->clear();
        txtDataNo->setText(QStringLiteral("0"));
    }
    setSliderRange(n);
}

void TfrmGraph::showDataSet(int i) {
    const DataSetTable& t = host_.dataSets();
    if (i < 0 || i >= t.setCount()) return;
    const int n = t.counts()[i];
    setUpGraph(1, 130, 30, t.setEnd(i), t.startTimes()[i], n);
    const int offset = t.setOffset(i);
    PESGraph1->copyXData(t.sampleTimes().data() + offset, n);
    PESGraph1->copyYData(t.levels().data() + offset, n);
    txtStartTime->setText(dateTimeText(t.startTimes()[i]));
    txtSamplingRate->setEditText(QString::number(t.intervals()[i]));
    txtDataNo->setText(QString::number(n));
    if (n > 0) {
        const int mx = t.maxIndexes()[i], mn = t.minIndexes()[i];
        txtMax->setText(levelText(PESGraph1->YData(0, mx)));
        txtMaxTime->setText(dateTimeText(PESGraph1->XDataII(0, mx)));
        txtMin->setText(levelText(PESGraph1->YData(0, mn)));
        txtMinTime->setText(dateTimeText(PESGraph1->XDataII(0, mn)));
    } else {
        for (QLineEdit* e : {txtMax, txtMaxTime, txtMin, txtMinTime}) e->clear();
    }
    txtAvgAll->setText(levelText(t.averages()[i]));
    setSliderRange(n);
    redraw();
}

void TfrmGraph::setSliderRange(int n) {
    alignSlider();
    Slider1->setMinimum(0);
    Slider1->setMaximum(n - 1);
    Slider1->setValue1(n / 3);
    Slider1->setValue2(2 * n / 3);
    // A value that did not change fires nothing; the cursors still follow the new series.
    Slider1ValueChange1();
}

// ---- graph options and template ------------------------------------------------------------

void TfrmGraph::Button1Click() { PESGraph1->PEactions(PEAction::Customize); }

void TfrmGraph::PESGraph1CustomizeDlg() {
    if (PESGraph1->DialogResult() != 1) return;
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
    GraphState look = std::as_const(*PESGraph1).state();
    look.resize(look.subsets, 0);
    look.annotations.clear();
    look.vertLineX = {0, 0};
    look.vertLineText = {};
    const FileWriteResult written = writeGraphFile(look, paths.userTemplate());
    if (!written.ok()) prompts.message(written.error);
}

// ---- data set start time ---------------------------------------------------------------------

void TfrmGraph::ChangeDateTime1Click() {
    const QModelIndexList selected = Grid2->selectionModel()->selectedIndexes();
    if (selected.isEmpty()) return;
    int top = selected.front().row();
    for (const QModelIndex& index : selected) top = std::min(top, index.row());
    // The empty row of a list without sets has no date.
    if (dataSetList().text(top, 1).isEmpty()) return;
    changeDataSetDateTime(top);
}

void TfrmGraph::changeDataSetDateTime(int i) {
    if (i < 0 || i >= host_.dataSets().setCount()) return;
    // The pickers start at the current time, not at the set's start.
    TfrmDateTime dialog(host_.clock().now(), i + 1, host_.locale(), this);
    const int result = execDateTimeDialog ? execDateTimeDialog(dialog) : dialog.exec();
    if (result != QDialog::Accepted) return;
    const TDateTime start = toTDateTime(dialog.date(), dialog.time());
    host_.changeStartTime(i, start);
    dataSetList().setStartTime(i, start);
    showDataSet(i);
}

// ---- cursors ---------------------------------------------------------------------------------

void TfrmGraph::Slider1ValueChange1() {
    cursorA_ = Slider1->Value1();
    cursorB_ = Slider1->Value2();
    // One point or none: no cursors. (A negative maximum is an empty series.)
    if (Slider1->Maximum() <= 0 || PESGraph1->points() == 0) return;
    placeCursor(0, cursorA_);
    placeCursor(1, cursorB_);
    updateCursorStatistic();
    pnlSlider->update();
    redraw();
}

void TfrmGraph::placeCursor(int cursor, int point) {
    const int n = PESGraph1->points();
    if (n == 0) return;
    point = std::clamp(point, 0, n - 1);
    const double x = PESGraph1->XDataII(0, point);
    const float y = PESGraph1->YData(0, point);
    (cursor == 0 ? txtCursorA : txtCursorB)->setText(levelText(y));
    (cursor == 0 ? txtCursorATime : txtCursorBTime)->setText(dateTimeText(x));
    const QString label =
        QStringLiteral("|t") + longTimeText(x) + QLatin1Char('\n') + levelText(y) + QStringLiteral("dB");
    PESGraph1->editProperties([&](GraphState& s) {
        s.vertLineX[cursor] = x;
        s.vertLineText[cursor] = label;
    });
}

void TfrmGraph::updateCursorStatistic() {
    const GraphState& s = std::as_const(*PESGraph1).state();
    const int n = PESGraph1->points();
    if (n == 0 || s.x.empty()) return;
    const CursorStatistics c = cursorStatistics(s.x[0].data(), s.y[0].data(), n, cursorA_, cursorB_);
    txtMaxAB->setText(levelText(c.maximum));
    txtMaxABTime->setText(dateTimeText(c.maximumTime));
    txtMinAB->setText(levelText(c.minimum));
    txtMinABTime->setText(dateTimeText(c.minimumTime));
    txtAvgAB->setText(levelText(c.mean));
    const CursorLevels levels = cursorLevels(s.y[0].data(), n, cursorA_, cursorB_, s.nullDataValueY);
    const auto show = [&](QLineEdit* e, double level) {
        e->setText(levels.count > 0 ? levelText(level) : QString());
    };
    show(txtLeqAB, levels.leq);
    show(txtL10AB, levels.l10);
    show(txtL50AB, levels.l50);
    show(txtL90AB, levels.l90);
}

void TfrmGraph::PESGraph1MouseMove(const QPoint& pixel) {
    const QRect area = PESGraph1->plottingArea();
    if (pixel.x() >= area.left() && pixel.x() <= area.right() + 1 && pixel.y() >= area.top() &&
        pixel.y() <= area.bottom() + 1) {
        const QPointF v = PESGraph1->pixelToValue(pixel);
        Panel12->setText(levelText(v.y()) + QStringLiteral("dB@") + longTimeText(v.x()));
        Panel12->adjustSize();
        Panel12->show();
        Panel12->raise();
        dragCursorLine(pixel);
    }
}

// Dragging a cursor line: the cursor steps point by point towards the pointer's X.
void TfrmGraph::dragCursorLine(const QPoint& pixel) {
    const int line = draggingLine_[0] ? 0 : draggingLine_[1] ? 1 : -1;
    const int n = PESGraph1->points();
    if (line < 0 || n == 0) return;
    if (PESGraph1->hotSpotAt(pixel).kind == HotSpotKind::VertLineAnnotation) return;
    const double pointerX = PESGraph1->pixelToValue(pixel).x();
    int p = std::clamp(line == 0 ? cursorA_ : cursorB_, 0, n - 1);
    const int start = p;
    if (PESGraph1->XDataII(0, p) < pointerX) {
        while (p < n - 1 && PESGraph1->XDataII(0, p) < pointerX) ++p;
    } else if (PESGraph1->XDataII(0, p) > pointerX) {
        while (p > 0 && PESGraph1->XDataII(0, p) > pointerX) --p;
    }
    if (p == start) return;
    if (line == 0) Slider1->setValue1(p);
    else Slider1->setValue2(p);
}

void TfrmGraph::PESGraph1ZoomIn() { UndoZoom->setEnabled(true); }

void TfrmGraph::UndoZoomClick() {
    PESGraph1->PEactions(PEAction::UndoZoom);
    PESGraph1->PEactions(PEAction::ResetImage);
    UndoZoom->setEnabled(false);
}

void TfrmGraph::ToolButton1Click() {
    pnlGraphStatistic->setVisible(ToolButton1->isChecked());
    movePanel12();
}

void TfrmGraph::ToolButton2Click() {
    const bool shown = ToolButton2->isChecked();
    pnlStatistic->setVisible(shown);
    PESGraph1->editProperties([shown](GraphState& s) { s.showVertLineAnnotations = shown; });
    redraw();
}

// ---- annotations -----------------------------------------------------------------------------

void TfrmGraph::showAnnotationMode(AnnotationMode mode) {
    QToolButton* down = mode == AnnotationMode::Text    ? ToolButton9
                        : mode == AnnotationMode::Cross ? ToolButton5
                                                        : ToolButton4;
    down->setChecked(true);
    switch (mode) {
        case AnnotationMode::Normal: PESGraph1->setCursor(Qt::ArrowCursor); break;
        case AnnotationMode::Text: PESGraph1->setCursor(Qt::IBeamCursor); break;
        case AnnotationMode::Cross: PESGraph1->setCursor(crossCursor()); break;
    }
}

void TfrmGraph::ToolButton4Click() { host_.annotations().setMode(AnnotationMode::Normal); }
void TfrmGraph::ToolButton9Click() { host_.annotations().setMode(AnnotationMode::Text); }
void TfrmGraph::ToolButton5Click() { host_.annotations().setMode(AnnotationMode::Cross); }

void TfrmGraph::placeAnnotation(int32_t type, QPointF at, const QString& text) {
    AnnotationState& shared = host_.annotations();
    const int index = shared.takeIndex(std::as_const(*PESGraph1).state().annotations);
    PESGraph1->editProperties(
        [&](GraphState& s) { setAnnotation(s.annotations, index, type, at.x(), at.y(), text); });
}

void TfrmGraph::PESGraph1Click() {
    const AnnotationMode mode = host_.annotations().mode();
    const std::optional<QPoint> at =
        annotationPoint(mode, PESGraph1->lastMousePosition(), PESGraph1->plottingArea());
    if (!at) return;
    const QPointF value = PESGraph1->pixelToValue(*at);
    if (mode == AnnotationMode::Text) {
        TfrmAnnoEdit dialog(this);
        // The text as typed; an empty one is an annotation that shows nothing.
        if (execAnnoEdit(dialog)) placeAnnotation(kAnnotationTextOnly, value, dialog.Edit1->text());
    } else {
        placeAnnotation(kAnnotationCross, value, QString());
    }
    redraw();
}

void TfrmGraph::ToolButton13Click() {
    const std::vector<AnnotationRow> rows = erasableAnnotations(
        std::as_const(*PESGraph1).state().annotations, host_.annotations().lastAnnotation());
    TfrmDelAnno dialog(rows, host_.locale(), this);
    if (!execDelAnno(dialog)) return;
    const std::vector<int> erased = dialog.selectedAnnotations();
    PESGraph1->editProperties([&](GraphState& s) {
        for (int index : erased) eraseAnnotation(s.annotations, index);
    });
    redraw();
}

void TfrmGraph::PESGraph1DataHotSpot(int series, int point) {
    if (series < 0 || series >= PESGraph1->subsets() || point < 0 || point >= PESGraph1->points())
        return;
    const GraphAnnotation marker = markerAnnotation(PESGraph1->XDataII(series, point),
                                                    PESGraph1->YData(series, point), host_.locale());
    PESGraph1->editProperties([&](GraphState& s) {
        if (s.annotations.size() <= size_t(kMarkerAnnotation))
            s.annotations.resize(size_t(kMarkerAnnotation) + 1);
        s.annotations[size_t(kMarkerAnnotation)] = marker;
    });
    redraw();
}

void TfrmGraph::PESGraph1GraphAnnotDoubleClick(int annotation) {
    // In text or cross mode the clicks place annotations instead.
    if (host_.annotations().mode() != AnnotationMode::Normal) return;
    PESGraph1->editProperties([&](GraphState& s) { eraseAnnotation(s.annotations, annotation); });
    PESGraph1->setToolTip(QString());
    redraw();
}

void TfrmGraph::tbntClrClick() {
    setCaption(QStringLiteral("Real-Time Graph"));
    setClearVisible(true);
    constexpr int kClearedPoints = 200;
    constexpr double kClearedSeconds = 30;
    const TDateTime t = toTDateTime(host_.clock().now());
    setUpGraph(1, 130, 30, t + kClearedSeconds * kOneSecond, t, kClearedPoints);
    PESGraph1->setXDataII(0, -1, 0.0);
    PESGraph1->setYData(0, -1, 0.0f);
    emit realTimeCleared();
    PESGraph1->editProperties([this](GraphState& s) { host_.annotations().clear(s.annotations); });
    redraw();
}

// ---- statistic export and running Leq ---------------------------------------------------------

void TfrmGraph::Button2Click() {
    StatisticFields f;
    f.startTime = txtStartTime->text();
    f.samplingRate = txtSamplingRate->currentText();
    f.dataNo = txtDataNo->text();
    f.avgAll = txtAvgAll->text();
    f.max = txtMax->text();
    f.maxTime = txtMaxTime->text();
    f.min = txtMin->text();
    f.minTime = txtMinTime->text();
    f.cursorA = txtCursorA->text();
    f.cursorATime = txtCursorATime->text();
    f.cursorB = txtCursorB->text();
    f.cursorBTime = txtCursorBTime->text();
    f.maxAB = txtMaxAB->text();
    f.maxABTime = txtMaxABTime->text();
    f.minAB = txtMinAB->text();
    f.minABTime = txtMinABTime->text();
    f.avgAB = txtAvgAB->text();
    f.leqAB = txtLeqAB->text();
    f.l10AB = txtL10AB->text();
    f.l50AB = txtL50AB->text();
    f.l90AB = txtL90AB->text();
    QGuiApplication::clipboard()->setText(statisticText(f));
    host_.prompts().message(QStringLiteral("The statistic has been copy to clipboard"));
}

TfrmGraph* TfrmGraph::bunCalLEQClick() {
    const GraphState& s = std::as_const(*PESGraph1).state();
    const int n = PESGraph1->points();
    const RunningLeq leq = s.x.empty() || s.y.empty()
                               ? RunningLeq{}
                               : runningLeq(s.x[0].data(), s.y[0].data(), n, s.nullDataValueY);
    if (leq.leq.size() < 2) {
        host_.prompts().message(QStringLiteral("data number < 2"));
        return nullptr;
    }
    // A running Leq answers for its source's data: same caption, same close question.
    TfrmGraph* window = host_.createGraphWindow(
        GraphDocument{WindowRole::LeqOfSource, document_.effectiveRole(), document_.unsaved},
        caption());
    if (!window) return nullptr;
    // It belongs to this window and goes with it.
    QWidget* frame = qobject_cast<QMdiSubWindow*>(window->parentWidget())
                         ? window->parentWidget()
                         : static_cast<QWidget*>(window);
    connect(this, &QObject::destroyed, frame, &QObject::deleteLater);
    leqWindow_ = window;
    window->showRunningLeq(leq);
    if (auto* sub = qobject_cast<QMdiSubWindow*>(window->parentWidget())) sub->showNormal();
    window->showNormal();
    window->redraw();
    return window;
}

void TfrmGraph::showRunningLeq(const RunningLeq& leq) {
    const int n = int(leq.leq.size());
    if (n == 0) return;
    setUpGraph(2, 130, 30, leq.x.back(), leq.x.front(), n);
    PESGraph1->editProperties([](GraphState& s) {
        s.subsetLabels = {QStringLiteral("SPL"), QStringLiteral("Leq")};
        s.subsetColors = {PEargb(255, 255, 255, 0), PEargb(255, 255, 0, 0)};
    });
    PESGraph1->editPoints([&](GraphState& s) {
        std::copy(leq.x.begin(), leq.x.end(), s.x[0].begin());
        std::copy(leq.x.begin(), leq.x.end(), s.x[1].begin());
        std::copy(leq.spl.begin(), leq.spl.end(), s.y[0].begin());
        std::copy(leq.leq.begin(), leq.leq.end(), s.y[1].begin());
    });
    bunCalLEQ->setEnabled(false);
    updateGraphStatistic();
    PESGraph1->PEactions(PEAction::ReinitAndReset);
}

// ---- window events ---------------------------------------------------------------------------

// The track spans the plotting area and half a thumb beyond each end, so that the thumb of a
// point on the area's first or last pixel is whole; the thumbs themselves point at their
// cursors' lines (see buildLayout).
void TfrmGraph::alignSlider() {
    const QRect area = PESGraph1->plottingArea();
    const QPoint topLeft = PESGraph1->mapTo(this, area.topLeft());
    const QPoint inPanel = pnlSlider->mapFrom(this, topLeft);
    const int half = Slider1->ThumbHeight() / 2;
    const QRect wanted(inPanel.x() - half, Slider1->y(),
                       std::max(area.width(), 1) + Slider1->ThumbHeight() + 1, Slider1->height());
    if (Slider1->geometry() != wanted) Slider1->setGeometry(wanted);
}

void TfrmGraph::movePanel12() { Panel12->move(PESGraph1->geometry().topLeft() + QPoint(2, 2)); }

void TfrmGraph::FormShow() {
    ToolButton6->setChecked(true);
    host_.annotations().setMode(AnnotationMode::Normal);
    showAnnotationMode(AnnotationMode::Normal);
    const QString current = txtSamplingRate->currentText();
    const bool blocked = txtSamplingRate->blockSignals(true);
    for (int i = 0; i < 9; ++i)
        txtSamplingRate->setItemText(i, formatLevel(kSamplingRates[i], host_.locale()));
    txtSamplingRate->setEditText(current);
    txtSamplingRate->blockSignals(blocked);
}

void TfrmGraph::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!shownOnce_) {
        shownOnce_ = true;
        FormShow();
    }
    alignSlider();
    movePanel12();
}

void TfrmGraph::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    alignSlider();
}

void TfrmGraph::changeEvent(QEvent* event) { QWidget::changeEvent(event); }

bool TfrmGraph::eventFilter(QObject* watched, QEvent* event) {
    if (watched == pnlGraph && event->type() == QEvent::Resize) {
        movePanel12();
        alignSlider();
    }
    return QWidget::eventFilter(watched, event);
}

bool TfrmGraph::FormCloseQuery() {
    const QString question = document_.closeQuestion();
    if (!document_.unsaved || !*document_.unsaved || question.isEmpty()) return true;
    switch (host_.prompts().confirm(question)) {
        case Prompts::Answer::Cancel: return false;
        case Prompts::Answer::Yes:
            *document_.unsaved = false;
            host_.saveWindow(*this);
            return true;
        case Prompts::Answer::No:
            if (document_.noClearsUnsaved()) *document_.unsaved = false;
            return true;
    }
    return true;
}

void TfrmGraph::setDocument(const GraphDocument& document) {
    document_ = document;
    setRole(this, document_.role);
}

void TfrmGraph::setClearVisible(bool shown) {
    tbntSep3->setVisible(shown);
    const QList<QAction*> actions = ToolBar1->actions();
    const qsizetype clear = actions.indexOf(tbntSep3) + 1;
    if (clear > 0 && clear < actions.size()) actions[clear]->setVisible(shown);
}

void TfrmGraph::closeEvent(QCloseEvent* event) {
    // A graph window is never destroyed by closing: it is minimised and keeps its data.
    event->ignore();
    if (!FormCloseQuery()) return;
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
        sub->showMinimized();
    else
        showMinimized();
}

}  // namespace kl516
