#include "app/ui/TfrmMain.h"

#include "logger/CollectionFile.h"
#include "link/LinkResult.h"

#include <QAction>
#include <algorithm>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QtEndian>

#include <QDir>
#include <QMenuBar>
#include "workspace/Prompts.h"
#include "platform/Settings.h"
#include "realtime/RealTimeRateSetting.h"
#include "app/WindowArrangement.h"
#include "app/ui/TfrmAbout.h"
#include "dataset/TDateTime.h"
#include "formats/SafeWrite.h"
#include "files/ui/FileCommands.h"
#include "graph/ui/TfrmGraph.h"
#include "link/Clock.h"
#include "link/MeterLink.h"
#include "leq/ui/LeqCommands.h"
#include "logger/ui/LoggerCommands.h"
#include "logger/ui/TfrmSetup.h"
#include "logger/ui/TfrmScope.h"
#include "realtime/SamplingRate.h"
#include "realtime/ui/RealTimeRecorder.h"
#include "report/ui/PrintCommands.h"

namespace kl516 {

TfrmMain::TfrmMain(MeterLink& link, Prompts& prompts, Clock& clock, Environment environment,
                   QWidget* parent)
    : QMainWindow(parent),
      link_(link),
      prompts_(prompts),
      clock_(clock),
      env_(std::move(environment)),
      paths_(AppPaths::forProgramFolder(
          env_.programFolder.isEmpty() ? QCoreApplication::applicationDirPath()
                                       : env_.programFolder,
          env_.userFolder.isEmpty() ? AppPaths::forRunningProgram().userFolder : env_.userFolder,
          QString())),
      connection_(link, clock) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("KL516"));

    mdi_ = new QMdiArea(this);
    mdi_->setObjectName(QStringLiteral("MDIClient"));
    // Windows may extend past the workspace (tiled at their minimum size, or moved): it then
    // scrolls rather than hiding them or growing the main window.
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setFrameShape(QFrame::NoFrame);
    setCentralWidget(mdi_);
    connect(mdi_, &QMdiArea::subWindowActivated, this, [this] { applyCommandStates(); });

    buildMenu();
    buildToolBar();
    buildStatusBar();

    MaxMinTimer = new QTimer(this);
    MaxMinTimer->setObjectName(QStringLiteral("MaxMinTimer"));
    MaxMinTimer->setInterval(500);
    connect(MaxMinTimer, &QTimer::timeout, this, &TfrmMain::MaxMinTimerTimer);
    // Without a connection the poll keeps trying; when the meter is there but its device node
    // may not be opened, the status bar says so instead of only "No Connection".
    accessHintTimer_ = new QTimer(this);
    accessHintTimer_->setObjectName(QStringLiteral("AccessHintTimer"));
    accessHintTimer_->setInterval(2000);
    connect(accessHintTimer_, &QTimer::timeout, this, &TfrmMain::updateAccessHint);

    connect(&connection_, &MeterConnection::connectionChanged, this,
            &TfrmMain::onConnectionChanged);
    connect(&connection_, &MeterConnection::statusDecoded, this, &TfrmMain::onStatusDecoded);
    connect(&connection_, &MeterConnection::linkLentChanged, this,
            [this] { applyCommandStates(); });
    connect(&connection_, &MeterConnection::runActiveChanged, this,
            [this] { applyCommandStates(); });
    connect(&connection_, &MeterConnection::resetIndicatorHidden, lbl_reset, &QWidget::hide);

    realTime_ = new RealTimeRecorder(*this, connection_, *this, this);
    logger_ = new LoggerCommands(*this, connection_, *this, this);
    leq_ = new LeqCommands(*this, connection_, *this, this);
    files_ = new FileCommands(*this, *this, this);
    // A collection opened from a file shows its sets in the same list as Load Data.
    files_->openDataLoggerWindow = [this](double now) { return logger_->openDataLoggerWindow(now); };
    connectCommands();
    print_ = new PrintCommands(*this, this);
    connectPrinting();

    // FormCreate: the setting and the digit images.
    realTimeRate_ = readRealTimeRate(*openSettings(env_.settingsFile));
    digits_ = DigitImages::draw();
}

TfrmMain::~TfrmMain() {
    connection_.stopPolling();
    MaxMinTimer->stop();
    // The controllers and child windows refer to the main window's state and to the connection:
    // they go first, without their close questions (those were asked when the program was left).
    delete realTime_;
    delete logger_;
    delete leq_;
    delete print_;
    delete files_;
    realTime_ = nullptr;
    logger_ = nullptr;
    leq_ = nullptr;
    print_ = nullptr;
    files_ = nullptr;
    if (panel_) panel_->disconnect(this);
    if (mdi_) qDeleteAll(mdi_->subWindowList());
    delete scope_;
}

void TfrmMain::connectCommands() {
    connect(LoadData1, &QAction::triggered, logger_, &LoggerCommands::LoadData1Click);
    connect(btnDataLogger, &QToolButton::clicked, logger_, &LoggerCommands::LoadData1Click);
    connect(EraseMemory1, &QAction::triggered, logger_, &LoggerCommands::EraseMemory1Click);
    connect(LEQ1, &QAction::triggered, leq_, &LeqCommands::LEQ1Click);
    connect(Setup1, &QAction::triggered, this, &TfrmMain::Setup1Click);
    connect(Button1, &QPushButton::clicked, this, &TfrmMain::Setup1Click);
    connect(btnRun, &QToolButton::clicked, realTime_, &RealTimeRecorder::btnRunClick);
    connect(Run1, &QAction::triggered, realTime_, &RealTimeRecorder::btnRunClick);
    connect(btnStop, &QToolButton::clicked, realTime_, &RealTimeRecorder::btnStopClick);
    connect(Stop1, &QAction::triggered, realTime_, &RealTimeRecorder::btnStopClick);
    connect(realTime_, &RealTimeRecorder::rejectedCountChanged, this,
            [this](int count) { Edit1->setText(QString::number(count)); });
    connect(Open1, &QAction::triggered, files_, &FileCommands::Open1Click);
    connect(SpeedButton1, &QToolButton::clicked, files_, &FileCommands::Open1Click);
    connect(Save1, &QAction::triggered, files_, &FileCommands::Save1Click);
    connect(SpeedButton2, &QToolButton::clicked, files_, &FileCommands::Save1Click);
    connect(btnOutputToGraph, &QToolButton::clicked, files_,
            &FileCommands::btnOutputToGraphClick);
}

// File > Print and the Print button print the active window; Printer Setup chooses the printer
// and its settings for the later jobs.
void TfrmMain::connectPrinting() {
    connect(Print1, &QAction::triggered, print_, &PrintCommands::btnPrintClick);
    connect(btnPrint, &QToolButton::clicked, print_, &PrintCommands::btnPrintClick);
    connect(PrinterSetup1, &QAction::triggered, print_, &PrintCommands::PrinterSetup1Click);
}

void TfrmMain::buildMenu() {
    auto* bar = menuBar();
    auto addItem = [this](QMenu* menu, const char* name, const QString& caption) {
        auto* a = menu->addAction(caption);
        a->setObjectName(QLatin1String(name));
        return a;
    };
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("File1"));
    Open1 = addItem(file, "Open1", QStringLiteral("&Open"));
    Save1 = addItem(file, "Save1", QStringLiteral("&Save"));
    file->addSeparator()->setObjectName(QStringLiteral("N1"));
    Print1 = addItem(file, "Print1", QStringLiteral("&Print"));
    PrinterSetup1 = addItem(file, "PrinterSetup1", QStringLiteral("&Printer Setup"));
    file->addSeparator()->setObjectName(QStringLiteral("N2"));
    Exit1 = addItem(file, "Exit1", QStringLiteral("E&xit"));
    connect(Exit1, &QAction::triggered, this, &TfrmMain::Exit1Click);

    QMenu* realTime = bar->addMenu(QStringLiteral("Real Time"));
    realTime->setObjectName(QStringLiteral("RealTime1"));
    Run1 = addItem(realTime, "Run1", QStringLiteral("Run"));
    Stop1 = addItem(realTime, "Stop1", QStringLiteral("Stop"));
    Run1->setEnabled(false);
    Stop1->setEnabled(false);

    QMenu* logger = bar->addMenu(QStringLiteral("&Data Logger"));
    DataLogger1 = logger->menuAction();
    DataLogger1->setObjectName(QStringLiteral("DataLogger1"));
    LoadData1 = addItem(logger, "LoadData1", QStringLiteral("Load Data"));
    EraseMemory1 = addItem(logger, "EraseMemory1", QStringLiteral("Erase Memory"));
    Setup1 = addItem(logger, "Setup1", QStringLiteral("Setup"));
    Setup1->setVisible(false);

    QMenu* view = bar->addMenu(QStringLiteral("&View"));
    view->setObjectName(QStringLiteral("View1"));
    ControlPanel1 = addItem(view, "ControlPanel1", QStringLiteral("&Control Panel"));
    ControlPanel1->setCheckable(true);
    ControlPanel1->setChecked(true);
    RealTimeGraph1 = addItem(view, "RealTimeGraph1", QStringLiteral("Real Time &Graph"));
    RealTimeGraph1->setCheckable(true);
    RealTimeGraph1->setChecked(true);
    // The items only open or restore; the check mark follows the window, not the click.
    connect(ControlPanel1, &QAction::triggered, this, [this] {
        ControlPanel1->setChecked(panel_ != nullptr);
        ControlPanel1Click();
    });
    connect(RealTimeGraph1, &QAction::triggered, this, [this] {
        RealTimeGraph1->setChecked(realTimeWindow_ != nullptr);
        RealTimeGraph1Click();
    });

    QMenu* window = bar->addMenu(QStringLiteral("&Window"));
    window->setObjectName(QStringLiteral("Window1"));
    Tile1 = addItem(window, "Tile1", QStringLiteral("&Tile"));
    Cascade1 = addItem(window, "Cascade1", QStringLiteral("&Cascade"));
    connect(Tile1, &QAction::triggered, this, &TfrmMain::Tile1Click);
    connect(Cascade1, &QAction::triggered, this, &TfrmMain::Cascade1Click);
    // The list of open child windows follows the two items.
    auto* separator = window->addSeparator();
    connect(window, &QMenu::aboutToShow, this, [this, window, separator] {
        const auto actions = window->actions();
        for (int i = actions.indexOf(separator) + 1; i < actions.size(); ++i) {
            window->removeAction(actions[i]);
            actions[i]->deleteLater();
        }
        int n = 1;
        for (QMdiSubWindow* sub : mdi_->subWindowList()) {
            // A caption's own ampersands (a file's path) are shown, not taken as shortcuts.
            QString title = sub->windowTitle();
            title.replace(QLatin1Char('&'), QStringLiteral("&&"));
            auto* a = window->addAction(QStringLiteral("&%1 %2").arg(n++).arg(title));
            a->setCheckable(true);
            a->setChecked(sub == mdi_->activeSubWindow());
            connect(a, &QAction::triggered, this, [this, sub] {
                if (sub->isMinimized()) sub->showNormal();
                mdi_->setActiveSubWindow(sub);
            });
        }
    });

    LEQ1 = bar->addAction(QStringLiteral("LEQ"));
    LEQ1->setObjectName(QStringLiteral("LEQ1"));

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("Help1"));
    Contents1 = addItem(help, "Contents1", QStringLiteral("&Contents"));
    help->addSeparator()->setObjectName(QStringLiteral("N4"));
    About1 = addItem(help, "About1", QStringLiteral("&About"));
    connect(Contents1, &QAction::triggered, this, &TfrmMain::Contents1Click);
    connect(About1, &QAction::triggered, this, &TfrmMain::About1Click);
}

void TfrmMain::buildToolBar() {
    ToolBar1 = addToolBar(QStringLiteral("Tools"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    auto add = [this](const char* name, const QString& hint, QStyle::StandardPixmap icon) {
        auto* b = new QToolButton(ToolBar1);
        b->setObjectName(QLatin1String(name));
        b->setToolTip(hint);
        b->setIcon(style()->standardIcon(icon));
        b->setAutoRaise(true);
        ToolBar1->addWidget(b);
        return b;
    };
    SpeedButton1 = add("SpeedButton1", QStringLiteral("Open File"), QStyle::SP_DialogOpenButton);
    SpeedButton2 = add("SpeedButton2", QStringLiteral("Save to file"), QStyle::SP_DialogSaveButton);
    btnPrint = add("btnPrint", QStringLiteral("Print"), QStyle::SP_FileDialogContentsView);
    btnDataLogger = add("btnDataLogger", QStringLiteral("Data Logger"), QStyle::SP_DriveHDIcon);
    btnOutputToGraph = add("btnOutputToGraph", QStringLiteral("Output Tabular to graph"),
                           QStyle::SP_FileDialogListView);
    btnRun = add("btnRun", QStringLiteral("Start Graphing Real Time Data"), QStyle::SP_MediaPlay);
    btnStop = add("btnStop", QStringLiteral("Stop Graphing Real Time Data"), QStyle::SP_MediaStop);
    SpeedButton8 = add("SpeedButton8", QStringLiteral("Help"), QStyle::SP_DialogHelpButton);
    btnOutputToGraph->setEnabled(false);
    btnRun->setEnabled(false);
    btnStop->setEnabled(false);
    SpeedButton8->setVisible(false);
    ToolBar1->actions().last()->setVisible(false);  // the tool bar's slot of SpeedButton8
    connect(SpeedButton8, &QToolButton::clicked, this, &TfrmMain::Contents1Click);

    // Controls that exist but are never shown.
    lbl_reset = new QLabel(QStringLiteral("RESET"), this);
    lbl_reset->setObjectName(QStringLiteral("lbl_reset"));
    lbl_reset->hide();
    Edit1 = new QLineEdit(QStringLiteral("0"), this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->hide();
    Button1 = new QPushButton(QStringLiteral("setup"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->hide();
    Button2 = new QPushButton(QStringLiteral("Button2"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->hide();
    connect(Button2, &QPushButton::clicked, this, &TfrmMain::Button2Click);
}

void TfrmMain::buildStatusBar() {
    auto* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    const int widths[3] = {100, 150, 50};
    for (int i = 0; i < 3; ++i) {
        statusPanels_[i] = new QLabel(this);
        statusPanels_[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        statusPanels_[i]->setFixedWidth(widths[i]);
        statusPanels_[i]->setFrameShape(QFrame::StyledPanel);
        statusPanels_[i]->setFrameShadow(QFrame::Sunken);
        bar->addWidget(statusPanels_[i]);
    }
}

QString TfrmMain::statusText(int panel) const {
    return panel >= 0 && panel < 3 ? statusPanels_[panel]->text() : QString();
}

void TfrmMain::setStatusText(int panel, const QString& text) {
    statusPanels_[panel]->setText(text);
}

void TfrmMain::formShow(TfrmAbout* splash) {
    createPanel();
    dataFolder_ =
        env_.documentsFolder.isNull() ? kl516::dataFolder() : dataFolderFor(env_.documentsFolder);
    paths_.dataFolder = dataFolder_;
    if (panel_) panel_->setNoConnectionVisible(!connected());
    setStatusText(0, QString());
    setStatusText(1,
                  connected() ? QStringLiteral("On Connection") : QStringLiteral("Off Connection"));
    if (panel_) panel_->setTimeVisible(true);
    DataLogger1->setVisible(true);
    btnDataLogger->setVisible(true);
    clock_.waitMs(500);
    connection_.startPolling();
    accessHintTimer_->start();
    if (splash) {
        splash->Label4->clear();
        splash->close();
    }
    openRealTimeWindow();
    Setup1->setVisible(serviceEntriesVisible_);
    if (panel_) panel_->setLevelDigits({1, 8, 8, 8});
    applyCommandStates();
}

// ---- child windows ---------------------------------------------------------------------------

QMdiSubWindow* TfrmMain::addChildWindow(QWidget* child, WindowRole role) {
    setRole(child, role);
    QMdiSubWindow* sub = mdi_->addSubWindow(child);
    sub->setWindowTitle(child->windowTitle());
    connect(child, &QWidget::windowTitleChanged, sub, &QWidget::setWindowTitle);
    return sub;
}

void TfrmMain::createPanel() {
    auto* panel = new TfrmPanel(connection_, prompts_, digits_);
    panel->setObjectName(QStringLiteral("frmPanel"));
    setRole(panel, WindowRole::ControlPanel);
    auto* sub = new QMdiSubWindow(mdi_, Qt::FramelessWindowHint);
    sub->setObjectName(QStringLiteral("frmPanelWindow"));
    sub->setWidget(panel);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowTitle(QStringLiteral("Control Panel"));
    sub->setFixedSize(TfrmPanel::kWidth, TfrmPanel::kHeight);
    mdi_->addSubWindow(sub);
    sub->move(0, 0);
    sub->show();
    connect(panel, &TfrmPanel::closed, this, [this, panel, sub] {
        if (panel_ == panel) {
            panel_ = nullptr;
            ControlPanel1->setChecked(false);
        }
        sub->hide();
        sub->deleteLater();
    });
    connect(panel, &TfrmPanel::minimiseRequested, sub, &QMdiSubWindow::showMinimized);
    connect(panel, &TfrmPanel::activated, this, [this] { applyCommandStates(); });
    panel_ = panel;
    // A new panel shows the connection as it is.
    panel->setNoConnectionVisible(!connected());
    ControlPanel1->setChecked(true);
}

void TfrmMain::ControlPanel1Click() {
    if (panel_) {
        restore(panel_);
        return;
    }
    createPanel();
}

void TfrmMain::Button2Click() {
    createPanel();
}

QString TfrmMain::workFolder() const {
    if (!paths_.userFolder.isEmpty()) return paths_.userFolder + QLatin1Char('/');
    return collectionBaseFolder(dataFolder_, paths_.programFolder);
}

QString TfrmMain::programFolder() const {
    return paths_.programFolder;
}

void TfrmMain::changeStartTime(int set, TDateTime newStart) {
    dataSets_.changeStartTime(set, newStart);
}

TfrmGraph* TfrmMain::createGraphWindow(const GraphDocument& document, const QString& caption) {
    auto* graph = new TfrmGraph(*this, document);
    graph->setCaption(caption);
    const int earlier = int(graphWindows().size());
    QMdiSubWindow* sub = addChildWindow(graph, document.role);
    // Inside the workspace, a step down and right of the one made before, so a new graph
    // (a running Leq, a list's graph) never starts half outside it; windows with a place of
    // their own are moved after this.
    const QSize area = mdi_->viewport()->size();
    const int step = 24 * (earlier % 8);
    sub->setGeometry(step, step, std::max(320, area.width() - step),
                     std::max(240, area.height() - step));
    return graph;
}

void TfrmMain::showLeqWindow(QWidget* leq) {
    QMdiSubWindow* sub = addChildWindow(leq, WindowRole::Leq);
    sub->setObjectName(QStringLiteral("frmLEQWindow"));
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->resize(sub->sizeHint().expandedTo(leq->size()));
    const QSize area = mdi_->viewport()->size();
    sub->move(std::max(0, (area.width() - sub->width()) / 2),
              std::max(0, (area.height() - sub->height()) / 2));
    sub->showNormal();
    mdi_->setActiveSubWindow(sub);
    sub->repaint();
}

void TfrmMain::showListWindow(QWidget* list) {
    QMdiSubWindow* sub = addChildWindow(list, WindowRole::TableList);
    sub->setObjectName(QStringLiteral("frmListWindow"));
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->resize(sub->sizeHint().expandedTo(list->size()));
    sub->showNormal();
    mdi_->setActiveSubWindow(sub);
}

void TfrmMain::showOpenedGraphWindow(TfrmGraph* graph) {
    auto* sub = qobject_cast<QMdiSubWindow*>(graph ? graph->parentWidget() : nullptr);
    if (!sub) return;
    // The main window's client area is everything below its menu bar; like the DataLogger
    // window, never larger than the workspace, so that it does not start out scrolled.
    const QMenuBar* menu = menuBar();
    const int menuHeight =
        menu && menu->isVisible() && !menu->isNativeMenuBar() ? menu->height() : 0;
    const QSize workspace = mdi_->viewport()->size();
    sub->setGeometry(0, 0, std::min(frameGeometry().width(), workspace.width()),
                     std::min(height() - menuHeight - 40, workspace.height()));
    sub->showNormal();
    mdi_->setActiveSubWindow(sub);
}

TfrmGraph* TfrmMain::openRealTimeWindow() {
    GraphDocument document{WindowRole::RealTime, WindowRole::None,
                           &connection_.realTimeDataUnsaved()};
    TfrmGraph* graph = createGraphWindow(document, QStringLiteral("Real-Time Graph"));
    auto* sub = qobject_cast<QMdiSubWindow*>(graph->parentWidget());
    sub->setObjectName(QStringLiteral("frmRealTimeGraph"));
    realTimeWindow_ = graph;
    RealTimeGraph1->setChecked(true);
    graph->setClearVisible(true);
    // Clear restarts the graph; the run's sample count and the menu's check mark are ours.
    connect(graph, &TfrmGraph::realTimeCleared, this, [this] {
        RealTimeGraph1->setChecked(true);
        realTime_->clearSamples();
    });
    const double now = toTDateTime(clock_.now());
    graph->setUpGraph(1, 130, 30, now + realTimeRate_ * 2000 / 86400, now, 2000);
    graph->PESGraph1->editProperties([](GraphState& s) { s.yAxisLabel = QStringLiteral("dB"); });
    graph->redraw();
    // The sampling-rate box becomes a pick-only list in this window.
    graph->txtSamplingRate->setEditable(false);
    graph->pnlSamplingRate->setEnabled(true);
    if (const int item = samplingRateItem(realTimeRate_); item >= 0) {
        const bool blocked = graph->txtSamplingRate->blockSignals(true);
        graph->txtSamplingRate->setCurrentIndex(item);
        graph->txtSamplingRate->blockSignals(blocked);
    }
    placeRealTimeWindow();
    sub->show();
    mdi_->setActiveSubWindow(sub);
    realTime_->windowCreated(graph);
    applyCommandStates();
    return graph;
}

void TfrmMain::placeRealTimeWindow() {
    if (!realTimeWindow_) return;
    auto* sub = qobject_cast<QMdiSubWindow*>(realTimeWindow_->parentWidget());
    if (!sub) return;
    const int panelWidth = panel_ ? TfrmPanel::kWidth : 0;
    const int toolBarHeight = ToolBar1->height();
    const int statusHeight = statusBar()->height();
    sub->setGeometry(panelWidth, 0, width() - panelWidth - 5,
                     height() - toolBarHeight - statusHeight - 40);
}

TfrmGraph* TfrmMain::openDataLoggerWindow(double now) {
    if (dataLoggerWindow_) {
        activate(dataLoggerWindow_);
        return dataLoggerWindow_;
    }
    GraphDocument document{WindowRole::DataLogger, WindowRole::None,
                           &connection_.loggerDataUnsaved()};
    TfrmGraph* graph = createGraphWindow(document, QStringLiteral("DataLogger"));
    graph->pnlDataSets->show();
    auto* sub = qobject_cast<QMdiSubWindow*>(graph->parentWidget());
    sub->setObjectName(QStringLiteral("frmDataLogger"));
    // The main window's client area is everything below its menu bar, tool and status bar
    // included; the window leaves 60 pixels of its height free.
    const QMenuBar* menu = menuBar();
    const int menuHeight =
        menu && menu->isVisible() && !menu->isNativeMenuBar() ? menu->height() : 0;
    // Never larger than the workspace, so that it does not start out scrolled.
    const QSize workspace = mdi_->viewport()->size();
    sub->setGeometry(0, 0, std::min(width(), workspace.width()),
                     std::min(height() - menuHeight - 60, workspace.height()));
    graph->setUpGraph(1, 130, 30, now + 500 / 86400.0, now, 500);
    graph->PESGraph1->editProperties([](GraphState& s) { s.allowGraphAnnotHotSpots = true; });
    sub->showNormal();
    mdi_->setActiveSubWindow(sub);
    graph->repaint();
    dataLoggerWindow_ = graph;
    return graph;
}

void TfrmMain::restore(QWidget* child) {
    if (!child) return;
    if (auto* sub = qobject_cast<QMdiSubWindow*>(child->parentWidget()))
        sub->showNormal();
    else
        child->showNormal();
}

void TfrmMain::activate(QWidget* child) {
    if (!child) return;
    restore(child);
    if (auto* sub = qobject_cast<QMdiSubWindow*>(child->parentWidget()))
        mdi_->setActiveSubWindow(sub);
}

QWidget* TfrmMain::activeChild() const {
    // The current window stays current while a dialog or another program has the focus.
    QMdiSubWindow* sub = mdi_->currentSubWindow();
    return sub ? sub->widget() : nullptr;
}

WindowRole TfrmMain::activeRole() const {
    return roleOf(activeChild());
}

TfrmScope* TfrmMain::progressWindow() {
    if (!scope_) {
        scope_ = new TfrmScope(this);
        scope_->hide();
    }
    return scope_;
}

QList<TfrmGraph*> TfrmMain::graphWindows() const {
    QList<TfrmGraph*> graphs;
    for (QMdiSubWindow* sub : mdi_->subWindowList())
        if (auto* graph = qobject_cast<TfrmGraph*>(sub->widget())) graphs.append(graph);
    return graphs;
}

void TfrmMain::RealTimeGraph1Click() {
    if (realTimeWindow_) {
        activate(realTimeWindow_);
        return;
    }
    openRealTimeWindow();
}

namespace {

// The windows to arrange: those shown, not minimised and resizable. The control panel keeps
// its size and place; the others share the workspace beside it.
QList<QMdiSubWindow*> arrangeable(QMdiArea* area) {
    QList<QMdiSubWindow*> subs;
    for (QMdiSubWindow* sub : area->subWindowList())
        if (sub->isVisible() && !sub->isMinimized() && sub->minimumSize() != sub->maximumSize())
            subs.append(sub);
    return subs;
}

QList<ArrangedWindow> arrangedWindows(const QList<QMdiSubWindow*>& subs) {
    QList<ArrangedWindow> windows;
    for (QMdiSubWindow* sub : subs)
        windows.append({sub->minimumSize().expandedTo(sub->minimumSizeHint()), false, sub->size()});
    return windows;
}

// The workspace right of the fixed windows (the control panel) at its left edge, when the rest
// leaves room for the others; otherwise the whole workspace.
QRect arrangementArea(QMdiArea* area, const QList<ArrangedWindow>& windows) {
    const QRect all = area->viewport()->rect();
    int left = all.left();
    for (QMdiSubWindow* sub : area->subWindowList())
        if (sub->isVisible() && !sub->isMinimized() && sub->minimumSize() == sub->maximumSize() &&
            sub->x() <= all.left() + 10)
            left = std::max(left, sub->geometry().right() + 1);
    int widest = 0;
    for (const ArrangedWindow& w : windows) widest = std::max(widest, w.minimum.width());
    QRect beside = all;
    beside.setLeft(left);
    return beside.width() >= widest ? beside : all;
}

void place(const QList<QMdiSubWindow*>& subs, const QList<QRect>& rects) {
    for (qsizetype i = 0; i < subs.size() && i < rects.size(); ++i) {
        if (subs[i]->isMaximized()) subs[i]->showNormal();
        subs[i]->setGeometry(rects[i]);
    }
}

}  // namespace

void TfrmMain::Tile1Click() {
    const QList<QMdiSubWindow*> subs = arrangeable(mdi_);
    const QList<ArrangedWindow> windows = arrangedWindows(subs);
    place(subs, tileRects(windows, arrangementArea(mdi_, windows)));
}

void TfrmMain::Cascade1Click() {
    const QList<QMdiSubWindow*> subs = arrangeable(mdi_);
    const QList<ArrangedWindow> windows = arrangedWindows(subs);
    const int step = style()->pixelMetric(QStyle::PM_TitleBarHeight) + 4;
    place(subs, cascadeRects(windows, arrangementArea(mdi_, windows), step));
    if (!subs.isEmpty()) mdi_->setActiveSubWindow(subs.last());
}

void TfrmMain::Exit1Click() {
    close();
}

void TfrmMain::Contents1Click() {
    // Nothing is reported when there is no help file or no handler for it.
    QDesktopServices::openUrl(QUrl::fromLocalFile(paths_.helpPage()));
}

TfrmSetup* TfrmMain::setupWindow() const {
    return setup_;
}

void TfrmMain::Setup1Click() {
    if (setup_) {
        activate(setup_);
        return;
    }
    auto* setup = new TfrmSetup(*this, connection_, *logger_);
    QMdiSubWindow* sub = addChildWindow(setup, WindowRole::Service);
    sub->setObjectName(QStringLiteral("frmSetupWindow"));
    sub->setAttribute(Qt::WA_DeleteOnClose);
    // Closing destroys the window and forgets it; the next Setup creates a new one.
    connect(setup, &TfrmSetup::closed, this, [this, setup, sub] {
        if (setup_ == setup) setup_ = nullptr;
        sub->hide();
        sub->deleteLater();
        applyCommandStates();
    });
    setup_ = setup;
    sub->adjustSize();
    const QSize area = mdi_->viewport()->size();
    sub->move(std::max(0, (area.width() - sub->width()) / 2),
              std::max(0, (area.height() - sub->height()) / 2));
    sub->show();
    mdi_->setActiveSubWindow(sub);
}

void TfrmMain::setServiceEntriesVisible(bool visible) {
    serviceEntriesVisible_ = visible;
    Setup1->setVisible(visible);
    // The button needs a place in the frame once it is shown: the right of the status bar.
    if (visible && Button1->parentWidget() != statusBar()) statusBar()->addPermanentWidget(Button1);
    Button1->setVisible(visible);
}

bool TfrmMain::saveWindow(TfrmGraph& graph) {
    // The same Save as File > Save, for this window whether or not it is the active one.
    return files_ && files_->saveGraphWindow(graph);
}

void TfrmMain::templateUnusable(const QString& path) {
    if (templateProblemShown_) return;
    templateProblemShown_ = true;
    prompts_.message(QStringLiteral("The graph template \"%1\" could not be read; graphs are "
                                    "shown with the standard appearance.")
                         .arg(QDir::toNativeSeparators(path)));
}

void TfrmMain::About1Click() {
    TfrmAbout about(false, this);
    about.exec();
}

bool TfrmMain::closeQueries() {
    for (TfrmGraph* graph : graphWindows())
        if (!graph->FormCloseQuery()) return false;
    return true;
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    // A command holding the link (a download, an erase) would be cut off in the middle.
    if (connection_.linkLent()) {
        event->ignore();
        prompts_.message(MeterConnection::busyMessage(connection_.borrower()));
        return;
    }
    // Each window's question comes before anything is closed; Cancel keeps the program running.
    if (!closeQueries()) {
        event->ignore();
        return;
    }
    connection_.stopPolling();
    MaxMinTimer->stop();
    writeRealTimeRate(*openSettings(env_.settingsFile), realTimeRate_);
    event->accept();
}

// ---- poll loop -------------------------------------------------------------------------------

void TfrmMain::applyCommandStates() {
    CommandContext context = commandContext(connection_, activeRole());
    if (decidesOutputToGraph(context.activeRole)) lastDataRole_ = context.activeRole;
    context.lastDataRole = lastDataRole_;
    const CommandStates s = commandStates(context);
    btnRun->setEnabled(s.run);
    Run1->setEnabled(s.run);
    btnStop->setEnabled(s.stop);
    Stop1->setEnabled(s.stop);
    btnDataLogger->setEnabled(s.dataLogger);
    DataLogger1->setEnabled(s.dataLogger);
    btnOutputToGraph->setEnabled(s.outputToGraph);
    if (realTimeWindow_) realTimeWindow_->tbntClr->setEnabled(s.clearRealTime);
}

void TfrmMain::onConnectionChanged(ConnectionState state) {
    setStatusText(0, QString());
    if (state == ConnectionState::Connected) {
        setStatusText(1, QStringLiteral("On Connection"));
        if (panel_) {
            panel_->setNoConnectionVisible(false);
            panel_->setTimeVisible(true);
        }
        DataLogger1->setVisible(true);
        btnDataLogger->setVisible(true);
    } else {
        if (panel_) panel_->setNoConnectionVisible(true);
        setStatusText(1, QStringLiteral("No Connection"));
    }
    applyCommandStates();
}

void TfrmMain::onStatusDecoded(const PanelRefresh& decoded, double frameTime) {
    PanelRefresh refresh = decoded;
    // At the fast poll interval only every fifth frame redraws the panel. A clock change that
    // falls on a skipped frame is kept for the next drawn one: the seconds change every tenth
    // frame, so otherwise the clock could stand still for a whole run.
    for (int i = 0; i < 6; ++i)
        if (refresh.clockValues[i] >= 0) pendingClock_[i] = refresh.clockValues[i];
    const bool due = !(connection_.fastPolling() && connection_.tickCount() % 5 != 0);
    if (panel_ && due) {
        refresh.clockValues = pendingClock_;
        pendingClock_.fill(-1);
        panel_->applyRefresh(refresh);
        switch (refresh.maxMin) {
            case MaxMinIndicator::Off:
            case MaxMinIndicator::StopBlink:
            case MaxMinIndicator::MaxOnly:
            case MaxMinIndicator::MinOnly:
                MaxMinTimer->stop();
                break;
            case MaxMinIndicator::Blink:
                if (!MaxMinTimer->isActive()) MaxMinTimer->start();
                break;
            case MaxMinIndicator::NoChange:
                break;
        }
    }
    realTime_->takeSample(refresh.status.level, frameTime);
}

void TfrmMain::updateAccessHint() {
    static const QString hint =
        QStringLiteral("No permission to open the meter: install the udev rule (see Help)");
    const QString problem = connected() ? QString() : deviceAccessProblem();
    if (!problem.isEmpty()) {
        setStatusText(0, hint);
        statusPanels_[0]->setToolTip(problem);
    } else if (statusText(0) == hint) {
        setStatusText(0, QString());
        statusPanels_[0]->setToolTip(QString());
    }
}

void TfrmMain::MaxMinTimerTimer() {
    QPointer<TfrmPanel> panel = panel_;
    if (panel) panel->setBlinkInProgress(true);
    const bool shown = connection_.decoder().blinkStep();
    if (panel) {
        panel->setMaxMinVisible(shown, shown);
        panel->setBlinkInProgress(false);
    }
}

}  // namespace kl516
