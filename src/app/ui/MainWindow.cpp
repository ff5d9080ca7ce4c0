#include "app/ui/MainWindow.h"

#include "logger/CollectionFile.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPainter>
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
#include <algorithm>

#include <QDir>
#include <QMenuBar>
#include "app/WindowArrangement.h"
#include "app/ui/AboutDialog.h"
#include "dataset/SerialDateTime.h"
#include "files/ui/FileCommands.h"
#include "formats/SafeWrite.h"
#include "graph/ui/GraphWindow.h"
#include "leq/ui/LeqCommands.h"
#include "link/Clock.h"
#include "link/MeterLink.h"
#include "logger/ui/LoggerCommands.h"
#include "logger/ui/LoggerSetupWindow.h"
#include "logger/ui/ProgressRangeDialog.h"
#include "platform/Settings.h"
#include "realtime/RealTimeRateSetting.h"
#include "realtime/SamplingRate.h"
#include "realtime/ui/RealTimeRecorder.h"
#include "report/ui/PrintCommands.h"
#include "workspace/Prompts.h"

namespace kl516 {

MainWindow::MainWindow(MeterLink& link, Prompts& prompts, Clock& clock, Environment environment,
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
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("KL516"));
    openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };

    mdi_ = new QMdiArea(this);
    mdi_->setObjectName(QStringLiteral("workspace"));
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

    maxMinBlinkTimer = new QTimer(this);
    maxMinBlinkTimer->setObjectName(QStringLiteral("maxMinBlinkTimer"));
    maxMinBlinkTimer->setInterval(500);
    connect(maxMinBlinkTimer, &QTimer::timeout, this, &MainWindow::blinkMaxMin);
    connect(&connection_, &MeterConnection::connectionChanged, this,
            &MainWindow::onConnectionChanged);
    // Without a connection the poll keeps trying; each try that finds no meter refreshes the
    // hint (the device node's permission may have changed in between).
    connect(&connection_, &MeterConnection::identificationFailed, this,
            &MainWindow::updateMeterHint);
    connect(&connection_, &MeterConnection::statusDecoded, this, &MainWindow::onStatusDecoded);
    connect(&connection_, &MeterConnection::linkLentChanged, this,
            [this] { applyCommandStates(); });
    connect(&connection_, &MeterConnection::runActiveChanged, this,
            [this] { applyCommandStates(); });
    connect(&connection_, &MeterConnection::resetIndicatorHidden, resetLabel, &QWidget::hide);

    realTime_ = new RealTimeRecorder(*this, connection_, *this, this);
    logger_ = new LoggerCommands(*this, connection_, *this, this);
    leq_ = new LeqCommands(*this, connection_, *this, this);
    connect(leq_, &LeqCommands::runningChanged, this, &MainWindow::showConnectionText);
    files_ = new FileCommands(*this, *this, this);
    // A collection opened from a file shows its sets in the same list as Load Data.
    files_->openDataLoggerWindow = [this](double now) {
        return logger_->openDataLoggerWindow(now);
    };
    connectCommands();
    print_ = new PrintCommands(*this, this);
    print_->exportFolder = [this] { return dataFolder(); };
    connectPrinting();

    // At creation: the setting and the digit images.
    realTimeRate_ = readRealTimeRate(*openSettings(env_.settingsFile));
    digits_ = DigitImages::draw();
}

MainWindow::~MainWindow() {
    connection_.stopPolling();
    maxMinBlinkTimer->stop();
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
    delete progressWindow_;
}

void MainWindow::connectCommands() {
    connect(loadDataAction, &QAction::triggered, logger_, &LoggerCommands::loadData);
    connect(dataLoggerButton, &QToolButton::clicked, logger_, &LoggerCommands::loadData);
    connect(eraseMemoryAction, &QAction::triggered, logger_,
            &LoggerCommands::confirmAndEraseMemory);
    connect(leqAction, &QAction::triggered, leq_, &LeqCommands::openLeqWindow);
    connect(loggerSetupAction, &QAction::triggered, this, &MainWindow::openSetupWindow);
    connect(loggerSetupButton, &QPushButton::clicked, this, &MainWindow::openSetupWindow);
    connect(runButton, &QToolButton::clicked, realTime_, &RealTimeRecorder::startRun);
    connect(runAction, &QAction::triggered, realTime_, &RealTimeRecorder::startRun);
    connect(stopButton, &QToolButton::clicked, realTime_, &RealTimeRecorder::stopRun);
    connect(stopAction, &QAction::triggered, realTime_, &RealTimeRecorder::stopRun);
    connect(realTime_, &RealTimeRecorder::rejectedCountChanged, this,
            [this](int count) { rejectedCountField->setText(QString::number(count)); });
    connect(openAction, &QAction::triggered, files_, &FileCommands::openFile);
    connect(openFileButton, &QToolButton::clicked, files_, &FileCommands::openFile);
    connect(saveAction, &QAction::triggered, files_, &FileCommands::saveActiveWindow);
    connect(saveFileButton, &QToolButton::clicked, files_, &FileCommands::saveActiveWindow);
    connect(outputToGraphButton, &QToolButton::clicked, files_, &FileCommands::outputListToGraph);
}

// File > Print and the Print button print the active window; Printer Setup chooses the printer
// and its settings for the later jobs.
void MainWindow::connectPrinting() {
    connect(printAction, &QAction::triggered, print_, &PrintCommands::printActiveWindow);
    connect(printButton, &QToolButton::clicked, print_, &PrintCommands::printActiveWindow);
    connect(printerSetupAction, &QAction::triggered, print_, &PrintCommands::setUpPrinter);
    connect(exportGraphAction, &QAction::triggered, print_, &PrintCommands::exportActiveGraph);
    connect(exportReportAction, &QAction::triggered, print_, &PrintCommands::reportActiveGraph);
    connect(exportReportButton, &QToolButton::clicked, print_, &PrintCommands::reportActiveGraph);
}

void MainWindow::buildMenu() {
    auto* bar = menuBar();
    auto addItem = [this](QMenu* menu, const char* name, const QString& caption) {
        auto* a = menu->addAction(caption);
        a->setObjectName(QLatin1String(name));
        return a;
    };
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("fileMenu"));
    openAction = addItem(file, "openAction", QStringLiteral("&Open"));
    saveAction = addItem(file, "saveAction", QStringLiteral("&Save"));
    file->addSeparator()->setObjectName(QStringLiteral("printSeparator"));
    printAction = addItem(file, "printAction", QStringLiteral("&Print"));
    printerSetupAction = addItem(file, "printerSetupAction", QStringLiteral("&Printer Setup"));
    exportGraphAction = addItem(file, "exportGraphAction", QStringLiteral("Export &Graph..."));
    exportReportAction = addItem(file, "exportReportAction", QStringLiteral("Export &Report..."));
    file->addSeparator()->setObjectName(QStringLiteral("exitSeparator"));
    exitAction = addItem(file, "exitAction", QStringLiteral("E&xit"));
    // Fixed keys rather than the platform's standard ones, so that they are the same on every
    // desktop (some schemes have no Quit key at all).
    openAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    saveAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    printAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    exitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(exitAction, &QAction::triggered, this, &MainWindow::exitProgram);

    QMenu* realTime = bar->addMenu(QStringLiteral("Real Time"));
    realTime->setObjectName(QStringLiteral("realTimeMenu"));
    runAction = addItem(realTime, "runAction", QStringLiteral("Run"));
    stopAction = addItem(realTime, "stopAction", QStringLiteral("Stop"));
    runAction->setEnabled(false);
    stopAction->setEnabled(false);

    QMenu* logger = bar->addMenu(QStringLiteral("&Data Logger"));
    dataLoggerMenuAction = logger->menuAction();
    dataLoggerMenuAction->setObjectName(QStringLiteral("dataLoggerMenuAction"));
    loadDataAction = addItem(logger, "loadDataAction", QStringLiteral("Load Data"));
    eraseMemoryAction = addItem(logger, "eraseMemoryAction", QStringLiteral("Erase Memory"));
    loggerSetupAction = addItem(logger, "loggerSetupAction", QStringLiteral("Setup"));
    loggerSetupAction->setVisible(false);

    QMenu* view = bar->addMenu(QStringLiteral("&View"));
    view->setObjectName(QStringLiteral("viewMenu"));
    controlPanelAction = addItem(view, "controlPanelAction", QStringLiteral("&Control Panel"));
    controlPanelAction->setCheckable(true);
    controlPanelAction->setChecked(true);
    realTimeGraphAction = addItem(view, "realTimeGraphAction", QStringLiteral("Real Time &Graph"));
    realTimeGraphAction->setCheckable(true);
    realTimeGraphAction->setChecked(true);
    // The items only open or restore; the check mark follows the window, not the click.
    connect(controlPanelAction, &QAction::triggered, this, [this] {
        controlPanelAction->setChecked(panel_ != nullptr);
        openControlPanel();
    });
    connect(realTimeGraphAction, &QAction::triggered, this, [this] {
        realTimeGraphAction->setChecked(realTimeWindow_ != nullptr);
        showRealTimeWindow();
    });

    // The assessment of the graph window in front (its tool button does the same).
    view->addSeparator();
    noiseAssessmentAction =
        addItem(view, "noiseAssessmentAction", QStringLiteral("Noise &Assessment..."));
    connect(view, &QMenu::aboutToShow, this, [this] {
        noiseAssessmentAction->setEnabled(qobject_cast<GraphWindow*>(activeChild()) != nullptr);
    });
    connect(noiseAssessmentAction, &QAction::triggered, this, [this] {
        if (auto* graph = qobject_cast<GraphWindow*>(activeChild())) graph->openNoiseAssessment();
    });

    QMenu* window = bar->addMenu(QStringLiteral("&Window"));
    window->setObjectName(QStringLiteral("windowMenu"));
    tileAction = addItem(window, "tileAction", QStringLiteral("&Tile"));
    cascadeAction = addItem(window, "cascadeAction", QStringLiteral("&Cascade"));
    connect(tileAction, &QAction::triggered, this, &MainWindow::tileWindows);
    connect(cascadeAction, &QAction::triggered, this, &MainWindow::cascadeWindows);
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

    leqAction = bar->addAction(QStringLiteral("LEQ"));
    leqAction->setObjectName(QStringLiteral("leqAction"));

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("helpMenu"));
    helpContentsAction = addItem(help, "helpContentsAction", QStringLiteral("&Contents"));
    help->addSeparator()->setObjectName(QStringLiteral("aboutSeparator"));
    aboutAction = addItem(help, "aboutAction", QStringLiteral("&About"));
    helpContentsAction->setShortcut(QKeySequence(Qt::Key_F1));
    connect(helpContentsAction, &QAction::triggered, this, &MainWindow::openHelpContents);
    connect(aboutAction, &QAction::triggered, this, &MainWindow::showAbout);
}

namespace {

// The style's icon with a plainly disabled look: some of the style's pictures (the list view's
// squares) stay as dark when disabled as when enabled.
QIcon withDisabledLook(const QIcon& icon) {
    QIcon out;
    for (const int side : {16, 24, 32, 48}) {
        const QPixmap normal = icon.pixmap(QSize(side, side));
        if (normal.isNull()) continue;
        out.addPixmap(normal, QIcon::Normal);
        QImage faded = normal.toImage().convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < faded.height(); ++y)
            for (int x = 0; x < faded.width(); ++x) {
                const QColor c = faded.pixelColor(x, y);
                const int grey = 128 + qGray(c.rgb()) / 2;
                faded.setPixelColor(x, y, QColor(grey, grey, grey, c.alpha() * 2 / 5));
            }
        out.addPixmap(QPixmap::fromImage(faded), QIcon::Disabled);
    }
    return out;
}

// Load Data: an arrow down from the meter into a tray, in colour, so that the working command
// does not look like the style's grey (disabled-looking) drive.
QIcon loadDataIcon() {
    QIcon out;
    for (const int side : {16, 24, 32, 48}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(side / 32.0, side / 32.0);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 110, 200));
        p.drawRect(QRectF(13, 3, 6, 12));
        p.drawPolygon(QPolygonF({{7, 14}, {25, 14}, {16, 23}}));
        p.setPen(QPen(QColor(60, 60, 60), 3, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF({{4, 20}, {4, 28}, {28, 28}, {28, 20}}));
        p.end();
        out.addPixmap(pixmap, QIcon::Normal);
    }
    return withDisabledLook(out);
}

}  // namespace

void MainWindow::buildToolBar() {
    mainToolBar = addToolBar(QStringLiteral("Tools"));
    mainToolBar->setObjectName(QStringLiteral("mainToolBar"));
    mainToolBar->setMovable(false);
    // The tool bar's own button for the tools a narrow window cannot show.
    if (auto* more = mainToolBar->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button")))
        more->setAccessibleName(QStringLiteral("More tools"));
    auto add = [this](const char* name, const QString& hint, QStyle::StandardPixmap icon) {
        auto* b = new QToolButton(mainToolBar);
        b->setObjectName(QLatin1String(name));
        b->setToolTip(hint);
        b->setAccessibleName(hint);  // an icon alone says nothing to a screen reader
        b->setIcon(withDisabledLook(style()->standardIcon(icon)));
        b->setAutoRaise(true);
        mainToolBar->addWidget(b);
        return b;
    };
    openFileButton =
        add("openFileButton", QStringLiteral("Open File"), QStyle::SP_DialogOpenButton);
    saveFileButton =
        add("saveFileButton", QStringLiteral("Save to file"), QStyle::SP_DialogSaveButton);
    printButton = add("printButton", QStringLiteral("Print"), QStyle::SP_FileDialogContentsView);
    exportReportButton = add("exportReportButton", QStringLiteral("Export Report"),
                             QStyle::SP_FileDialogDetailedView);
    dataLoggerButton =
        add("dataLoggerButton", QStringLiteral("Data Logger"), QStyle::SP_DriveHDIcon);
    outputToGraphButton = add("outputToGraphButton", QStringLiteral("Output Tabular to graph"),
                              QStyle::SP_FileDialogListView);
    runButton =
        add("runButton", QStringLiteral("Start Graphing Real Time Data"), QStyle::SP_MediaPlay);
    stopButton =
        add("stopButton", QStringLiteral("Stop Graphing Real Time Data"), QStyle::SP_MediaStop);
    helpButton = add("helpButton", QStringLiteral("Help"), QStyle::SP_DialogHelpButton);
    dataLoggerButton->setIcon(loadDataIcon());
    outputToGraphButton->setEnabled(false);
    runButton->setEnabled(false);
    stopButton->setEnabled(false);
    helpButton->setVisible(false);
    mainToolBar->actions().last()->setVisible(false);  // the tool bar's slot of helpButton
    connect(helpButton, &QToolButton::clicked, this, &MainWindow::openHelpContents);

    // Controls that exist but are never shown.
    resetLabel = new QLabel(QStringLiteral("RESET"), this);
    resetLabel->setObjectName(QStringLiteral("resetLabel"));
    resetLabel->hide();
    rejectedCountField = new QLineEdit(QStringLiteral("0"), this);
    rejectedCountField->setObjectName(QStringLiteral("rejectedCountField"));
    rejectedCountField->hide();
    loggerSetupButton = new QPushButton(QStringLiteral("setup"), this);
    loggerSetupButton->setObjectName(QStringLiteral("loggerSetupButton"));
    loggerSetupButton->hide();
    newControlPanelButton = new QPushButton(QStringLiteral("Button2"), this);
    newControlPanelButton->setObjectName(QStringLiteral("newControlPanelButton"));
    newControlPanelButton->hide();
    connect(newControlPanelButton, &QPushButton::clicked, this, &MainWindow::openNewControlPanel);
}

void MainWindow::buildStatusBar() {
    auto* bar = statusBar();
    bar->setObjectName(QStringLiteral("mainStatusBar"));
    const int widths[3] = {100, 150, 50};
    for (int i = 0; i < 3; ++i) {
        statusPanels_[i] = new QLabel(this);
        statusPanels_[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        statusPanels_[i]->setFixedWidth(widths[i]);
        statusPanels_[i]->setFrameShape(QFrame::StyledPanel);
        statusPanels_[i]->setFrameShadow(QFrame::Sunken);
        bar->addWidget(statusPanels_[i]);
    }
    // The rest of the bar: what to do without a meter. It may be cut on a narrow window, so it
    // does not set the window's width; the tool tip holds the whole text.
    meterHint_ = new QLabel(this);
    meterHint_->setObjectName(QStringLiteral("meterHintLabel"));
    meterHint_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    bar->addWidget(meterHint_, 1);
}

QString MainWindow::meterHint() const {
    return meterHint_->text();
}

void MainWindow::updateMeterHint() {
    // Before the first tick nothing has been tried yet: a meter that answers it is never told
    // to be missing.
    const bool show = !connected() && connection_.tickCount() > 0;
    const QString text = show ? MeterConnection::noMeterMessage() : QString();
    meterHint_->setText(text);
    meterHint_->setToolTip(text);
}

QString MainWindow::connectionText() const {
    if (leq_ && leq_->running()) return QStringLiteral("LEQ running");
    switch (connection_.state()) {
        case ConnectionState::Connected:
            return QStringLiteral("On Connection");
        case ConnectionState::Lost:
            return QStringLiteral("No Connection");
        case ConnectionState::NeverConnected:
            break;
    }
    return QStringLiteral("Off Connection");
}

void MainWindow::showConnectionText() {
    setStatusText(1, connectionText());
}

QString MainWindow::statusText(int panel) const {
    return panel >= 0 && panel < 3 ? statusPanels_[panel]->text() : QString();
}

void MainWindow::setStatusText(int panel, const QString& text) {
    statusPanels_[panel]->setText(text);
}

void MainWindow::completeStartUp(AboutDialog* splash) {
    createPanel();
    dataFolder_ =
        env_.documentsFolder.isNull() ? kl516::dataFolder() : dataFolderFor(env_.documentsFolder);
    paths_.dataFolder = dataFolder_;
    if (panel_) panel_->setNoConnectionVisible(!connected());
    setStatusText(0, QString());
    showConnectionText();
    if (panel_) panel_->setTimeVisible(true);
    dataLoggerMenuAction->setVisible(true);
    dataLoggerButton->setVisible(true);
    clock_.waitMs(500);
    connection_.startPolling();
    if (splash) {
        splash->splashMessageLabel->clear();
        splash->close();
    }
    openRealTimeWindow();
    loggerSetupAction->setVisible(serviceEntriesVisible_);
    if (panel_) panel_->setLevelDigits({1, 8, 8, 8});
    applyCommandStates();
}

// ---- child windows ---------------------------------------------------------------------------

QMdiSubWindow* MainWindow::addChildWindow(QWidget* child, WindowRole role) {
    setRole(child, role);
    QMdiSubWindow* sub = mdi_->addSubWindow(child);
    sub->setWindowTitle(child->windowTitle());
    connect(child, &QWidget::windowTitleChanged, sub, &QWidget::setWindowTitle);
    return sub;
}

void MainWindow::createPanel() {
    auto* panel = new ControlPanel(connection_, prompts_, digits_);
    panel->setObjectName(QStringLiteral("controlPanel"));
    setRole(panel, WindowRole::ControlPanel);
    auto* sub = new QMdiSubWindow(mdi_, Qt::FramelessWindowHint);
    sub->setObjectName(QStringLiteral("controlPanelSubWindow"));
    sub->setWidget(panel);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowTitle(QStringLiteral("Control Panel"));
    sub->setFixedSize(ControlPanel::kWidth, ControlPanel::kHeight);
    mdi_->addSubWindow(sub);
    sub->move(0, 0);
    sub->show();
    connect(panel, &ControlPanel::closed, this, [this, panel, sub] {
        if (panel_ == panel) {
            panel_ = nullptr;
            controlPanelAction->setChecked(false);
        }
        sub->hide();
        sub->deleteLater();
    });
    connect(panel, &ControlPanel::minimiseRequested, sub, &QMdiSubWindow::showMinimized);
    connect(panel, &ControlPanel::activated, this, [this] { applyCommandStates(); });
    panel_ = panel;
    // A new panel shows the connection as it is.
    panel->setNoConnectionVisible(!connected());
    controlPanelAction->setChecked(true);
}

void MainWindow::openControlPanel() {
    if (panel_) {
        restore(panel_);
        return;
    }
    createPanel();
}

void MainWindow::openNewControlPanel() {
    createPanel();
}

QString MainWindow::workFolder() const {
    if (!paths_.userFolder.isEmpty()) return paths_.userFolder + QLatin1Char('/');
    return collectionBaseFolder(dataFolder_, paths_.programFolder);
}

QString MainWindow::programFolder() const {
    return paths_.programFolder;
}

void MainWindow::changeStartTime(int set, SerialDateTime newStart) {
    dataSets_.changeStartTime(set, newStart);
}

GraphWindow* MainWindow::createGraphWindow(const GraphDocument& document, const QString& caption) {
    auto* graph = new GraphWindow(*this, document);
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

void MainWindow::showLeqWindow(QWidget* leq) {
    QMdiSubWindow* sub = addChildWindow(leq, WindowRole::Leq);
    sub->setObjectName(QStringLiteral("leqSubWindow"));
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->resize(sub->sizeHint().expandedTo(leq->size()));
    const QSize area = mdi_->viewport()->size();
    sub->move(std::max(0, (area.width() - sub->width()) / 2),
              std::max(0, (area.height() - sub->height()) / 2));
    sub->showNormal();
    mdi_->setActiveSubWindow(sub);
    sub->repaint();
}

void MainWindow::showListWindow(QWidget* list) {
    QMdiSubWindow* sub = addChildWindow(list, WindowRole::TableList);
    sub->setObjectName(QStringLiteral("listSubWindow"));
    sub->setAttribute(Qt::WA_DeleteOnClose);
    // Inside the visible workspace, each list a step down and right of the one before, as large
    // as it asks but never past the workspace's visible corner.
    int earlier = 0;
    for (QMdiSubWindow* other : mdi_->subWindowList())
        if (other != sub && roleOf(other->widget()) == WindowRole::TableList) ++earlier;
    const QSize view = mdi_->viewport()->size();
    const int step = 24 * (earlier % 8);
    const QSize wanted = sub->sizeHint().expandedTo(list->size());
    sub->setGeometry(QRect(QPoint(step, step),
                           wanted.boundedTo(view - QSize(step, step)).expandedTo(QSize(200, 120))));
    sub->showNormal();
    mdi_->setActiveSubWindow(sub);
}

void MainWindow::showOpenedGraphWindow(GraphWindow* graph) {
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

GraphWindow* MainWindow::openRealTimeWindow() {
    GraphDocument document{WindowRole::RealTime, WindowRole::None,
                           &connection_.realTimeDataUnsaved()};
    GraphWindow* graph = createGraphWindow(document, QStringLiteral("Real-Time Graph"));
    auto* sub = qobject_cast<QMdiSubWindow*>(graph->parentWidget());
    sub->setObjectName(QStringLiteral("realTimeSubWindow"));
    realTimeWindow_ = graph;
    realTimeGraphAction->setChecked(true);
    graph->setClearVisible(true);
    // Clear restarts the graph; the run's sample count and the menu's check mark are ours.
    connect(graph, &GraphWindow::realTimeCleared, this, [this] {
        realTimeGraphAction->setChecked(true);
        realTime_->clearSamples();
    });
    const double now = toSerialDateTime(clock_.now());
    graph->setUpGraph(1, 130, 30, now + realTimeRate_ * 2000 / 86400, now, 2000);
    graph->graphView->editProperties([](GraphState& s) { s.yAxisLabel = QStringLiteral("dB"); });
    graph->redraw();
    // The sampling-rate box chooses the next run's interval in this window; the recorder fills
    // it in windowCreated().
    graph->samplingRatePanel->setEnabled(true);
    placeRealTimeWindow();
    sub->show();
    mdi_->setActiveSubWindow(sub);
    realTime_->windowCreated(graph);
    applyCommandStates();
    return graph;
}

void MainWindow::placeRealTimeWindow() {
    if (!realTimeWindow_) return;
    auto* sub = qobject_cast<QMdiSubWindow*>(realTimeWindow_->parentWidget());
    if (!sub) return;
    const int panelWidth = panel_ ? ControlPanel::kWidth : 0;
    const int toolBarHeight = mainToolBar->height();
    const int statusHeight = statusBar()->height();
    sub->setGeometry(panelWidth, 0, width() - panelWidth - 5,
                     height() - toolBarHeight - statusHeight - 40);
}

GraphWindow* MainWindow::openDataLoggerWindow(double now) {
    if (dataLoggerWindow_) {
        activate(dataLoggerWindow_);
        return dataLoggerWindow_;
    }
    GraphDocument document{WindowRole::DataLogger, WindowRole::None,
                           &connection_.loggerDataUnsaved()};
    GraphWindow* graph = createGraphWindow(document, QStringLiteral("DataLogger"));
    graph->dataSetPanel->show();
    auto* sub = qobject_cast<QMdiSubWindow*>(graph->parentWidget());
    sub->setObjectName(QStringLiteral("dataLoggerSubWindow"));
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
    graph->graphView->editProperties([](GraphState& s) { s.allowGraphAnnotHotSpots = true; });
    sub->showNormal();
    mdi_->setActiveSubWindow(sub);
    graph->repaint();
    dataLoggerWindow_ = graph;
    return graph;
}

void MainWindow::restore(QWidget* child) {
    if (!child) return;
    if (auto* sub = qobject_cast<QMdiSubWindow*>(child->parentWidget())) {
        if (child->isHidden()) child->show();
        sub->showNormal();
    } else {
        child->showNormal();
    }
}

void MainWindow::activate(QWidget* child) {
    if (!child) return;
    restore(child);
    if (auto* sub = qobject_cast<QMdiSubWindow*>(child->parentWidget()))
        mdi_->setActiveSubWindow(sub);
}

QWidget* MainWindow::activeChild() const {
    // The current window stays current while a dialog or another program has the focus.
    QMdiSubWindow* sub = mdi_->currentSubWindow();
    return sub ? sub->widget() : nullptr;
}

WindowRole MainWindow::activeRole() const {
    return roleOf(activeChild());
}

ProgressRangeDialog* MainWindow::progressWindow() {
    if (!progressWindow_) {
        progressWindow_ = new ProgressRangeDialog(this);
        progressWindow_->hide();
    }
    return progressWindow_;
}

QList<GraphWindow*> MainWindow::graphWindows() const {
    QList<GraphWindow*> graphs;
    for (QMdiSubWindow* sub : mdi_->subWindowList())
        if (auto* graph = qobject_cast<GraphWindow*>(sub->widget())) graphs.append(graph);
    return graphs;
}

void MainWindow::showRealTimeWindow() {
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

void MainWindow::tileWindows() {
    const QList<QMdiSubWindow*> subs = arrangeable(mdi_);
    // A graph window's minimum height follows its width (its statistics stack when narrow):
    // once placed, the windows' layouts settle at their new widths and a second pass gives
    // each cell the height its window then needs.
    for (int pass = 0; pass < 2; ++pass) {
        const QList<ArrangedWindow> windows = arrangedWindows(subs);
        place(subs, tileRects(windows, arrangementArea(mdi_, windows)));
        for (int i = 0; pass == 0 && i < 3; ++i)
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    }
}

void MainWindow::cascadeWindows() {
    const QList<QMdiSubWindow*> subs = arrangeable(mdi_);
    const QList<ArrangedWindow> windows = arrangedWindows(subs);
    const int step = style()->pixelMetric(QStyle::PM_TitleBarHeight) + 4;
    place(subs, cascadeRects(windows, arrangementArea(mdi_, windows), step));
    if (!subs.isEmpty()) mdi_->setActiveSubWindow(subs.last());
}

void MainWindow::exitProgram() {
    close();
}

void MainWindow::openHelpContents() {
    const QString page = QDir::toNativeSeparators(paths_.helpPage());
    if (!QFileInfo::exists(paths_.helpPage())) {
        prompts_.message(QStringLiteral("The help page was not found at %1.").arg(page));
        return;
    }
    // Without a desktop handler for web pages nothing opens: the user can still open it by hand.
    if (!openUrl || !openUrl(QUrl::fromLocalFile(paths_.helpPage())))
        prompts_.message(
            QStringLiteral("No program could be started to show the help page. Open it in a web "
                           "browser: %1")
                .arg(page));
}

LoggerSetupWindow* MainWindow::setupWindow() const {
    return setup_;
}

void MainWindow::openSetupWindow() {
    if (setup_) {
        activate(setup_);
        return;
    }
    auto* setup = new LoggerSetupWindow(*this, connection_, *logger_);
    QMdiSubWindow* sub = addChildWindow(setup, WindowRole::Service);
    sub->setObjectName(QStringLiteral("setupSubWindow"));
    sub->setAttribute(Qt::WA_DeleteOnClose);
    // Closing destroys the window and forgets it; the next Setup creates a new one.
    connect(setup, &LoggerSetupWindow::closed, this, [this, setup, sub] {
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

void MainWindow::setServiceEntriesVisible(bool visible) {
    serviceEntriesVisible_ = visible;
    loggerSetupAction->setVisible(visible);
    // The button needs a place in the frame once it is shown: the right of the status bar.
    if (visible && loggerSetupButton->parentWidget() != statusBar())
        statusBar()->addPermanentWidget(loggerSetupButton);
    loggerSetupButton->setVisible(visible);
}

bool MainWindow::saveWindow(GraphWindow& graph) {
    // The same Save as File > Save, for this window whether or not it is the active one.
    return files_ && files_->saveGraphWindow(graph);
}

void MainWindow::templateUnusable(const QString& path) {
    if (templateProblemShown_) return;
    templateProblemShown_ = true;
    prompts_.message(QStringLiteral("The graph template \"%1\" could not be read; graphs are "
                                    "shown with the standard appearance.")
                         .arg(QDir::toNativeSeparators(path)));
}

void MainWindow::showAbout() {
    AboutDialog about(false, this);
    about.exec();
}

bool MainWindow::confirmCloseGraphWindows() {
    for (GraphWindow* graph : graphWindows())
        if (!graph->confirmClose()) return false;
    return true;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A command holding the link (a download, an erase) would be cut off in the middle. An LEQ
    // run is not: it ends like a Stop once its table's question lets the program go.
    const bool leqRunning = leq_ && leq_->running();
    if (connection_.linkLent() && !leqRunning) {
        event->ignore();
        prompts_.message(MeterConnection::busyMessage(connection_.borrower()));
        return;
    }
    // Each window's question comes before anything is closed; Cancel keeps the program running.
    if ((leq_ && !leq_->confirmDiscardTable()) || !confirmCloseGraphWindows()) {
        event->ignore();
        return;
    }
    if (leq_ && leq_->running()) leq_->stopRun();
    connection_.stopPolling();
    maxMinBlinkTimer->stop();
    writeRealTimeRate(*openSettings(env_.settingsFile), realTimeRate_);
    event->accept();
}

// ---- poll loop -------------------------------------------------------------------------------

void MainWindow::applyCommandStates() {
    CommandContext context = commandContext(connection_, activeRole());
    if (decidesOutputToGraph(context.activeRole)) lastDataRole_ = context.activeRole;
    context.lastDataRole = lastDataRole_;
    const CommandStates s = commandStates(context);
    runButton->setEnabled(s.run);
    runAction->setEnabled(s.run);
    stopButton->setEnabled(s.stop);
    stopAction->setEnabled(s.stop);
    dataLoggerButton->setEnabled(s.dataLogger);
    dataLoggerMenuAction->setEnabled(s.dataLogger);
    outputToGraphButton->setEnabled(s.outputToGraph);
    exportGraphAction->setEnabled(s.exportGraph);
    exportReportAction->setEnabled(s.exportGraph);
    exportReportButton->setEnabled(s.exportGraph);
    if (realTimeWindow_) realTimeWindow_->clearButton->setEnabled(s.clearRealTime);
}

void MainWindow::onConnectionChanged(ConnectionState state) {
    setStatusText(0, QString());
    showConnectionText();
    updateMeterHint();
    if (state == ConnectionState::Connected) {
        if (panel_) {
            panel_->setNoConnectionVisible(false);
            panel_->setTimeVisible(true);
        }
        dataLoggerMenuAction->setVisible(true);
        dataLoggerButton->setVisible(true);
    } else {
        if (panel_) panel_->setNoConnectionVisible(true);
    }
    applyCommandStates();
}

void MainWindow::onStatusDecoded(const PanelRefresh& decoded, double frameTime) {
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
                maxMinBlinkTimer->stop();
                break;
            case MaxMinIndicator::Blink:
                if (!maxMinBlinkTimer->isActive()) maxMinBlinkTimer->start();
                break;
            case MaxMinIndicator::NoChange:
                break;
        }
    }
    realTime_->takeSample(refresh.status.level, frameTime);
}

void MainWindow::blinkMaxMin() {
    QPointer<ControlPanel> panel = panel_;
    if (panel) panel->setBlinkInProgress(true);
    const bool shown = connection_.decoder().blinkStep();
    if (panel) {
        panel->setMaxMinVisible(shown, shown);
        panel->setBlinkInProgress(false);
    }
}

}  // namespace kl516
