#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QItemSelectionModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/ui/MainWindow.h"
#include "dataset/SerialDateTime.h"
#include "files/ui/FileCommands.h"
#include "files/ui/OpenSaveChoiceDialog.h"
#include "graph/ui/DataSetListModel.h"
#include "graph/ui/GraphWindow.h"
#include "link/MeterLink.h"
#include "logger/CollectionFile.h"
#include "logger/MemoryParser.h"
#include "logger/SetupOperations.h"
#include "logger/ui/LoggerCommands.h"
#include "logger/ui/ProgressRangeDialog.h"
#include "simulator/SimulatedMeter.h"
#include "support/Controls.h"
#include "support/FileSizeLimit.h"
#include "support/MainWindowStart.h"
#include "support/ScriptedPrompts.h"

using namespace kl516;

namespace {

using Fault = SimulatedMeter::Fault;

// Passes every call on to the simulated meter and records it, failed calls included, so that
// a test sees the frames the program tried to send. onWrite runs before a frame goes out.
struct SpyLibrary final : DeviceLibrary {
    explicit SpyLibrary(SimulatedMeter& meter) : inner(meter) {}
    SimulatedMeter& inner;
    std::vector<std::string> calls;
    std::vector<CommandFrame> frames;
    std::function<void(const CommandFrame&)> onWrite;

    int32_t close() override { return calls.push_back("close"), inner.close(); }
    int32_t open(uint16_t v, uint16_t p) override { return calls.push_back("open"), inner.open(v, p); }
    int32_t setTimeouts(int32_t r, int32_t w) override {
        return calls.push_back("timeouts"), inner.setTimeouts(r, w);
    }
    int32_t write(int32_t length, const uint8_t* bytes) override {
        CommandFrame f{};
        std::copy_n(bytes, f.size(), f.begin());
        calls.push_back(std::string("write ") + char(f[1]));
        frames.push_back(f);
        if (onWrite) onWrite(f);
        return inner.write(length, bytes);
    }
    int32_t prepareRead() override { return calls.push_back("prepare"), inner.prepareRead(); }
    int32_t read(int32_t length, uint8_t* buffer) override {
        return calls.push_back("read"), inner.read(length, buffer);
    }
    int32_t writeBlock(int32_t length, const uint8_t* bytes) override {
        return calls.push_back("block"), inner.writeBlock(length, bytes);
    }
    int32_t readString(int32_t index, char* buffer, int32_t size) override {
        return inner.readString(index, buffer, size);
    }

    int framesWith(char letter) const {
        return int(std::count_if(frames.begin(), frames.end(),
                                 [&](const CommandFrame& f) { return f[1] == uint8_t(letter); }));
    }
};

QByteArray goldenImage() {
    return SimulatedMeter::readImageFile(QStringLiteral(KL516_TEST_DATA "/golden.rec"));
}

// The main window against a simulated meter holding a logger image, on a manual clock, with
// scripted prompts and a documents folder of its own.
struct LoadDataTest : ::testing::Test {
    QTemporaryDir dir;
    ManualClock clock;
    test::ScriptedPrompts prompts;
    IdleLinkHost idle;
    SimulatedMeter::Options options;
    std::unique_ptr<SimulatedMeter> meter;
    std::unique_ptr<SpyLibrary> spy;
    std::unique_ptr<MeterLink> link;
    std::unique_ptr<MainWindow> window;
    const QLocale locale{QLocale::English, QLocale::UnitedKingdom};

    void start(const QByteArray& image = goldenImage(), bool connect = true) {
        options.initialImage = image;
        meter = std::make_unique<SimulatedMeter>(clock, options);
        spy = std::make_unique<SpyLibrary>(*meter);
        link = std::make_unique<MeterLink>(*spy, clock, idle);
        window = test::startMainWindow(*link, prompts, clock, dir, locale);
        window->connection().stopPolling();  // the tests run the ticks themselves
        if (!connect) return;
        window->pollTick();  // identification: connected
        ASSERT_TRUE(window->connected());
    }

    // Runs Load Data from the menu; afterwards the poll timer must be running again.
    void loadData() {
        // Every message comes after the hourglass is gone.
        prompts.onShown = [](const test::ScriptedPrompts::Shown&) {
            EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        };
        prompts.clear();
        spy->calls.clear();
        spy->frames.clear();
        window->connection().startPolling();
        test::action(*window, "loadDataAction")->trigger();
        EXPECT_TRUE(window->connection().pollTimerActive());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_FALSE(window->progressWindow()->isVisible());
        window->connection().stopPolling();
    }

    QString baseFolder() const { return window->workFolder(); }
    QString tempFile() const { return tempCollectionPath(baseFolder()); }
    QByteArray tempBytes() const {
        QFile f(tempFile());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    GraphWindow* logger() const { return window->dataLoggerWindow(); }
    QMdiSubWindow* loggerFrame() const { return qobject_cast<QMdiSubWindow*>(logger()->parentWidget()); }
    QStringList row(int r) const {
        QStringList texts;
        const QAbstractItemModel& model = *logger()->dataSetTable->model();
        for (int c = 0; c < 8; ++c) texts << model.index(r, c).data().toString();
        return texts;
    }
    // Whether the last library calls were the resynchronisation: ordinal 2, then a 'Q' frame.
    bool endsWithResync() const {
        const auto& c = spy->calls;
        return c.size() >= 2 && c[c.size() - 2] == "prepare" && c.back() == "write Q";
    }
    void clickRow(int tableRow) {
        QTableView* grid = logger()->dataSetTable;
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                          grid->visualRect(grid->model()->index(tableRow, 2)).center());
    }
};

TEST_F(LoadDataTest, LoadsTheLoggerIntoTheDataLoggerWindow) {
    start();
    const QByteArray golden = goldenImage();
    ASSERT_EQ(golden.size(), 352);

    // What the user sees while the transfer runs.
    bool windowReadyBeforeDownload = false, hourglassForInfo = false, timerStoppedForInfo = false;
    QStringList firstBlockLabels;
    QString scopeCaption;
    bool hourglassDuringBlocks = true;
    spy->onWrite = [&](const CommandFrame& f) {
        if (f[1] == 'P') {
            windowReadyBeforeDownload = logger() && logger()->isVisible() &&
                                        loggerFrame()->geometry().topLeft() == QPoint(0, 0);
            hourglassForInfo = QApplication::overrideCursor() &&
                               QApplication::overrideCursor()->shape() == Qt::WaitCursor;
            timerStoppedForInfo = !window->connection().pollTimerActive();
        } else if (f[1] == 'p') {
            ProgressRangeDialog* scope = window->progressWindow();
            if (firstBlockLabels.isEmpty()) {
                firstBlockLabels << scope->bytesReceivedLabel->text()
                                 << scope->totalBytesLabel->text();
                scopeCaption = scope->isVisible() ? scope->windowTitle() : QString();
                hourglassDuringBlocks = QApplication::overrideCursor() != nullptr;
                EXPECT_FALSE(scope->okButton->isVisibleTo(scope));
                EXPECT_FALSE(scope->cancelButton->isVisibleTo(scope));
                EXPECT_FALSE(scope->rangeGroup->isVisibleTo(scope));
                EXPECT_EQ(scope->progressBar->maximum(), 352);
            }
        }
    };
    window->connection().startPolling();
    loadData();
    spy->onWrite = nullptr;

    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_TRUE(windowReadyBeforeDownload);
    EXPECT_TRUE(hourglassForInfo);
    EXPECT_TRUE(timerStoppedForInfo);
    EXPECT_EQ(firstBlockLabels, (QStringList{"0", "352"}));
    EXPECT_EQ(scopeCaption, "Data Retriving Progress");
    EXPECT_FALSE(hourglassDuringBlocks);
    EXPECT_EQ(window->progressWindow()->bytesReceivedLabel->text(), "352");
    // One 'P', ten 'p', one closing 'q'.
    EXPECT_EQ(spy->framesWith('P'), 1);
    EXPECT_EQ(spy->framesWith('p'), 10);
    EXPECT_EQ(spy->framesWith('q'), 1);
    EXPECT_EQ(spy->framesWith('Q'), 0);

    // The window: caption, list shown, top left, main client width, client height - 60.
    ASSERT_NE(logger(), nullptr);
    EXPECT_EQ(logger()->caption(), "DataLogger");
    EXPECT_TRUE(logger()->dataSetPanel->isVisible());
    EXPECT_FALSE(loggerFrame()->isMinimized());
    // As wide as the main window and 60 pixels less high than its client area, but never larger
    // than the workspace (which would start it out scrolled).
    const QSize workspace = window->workspace()->viewport()->size();
    EXPECT_EQ(loggerFrame()->geometry(),
              QRect(0, 0, std::min(window->width(), workspace.width()),
                    std::min(window->height() - window->menuBar()->height() - 60,
                             workspace.height())));
    EXPECT_EQ(window->workspace()->activeSubWindow(), loggerFrame());
    EXPECT_TRUE(logger()->graphView->state().allowGraphAnnotHotSpots);

    // The list: one row per set, as the parser wrote them, the first set's row selected.
    DataSetTable expected;
    QList<QStringList> expectedRows;
    const auto* bytes = reinterpret_cast<const uint8_t*>(golden.constData());
    ASSERT_EQ(parseImage({bytes, size_t(golden.size())}, 347, clock.now(), expected, &expectedRows,
                         locale),
              0);
    ASSERT_EQ(logger()->dataSetTable->model()->rowCount(), 4);
    const QFontMetrics metrics(logger()->dataSetTable->font());
    for (int r = 0; r < 4; ++r) {
        EXPECT_EQ(row(r), expectedRows[r]) << r;
        for (int c : {1, 2})  // dates and times fit their columns
            EXPECT_LT(metrics.horizontalAdvance(row(r)[c]), logger()->dataSetTable->columnWidth(c));
    }
    QList<int> selectedRows, selectedColumns;
    for (const QModelIndex& index : logger()->dataSetTable->selectionModel()->selectedIndexes()) {
        selectedRows << index.row();
        selectedColumns << index.column();
    }
    EXPECT_EQ(selectedRows, QList<int>(5, 0));
    std::sort(selectedColumns.begin(), selectedColumns.end());
    EXPECT_EQ(selectedColumns, (QList<int>{0, 1, 2, 3, 4}));
    // The list formats its rows when drawn, from its own copy of the sets' headers.
    EXPECT_EQ(logger()->dataSetList().setCount(), 4);

    // The program-wide table and set 0 on the graph: 70.0 72.0 0 140.0 70.0 from 09:30:05, 2 s.
    const DataSetTable& table = window->dataSetTable();
    ASSERT_EQ(table.setCount(), 4);
    EXPECT_EQ(table.counts(), expected.counts());
    const GraphView& graph = *logger()->graphView;
    ASSERT_EQ(graph.points(), 5);
    const float levels[5] = {70.0f, 72.0f, 0.0f, 140.0f, 70.0f};
    const double start = toSerialDateTime(QDate(2024, 3, 15), QTime(9, 30, 5));
    for (int i = 0; i < 5; ++i) {
        EXPECT_FLOAT_EQ(graph.yValue(0, i), levels[i]);
        EXPECT_NEAR(graph.xValue(0, i), start + 2 * i * kOneSecond, 1e-9);
    }
    EXPECT_EQ(logger()->pointCount->text(), "5");
    EXPECT_EQ(logger()->seriesMaximum->text(), "140.0");
    EXPECT_TRUE(logger()->seriesStartTime->text().contains("09:30:05"));
    EXPECT_TRUE(logger()->seriesMaximumTime->text().contains("09:30:11"));
    EXPECT_EQ(logger()->seriesAverage->text(),
              locale.toString(double(table.averages()[0]), 'f', 1));

    // The temporary collection file holds the image; the data wait to be saved.
    EXPECT_EQ(tempBytes(), golden);
    EXPECT_TRUE(window->connection().loggerDataUnsaved());
}

// The close question's Yes forgets the data only when the save wrote a file: a choice or file
// dialog that was cancelled, or a file that could not be written, keeps the window and the flag,
// and leaving the program asks again.
TEST_F(LoadDataTest, ACancelledOrFailedSaveKeepsTheWindowAndItsQuestion) {
    using Answer = Prompts::Answer;
    const QString missing = QStringLiteral("no/such/folder/");
    const struct Case {
        const char* name;
        bool realTime;     // the real-time window instead of the DataLogger window
        int choice;        // the DataLogger window's Save choice
        const char* file;  // the file dialog's answer; empty: cancelled; null: not asked
        bool saved;
    } cases[] = {
        {"choice cancelled", false, OpenSaveChoiceDialog::Cancel, nullptr, false},
        {"collection dialog cancelled", false, OpenSaveChoiceDialog::Ok, "", false},
        {"collection not writable", false, OpenSaveChoiceDialog::Ok, "no/such/folder/sets.rec",
         false},
        {"collection written", false, OpenSaveChoiceDialog::Ok, "sets.rec", true},
        {"set written as a graph file", false, OpenSaveChoiceDialog::No, "set.ghf", true},
        {"real-time dialog cancelled", true, OpenSaveChoiceDialog::Cancel, "", false},
        {"real-time written", true, OpenSaveChoiceDialog::Cancel, "live.ghf", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        start();
        if (!c.realTime) {
            loadData();
            ASSERT_TRUE(window->connection().loggerDataUnsaved());
        }
        bool& unsaved = c.realTime ? window->connection().realTimeDataUnsaved()
                                   : window->connection().loggerDataUnsaved();
        unsaved = true;
        GraphWindow* graph = c.realTime ? window->realTimeWindow() : logger();
        // Unsaved live data: the graph holds a reading.
        if (c.realTime) graph->graphView->setXValue(0, 0, toSerialDateTime(clock.now()));
        auto* frame = qobject_cast<QMdiSubWindow*>(graph->parentWidget());
        frame->showNormal();
        int choices = 0;
        window->fileCommands().execChoiceDialog = [&](OpenSaveChoiceDialog&) {
            return ++choices, c.choice;
        };
        prompts.clear();
        prompts.confirmAnswers = {Answer::Yes};
        if (c.file) prompts.fileNames = {*c.file ? dir.filePath(QLatin1String(c.file)) : QString()};
        frame->close();

        const QString question =
            QLatin1String(c.realTime ? "Save Real-Time Graph ?" : "Save DataLogger Data ?");
        EXPECT_EQ(prompts.questions(), QStringList{question});
        EXPECT_EQ(choices, c.realTime ? 0 : 1);
        EXPECT_EQ(frame->isMinimized(), c.saved);
        EXPECT_EQ(unsaved, !c.saved);
        if (c.file && *c.file) {
            EXPECT_EQ(QFile::exists(dir.filePath(QLatin1String(c.file))), c.saved);
        }
        // A file that could not be written is reported.
        EXPECT_EQ(prompts.messages().size(), QLatin1String(c.file).startsWith(missing) ? 1 : 0);

        // Leaving asks again only about data that are still unsaved; Cancel keeps the program.
        prompts.clear();
        prompts.confirmAnswers = {Answer::Cancel};
        window->close();
        EXPECT_EQ(prompts.questions(), c.saved ? QStringList{} : QStringList{question});
        EXPECT_EQ(window->isVisible(), !c.saved);
        window.reset();
    }
}

TEST_F(LoadDataTest, TheWindowIsReusedAndItsListPicksTheSet) {
    start();
    loadData();
    GraphWindow* first = logger();
    ASSERT_NE(first, nullptr);
    QMdiSubWindow* frame = loggerFrame();

    // A click on row 3 of the list (set 2: 80.0 80.0 50.0), then on row 2 (set 1, no samples).
    clickRow(2);
    EXPECT_EQ(logger()->graphView->points(), 3);
    EXPECT_FLOAT_EQ(logger()->graphView->yValue(0, 2), 50.0f);
    EXPECT_EQ(logger()->pointCount->text(), "3");
    clickRow(1);
    EXPECT_EQ(logger()->graphView->points(), 0);
    EXPECT_EQ(logger()->pointCount->text(), "0");
    clickRow(2);
    EXPECT_EQ(logger()->graphView->points(), 3);
    // The one empty row of a list without sets shows nothing.
    fillDataSetList(*logger(), DataSetTable(), locale);
    EXPECT_EQ(logger()->dataSetTable->model()->rowCount(), 1);
    EXPECT_EQ(row(0), QStringList(8, QString()));
    clickRow(0);
    EXPECT_EQ(logger()->graphView->points(), 3);

    // Closing only minimises; the next Load Data brings the same window back with set 0.
    frame->showMinimized();
    ASSERT_TRUE(frame->isMinimized());
    loadData();
    EXPECT_EQ(logger(), first);
    EXPECT_FALSE(frame->isMinimized());
    EXPECT_EQ(logger()->graphView->points(), 5);
    int dataLoggers = 0;
    for (QMdiSubWindow* sub : window->workspace()->subWindowList())
        dataLoggers += sub->windowTitle() == "DataLogger";
    EXPECT_EQ(dataLoggers, 1);
}

TEST_F(LoadDataTest, TheToolButtonLoadsToo) {
    start();
    window->connection().startPolling();
    test::button(*window, "dataLoggerButton")->click();
    ASSERT_NE(logger(), nullptr);
    EXPECT_EQ(window->dataSetTable().setCount(), 4);
    EXPECT_TRUE(window->connection().pollTimerActive());
}

TEST_F(LoadDataTest, WithoutAConnectionOnlyTheMessage) {
    start(goldenImage(), false);
    ASSERT_FALSE(window->connected());
    window->connection().startPolling();
    spy->calls.clear();
    test::action(*window, "loadDataAction")->trigger();
    EXPECT_EQ(prompts.messages(), QStringList{LoggerText::NoConnection});
    EXPECT_TRUE(spy->calls.empty());
    EXPECT_EQ(logger(), nullptr);
    EXPECT_TRUE(window->connection().pollTimerActive());
}

TEST_F(LoadDataTest, ARecordingMeterIsNeitherLoadedNorErased) {
    start();
    ASSERT_TRUE(link->sendKey(Cmd::KeyRec));
    window->pollTick();  // the status reports REC
    ASSERT_TRUE(window->connection().meterRecording());
    window->connection().startPolling();
    spy->calls.clear();
    test::action(*window, "loadDataAction")->trigger();
    test::action(*window, "eraseMemoryAction")->trigger();
    EXPECT_EQ(prompts.messages(),
              (QStringList{LoggerText::RecordingLoad, LoggerText::RecordingErase}));
    EXPECT_TRUE(prompts.questions().isEmpty());
    EXPECT_TRUE(spy->calls.empty());
    EXPECT_EQ(logger(), nullptr);
    EXPECT_TRUE(window->connection().pollTimerActive());
}

// A load that fails after a good one: the error message with the code, the resynchronisation,
// and the previous sets, list and temporary collection file stay.
struct FailedLoad {
    const char* name;
    std::function<void(SimulatedMeter&)> breakMeter;
    int32_t code;
};

void PrintTo(const FailedLoad& c, std::ostream* os) { *os << c.name; }

class FailedLoadTest : public LoadDataTest, public ::testing::WithParamInterface<FailedLoad> {};

TEST_P(FailedLoadTest, ReportsTheCodeAndKeepsThePreviousSets) {
    start();
    loadData();
    ASSERT_TRUE(prompts.shown.empty());
    const QStringList firstRow = row(0);
    const QByteArray temp = tempBytes();
    ASSERT_EQ(temp.size(), 352);
    window->connection().loggerDataUnsaved() = false;  // as if saved
    clickRow(2);                          // set 2 on the graph

    GetParam().breakMeter(*meter);
    loadData();
    EXPECT_EQ(prompts.messages(),
              QStringList{LoggerText::ErrorPrefix + QString::number(GetParam().code)});
    EXPECT_TRUE(endsWithResync());
    EXPECT_EQ(spy->framesWith('Q'), 1);
    EXPECT_FALSE(window->connection().loggerDataUnsaved());
    EXPECT_EQ(window->dataSetTable().setCount(), 4);
    EXPECT_EQ(logger()->dataSetTable->model()->rowCount(), 4);
    EXPECT_EQ(row(0), firstRow);
    EXPECT_EQ(logger()->graphView->points(), 3);
    EXPECT_EQ(tempBytes(), temp);
}

QByteArray goldenWithSetCount(int sets) {
    QByteArray image = goldenImage();
    image[9] = char(sets >> 8);
    image[10] = char(sets);
    return image;
}

INSTANTIATE_TEST_SUITE_P(
    Failures, FailedLoadTest,
    ::testing::Values(
        // The meter stopped answering: fifteen failed presence checks, the last one's code.
        FailedLoad{"NoAnswer", [](SimulatedMeter& m) { m.unplug(); }, 1001},
        FailedLoad{"InfoNotFramed",
                   [](SimulatedMeter& m) { m.options().wrongFraming = Fault{0, -1, 'P'}; }, 1006},
        // A block read fails in the first half of the transfer (64 of 352 bytes), then late.
        FailedLoad{"ShortTransfer",
                   [](SimulatedMeter& m) { m.options().readFailure = Fault{1, 1, 'p'}; }, 126},
        FailedLoad{"BlockReadFailed",
                   [](SimulatedMeter& m) { m.options().readFailure = Fault{7, 1, 'p'}; }, 124},
        FailedLoad{"BlockRequestFailed",
                   [](SimulatedMeter& m) { m.options().writeFailure = Fault{8, 1, 'p'}; }, 123},
        FailedLoad{"CloseRequestFailed",
                   [](SimulatedMeter& m) { m.options().writeFailure = Fault{0, 1, 'q'}; }, 125}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LoadDataTest, TooManySetsIsAnErrorAndChangesNothing) {
    start(goldenWithSetCount(4001));
    loadData();
    EXPECT_EQ(prompts.messages(), QStringList{LoggerText::ErrorPrefix + "32"});
    EXPECT_TRUE(endsWithResync());
    EXPECT_EQ(window->dataSetTable().setCount(), 0);
    EXPECT_FALSE(QFile::exists(tempFile()));
    EXPECT_FALSE(window->connection().loggerDataUnsaved());
}

TEST_F(LoadDataTest, AnEmptyLoggerHasItsOwnMessageAndNoFile) {
    start(QByteArray());  // a meter that has recorded nothing
    loadData();
    EXPECT_EQ(prompts.messages(), QStringList{LoggerText::NoData});
    EXPECT_EQ(spy->framesWith('Q'), 0);
    EXPECT_FALSE(QFile::exists(tempFile()));
    EXPECT_FALSE(window->connection().loggerDataUnsaved());
    // The new window keeps its one empty row and its empty graph; a click on the row does nothing.
    ASSERT_NE(logger(), nullptr);
    EXPECT_EQ(logger()->dataSetTable->model()->rowCount(), 1);
    clickRow(0);
    EXPECT_EQ(logger()->graphView->points(), 500);
    EXPECT_EQ(window->dataSetTable().setCount(), 0);
}

TEST_F(LoadDataTest, ATempFolderThatCannotBeMadeEndsTheLoadWithItsPath) {
    start();
    // A file where the "temp" folder should be.
    QDir().mkpath(baseFolder());
    QFile blocker(baseFolder() + "temp");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    loadData();
    EXPECT_EQ(prompts.messages(), QStringList{baseFolder() + "temp"});
    EXPECT_EQ(spy->framesWith('Q'), 0);
    EXPECT_FALSE(window->connection().loggerDataUnsaved());
    // The new sets are installed and listed, but set 0 is not shown.
    EXPECT_EQ(window->dataSetTable().setCount(), 4);
    EXPECT_EQ(logger()->dataSetTable->model()->rowCount(), 4);
    EXPECT_EQ(logger()->graphView->points(), 500);
}

TEST_F(LoadDataTest, AnUnwritableTempFileLeavesNoStaleCopyToSave) {
    start();
    // An earlier load's file, then a file-size limit below the image's 352 bytes for this load.
    QDir().mkpath(baseFolder() + "temp");
    QFile stale(tempFile());
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write(QByteArray(64, 'x'));
    stale.close();
    {
        const test::FileSizeLimit limit(100);
        ASSERT_TRUE(limit.ok());
        loadData();
    }

    // Silent, set 0 shown, and no file from another load left for a save to copy.
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(logger()->graphView->points(), 5);
    EXPECT_TRUE(window->connection().loggerDataUnsaved());
    EXPECT_FALSE(QFile::exists(tempFile())) << tempBytes().size();  // not even a cut-short one
}

TEST_F(LoadDataTest, LoggerCommandsAreRefusedWhileALoadRuns) {
    start();
    // The progress window lets events run after each block; a second Load Data or an erase
    // arriving then is refused (without the erase question) and the transfer goes on.
    bool triggered = false;
    spy->onWrite = [&](const CommandFrame& f) {
        if (f[1] == 'p' && !triggered) {
            triggered = true;
            test::action(*window, "loadDataAction")->trigger();
            test::action(*window, "eraseMemoryAction")->trigger();
        }
    };
    prompts.defaultConfirm = Prompts::Answer::Yes;
    loadData();
    spy->onWrite = nullptr;
    EXPECT_TRUE(triggered);
    const QString busy = MeterConnection::busyMessage(QStringLiteral("Load Data"));
    EXPECT_EQ(prompts.messages(), (QStringList{busy, busy}));
    EXPECT_TRUE(prompts.questions().isEmpty());
    EXPECT_EQ(spy->framesWith('P'), 1);
    EXPECT_EQ(spy->framesWith('e'), 0);
    EXPECT_EQ(window->dataSetTable().setCount(), 4);
    EXPECT_EQ(meter->setCount(), 4);
}

// Erase Memory: the question, then up to fifteen erase exchanges with the echo check.
struct EraseCase {
    const char* name;
    Prompts::Answer answer;
    std::function<void(SimulatedMeter&)> breakMeter;
    QStringList messages;
    int eraseFrames;
    bool erased;
};

void PrintTo(const EraseCase& c, std::ostream* os) { *os << c.name; }

class EraseTest : public LoadDataTest, public ::testing::WithParamInterface<EraseCase> {};

TEST_P(EraseTest, AsksThenErasesAndReports) {
    const EraseCase& c = GetParam();
    start();
    loadData();
    ASSERT_EQ(meter->setCount(), 4);
    c.breakMeter(*meter);
    window->connection().startPolling();
    prompts.clear();
    spy->frames.clear();
    prompts.confirmAnswers = {c.answer};
    int hourglassFrames = 0;
    spy->onWrite = [&](const CommandFrame& f) {
        hourglassFrames += f[1] == 'e' && QApplication::overrideCursor() &&
                           QApplication::overrideCursor()->shape() == Qt::WaitCursor;
    };
    test::action(*window, "eraseMemoryAction")->trigger();
    spy->onWrite = nullptr;
    EXPECT_EQ(hourglassFrames, c.eraseFrames);

    EXPECT_EQ(prompts.questions(), QStringList{LoggerText::EraseQuestion});
    EXPECT_EQ(prompts.messages(), c.messages);
    EXPECT_EQ(spy->framesWith('e'), c.eraseFrames);
    if (c.answer != Prompts::Answer::Yes) {
        EXPECT_TRUE(spy->frames.empty());
    }
    for (const CommandFrame& f : spy->frames) {
        if (f[1] == 'e') {
            EXPECT_EQ(f, MeterLink::kEraseFrame);
        }
    }
    EXPECT_EQ(meter->setCount(), c.erased ? 0 : 4);
    // After an erase the DataLogger window lists no sets and shows no points; otherwise the
    // loaded sets stay. The poll runs again in every case.
    // (A meter that erased but answered wrongly is not known to be empty: its sets stay.)
    const bool reported = c.messages == QStringList{LoggerText::EraseDone};
    EXPECT_EQ(window->dataSetTable().setCount(), reported ? 0 : 4);
    if (reported) {
        EXPECT_EQ(logger()->graphView->points(), 0);
        EXPECT_TRUE(logger()->cursorALevel->text().isEmpty());
        EXPECT_TRUE(logger()->betweenCursorsAverage->text().isEmpty());
    }
    EXPECT_EQ(logger()->dataSetList().text(0, 1).isEmpty(), reported);
    EXPECT_TRUE(window->connection().pollTimerActive());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Erase, EraseTest,
    ::testing::Values(
        EraseCase{"Erased",
                  Prompts::Answer::Yes,
                  [](SimulatedMeter&) {},
                  {LoggerText::EraseDone},
                  1,
                  true},
        EraseCase{"No", Prompts::Answer::No, [](SimulatedMeter&) {}, {}, 0, false},
        EraseCase{"Cancelled", Prompts::Answer::Cancel, [](SimulatedMeter&) {}, {}, 0, false},
        // Every echo differs in one byte: fifteen attempts (each of which erases), then the
        // message. The meter did erase; the program cannot know.
        EraseCase{"WrongEcho",
                  Prompts::Answer::Yes,
                  [](SimulatedMeter& m) {
                      m.options().wrongEcho = Fault{0, -1, 'e'};
                  },
                  {"data error"},
                  15,
                  true},
        EraseCase{"ReadFails",
                  Prompts::Answer::Yes,
                  [](SimulatedMeter& m) {
                      m.options().readFailure = Fault{0, -1, 'e'};
                  },
                  {"fail to read"},
                  15,
                  true},
        // No meter: the presence check fails every time, and the user is told so.
        EraseCase{"NoAnswer",
                  Prompts::Answer::Yes,
                  [](SimulatedMeter& m) { m.unplug(); },
                  {SetupText::NoAnswer},
                  0,
                  false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProgressRangeDialogTest, StartsHiddenAndSetsItselfUpForADownload) {
    ProgressRangeDialog scope;
    EXPECT_EQ(scope.windowTitle(), "Print Range");
    EXPECT_TRUE(scope.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(scope.rangeAllRadio->isChecked());
    EXPECT_EQ(scope.progressTextLabel->text(), "bytes received");
    EXPECT_EQ(scope.totalBytesTextLabel->text(), "total bytes");
    for (QWidget* w : std::initializer_list<QWidget*>{
             scope.bytesReceivedLabel, scope.totalBytesLabel, scope.progressTextLabel,
             scope.totalBytesTextLabel, scope.progressBar, scope.rangeGroup, scope.okButton,
             scope.cancelButton})
        EXPECT_FALSE(w->isVisibleTo(&scope)) << w->objectName().toStdString();

    // A range user left its controls shown and its own text; a download hides and resets them.
    scope.rangeGroup->show();
    scope.okButton->show();
    scope.cancelButton->show();
    scope.progressTextLabel->setText("records written");
    scope.showDownload(1024);
    EXPECT_TRUE(scope.isVisible());
    EXPECT_FALSE(scope.isModal());
    EXPECT_EQ(scope.windowTitle(), "Data Retriving Progress");
    EXPECT_FALSE(scope.rangeGroup->isVisible());
    EXPECT_FALSE(scope.okButton->isVisible());
    EXPECT_FALSE(scope.cancelButton->isVisible());
    EXPECT_TRUE(scope.progressBar->isVisible());
    EXPECT_EQ(scope.progressTextLabel->text(), "bytes received");
    EXPECT_EQ(scope.bytesReceivedLabel->text(), "0");
    EXPECT_EQ(scope.totalBytesLabel->text(), "1024");
    EXPECT_EQ(scope.progressBar->maximum(), 1024);
    EXPECT_EQ(scope.progressBar->value(), 0);
    scope.received(512);
    EXPECT_EQ(scope.bytesReceivedLabel->text(), "512");
    EXPECT_EQ(scope.progressBar->value(), 512);
    scope.finish();
    EXPECT_FALSE(scope.isVisible());
}

}  // namespace

TEST_F(LoadDataTest, APanelKeyDuringTheDownloadIsRefusedAndTheDownloadCompletes) {
    start();
    // Pressed while the progress window lets events run between blocks: before, the key's own
    // exchange closed the device under the transfer and the load ended with error 126.
    QWidget* key = window->panel()->findChild<QWidget*>(QStringLiteral("frequencyWeightingKey"));
    ASSERT_NE(key, nullptr);
    int pressed = 0;
    spy->onWrite = [&](const CommandFrame& f) {
        if (f[1] == 'p' && pressed < 2) {
            ++pressed;
            QTest::mouseClick(key, Qt::LeftButton);
        }
    };
    loadData();
    spy->onWrite = nullptr;
    EXPECT_EQ(pressed, 2);
    EXPECT_EQ(spy->framesWith('C'), 0);
    EXPECT_TRUE(prompts.messages().isEmpty());  // the refusal is a notice at the key
    EXPECT_EQ(window->dataSetTable().setCount(), 4);
    EXPECT_TRUE(window->connection().loggerDataUnsaved());
    // Once the load is over, the key works again.
    QTest::mouseClick(key, Qt::LeftButton);
    EXPECT_EQ(spy->framesWith('C'), 1);
}
