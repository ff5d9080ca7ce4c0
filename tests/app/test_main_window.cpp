#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <algorithm>
#include <memory>

#include "app/ui/AboutDialog.h"
#include "app/ui/MainWindow.h"
#include "files/ui/TabularListWindow.h"
#include "leq/ui/LeqCommands.h"
#include "leq/ui/LeqWindow.h"
#include "link/LinkResult.h"
#include "link/MeterLink.h"
#include "platform/Settings.h"
#include "simulator/SimulatedMeter.h"
#include "support/Controls.h"
#include "support/MainWindowStart.h"
#include "support/RecordingDeviceLibrary.h"
#include "support/ScriptedPrompts.h"
#include "workspace/ui/QtPrompts.h"

using namespace kl516;

namespace {

// The main window against a simulated meter on a manual clock, with scripted prompts and a
// settings file and documents folder of its own.
struct MainWindowTest : ::testing::Test {
    QTemporaryDir dir;
    ManualClock clock;
    test::ScriptedPrompts prompts;
    IdleLinkHost idle;
    SimulatedMeter::Options options;
    std::unique_ptr<DeviceLibrary> device;
    std::unique_ptr<MeterLink> link;
    std::unique_ptr<MainWindow> window;

    SimulatedMeter& meter() { return static_cast<SimulatedMeter&>(*device); }

    void start(std::unique_ptr<DeviceLibrary> library = nullptr) {
        device = library ? std::move(library) : std::make_unique<SimulatedMeter>(clock, options);
        link = std::make_unique<MeterLink>(*device, clock, idle);
        window = test::startMainWindow(*link, prompts, clock, dir);
        window->connection().stopPolling();  // the tests run the ticks themselves
    }

    void ticks(int n) {
        for (int i = 0; i < n; ++i) window->connection().tick();
    }

    bool visible(const char* name) const {
        auto* w = window->panel()->findChild<QWidget*>(QLatin1String(name));
        return w && w->isVisibleTo(window->panel());
    }
    bool runEnabled() const { return test::commandEnabled(*window, "runButton", "runAction"); }
    bool stopEnabled() const { return test::commandEnabled(*window, "stopButton", "stopAction"); }
    bool loggerEnabled() const {
        return test::commandEnabled(*window, "dataLoggerButton", "dataLoggerMenuAction");
    }
};

}  // namespace

TEST_F(MainWindowTest, StartUpWithoutAMeter) {
    options.openFailure = SimulatedMeter::Fault{0, -1, 0};
    auto* splash = new AboutDialog(true);
    splash->setAttribute(Qt::WA_DeleteOnClose);
    splash->show();
    QPointer<AboutDialog> splashRef = splash;
    device = std::make_unique<SimulatedMeter>(clock, options);
    link = std::make_unique<MeterLink>(*device, clock, idle);
    window = std::make_unique<MainWindow>(*link, prompts, clock, test::scratchEnvironment(dir));
    window->resize(1280, 900);
    window->show();
    const int64_t before = clock.waitedMs();
    window->completeStartUp(splash);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    EXPECT_EQ(window->windowTitle(), "KL516");
    EXPECT_EQ(window->statusText(0), "");
    EXPECT_EQ(window->statusText(1), "Off Connection");
    EXPECT_TRUE(visible("noConnectionLabel"));
    EXPECT_FALSE(runEnabled());
    EXPECT_FALSE(stopEnabled());
    EXPECT_TRUE(test::action(*window, "loadDataAction")->isEnabled());
    EXPECT_TRUE(test::button(*window, "dataLoggerButton")->isEnabled());
    EXPECT_FALSE(test::action(*window, "loggerSetupAction")->isVisible());
    EXPECT_TRUE(window->connection().pollTimerActive());
    EXPECT_EQ(window->connection().pollIntervalMs(), 500);
    window->connection().stopPolling();
    EXPECT_EQ(clock.waitedMs() - before, 501);  // the blocking start-up wait
    EXPECT_TRUE(splashRef.isNull() || !splashRef->isVisible());

    // The panel at (0, 0); the real-time graph beside it.
    auto* panelWindow = qobject_cast<QMdiSubWindow*>(window->panel()->parentWidget());
    ASSERT_NE(panelWindow, nullptr);
    EXPECT_EQ(panelWindow->pos(), QPoint(0, 0));
    GraphWindow* graph = window->realTimeWindow();
    ASSERT_NE(graph, nullptr);
    EXPECT_EQ(graph->caption(), "Real-Time Graph");
    auto* graphWindow = qobject_cast<QMdiSubWindow*>(graph->parentWidget());
    EXPECT_EQ(graphWindow->geometry().topLeft(), QPoint(ControlPanel::kWidth, 0));
    EXPECT_EQ(graphWindow->width(), window->width() - ControlPanel::kWidth - 5);
    EXPECT_TRUE(test::action(*window, "controlPanelAction")->isChecked());
    EXPECT_TRUE(test::action(*window, "realTimeGraphAction")->isChecked());

    // Nothing has been tried before the first tick; then the status bar says what to do.
    EXPECT_EQ(window->meterHint(), "");
    ticks(3);  // identification keeps failing, without a message box
    EXPECT_FALSE(window->connected());
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(window->statusText(1), "Off Connection");
    EXPECT_EQ(window->meterHint(),
              "No meter found: connect it and switch it on, or start with "
              "--simulate to try the program");

    // A meter whose device node the user may not open is named instead, and the plain line
    // comes back once the problem has gone.
    const QString denied = QStringLiteral(
        "permission denied on /dev/hidraw3: install the udev rule (see README, Install) or add "
        "yourself to the plugdev group");
    setDeviceAccessProblem(denied);
    ticks(1);
    EXPECT_EQ(window->meterHint(), "Meter found, but " + denied);
    EXPECT_EQ(window->statusText(0), "");
    setDeviceAccessProblem(QString());
    ticks(1);
    EXPECT_TRUE(window->meterHint().startsWith("No meter found"));
}

// The hint goes as soon as a meter answers and comes back when it is lost; LEQ Start without a
// meter says what is missing instead of failing after two seconds of reads.
TEST_F(MainWindowTest, TheMeterHintFollowsTheConnectionAndLeqStartNeedsAMeter) {
    start();
    meter().unplug();
    ticks(2);
    const QString noMeter = window->meterHint();
    EXPECT_TRUE(noMeter.startsWith("No meter found"));

    test::action(*window, "leqAction")->trigger();
    LeqWindow* leqWindow = window->leqCommands().window();
    ASSERT_NE(leqWindow, nullptr);
    const int exchanges = meter().exchangeCount();
    leqWindow->startRunButton->click();
    EXPECT_EQ(prompts.messages(), QStringList{noMeter});
    EXPECT_FALSE(window->leqCommands().running());
    EXPECT_FALSE(window->leqCommands().timer()->isActive());
    EXPECT_FALSE(window->connection().linkLent());
    EXPECT_EQ(meter().exchangeCount(), exchanges);
    EXPECT_EQ(window->statusText(1), "Off Connection");

    meter().replug();
    ticks(1);
    ASSERT_TRUE(window->connected());
    EXPECT_EQ(window->meterHint(), "");
    EXPECT_EQ(window->statusText(1), "On Connection");

    meter().unplug();
    ticks(5);
    EXPECT_EQ(window->statusText(1), "No Connection");
    EXPECT_EQ(window->meterHint(), noMeter);
}

// Help > Contents opens the help page with the desktop's handler; when the page is missing or
// nothing could show it, a message says where the page is.
TEST_F(MainWindowTest, HelpContentsSaysWhereThePageIsWhenItCannotBeShown) {
    start();
    const QString page = window->paths().helpPage();
    QList<QUrl> opened;
    bool handlerStarts = false;
    window->openUrl = [&](const QUrl& url) {
        opened << url;
        return handlerStarts;
    };
    QFile::remove(page);
    test::action(*window, "helpContentsAction")->trigger();
    EXPECT_EQ(prompts.messages(), QStringList{"The help page was not found at " +
                                              QDir::toNativeSeparators(page) + "."});
    EXPECT_TRUE(opened.isEmpty());

    QFile file(page);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    prompts.clear();
    test::action(*window, "helpContentsAction")->trigger();
    EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile(page)});
    ASSERT_EQ(prompts.messages().size(), 1);
    EXPECT_TRUE(prompts.messages()[0].startsWith("No program could be started to show the help"));
    EXPECT_TRUE(prompts.messages()[0].endsWith(QDir::toNativeSeparators(page)));

    prompts.clear();
    handlerStarts = true;
    test::action(*window, "helpContentsAction")->trigger();
    EXPECT_EQ(opened.size(), 2);
    EXPECT_TRUE(prompts.shown.empty());
}

// The File and Help items carry their keys (shown in the menus), and the key reaches the item
// while the main window is active.
TEST_F(MainWindowTest, MenuItemsHaveTheirKeys) {
    start();
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const struct {
        const char* action;
        QKeySequence key;
    } cases[] = {
        {"openAction", QKeySequence(Qt::CTRL | Qt::Key_O)},
        {"saveAction", QKeySequence(Qt::CTRL | Qt::Key_S)},
        {"printAction", QKeySequence(Qt::CTRL | Qt::Key_P)},
        {"exitAction", QKeySequence(Qt::CTRL | Qt::Key_Q)},
        {"helpContentsAction", QKeySequence(Qt::Key_F1)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action);
        QAction* a = test::action(*window, c.action);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->shortcut(), c.key);
        // The command itself is tested elsewhere: here only that the key triggers the item.
        QObject::disconnect(a, &QAction::triggered, nullptr, nullptr);
        int triggered = 0;
        QObject::connect(a, &QAction::triggered, window.get(), [&] { ++triggered; });
        const QKeyCombination k = c.key[0];
        QTest::keyClick(window.get(), k.key(), k.keyboardModifiers());
        EXPECT_EQ(triggered, 1);
    }
}

// A CAL Leq window carries its source's caption and " – Leq", so that the Window menu lists
// every window under a caption of its own; the LEQ window stays "LEQ".
TEST_F(MainWindowTest, TheWindowMenuTellsTheLeqWindowsApart) {
    start();
    ticks(1);
    auto fill = [](GraphWindow* graph) {
        graph->setUpGraph(1, 130, 30, 45000 + 3 * kOneSecond, 45000, 3);
        for (int i = 0; i < 3; ++i) {
            graph->graphView->setXValue(0, i, 45000 + i * kOneSecond);
            graph->graphView->setYValue(0, i, 60.0f + float(i));
        }
        graph->updateGraphStatistic();
    };
    GraphWindow* realTime = window->realTimeWindow();
    GraphWindow* dataLogger = window->openDataLoggerWindow(45000);
    GraphWindow* opened =
        window->createGraphWindow({WindowRole::OpenedFile}, QStringLiteral("street.ghf"));
    for (GraphWindow* source : {realTime, dataLogger, opened}) {
        fill(source);
        source->runningLeqButton->click();
        ASSERT_NE(source->runningLeqWindow(), nullptr) << source->caption().toStdString();
    }
    const QString dash = QStringLiteral(" \u2013 Leq");
    EXPECT_EQ(realTime->runningLeqWindow()->caption(), "Real-Time Graph" + dash);
    EXPECT_EQ(dataLogger->runningLeqWindow()->caption(), "DataLogger" + dash);
    EXPECT_EQ(opened->runningLeqWindow()->caption(), "street.ghf" + dash);
    test::action(*window, "leqAction")->trigger();

    auto* menu = window->findChild<QMenu*>(QStringLiteral("windowMenu"));
    ASSERT_NE(menu, nullptr);
    emit menu->aboutToShow();
    QStringList listed;
    for (QAction* a : menu->actions())
        if (a->text().startsWith('&') && a->text().size() > 1 && a->text()[1].isDigit())
            listed << a->text().section(' ', 1);
    QStringList expected{
        "Control Panel",          "Real-Time Graph",   "DataLogger",        "street.ghf",
        "Real-Time Graph" + dash, "DataLogger" + dash, "street.ghf" + dash, "LEQ"};
    std::sort(listed.begin(), listed.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed, expected);
}

// View > Noise Assessment works on the graph window in front and is off for other windows.
TEST_F(MainWindowTest, NoiseAssessmentInTheViewMenuTakesTheGraphInFront) {
    start();
    ticks(1);
    GraphWindow* opened =
        window->createGraphWindow({WindowRole::OpenedFile}, QStringLiteral("street.ghf"));
    opened->setUpGraph(1, 130, 30, 45000 + 3 * kOneSecond, 45000, 3);
    for (int i = 0; i < 3; ++i) {
        opened->graphView->setXValue(0, i, 45000 + i * kOneSecond);
        opened->graphView->setYValue(0, i, 60.0f);
    }
    opened->updateGraphStatistic();
    auto* menu = window->findChild<QMenu*>(QStringLiteral("viewMenu"));
    ASSERT_NE(menu, nullptr);
    QAction* item = test::action(*window, "noiseAssessmentAction");

    window->activate(opened);
    emit menu->aboutToShow();
    ASSERT_TRUE(item->isEnabled());
    item->trigger();
    ASSERT_NE(opened->noiseAssessmentWindow(), nullptr);

    test::action(*window, "leqAction")->trigger();
    emit menu->aboutToShow();
    EXPECT_FALSE(item->isEnabled());
}

TEST_F(MainWindowTest, AMeterAnswering585IsNeverConnected) {
    auto fake = std::make_unique<test::RecordingDeviceLibrary>();
    auto* f = fake.get();
    ResponseFrame id{};
    id[23] = '5';
    id[24] = '8';
    id[25] = '5';
    for (int i = 0; i < 5; ++i) f->responses.push_back(id);
    start(std::move(fake));
    ticks(5);
    EXPECT_FALSE(window->connected());
    EXPECT_EQ(window->statusText(1), "Off Connection");
    for (const auto& w : f->writes()) EXPECT_EQ(w[1], 'K');
}

TEST_F(MainWindowTest, ConnectionIsKeptThroughFourFailuresAndLostAtTheFifth) {
    start();
    ticks(1);
    ASSERT_TRUE(window->connected());
    EXPECT_EQ(window->statusText(1), "On Connection");
    EXPECT_FALSE(visible("noConnectionLabel"));
    EXPECT_TRUE(runEnabled());
    EXPECT_FALSE(stopEnabled());
    EXPECT_TRUE(loggerEnabled());

    // Four failed polls, then a good one: still connected, the count starts again.
    meter().options().readFailure = SimulatedMeter::Fault{0, 4, 'A'};
    ticks(4);
    EXPECT_TRUE(window->connected());
    EXPECT_EQ(window->connection().failedPolls(), 4);
    ticks(1);
    EXPECT_EQ(window->connection().failedPolls(), 0);
    EXPECT_TRUE(window->connected());

    // Five in a row: disconnected; the sixth tick identifies again.
    meter().unplug();
    ticks(5);
    EXPECT_FALSE(window->connected());
    EXPECT_EQ(window->statusText(1), "No Connection");
    EXPECT_TRUE(visible("noConnectionLabel"));
    EXPECT_FALSE(runEnabled());
    EXPECT_FALSE(stopEnabled());
    EXPECT_FALSE(loggerEnabled());
    meter().replug();
    const int before = meter().exchangeCount();
    ticks(1);
    ASSERT_GT(meter().exchangeCount(), before);
    EXPECT_EQ(meter().framesWritten().back()[1], 'K');
    EXPECT_TRUE(window->connected());
}

TEST_F(MainWindowTest, APollWithBadFramingChangesNothing) {
    start();
    ticks(2);
    ASSERT_TRUE(window->connected());
    auto* digit = window->panel()->findChild<QLabel*>(QStringLiteral("levelTenthsDigit"));
    ASSERT_NE(digit, nullptr);
    const QImage shown = digit->pixmap().toImage();
    int levels = 0;
    QObject::connect(&window->connection(), &MeterConnection::statusDecoded,
                     [&](const PanelRefresh&, double) { ++levels; });
    meter().options().wrongFraming = SimulatedMeter::Fault{0, -1, 'A'};
    ticks(3);
    EXPECT_EQ(levels, 0);
    EXPECT_EQ(window->connection().failedPolls(), 0);
    EXPECT_TRUE(window->connected());
    EXPECT_EQ(digit->pixmap().toImage(), shown);
}

TEST_F(MainWindowTest, LosingTheMeterDuringARunAndGettingItBack) {
    start();
    ticks(1);
    window->connection().setRunActive(true);
    meter().unplug();
    ticks(5);
    EXPECT_FALSE(runEnabled());
    EXPECT_FALSE(stopEnabled());
    meter().replug();
    ticks(1);
    EXPECT_TRUE(window->connected());
    EXPECT_FALSE(runEnabled());
    EXPECT_TRUE(stopEnabled());
    EXPECT_FALSE(window->realTimeWindow()->clearButton->isEnabled());
}

TEST_F(MainWindowTest, StatusFramesReachThePanelAndTheSampler) {
    start();
    ticks(1);
    std::vector<float> levels;
    QObject::connect(&window->connection(), &MeterConnection::statusDecoded,
                     [&](const PanelRefresh& r, double) { levels.push_back(r.status.level); });
    clock.advance(1000);
    ticks(1);
    ASSERT_EQ(levels.size(), 1u);
    EXPECT_GT(levels[0], 20.0f);
    EXPECT_TRUE(visible("weightingALabel"));
    EXPECT_TRUE(visible("fastLabel"));
    EXPECT_FALSE(window->connection().meterRecording());

    // The panel's FAST/SLOW key goes to the meter; the labels swap after the next poll.
    QTest::mouseClick(window->panel()->findChild<QWidget*>(QStringLiteral("fastSlowKey")),
                      Qt::LeftButton);
    EXPECT_EQ(meter().framesWritten().back(), (CommandFrame{0x02, 'F', 0, 0, 0, link->sequenceNumber(), 0x03}));
    EXPECT_TRUE(visible("fastLabel"));
    ticks(1);
    EXPECT_FALSE(visible("fastLabel"));
    EXPECT_TRUE(visible("slowLabel"));

    // REC: the recording flag follows the meter.
    QTest::mouseClick(window->panel()->findChild<QWidget*>(QStringLiteral("recordKey")),
                      Qt::LeftButton);
    ticks(1);
    EXPECT_TRUE(window->connection().meterRecording());
    EXPECT_TRUE(visible("recordingLabel"));
}

TEST_F(MainWindowTest, MaxMinAlternatingBlinksBothLabels) {
    start();
    ticks(1);
    for (int i = 0; i < 3; ++i)  // off -> MAX -> MIN -> MAX/MIN alternating
        QTest::mouseClick(window->panel()->findChild<QWidget*>(QStringLiteral("maxMinKey")),
                          Qt::LeftButton);
    ticks(1);
    ASSERT_EQ(meter().maxMinMode(), 0x44);
    EXPECT_TRUE(test::timer(*window, "maxMinBlinkTimer")->isActive());
    window->blinkMaxMin();
    const bool first = visible("maxLabel");
    EXPECT_EQ(visible("minLabel"), first);
    window->blinkMaxMin();
    EXPECT_NE(visible("maxLabel"), first);
    EXPECT_EQ(visible("minLabel"), visible("maxLabel"));
    QTest::mouseDClick(window->panel()->findChild<QWidget*>(QStringLiteral("maxMinKey")),
                       Qt::LeftButton);
    ticks(1);
    EXPECT_FALSE(test::timer(*window, "maxMinBlinkTimer")->isActive());
    EXPECT_FALSE(visible("maxLabel"));
    EXPECT_FALSE(visible("minLabel"));
}

TEST_F(MainWindowTest, PanelKeysWithoutAnswerAndNotAvailableKeys) {
    start();
    const int before = meter().exchangeCount();
    // "not available" is a notice at the key, not a box that blocks the panel.
    QTest::mouseClick(window->panel()->findChild<QWidget*>(QStringLiteral("clockKey")),
                      Qt::LeftButton);
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(meter().exchangeCount(), before);
    meter().unplug();
    QTest::mouseClick(window->panel()->findChild<QWidget*>(QStringLiteral("clockKey")),
                      Qt::LeftButton);
    QTest::mouseClick(window->panel()->findChild<QWidget*>(QStringLiteral("frequencyWeightingKey")),
                      Qt::LeftButton);
    EXPECT_EQ(prompts.messages(), QStringList{"Connect fail"});
}

TEST_F(MainWindowTest, ClosingAndRecreatingThePanel) {
    start();
    ticks(1);
    QPointer<ControlPanel> first = window->panel();
    ASSERT_TRUE(first);
    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(window->panel(), nullptr);
    EXPECT_FALSE(test::action(*window, "controlPanelAction")->isChecked());
    ticks(2);  // polls go on without a panel

    test::action(*window, "controlPanelAction")->trigger();
    ControlPanel* second = window->panel();
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(test::action(*window, "controlPanelAction")->isChecked());
    auto* sub = qobject_cast<QMdiSubWindow*>(second->parentWidget());
    EXPECT_EQ(sub->pos(), QPoint(0, 0));
    EXPECT_FALSE(visible("maxLabel"));

    sub->showMinimized();
    test::action(*window, "controlPanelAction")->trigger();
    EXPECT_EQ(window->panel(), second);
    EXPECT_FALSE(sub->isMinimized());
    EXPECT_TRUE(test::action(*window, "controlPanelAction")->isChecked());
}

TEST_F(MainWindowTest, RealTimeRateIsReadAtCreationAndWrittenAtClose) {
    start();
    EXPECT_DOUBLE_EQ(window->realTimeRate(), 0.2);
    window->setRealTimeRate(5.0);
    window->close();
    window.reset();
    start();
    EXPECT_DOUBLE_EQ(window->realTimeRate(), 5.0);
    EXPECT_EQ(window->dataFolder(), QDir::cleanPath(dir.filePath(QStringLiteral("docs"))) + "/KL516/");
}

TEST_F(MainWindowTest, AtTheFastIntervalTheClockCatchesUpOnTheNextDrawnFrame) {
    start();
    ticks(1);
    window->connection().setFastPolling(true);
    auto* seconds = window->panel()->findChild<QLabel*>(QStringLiteral("secondUnitsDigit"));
    ASSERT_NE(seconds, nullptr);
    // Step until the next tick is a drawn one (its count a multiple of five).
    while (window->connection().tickCount() % 5 != 4) ticks(1);
    clock.advance(1000);
    ticks(1);  // drawn frame
    const QImage before = seconds->pixmap().toImage();
    clock.advance(1000);
    ticks(1);  // the seconds change on a skipped frame
    EXPECT_EQ(seconds->pixmap().toImage(), before);
    ticks(4);  // the next drawn frame shows it, though its seconds byte did not change again
    EXPECT_NE(seconds->pixmap().toImage(), before);
}

TEST_F(MainWindowTest, LeavingWithUnsavedDataAsksFirstAndCancelKeepsTheProgramRunning) {
    start();
    ticks(1);
    window->connection().realTimeDataUnsaved() = true;
    // The question comes while the main window is still shown.
    bool shownDuringQuestion = false;
    prompts.onShown = [&](const test::ScriptedPrompts::Shown&) {
        shownDuringQuestion = window->isVisible();
    };
    prompts.confirmAnswers = {Prompts::Answer::Cancel};
    test::action(*window, "exitAction")->trigger();
    EXPECT_EQ(prompts.questions(), QStringList{"Save Real-Time Graph ?"});
    EXPECT_TRUE(shownDuringQuestion);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->connection().realTimeDataUnsaved());

    // No: the program ends, and the question is not asked a second time on the way out.
    prompts.clear();
    prompts.confirmAnswers = {Prompts::Answer::No};
    test::action(*window, "exitAction")->trigger();
    EXPECT_FALSE(window->isVisible());
    window.reset();
    EXPECT_EQ(prompts.questions(), QStringList{"Save Real-Time Graph ?"});
}

TEST_F(MainWindowTest, TheProgramIsNotLeftWhileACommandHoldsTheLink) {
    start();
    ticks(1);
    {
        const LinkLease lease = window->connection().borrow(QStringLiteral("Load Data"));
        EXPECT_FALSE(window->close());
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(prompts.messages(),
                  QStringList{MeterConnection::busyMessage(QStringLiteral("Load Data"))});
        // Run is refused as well: the poll it needs is paused.
        EXPECT_FALSE(runEnabled());
        EXPECT_FALSE(loggerEnabled());
    }
    EXPECT_TRUE(runEnabled());
    EXPECT_TRUE(window->close());
}

TEST_F(MainWindowTest, TileSetsFourGraphWindowsSideBySideInTwoRows) {
    start();
    ticks(1);
    window->openControlPanel();  // the panel keeps its place at the left
    for (int i = 0; i < 3; ++i) {
        GraphWindow* g =
            window->createGraphWindow({WindowRole::OpenedFile}, QStringLiteral("file %1").arg(i));
        qobject_cast<QMdiSubWindow*>(g->parentWidget())->show();
    }
    window->resize(1400, 900);
    QCoreApplication::processEvents();
    test::action(*window, "tileAction")->trigger();
    QCoreApplication::processEvents();
    QList<QRect> graphs;
    for (QMdiSubWindow* sub : window->workspace()->subWindowList())
        if (qobject_cast<GraphWindow*>(sub->widget())) graphs.append(sub->geometry());
    ASSERT_EQ(graphs.size(), 4);
    std::sort(graphs.begin(), graphs.end(), [](const QRect& a, const QRect& b) {
        return std::pair(a.top(), a.left()) < std::pair(b.top(), b.left());
    });
    // Two rows of two: each pair shares its top, the second row starts below the first.
    EXPECT_EQ(graphs[0].top(), graphs[1].top());
    EXPECT_EQ(graphs[2].top(), graphs[3].top());
    EXPECT_GT(graphs[1].left(), graphs[0].left());
    EXPECT_GE(graphs[2].top(), graphs[0].bottom());
    const int workspaceHeight = window->workspace()->viewport()->height();
    for (const QRect& r : graphs) EXPECT_GE(r.height(), workspaceHeight / 2 - 1);
}

// At 1400 x 900 two graph windows, one of them the DataLogger window with its list, tile side
// by side beside the panel, both whole inside the workspace, with their statistics readable.
TEST_F(MainWindowTest, TileSetsTwoGraphWindowsSideBySideInsideTheWorkspace) {
    start();
    ticks(1);
    window->openControlPanel();
    GraphWindow* logger = window->openDataLoggerWindow(45000);
    ASSERT_TRUE(logger->dataSetPanel->isVisible());
    window->resize(1400, 900);
    QCoreApplication::processEvents();
    test::action(*window, "tileAction")->trigger();
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    QList<QMdiSubWindow*> graphs;
    for (QMdiSubWindow* sub : window->workspace()->subWindowList())
        if (qobject_cast<GraphWindow*>(sub->widget())) graphs.append(sub);
    ASSERT_EQ(graphs.size(), 2);  // the real-time window and the DataLogger window
    std::sort(graphs.begin(), graphs.end(),
              [](QMdiSubWindow* a, QMdiSubWindow* b) { return a->x() < b->x(); });
    const QRect view = window->workspace()->viewport()->rect();
    EXPECT_EQ(graphs[0]->y(), graphs[1]->y());
    EXPECT_LE(graphs[0]->geometry().right(), graphs[1]->x());
    for (QMdiSubWindow* sub : graphs) {
        SCOPED_TRACE(sub->windowTitle().toStdString());
        EXPECT_TRUE(view.contains(sub->geometry()))
            << sub->x() << "," << sub->y() << " " << sub->width() << "x" << sub->height();
        auto* graph = qobject_cast<GraphWindow*>(sub->widget());
        EXPECT_GE(graph->graphView->width(), 320);
        for (QWidget* panel : {graph->graphStatisticsPanel, graph->cursorStatisticsPanel})
            for (QLineEdit* field : panel->findChildren<QLineEdit*>())
                EXPECT_TRUE(
                    panel->rect().contains(QRect(field->mapTo(panel, QPoint()), field->size())))
                    << field->objectName().toStdString();
    }
    // Narrow windows stack their statistics and need more height: four in two rows get at
    // least that height, side by side and one row below the other, the workspace scrolling.
    for (int i = 0; i < 2; ++i) {
        GraphWindow* g =
            window->createGraphWindow({WindowRole::OpenedFile}, QStringLiteral("file %1").arg(i));
        qobject_cast<QMdiSubWindow*>(g->parentWidget())->show();
    }
    // From wide windows (after Cascade), whose statistics need fewer rows.
    test::action(*window, "cascadeAction")->trigger();
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    test::action(*window, "tileAction")->trigger();
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    QList<QMdiSubWindow*> four;
    for (QMdiSubWindow* sub : window->workspace()->subWindowList())
        if (qobject_cast<GraphWindow*>(sub->widget())) four.append(sub);
    ASSERT_EQ(four.size(), 4);
    for (QMdiSubWindow* sub : four) {
        SCOPED_TRACE(sub->windowTitle().toStdString());
        EXPECT_GE(sub->height(), sub->minimumSizeHint().height());
        EXPECT_GE(sub->width(), sub->minimumSizeHint().width());
        EXPECT_GE(sub->x(), view.left());
        EXPECT_GE(sub->y(), view.top());
        for (QMdiSubWindow* other : four)
            EXPECT_TRUE(other == sub || !other->geometry().intersects(sub->geometry()));
    }
}

TEST_F(MainWindowTest, ToolButtonsLookAsEnabledAsTheyAre) {
    start();
    ticks(1);
    // Mean opacity and the most saturated colour of a button's picture in one state.
    const auto look = [](const QToolButton* b, QIcon::Mode mode) {
        const QImage image =
            b->icon().pixmap(QSize(24, 24), mode).toImage().convertToFormat(QImage::Format_ARGB32);
        double alpha = 0;
        int saturation = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                alpha += c.alphaF();
                if (c.alpha() > 128) saturation = std::max(saturation, c.hsvSaturation());
            }
        return std::pair{alpha / (image.width() * image.height()), saturation};
    };
    auto* output = window->findChild<QToolButton*>(QStringLiteral("outputToGraphButton"));
    auto* logger = window->findChild<QToolButton*>(QStringLiteral("dataLoggerButton"));
    ASSERT_TRUE(output && logger);
    EXPECT_FALSE(output->isEnabled());  // no list is open
    EXPECT_TRUE(logger->isEnabled());
    // Disabled, a picture fades to a faint grey; the working Data Logger button is in colour.
    for (QToolButton* b : {output, logger}) {
        SCOPED_TRACE(b->objectName().toStdString());
        const auto [normalAlpha, normalSaturation] = look(b, QIcon::Normal);
        const auto [disabledAlpha, disabledSaturation] = look(b, QIcon::Disabled);
        EXPECT_LT(disabledAlpha, 0.5 * normalAlpha);
        EXPECT_EQ(disabledSaturation, 0);
    }
    EXPECT_GT(look(logger, QIcon::Normal).second, 120);
}

// Export Graph and Export Report draw the graph window in front: any other window turns them off.
TEST_F(MainWindowTest, TheExportCommandsFollowTheActiveWindow) {
    start();
    ticks(1);
    const auto exportsEnabled = [this] {
        const bool report =
            test::commandEnabled(*window, "exportReportButton", "exportReportAction");
        EXPECT_EQ(test::action(*window, "exportGraphAction")->isEnabled(), report);
        return report;
    };
    GraphWindow* realTime = window->openRealTimeWindow();
    QCoreApplication::processEvents();
    EXPECT_TRUE(exportsEnabled());
    auto* list = new TabularListWindow(QStringLiteral("/data/list.txt"));
    window->showListWindow(list);
    QCoreApplication::processEvents();
    EXPECT_FALSE(exportsEnabled());
    window->workspace()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(realTime->parentWidget()));
    QCoreApplication::processEvents();
    EXPECT_TRUE(exportsEnabled());
    window->openControlPanel();
    window->workspace()->setActiveSubWindow(
        qobject_cast<QMdiSubWindow*>(window->panel()->parentWidget()));
    QCoreApplication::processEvents();
    EXPECT_FALSE(exportsEnabled());
}

TEST_F(MainWindowTest, NewListWindowsOpenInsideTheVisibleWorkspace) {
    start();
    window->resize(1000, 700);
    QCoreApplication::processEvents();
    const QRect view = window->workspace()->viewport()->rect();
    for (int i = 0; i < 3; ++i) {
        auto* list = new TabularListWindow(QStringLiteral("/data/list%1.txt").arg(i));
        window->showListWindow(list);
        QCoreApplication::processEvents();
        SCOPED_TRACE(i);
        const QRect placed = list->parentWidget()->geometry();
        EXPECT_TRUE(view.contains(placed))
            << placed.x() << "," << placed.y() << " " << placed.width() << "x" << placed.height();
        EXPECT_GE(placed.width(), 320);
    }
}

TEST_F(MainWindowTest, TileAndCascadeStayInTheWorkspaceAndKeepEveryPlotVisible) {
    start();
    ticks(1);
    // Two more graph windows beside the real-time one and the panel.
    for (int i = 0; i < 2; ++i) {
        GraphWindow* g =
            window->createGraphWindow({WindowRole::OpenedFile}, QStringLiteral("file %1").arg(i));
        qobject_cast<QMdiSubWindow*>(g->parentWidget())->show();
    }
    window->resize(1000, 700);
    QCoreApplication::processEvents();
    const QSize before = window->size();
    for (const char* item : {"tileAction", "cascadeAction"}) {
        SCOPED_TRACE(item);
        test::action(*window, item)->trigger();
        QCoreApplication::processEvents();
        EXPECT_EQ(window->size(), before);
        for (QMdiSubWindow* sub : window->workspace()->subWindowList()) {
            auto* graph = qobject_cast<GraphWindow*>(sub->widget());
            if (!graph) continue;
            EXPECT_GE(sub->width(), sub->minimumSizeHint().width());
            EXPECT_GE(graph->graphView->height(), 100);
            EXPECT_GE(graph->graphView->width(), 200);
            EXPECT_GE(sub->x(), 0);
            EXPECT_GE(sub->y(), 0);
        }
    }
}

TEST(QtPromptsBoxes, FailuresShowTheErrorIconNewsInformationQuestionsTheQuestionIcon) {
    QtPrompts prompts;
    std::vector<std::pair<QMessageBox::Icon, QString>> seen;
    // The box is looked at and answered while it is open, as the user would.
    const auto answerNext = [&seen](QMessageBox::StandardButton button) {
        QTimer::singleShot(0, [&seen, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            seen.emplace_back(box->icon(), box->text());
            box->button(button)->click();
        });
    };
    answerNext(QMessageBox::Ok);
    prompts.message(QStringLiteral("There is no connection with meter !"));
    answerNext(QMessageBox::Ok);
    prompts.information(QStringLiteral("erase memory successfully"));
    answerNext(QMessageBox::No);
    EXPECT_EQ(prompts.confirm(QStringLiteral("Save Real-Time Graph ?")), Prompts::Answer::No);
    answerNext(QMessageBox::Yes);
    EXPECT_EQ(prompts.ask(QStringLiteral("Are you sure to erase memory ?")), Prompts::Answer::Yes);
    const std::vector<std::pair<QMessageBox::Icon, QString>> expected{
        {QMessageBox::Critical, QStringLiteral("There is no connection with meter !")},
        {QMessageBox::Information, QStringLiteral("erase memory successfully")},
        {QMessageBox::Question, QStringLiteral("Save Real-Time Graph ?")},
        {QMessageBox::Question, QStringLiteral("Are you sure to erase memory ?")},
    };
    EXPECT_EQ(seen, expected);
}
