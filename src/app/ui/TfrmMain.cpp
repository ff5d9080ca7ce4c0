#include "app/ui/TfrmMain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtEndian>

#include "app/Prompts.h"
#include "app/Settings.h"
#include "app/ui/TfrmAbout.h"
#include "files/SafeWrite.h"
#include "dataset/TDateTime.h"
#include "graph/ui/TfrmGraph.h"
#include "link/Clock.h"
#include "realtime/SamplingRate.h"
#include "realtime/ui/RealTimeRecorder.h"
#include "logger/ui/LoggerCommands.h"
#include "link/MeterLink.h"

namespace kl516 {

namespace {

constexpr int kPollIntervalMs = 500;
constexpr int kFastPollIntervalMs = 100;
constexpr int kFailedPollsToDisconnect = 5;

QString connectionText(bool connected) {
    return connected ? QStringLiteral("On Connection") : QStringLiteral("Off Connection");
}

}  // namespace

TfrmMain::TfrmMain(MeterLink& link, Prompts& prompts, Clock& clock, Environment environment,
                   QWidget* parent)
    : QMainWindow(parent), link_(link), prompts_(prompts), clock_(clock),
      env_(std::move(environment)) {
    setObjectName(QStringLiteral("frmMain"));
    link_.setHost(*this);
    setWindowTitle(QStringLiteral("KL516"));

    mdi_ = new QMdiArea(this);
    mdi_->setObjectName(QStringLiteral("MDIClient"));
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    mdi_->setFrameShape(QFrame::NoFrame);
    setCentralWidget(mdi_);
    connect(mdi_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* sub) {
        if (sub && (qobject_cast<TfrmGraph*>(sub->widget()) || qobject_cast<TfrmPanel*>(sub->widget())))
            btnOutputToGraph->setEnabled(false);
    });

    buildMenu();
    buildToolBar();
    buildStatusBar();

    MainTimer = new QTimer(this);
    MainTimer->setObjectName(QStringLiteral("MainTimer"));
    MainTimer->setInterval(kPollIntervalMs);
    connect(MainTimer, &QTimer::timeout, this, &TfrmMain::MainTimerTimer);
    MaxMinTimer = new QTimer(this);
    MaxMinTimer->setObjectName(QStringLiteral("MaxMinTimer"));
    MaxMinTimer->setInterval(500);
    connect(MaxMinTimer, &QTimer::timeout, this, &TfrmMain::MaxMinTimerTimer);
    LEQTimer = new QTimer(this);
    LEQTimer->setObjectName(QStringLiteral("LEQTimer"));
    LEQTimer->setInterval(40);
    realTime_ = new RealTimeRecorder(*this);
    logger_ = new LoggerCommands(*this);
    connect(LoadData1, &QAction::triggered, logger_, &LoggerCommands::LoadData1Click);
    connect(btnDataLogger, &QToolButton::clicked, logger_, &LoggerCommands::LoadData1Click);
    connect(EraseMemory1, &QAction::triggered, logger_, &LoggerCommands::EraseMemory1Click);

    // FormCreate: the setting and the digit images.
    realTimeRate_ = readRealTimeRate(*openSettings(env_.settingsFile));
    digits_ = DigitImages::draw();
}

TfrmMain::~TfrmMain() {
    static IdleLinkHost idle;
    link_.setHost(idle);
    // Child windows refer to the main window's state; close them before it goes.
    MainTimer->stop();
    MaxMinTimer->stop();
    if (mdi_) mdi_->closeAllSubWindows();
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
            auto* a = window->addAction(QStringLiteral("&%1 %2").arg(n++).arg(sub->windowTitle()));
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
    btnOutputToGraph =
        add("btnOutputToGraph", QStringLiteral("Output Tabular to graph"), QStyle::SP_FileDialogListView);
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

void TfrmMain::setStatusText(int panel, const QString& text) { statusPanels_[panel]->setText(text); }

void TfrmMain::processPendingEvents() { QCoreApplication::processEvents(); }

void TfrmMain::stopMainTimer() { MainTimer->stop(); }

void TfrmMain::hideResetIndicator() { lbl_reset->hide(); }

void TfrmMain::formShow(TfrmAbout* splash) {
    createPanel();
    dataFolder_ = env_.documentsFolder.isNull() ? kl516::dataFolder()
                                                : dataFolderFor(env_.documentsFolder);
    if (panel_) panel_->setNoConnectionVisible(!connected_);
    setStatusText(0, QString());
    setStatusText(1, connectionText(connected_));
    if (panel_) panel_->setTimeVisible(true);
    DataLogger1->setVisible(true);
    btnDataLogger->setVisible(true);
    clock_.waitMs(500);
    MainTimer->start();
    if (splash) {
        splash->Label4->clear();
        splash->close();
    }
    openRealTimeWindow();
    Setup1->setVisible(false);
    if (panel_) panel_->setLevelDigits({1, 8, 8, 8});
}

void TfrmMain::createPanel() {
    auto* panel = new TfrmPanel(link_, prompts_, digits_);
    panel->setObjectName(QStringLiteral("frmPanel"));
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
    connect(panel, &TfrmPanel::activated, this, [this] { btnOutputToGraph->setEnabled(false); });
    panel_ = panel;
    ControlPanel1->setChecked(true);
}

void TfrmMain::ControlPanel1Click() {
    if (panel_) {
        if (auto* sub = qobject_cast<QMdiSubWindow*>(panel_->parentWidget())) sub->showNormal();
        return;
    }
    createPanel();
}

void TfrmMain::Button2Click() { createPanel(); }

QMdiSubWindow* TfrmMain::addGraphWindow(TfrmGraph* graph) {
    auto* sub = mdi_->addSubWindow(graph);
    sub->setWindowTitle(graph->caption());
    connect(graph, &QWidget::windowTitleChanged, sub, &QWidget::setWindowTitle);
    return sub;
}

TfrmGraph* TfrmMain::dataLoggerWindow() const { return logger_->dataLoggerWindow(); }

QString TfrmMain::programFolder() const {
    return env_.programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : env_.programFolder;
}

void TfrmMain::openRealTimeWindow() {
    auto* graph = new TfrmGraph(*this);
    graph->setCaption(QStringLiteral("Real-Time Graph"));
    QMdiSubWindow* sub = addGraphWindow(graph);
    sub->setObjectName(QStringLiteral("frmRealTimeGraph"));
    realTimeWindow_ = graph;
    RealTimeGraph1->setChecked(true);
    graph->tbntSep3->setVisible(true);
    graph->ToolBar1->actions().at(graph->ToolBar1->actions().indexOf(graph->tbntSep3) + 1)->setVisible(true);
    const double now = toTDateTime(clock_.now());
    graph->setUpGraph(1, 130, 30, now + realTimeRate_ * 2000 / 86400, now, 2000);
    graph->PESGraph1->state().yAxisLabel = QStringLiteral("dB");
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

void TfrmMain::RealTimeGraph1Click() {
    if (realTimeWindow_) {
        if (auto* sub = qobject_cast<QMdiSubWindow*>(realTimeWindow_->parentWidget())) {
            sub->showNormal();
            mdi_->setActiveSubWindow(sub);
        }
        return;
    }
    openRealTimeWindow();
}

void TfrmMain::Tile1Click() { mdi_->tileSubWindows(); }

void TfrmMain::Cascade1Click() { mdi_->cascadeSubWindows(); }

void TfrmMain::Exit1Click() { close(); }

void TfrmMain::Contents1Click() {
    const QString folder = programFolder();
    // Nothing is reported when there is no help file or no handler for it.
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder + QStringLiteral("/KL516Help.htm")));
}

bool TfrmMain::saveActiveWindow() {
    // Saves the active graph window's graph as a graph file: a 32-bit little-endian length, then
    // the graph control's state.
    QMdiSubWindow* sub = mdi_->activeSubWindow();
    auto* graph = sub ? qobject_cast<TfrmGraph*>(sub->widget()) : nullptr;
    if (!graph) return false;
    const QString path = prompts_.saveFileName(QStringLiteral("Save"), dataFolder_,
                                               QStringLiteral("Graph files (*.ghf)"));
    if (path.isEmpty()) return false;
    const QByteArray block = graph->PESGraph1->saveState();
    QByteArray length(4, '\0');
    qToLittleEndian<qint32>(qint32(block.size()), length.data());
    if (saveFileAtomically(path, length + block)) return true;
    prompts_.message(QStringLiteral("Cannot create file \"%1\".").arg(path));
    return false;
}

void TfrmMain::About1Click() {
    TfrmAbout about(false, this);
    about.exec();
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    MainTimer->stop();
    MaxMinTimer->stop();
    writeRealTimeRate(*openSettings(env_.settingsFile), realTimeRate_);
    event->accept();
}

// ---- poll loop -------------------------------------------------------------------------------

void TfrmMain::setConnectedCommands() {
    DataLogger1->setVisible(true);
    DataLogger1->setEnabled(true);
    btnDataLogger->setVisible(true);
    btnDataLogger->setEnabled(true);
    btnRun->setEnabled(!runActive_);
    Run1->setEnabled(!runActive_);
    btnStop->setEnabled(runActive_);
    Stop1->setEnabled(runActive_);
    if (realTimeWindow_) realTimeWindow_->tbntClr->setEnabled(!runActive_);
}

void TfrmMain::setDisconnectedCommands() {
    for (QWidget* w : {static_cast<QWidget*>(btnRun), static_cast<QWidget*>(btnStop),
                       static_cast<QWidget*>(btnDataLogger)})
        w->setEnabled(false);
    Run1->setEnabled(false);
    Stop1->setEnabled(false);
    DataLogger1->setEnabled(false);
}

void TfrmMain::MainTimerTimer() {
    linkBusy_ = true;
    ++tickCount_;
    if (!connected_) {
        const ResponseFrame& r = link_.mainResponse();
        if (link_.exchangeShort(Cmd::Identify) && r[23] == '5' && r[24] == '8' && r[25] == '6') {
            setStatusText(0, QString());
            setStatusText(1, QStringLiteral("On Connection"));
            connected_ = true;
            if (panel_) {
                panel_->setNoConnectionVisible(false);
                panel_->setTimeVisible(true);
            }
            setConnectedCommands();
        }
    } else if (link_.pollStatus()) {
        failedPolls_ = 0;
        const ResponseFrame& r = link_.mainResponse();
        if (r[0] == kFrameStart && r[31] == kFrameEnd) onStatus(r);
    } else if (++failedPolls_ >= kFailedPollsToDisconnect) {
        setDisconnectedCommands();
        setStatusText(0, QString());
        if (panel_) panel_->setNoConnectionVisible(true);
        connected_ = false;
        failedPolls_ = 0;
        setStatusText(1, QStringLiteral("No Connection"));
    }
    linkBusy_ = false;
}

void TfrmMain::onStatus(const ResponseFrame& frame) {
    frameTime_ = toTDateTime(clock_.now());
    PanelRefresh refresh = decoder_.onStatus(frame);
    // At the fast poll interval only every fifth frame redraws the panel. A clock change that
    // falls on a skipped frame is kept for the next drawn one: the seconds change every tenth
    // frame, so otherwise the clock could stand still for a whole run.
    for (int i = 0; i < 6; ++i)
        if (refresh.clockValues[i] >= 0) pendingClock_[i] = refresh.clockValues[i];
    const bool due = !(MainTimer->interval() == kFastPollIntervalMs && tickCount_ % 5 != 0);
    if (panel_ && due) {
        refresh.clockValues = pendingClock_;
        pendingClock_.fill(-1);
        panel_->applyRefresh(refresh);
        switch (refresh.maxMin) {
            case MaxMinIndicator::Off:
            case MaxMinIndicator::StopBlink:
            case MaxMinIndicator::MaxOnly:
            case MaxMinIndicator::MinOnly: MaxMinTimer->stop(); break;
            case MaxMinIndicator::Blink:
                if (!MaxMinTimer->isActive()) MaxMinTimer->start();
                break;
            case MaxMinIndicator::NoChange: break;
        }
    }
    if (levelSink) levelSink(refresh.status.level);
}

void TfrmMain::MaxMinTimerTimer() {
    QPointer<TfrmPanel> panel = panel_;
    if (panel) panel->setBlinkInProgress(true);
    const bool shown = decoder_.blinkStep();
    if (panel) {
        panel->setMaxMinVisible(shown, shown);
        panel->setBlinkInProgress(false);
    }
}

}  // namespace kl516
