#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>

#include "formats/TableText.h"
#include "leq/LeqFixture.h"
#include "leq/LeqSession.h"
#include "leq/ui/LeqCommands.h"

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
    // Rows are numbered and a second apart on the meter's clock.
    const auto& rows = w.table().rows();
    for (size_t i = 1; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].number, int(i) + 1);
        EXPECT_NEAR((rows[i].stamp - rows[i - 1].stamp) * 86400, 1.0, 1e-3);
        EXPECT_TRUE(rows[i].hasLevel);
    }
    // Every reading went to the log, created with its folder.
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
    EXPECT_EQ(prompts.shown.back().filter, QStringLiteral("(*.txt)"));

    // Graph: two series, one point per row.
    w.graphButton->click();
    ASSERT_EQ(leq().graphs().size(), 1);
    GraphWindow& g = *leq().graphs().front();
    EXPECT_EQ(g.caption(), QStringLiteral("Leq"));
    EXPECT_EQ(g.role(), WindowRole::OpenedFile);
    EXPECT_FALSE(g.runningLeqButton->isEnabled());
    const GraphState& s = std::as_const(*g.graphView).state();
    EXPECT_EQ(s.subsetLabels, (QStringList{"SPL", "Leq"}));
    EXPECT_EQ(s.subsetColors[0], makeArgb(255, 0, 0, 0));
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
    sub->close();
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
    // A new Start clears the table.
    startRun(0);
    EXPECT_EQ(leqWindow()->table().rowCount(), 0);
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
