#include <QAccessible>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QToolButton>
#include <algorithm>
#include <functional>

#include "files/ui/FileCommands.h"
#include "formats/TableText.h"
#include "leq/LeqFixture.h"
#include "leq/LeqSession.h"
#include "leq/ui/LeqCommands.h"
#include "logger/ui/ProgressRangeDialog.h"
#include "realtime/ui/RealTimeRecorder.h"
#include "realtime/ui/RealTimeSetupDialog.h"
#include "support/RecordingDeviceLibrary.h"
#include "levels/LevelFigures.h"

using namespace kl516;
using test::LeqFixture;

namespace {

TEST_F(LeqFixture, WindowHasTheControlsOfTheMeasurement) {
    start();
    openLeq();
    LeqWindow& w = *leqWindow();
    EXPECT_EQ(roleOf(&w), WindowRole::Leq);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("LEQ"));
    const char* titles[] = {"No", "Date", "TIME", "SPL", "Leq"};
    const int widths[] = {65, 75, 100, 75, 75};
    for (int c = 0; c < 5; ++c) {
        EXPECT_EQ(w.table().headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(),
                  QLatin1String(titles[c]));
        // The date column may be wider: it fits the user's short date.
        if (c == 1) {
            EXPECT_GE(w.leqTable->columnWidth(c), widths[c]);
        } else {
            EXPECT_EQ(w.leqTable->columnWidth(c), widths[c]);
        }
    }
    const QString date = w.table().locale().toString(QDate(2088, 9, 28), QLocale::ShortFormat);
    EXPECT_GT(w.leqTable->columnWidth(1), w.leqTable->fontMetrics().horizontalAdvance(date));
    ASSERT_EQ(w.durationBox->count(), 10);
    EXPECT_EQ(w.durationBox->currentText(), QStringLiteral("10 sec"));
    EXPECT_EQ(w.durationBox->itemText(9), QStringLiteral("Manual"));
    // A screen reader hears the box's own label before the group's title.
    const auto labels =
        QAccessible::queryAccessibleInterface(w.durationBox)->relations(QAccessible::Label);
    ASSERT_FALSE(labels.isEmpty());
    EXPECT_EQ(labels.first().first->text(QAccessible::Name), QStringLiteral("Duration"));
    EXPECT_FALSE(w.samplingRate->isVisible());
    EXPECT_TRUE(w.timeLeft->isVisible());
    // At most one window: LEQ again brings the same one back.
    test::action(*window, "leqAction")->trigger();
    EXPECT_EQ(window->findChildren<LeqWindow*>().size(), 1);
}

TEST_F(LeqFixture, TenSecondRunFillsTenRowsThenSavesAndGraphs) {
    start();
    openLeq();
    ASSERT_TRUE(pollRunning());
    startRun(0);
    // The run holds the link: no poll, no panel key, no second borrower.
    EXPECT_EQ(window->statusText(1), QStringLiteral("LEQ running"));
    EXPECT_FALSE(pollRunning());
    EXPECT_TRUE(window->connection().linkLent());
    EXPECT_EQ(window->connection().sendKey('B').result, MeterConnection::KeyResult::Busy);
    EXPECT_FALSE(test::action(*window, "runAction")->isEnabled());

    const int ticks = tickUntilIdle(2000);
    EXPECT_GT(ticks, 10 * 20);
    EXPECT_LT(ticks, 12 * 25);
    LeqWindow& w = *leqWindow();
    ASSERT_EQ(w.table().rowCount(), 10);
    EXPECT_EQ(w.timeLeft->text(), QStringLiteral("0:0:0"));
    EXPECT_FALSE(w.currentLeq->text().isEmpty());
    EXPECT_FALSE(w.summaryLmax->text().isEmpty());
    EXPECT_TRUE(pollRunning());
    EXPECT_FALSE(window->connection().linkLent());
    EXPECT_EQ(window->statusText(1), QStringLiteral("On Connection"));
    // Rows are numbered and a second apart on the meter's clock.
    const auto& rows = w.table().rows();
    for (size_t i = 1; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].number, int(i) + 1);
        EXPECT_NEAR((rows[i].stamp - rows[i - 1].stamp) * 86400, 1.0, 1e-3);
        EXPECT_TRUE(rows[i].hasLevel);
    }
    // Every reading went to the log, created with its folder, where the program's paths (and
    // so `kl516-cli paths`) say it is.
    EXPECT_EQ(leq().logPath(), QDir::cleanPath(dir.filePath(QStringLiteral("user"))) +
                                   QStringLiteral("/temp/LEQ.txt"));
    QFile log(logPath());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = log.readAll().split('\n');
    EXPECT_EQ(lines.size() - 1, ticks);
    EXPECT_TRUE(lines.front().endsWith("\r"));
    EXPECT_TRUE(lines.front().contains('\t'));

    // Save: cancelled writes nothing; a name writes ten tab-terminated lines.
    const QString saved = dir.filePath(QStringLiteral("leq.txt"));
    prompts.fileNames = {QString(), saved};
    w.saveButton->click();
    EXPECT_FALSE(QFile::exists(saved));
    w.saveButton->click();
    std::vector<QStringList> back;
    ASSERT_TRUE(readTableTextFile(saved, back));
    ASSERT_EQ(back.size(), 10u);
    EXPECT_EQ(back[0], w.table().cells(0));
    EXPECT_EQ(tableTextTitles(back)[3], QStringLiteral("Leq"));
    EXPECT_EQ(prompts.shown.back().filter, QStringLiteral("(*.txt);;CSV for spreadsheets (*.csv)"));
    // The spreadsheet CSV: a header, then each second's time with its offset and the levels
    // with a point.
    const QString sheet = dir.filePath(QStringLiteral("leq.csv"));
    prompts.fileNames = {sheet};
    prompts.chosenFilters = {QStringLiteral("CSV for spreadsheets (*.csv)")};
    w.saveButton->click();
    QFile csv(sheet);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> csvLines = csv.readAll().split('\n');
    ASSERT_EQ(csvLines.size(), 12);  // the header, ten rows, nothing after the last line end
    EXPECT_EQ(csvLines[0], "time,level_dB,leq_dB\r");
    const QList<QByteArray> first = csvLines[1].trimmed().split(',');
    ASSERT_EQ(first.size(), 3);
    const LeqRow& row = w.table().rows().front();
    EXPECT_EQ(QDateTime::fromString(QString::fromLatin1(first[0]), Qt::ISODateWithMs),
              fromSerialDateTime(row.stamp));
    ASSERT_TRUE(row.hasLevel);
    EXPECT_NEAR(first[1].toDouble(), row.spl, 0.05);

    // Graph: two series, one point per row.
    w.graphButton->click();
    ASSERT_EQ(leq().graphs().size(), 1);
    GraphWindow& g = *leq().graphs().front();
    EXPECT_EQ(g.caption(), QStringLiteral("Leq"));
    EXPECT_EQ(g.role(), WindowRole::OpenedFile);
    EXPECT_FALSE(g.runningLeqButton->isEnabled());
    const GraphState& s = std::as_const(*g.graphView).state();
    EXPECT_EQ(s.subsetLabels, (QStringList{"SPL", "Leq"}));
    // Both series show on the black graph: yellow SPL, red Leq.
    EXPECT_EQ(s.graphBackColor, makeArgb(255, 0, 0, 0));
    EXPECT_EQ(s.subsetColors[0], makeArgb(255, 255, 255, 0));
    EXPECT_EQ(s.subsetColors[1], makeArgb(255, 255, 0, 0));
    ASSERT_EQ(g.graphView->points(), 10);
    EXPECT_EQ(g.graphView->xValue(0, 9), rows[9].stamp);
    EXPECT_FLOAT_EQ(g.graphView->yValue(1, 9), rows[9].leq);
    EXPECT_EQ(g.samplingRateBox->currentText(), QStringLiteral("1"));
}

TEST_F(LeqFixture, GraphOfOneRowAndOfNoRow) {
    start();
    openLeq();
    leqWindow()->graphButton->click();
    EXPECT_EQ(prompts.messages(), QStringList{LeqText::NoData});
    EXPECT_TRUE(leq().graphs().isEmpty());
    LeqRow row{1, toSerialDateTime(clock.now()), true, 61.2f, 61.2f, 20};
    leqWindow()->table().append(row);
    leqWindow()->graphButton->click();
    ASSERT_EQ(leq().graphs().size(), 1);
    EXPECT_EQ(leq().graphs().front()->graphView->points(), 1);
    EXPECT_FLOAT_EQ(leq().graphs().front()->graphView->yValue(0, 0), 61.2f);

    // A second without a reading is a gap at its own time, in both series.
    leqWindow()->table().append({2, row.stamp + kOneSecond, false, 0, 0, 0});
    leqWindow()->table().append({3, row.stamp + 2 * kOneSecond, true, 63.0f, 62.2f, 20});
    leqWindow()->graphButton->click();
    ASSERT_EQ(leq().graphs().size(), 2);
    const GraphView& view = *leq().graphs().back()->graphView;
    ASSERT_EQ(view.points(), 3);
    for (int series : {0, 1}) {
        SCOPED_TRACE(series == 0 ? "SPL" : "Leq");
        EXPECT_EQ(view.xValue(series, 1), row.stamp + kOneSecond);
        EXPECT_FALSE(hasLevel(view.yValue(series, 1), view.state().nullDataValueY));
        EXPECT_EQ(view.xValue(series, 2), row.stamp + 2 * kOneSecond);
    }
    EXPECT_FLOAT_EQ(view.yValue(1, 2), 62.2f);
}

TEST_F(LeqFixture, ClosingTheWindowDuringARunRestartsThePoll) {
    start();
    openLeq();
    startRun(9);  // Manual
    tickUntilIdle(60);
    leqWindow()->table().append({99, toSerialDateTime(clock.now()), true, 60, 60, 1});
    leqWindow()->graphButton->click();
    QPointer<GraphWindow> graph = leq().graphs().front().data();
    ASSERT_FALSE(pollRunning());
    auto* sub = qobject_cast<QMdiSubWindow*>(leqWindow()->parentWidget());
    ASSERT_NE(sub, nullptr);
    prompts.confirmAnswers = {Prompts::Answer::No};
    sub->close();
    EXPECT_EQ(prompts.questions(), QStringList{LeqText::SaveQuestion});
    EXPECT_EQ(leqWindow(), nullptr);
    EXPECT_FALSE(leq().timer()->isActive());
    EXPECT_TRUE(pollRunning());
    EXPECT_FALSE(window->connection().linkLent());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(graph.isNull());  // the graph went with its LEQ window
    // The poll talks to the meter again.
    const int before = window->connection().tickCount();
    window->pollTick();
    EXPECT_EQ(window->connection().tickCount(), before + 1);
    EXPECT_TRUE(window->connected());
}

TEST_F(LeqFixture, StopKeepsTheTableAndGivesTheLinkBack) {
    start();
    openLeq();
    startRun(1);
    tickUntilIdle(25 * 4);
    const int rows = leqWindow()->table().rowCount();
    EXPECT_GE(rows, 3);
    leqWindow()->stopRunButton->click();
    EXPECT_FALSE(leq().timer()->isActive());
    EXPECT_TRUE(pollRunning());
    EXPECT_EQ(leqWindow()->table().rowCount(), rows);
    EXPECT_FALSE(leq().session()->logOpen());
    // A new Start clears the table (once its question lets it go).
    prompts.confirmAnswers = {Prompts::Answer::No};
    startRun(0);
    EXPECT_EQ(prompts.questions(), QStringList{LeqText::SaveQuestion});
    EXPECT_EQ(leqWindow()->table().rowCount(), 0);
    leqWindow()->stopRunButton->click();
}

// The summary follows the table row by row: its Lmax and Lmin are those of the rows so far.
TEST_F(LeqFixture, TheSummaryFollowsEveryRow) {
    start();
    openLeq();
    startRun(1);  // a minute
    LeqWindow& w = *leqWindow();
    int checked = 0;
    float highest = -1, lowest = 1e9f;
    for (int ticks = 0; ticks < 25 * 25 && leq().timer()->isActive(); ++ticks) {
        const int before = w.table().rowCount();
        clock.advance(LeqCommands::kTickMs);
        leq().runTick();
        if (w.table().rowCount() == before) continue;
        const LeqRow& row = w.table().rows().back();
        if (!row.hasLevel) continue;
        highest = std::max(highest, row.spl);
        lowest = std::min(lowest, row.spl);
        ASSERT_EQ(w.summaryLmax->text(), levelText(highest, locale)) << "row " << row.number;
        ASSERT_EQ(w.summaryLmin->text(), levelText(lowest, locale)) << "row " << row.number;
        ++checked;
    }
    EXPECT_GE(checked, 20);
    EXPECT_LT(lowest, highest);  // the simulated level moves, so the extremes did change
    leqWindow()->stopRunButton->click();
}

// A table with rows not yet saved asks "Save LEQ Data ?" before it goes, whether the window is
// closed, the program left or a new run started, during a run or after it. Yes saves the whole
// table and goes on only when the file was written; No goes on; Cancel keeps everything.
TEST_F(LeqFixture, AnUnsavedTableIsNotThrownAwayWithoutTheQuestion) {
    using Answer = Prompts::Answer;
    enum class Way { CloseWindow, Exit, Start };
    enum class Save { None, Cancelled, Unwritable, Written };
    // Saved before: with the window's Save button or File > Save of all rows nothing is left
    // to ask; File > Save of some rows leaves the table unsaved.
    enum class First { Nothing, SaveButton, FileSaveAll, FileSaveSomeRows };
    const struct Case {
        const char* name;
        Way way;
        bool duringRun;
        First savedFirst;
        Answer answer;
        Save save;
        bool goesOn;
    } cases[] = {
        {"close, cancel", Way::CloseWindow, false, First::Nothing, Answer::Cancel, Save::None,
         false},
        {"close, no", Way::CloseWindow, false, First::Nothing, Answer::No, Save::None, true},
        {"close, save cancelled", Way::CloseWindow, false, First::Nothing, Answer::Yes,
         Save::Cancelled, false},
        {"close, save failed", Way::CloseWindow, false, First::Nothing, Answer::Yes,
         Save::Unwritable, false},
        {"close in a run, saved", Way::CloseWindow, true, First::Nothing, Answer::Yes,
         Save::Written, true},
        {"close after Save", Way::CloseWindow, false, First::SaveButton, Answer::Cancel, Save::None,
         true},
        {"close after File > Save", Way::CloseWindow, false, First::FileSaveAll, Answer::Cancel,
         Save::None, true},
        {"close after File > Save of rows", Way::CloseWindow, false, First::FileSaveSomeRows,
         Answer::Cancel, Save::None, false},
        {"exit, saved", Way::Exit, false, First::Nothing, Answer::Yes, Save::Written, true},
        {"exit in a run, cancel", Way::Exit, true, First::Nothing, Answer::Cancel, Save::None,
         false},
        {"exit in a run, no", Way::Exit, true, First::Nothing, Answer::No, Save::None, true},
        {"start, no", Way::Start, false, First::Nothing, Answer::No, Save::None, true},
        {"start in a run, cancel", Way::Start, true, First::Nothing, Answer::Cancel, Save::None,
         false},
        {"start in a run, save cancelled", Way::Start, true, First::Nothing, Answer::Yes,
         Save::Cancelled, false},
        {"start after Save", Way::Start, false, First::SaveButton, Answer::Cancel, Save::None,
         true},
        {"start after File > Save", Way::Start, false, First::FileSaveAll, Answer::Cancel,
         Save::None, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts.clear();
        start();
        openLeq();
        startRun(c.duringRun ? 9 : 0);  // Manual, or ten seconds run to their end
        tickUntilIdle(c.duringRun ? 25 * 4 : 2000);
        const int rows = leqWindow()->table().rowCount();
        ASSERT_GE(rows, 3);
        ASSERT_EQ(leq().running(), c.duringRun);
        const QString saved = dir.filePath(QStringLiteral("saved.txt"));
        QFile::remove(saved);
        if (c.savedFirst == First::SaveButton) {
            prompts.fileNames = {dir.filePath(QStringLiteral("first.txt"))};
            leqWindow()->saveButton->click();
            ASSERT_FALSE(leq().tableUnsaved());
        } else if (c.savedFirst != First::Nothing) {
            const bool all = c.savedFirst == First::FileSaveAll;
            window->fileCommands().execRangeDialog = [all](ProgressRangeDialog& d) {
                (all ? d.rangeAllRadio : d.rangeSelectRadio)->setChecked(true);
                d.rangeFrom->setText(QStringLiteral("1"));
                d.rangeTo->setText(QStringLiteral("2"));
                return true;
            };
            const QString first = dir.filePath(QStringLiteral("first.txt"));
            prompts.fileNames = {first};
            window->activate(leqWindow());
            test::action(*window, "saveAction")->trigger();
            std::vector<QStringList> back;
            ASSERT_TRUE(readTableTextFile(first, back));
            ASSERT_EQ(int(back.size()), all ? rows : 2);
            ASSERT_EQ(leq().tableUnsaved(), !all);
        }
        prompts.clear();
        prompts.confirmAnswers = {c.answer};
        if (c.save == Save::Cancelled) prompts.fileNames = {QString()};
        if (c.save == Save::Unwritable)
            prompts.fileNames = {dir.filePath(QStringLiteral("no/such/folder/leq.txt"))};
        if (c.save == Save::Written) prompts.fileNames = {saved};

        switch (c.way) {
            case Way::CloseWindow:
                qobject_cast<QMdiSubWindow*>(leqWindow()->parentWidget())->close();
                break;
            case Way::Exit:
                test::action(*window, "exitAction")->trigger();
                break;
            case Way::Start:
                startRun(0);
                break;
        }

        const bool savedBefore =
            c.savedFirst == First::SaveButton || c.savedFirst == First::FileSaveAll;
        EXPECT_EQ(prompts.questions(),
                  savedBefore ? QStringList{} : QStringList{LeqText::SaveQuestion});
        EXPECT_EQ(prompts.messages().size(), c.save == Save::Unwritable ? 1 : 0);
        if (c.save == Save::Written) {
            std::vector<QStringList> back;
            ASSERT_TRUE(readTableTextFile(saved, back));
            EXPECT_EQ(int(back.size()), rows);
        }
        const bool windowGone = leqWindow() == nullptr;
        const bool programLeft = !window->isVisible();
        const bool tableReplaced = !windowGone && leqWindow()->table().rowCount() == 0;
        switch (c.way) {
            case Way::CloseWindow:
                EXPECT_EQ(windowGone, c.goesOn);
                break;
            case Way::Exit:
                EXPECT_EQ(programLeft, c.goesOn);
                break;
            case Way::Start:
                EXPECT_EQ(tableReplaced, c.goesOn);
                break;
        }
        if (!c.goesOn) {
            // Everything as it was: the rows, and a run that was going goes on.
            ASSERT_NE(leqWindow(), nullptr);
            EXPECT_EQ(leqWindow()->table().rowCount(), rows);
            EXPECT_EQ(leq().running(), c.duringRun);
            EXPECT_TRUE(leq().tableUnsaved());
        } else if (c.way != Way::Start) {
            // The run, if any, ended with the window or the program and gave the link back.
            EXPECT_FALSE(leq().running());
            EXPECT_FALSE(leq().timer()->isActive());
            EXPECT_FALSE(window->connection().linkLent());
        }
        window.reset();
    }
}

// A real-time run and an LEQ run both live on the meter link: neither starts while the other
// goes, and each refusal says what to stop first.
TEST_F(LeqFixture, RealTimeAndLeqRunsExcludeEachOther) {
    start();
    window->realTimeRecorder().execSetupDialog = [](RealTimeSetupDialog& d) {
        d.accept();
        return d.result() == QDialog::Accepted;
    };
    window->realTimeRecorder().startRun();
    ASSERT_TRUE(window->runActive());
    const int samples = window->realTimeRecorder().sampler().sampleCount();

    openLeq();
    startRun(0);
    EXPECT_EQ(prompts.messages(), QStringList{LeqText::RealTimeRunning});
    EXPECT_FALSE(leq().running());
    EXPECT_FALSE(leq().timer()->isActive());
    EXPECT_FALSE(window->connection().linkLent());
    // The real-time run goes on sampling the poll.
    for (int i = 0; i < 4; ++i) {
        clock.advance(window->connection().pollIntervalMs());
        window->pollTick();
    }
    EXPECT_TRUE(window->runActive());
    EXPECT_GT(window->realTimeRecorder().sampler().sampleCount(), samples);

    // The other way round: Run during an LEQ run is refused with the busy message.
    window->realTimeRecorder().stopRun();
    ASSERT_FALSE(window->runActive());
    prompts.clear();
    startRun(0);
    ASSERT_TRUE(leq().running());
    window->realTimeRecorder().startRun();
    EXPECT_FALSE(window->runActive());
    EXPECT_EQ(prompts.messages(), QStringList{MeterConnection::busyMessage(QStringLiteral("LEQ"))});
    leqWindow()->stopRunButton->click();
}

TEST_F(LeqFixture, FiftyOneFailuresEndTheRunWithTheMessage) {
    options.readFailure = {0, -1, 'A'};
    start();
    openLeq();
    startRun(8);
    const int ticks = tickUntilIdle(200);
    EXPECT_EQ(ticks, 51);
    EXPECT_EQ(prompts.messages(), QStringList{LeqText::Failed});
    EXPECT_TRUE(pollRunning());
    EXPECT_FALSE(window->connection().linkLent());
    EXPECT_EQ(window->statusText(1), QStringLiteral("On Connection"));
}

// The run holds the link, so the status poll is paused: the panel is shown the run's own status
// frames, about as often as the poll would, and its clock goes on.
TEST_F(LeqFixture, ThePanelKeepsShowingTheMeterDuringARun) {
    start();
    clock.advance(500);
    window->pollTick();
    auto* seconds = window->panel()->findChild<QLabel*>(QStringLiteral("secondUnitsDigit"));
    ASSERT_NE(seconds, nullptr);
    int decoded = 0;
    QObject::connect(&window->connection(), &MeterConnection::statusDecoded,
                     [&](const PanelRefresh&, double) { ++decoded; });
    openLeq();
    startRun(9);  // Manual
    const QImage before = seconds->pixmap().toImage();
    const int ticks = 2 * 25;  // two seconds
    for (int i = 0; i < ticks; ++i) {
        clock.advance(LeqCommands::kTickMs);
        leq().runTick();
    }
    ASSERT_TRUE(leq().running());
    EXPECT_NE(seconds->pixmap().toImage(), before);
    EXPECT_GE(decoded, ticks / LeqCommands::kPanelFrameInterval);
    EXPECT_LE(decoded, ticks / LeqCommands::kPanelFrameInterval + 1);
    leqWindow()->stopRunButton->click();
    EXPECT_EQ(window->statusText(1), QStringLiteral("On Connection"));
}

// A scripted meter that has answered the identification command.
std::unique_ptr<test::RecordingDeviceLibrary> identifiedMeter() {
    auto scripted = std::make_unique<test::RecordingDeviceLibrary>();
    ResponseFrame id{};
    id[23] = '5';
    id[24] = '8';
    id[25] = '6';
    scripted->responses.push_back(id);
    return scripted;
}

// A status frame of `tenths` dB at 2024-01-15 10:15 and the seconds byte given (BCD).
ResponseFrame leqFrame(int tenths, uint8_t secondByte) {
    ResponseFrame f = test::RecordingDeviceLibrary::status(0);
    f[5] = uint8_t(tenths >> 8);
    f[6] = uint8_t(tenths & 0xFF);
    f[15] = secondByte;
    f[16] = 0x15;
    f[17] = 0x10;
    f[18] = 0x15;
    f[19] = 0x01;
    f[21] = 0x24;
    return f;
}

// Rows are paced by the meter's seconds: a clock that stands still ends the run after five
// seconds of readings, with the rows so far and their summary kept, and says why.
TEST_F(LeqFixture, AStoppedMeterClockEndsTheRunAndKeepsItsRows) {
    auto scripted = identifiedMeter();
    auto frame = [](uint8_t secondByte) { return leqFrame(600, secondByte); };  // 60.0 dB
    // Seconds 28 and 29 close two rows; from second 30 on the clock stands still.
    for (int i = 0; i < 25; ++i) scripted->responses.push_back(frame(0x28));
    for (int i = 0; i < 25; ++i) scripted->responses.push_back(frame(0x29));
    for (int i = 0; i < 200; ++i) scripted->responses.push_back(frame(0x30));
    start(std::move(scripted));
    openLeq();
    startRun(9);  // Manual
    const int ticks = tickUntilIdle(400);
    EXPECT_EQ(ticks, 50 + int(LeqRun::kClockStopMs / LeqCommands::kTickMs) + 1);
    EXPECT_EQ(prompts.messages(), QStringList{LeqRun::clockStoppedMessage()});
    EXPECT_FALSE(leq().running());
    ASSERT_EQ(leqWindow()->table().rowCount(), 2);
    EXPECT_FLOAT_EQ(leqWindow()->table().rows()[1].spl, 60.0f);
    EXPECT_EQ(leqWindow()->summaryLmax->text(), levelText(60.0f, locale));
    EXPECT_TRUE(leq().tableUnsaved());
    EXPECT_FALSE(leq().session()->logOpen());
    EXPECT_TRUE(pollRunning());
    EXPECT_FALSE(window->connection().linkLent());
    EXPECT_EQ(window->statusText(1), QStringLiteral("On Connection"));
}

// A second's SPL is the energy mean of all its readings, the one that revealed the second
// included: 25 readings of 50 and 80 dB by turns (13 of 50 dB) show 76.8, where the mean of
// the dB values would be 65.0; the Leq of 76.8 and 80.0 is 78.7 (python3).
TEST_F(LeqFixture, TheTableShowsTheEnergyMeanOfEachSecond) {
    auto scripted = identifiedMeter();
    const auto frame = leqFrame;
    for (int i = 0; i < 25; ++i) scripted->responses.push_back(frame(i % 2 ? 800 : 500, 0x28));
    for (int i = 0; i < 25; ++i) scripted->responses.push_back(frame(800, 0x29));
    scripted->responses.push_back(frame(0, 0x30));
    start(std::move(scripted));
    openLeq();
    startRun(9);  // Manual
    for (int i = 0; i < 51; ++i) {
        clock.advance(LeqCommands::kTickMs);
        leq().runTick();
    }
    leqWindow()->stopRunButton->click();
    const LeqTableModel& table = leqWindow()->table();
    ASSERT_EQ(table.rowCount(), 2);
    EXPECT_EQ(table.cells(0), (QStringList{"15/01/2024", "10:15:28", "76.8", "76.8"}));
    EXPECT_EQ(table.cells(1), (QStringList{"15/01/2024", "10:15:29", "80.0", "78.7"}));
    EXPECT_EQ(table.rows()[0].samples, 25);
    EXPECT_EQ(leqWindow()->currentLeq->text(), QStringLiteral("78.7"));
}

// LEQ in the menu brings the one window to the front however it was put away.
TEST_F(LeqFixture, LeqInTheMenuBringsTheWindowBack) {
    start();
    openLeq();
    LeqWindow* leqW = leqWindow();
    auto* sub = qobject_cast<QMdiSubWindow*>(leqW->parentWidget());
    ASSERT_NE(sub, nullptr);
    // Behind another window, and besides that minimised or hidden.
    const std::pair<const char*, std::function<void()>> putAway[] = {
        {"behind", [] {}},
        {"minimised", [&] { sub->showMinimized(); }},
        {"frame hidden", [&] { sub->hide(); }},
        {"window hidden", [&] { leqW->hide(); }},
    };
    for (const auto& [name, putItAway] : putAway) {
        SCOPED_TRACE(name);
        window->activate(window->realTimeWindow());
        ASSERT_NE(window->activeChild(), leqW);
        putItAway();
        test::action(*window, "leqAction")->trigger();
        EXPECT_EQ(leqWindow(), leqW);
        EXPECT_TRUE(leqW->isVisible());
        EXPECT_FALSE(sub->isMinimized());
        EXPECT_EQ(window->activeChild(), leqW);
    }
}

TEST_F(LeqFixture, RecordingMeterRefusesTheWindow) {
    start();
    ASSERT_EQ(window->connection().sendKey('R').result, MeterConnection::KeyResult::Sent);
    clock.advance(500);
    window->pollTick();
    ASSERT_TRUE(window->connection().meterRecording());
    test::action(*window, "leqAction")->trigger();
    EXPECT_EQ(leqWindow(), nullptr);
    EXPECT_EQ(prompts.messages(), QStringList{LeqText::Recording});
}

}  // namespace
