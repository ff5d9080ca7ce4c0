#include <gtest/gtest.h>

#include <qcustomplot.h>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>
#include <QToolButton>
#include <random>

#include "graph/StatisticText.h"
#include "graph/ui/RangeSlider.h"
#include "levels/LevelArithmetic.h"
#include "levels/LevelFigures.h"
#include "realtime/RealTimeFixture.h"
#include "realtime/RecordingPeriod.h"
#include "realtime/SamplingRate.h"

using namespace kl516;
using test::ScriptedPrompts;

namespace {

using RealTime = test::RealTimeFixture;

// The user picks item `index` of a box from its list: the box selects the item and reports it
// as activated.
void pick(QComboBox* box, int index) {
    box->setCurrentIndex(index);
    emit box->activated(index);
}

// The user types `text` over what an editable box shows, then presses Enter. The box has the
// focus, as it does under the user's keys (a completer only completes then).
void type(QComboBox* box, const QString& text) {
    QApplication::setActiveWindow(box->window());
    box->setFocus();
    box->lineEdit()->selectAll();
    QTest::keyClicks(box->lineEdit(), text);
    QTest::keyClick(box->lineEdit(), Qt::Key_Return);
}

}  // namespace

TEST_F(RealTime, RunSetsUpTheWindowAndStopKeepsExactlyTheSamplesTaken) {
    start();
    clock.advance(300);  // a run that starts between two whole seconds
    const SerialDateTime runTime = now();
    run();  // the presets: 0.2 s, 2000 samples
    EXPECT_EQ(dialog.presetRate, "0.2");
    EXPECT_EQ(dialog.presetPeriod, "0:6:40");
    ASSERT_TRUE(window->runActive());
    EXPECT_TRUE(prompts.shown.empty());  // no data yet: no reset question
    EXPECT_EQ(window->connection().pollIntervalMs(), 100);
    EXPECT_FALSE(runEnabled());
    EXPECT_TRUE(stopEnabled());
    EXPECT_FALSE(graph()->clearButton->isEnabled());
    EXPECT_EQ(test::lineEdit(*window, "rejectedCountField")->text(), "0");
    EXPECT_EQ(pes()->points(), 2000);
    // A 0.2 s run: its start with the tenth of a second, as its points' times.
    EXPECT_EQ(graph()->seriesStartTime->text(), pointDateTimeText(runTime, locale, true));
    EXPECT_TRUE(graph()->seriesStartTime->text().endsWith(
        QStringLiteral(".%1 AM").arg(timeOf(runTime).msec() / 100)));
    EXPECT_EQ(state().manualMinX, runTime);
    EXPECT_DOUBLE_EQ(state().manualMaxX, runTime + 100 * kOneSecond);
    EXPECT_TRUE(graph()->seriesAverage->text().isEmpty());

    // The first sample comes with the first frame, 0.1 s after Run, and is the one due at the
    // start of the run; then one every 0.2 s.
    tick();
    EXPECT_EQ(recorder().sampleCount(), 1);
    EXPECT_DOUBLE_EQ(pes()->xValue(0, 0), runTime);
    ASSERT_TRUE(ticksUntil(120));
    for (int i = 1; i < 120; ++i)
        EXPECT_NEAR((pes()->xValue(0, i) - pes()->xValue(0, i - 1)) / kOneSecond, 0.2, 1e-6);
    EXPECT_EQ(graph()->pointCount->text(), "120");
    EXPECT_TRUE(window->connection().realTimeDataUnsaved());
    tick();  // not due: still 120

    const SerialDateTime stopTime = now();
    test::button(*window, "stopButton")->click();
    EXPECT_FALSE(window->runActive());
    EXPECT_TRUE(runEnabled());
    EXPECT_FALSE(stopEnabled());
    EXPECT_TRUE(graph()->clearButton->isEnabled());
    EXPECT_EQ(window->connection().pollIntervalMs(), 500);
    EXPECT_EQ(pes()->points(), 120);
    EXPECT_EQ(state().manualMaxX, stopTime);
    EXPECT_EQ(graph()->rangeSlider->minimum(), 0);
    EXPECT_EQ(graph()->rangeSlider->maximum(), 119);
    EXPECT_EQ(graph()->rangeSlider->firstValue(), 40);
    EXPECT_EQ(graph()->rangeSlider->secondValue(), 80);
    EXPECT_EQ(graph()->cursorALevel->text(), levelText(pes()->yValue(0, 40), locale));
    // A 0.2 s run: the time with its tenth of a second.
    EXPECT_EQ(graph()->cursorBTime->text(), pointDateTimeText(pes()->xValue(0, 80), locale, true));
    double sum = 0;
    int maxAt = 0, minAt = 0;
    for (int i = 0; i < 120; ++i) {
        sum += pes()->yValue(0, i);
        if (pes()->yValue(0, i) > pes()->yValue(0, maxAt)) maxAt = i;
        if (pes()->yValue(0, i) < pes()->yValue(0, minAt)) minAt = i;
    }
    EXPECT_EQ(graph()->seriesAverage->text(), levelText(sum / 120, locale));
    EXPECT_EQ(graph()->seriesMaximum->text(), levelText(pes()->yValue(0, maxAt), locale));
    EXPECT_EQ(graph()->seriesMaximumTime->text(),
              pointDateTimeText(pes()->xValue(0, maxAt), locale, true));
    EXPECT_EQ(graph()->seriesMinimumTime->text(),
              pointDateTimeText(pes()->xValue(0, minAt), locale, true));

    // Later frames are not sampled.
    ticks(10);
    EXPECT_EQ(recorder().sampleCount(), 120);
    EXPECT_EQ(pes()->points(), 120);
}

TEST_F(RealTime, StopRightAfterRunLeavesNoPoints) {
    start();
    run();
    test::action(*window, "stopAction")->trigger();
    EXPECT_FALSE(window->runActive());
    EXPECT_EQ(pes()->points(), 0);
    // No level: the figures stay empty, the average is not 0.
    for (const QLineEdit* e : {graph()->seriesAverage, graph()->seriesMaximum,
                               graph()->seriesMinimum, graph()->cursorALevel})
        EXPECT_TRUE(e->text().isEmpty()) << e->objectName().toStdString();
    EXPECT_EQ(graph()->pointCount->text(), "0");
    // No data: the next Run asks nothing.
    run();
    EXPECT_TRUE(prompts.questions().isEmpty());
    EXPECT_TRUE(window->runActive());
}

TEST_F(RealTime, ARunOfMissingSamplesAloneHasNoAverage) {
    start();
    run("0.2", "2000");
    meter->unplug();  // not one reading from the start
    ticks(10);
    test::button(*window, "stopButton")->click();
    ASSERT_GT(pes()->points(), 0);
    for (int i = 0; i < pes()->points(); ++i) EXPECT_FALSE(hasLevel(pes()->yValue(0, i))) << i;
    EXPECT_TRUE(graph()->seriesAverage->text().isEmpty());
    EXPECT_TRUE(graph()->seriesMaximum->text().isEmpty());
}

TEST_F(RealTime, TheRunStopsItselfWhenTheCountIsReached) {
    start();
    run("0.2", "2000");
    const SerialDateTime runTime = now();
    // The visible range: the first 100 s, then steps of 30 s past the newest sample.
    std::vector<double> ranges{state().manualMaxX};
    for (int limit = 0; window->runActive() && limit < 5000; ++limit) {
        tick();
        if (window->runActive() && state().manualMaxX != ranges.back())
            ranges.push_back(state().manualMaxX);
    }
    EXPECT_EQ(recorder().sampleCount(), 2000);
    EXPECT_EQ(pes()->points(), 2000);
    EXPECT_EQ(window->connection().pollIntervalMs(), 500);
    EXPECT_TRUE(runEnabled());
    EXPECT_EQ(graph()->rangeSlider->maximum(), 1999);
    EXPECT_DOUBLE_EQ(state().manualMaxX, now());
    EXPECT_DOUBLE_EQ(ranges[0], runTime + 100 * kOneSecond);
    ASSERT_GE(ranges.size(), 10u);  // 400 s of samples
    for (size_t i = 1; i < ranges.size(); ++i) {
        const double step = (ranges[i] - ranges[i - 1]) / kOneSecond;
        EXPECT_GT(step, 30.0 - 1e-6) << i;
        EXPECT_LT(step, 30.2 + 1e-6) << i;
    }
    double sum = 0;
    for (int i = 0; i < 2000; ++i) sum += pes()->yValue(0, i);
    EXPECT_EQ(graph()->seriesAverage->text(), levelText(sum / 2000, locale));
}

TEST_F(RealTime, AtTheFastestRateEverySecondSampleIsDrawn) {
    start();
    run("0.1", "100");
    QCPGraph* drawn = pes()->plot()->graph(0);
    ticks(1);
    EXPECT_EQ(recorder().sampleCount(), 1);
    EXPECT_EQ(drawn->data()->size(), 0);
    ticks(1);
    EXPECT_EQ(drawn->data()->size(), 2);
    ticks(1);
    EXPECT_EQ(drawn->data()->size(), 2);

    // At 0.2 s every sample is drawn.
    test::button(*window, "stopButton")->click();
    prompts.defaultConfirm = Prompts::Answer::No;
    run("0.2", "100");
    drawn = pes()->plot()->graph(0);
    ASSERT_TRUE(ticksUntil(1));
    EXPECT_EQ(drawn->data()->size(), 1);
}

TEST_F(RealTime, SlowerRatesKeepTheNormalPoll) {
    start();
    const SerialDateTime runTime = now();
    run("1.0", "10");
    EXPECT_EQ(graph()->seriesStartTime->text(), formatDateTime(runTime, locale));  // no tenth
    EXPECT_EQ(window->connection().pollIntervalMs(), 500);
    EXPECT_DOUBLE_EQ(window->realTimeRate(), 1.0);
    ASSERT_TRUE(ticksUntil(10));
    for (int i = 1; i < 10; ++i)
        EXPECT_NEAR((pes()->xValue(0, i) - pes()->xValue(0, i - 1)) / kOneSecond, 1.0, 1e-6);
    EXPECT_FALSE(window->runActive());

    // A typed interval that is not an item: sampled and shown as typed.
    prompts.defaultConfirm = Prompts::Answer::No;
    run("0.3", "1000");
    EXPECT_EQ(dialog.periodAfterEdit, "0:05:00");
    EXPECT_DOUBLE_EQ(window->realTimeRate(), 0.3);
    EXPECT_EQ(window->connection().pollIntervalMs(), 100);
    EXPECT_EQ(graph()->samplingRateBox->currentText(), "0.3");
    ASSERT_TRUE(ticksUntil(5));
    EXPECT_NEAR((pes()->xValue(0, 4) - pes()->xValue(0, 3)) / kOneSecond, 0.3, 1e-6);
}

TEST_F(RealTime, TheResetQuestion) {
    start();
    run("0.2", "2000");
    ASSERT_TRUE(ticksUntil(30));
    test::button(*window, "stopButton")->click();
    const QString file = dir.filePath(QStringLiteral("saved.ghf"));

    // Cancel: nothing changes, no dialog.
    prompts.confirmAnswers = {Prompts::Answer::Cancel};
    run("0.5", "100");
    EXPECT_EQ(prompts.questions(), QStringList{RealTimeRecorder::kResetQuestion});
    EXPECT_EQ(RealTimeRecorder::kResetQuestion,
              "There are data in Real-Time graph, it have to reset the graph.\n"
              "Do you want to save the Real-Time graph ?");
    EXPECT_EQ(dialog.shown, 1);
    EXPECT_FALSE(window->runActive());
    EXPECT_EQ(pes()->points(), 30);

    // Yes: the real-time graph is saved (from the active window, which is the real-time one),
    // then the run starts afresh.
    QMdiSubWindow* realTimeSub = qobject_cast<QMdiSubWindow*>(graph()->parentWidget());
    QMdiSubWindow* activeWhenSaving = nullptr;
    prompts.onShown = [&](const ScriptedPrompts::Shown& s) {
        if (s.kind == ScriptedPrompts::Kind::SaveFile)
            activeWhenSaving = window->workspace()->activeSubWindow();
    };
    window->workspace()->setActiveSubWindow(
        qobject_cast<QMdiSubWindow*>(window->panel()->parentWidget()));
    realTimeSub->showMinimized();
    prompts.confirmAnswers = {Prompts::Answer::Yes};
    prompts.fileNames = {file};
    run("0.5", "100");
    EXPECT_FALSE(realTimeSub->isMinimized());
    EXPECT_EQ(activeWhenSaving, realTimeSub);
    EXPECT_TRUE(QFile::exists(file));
    EXPECT_EQ(dialog.shown, 2);
    EXPECT_TRUE(window->runActive());
    EXPECT_EQ(pes()->points(), 100);
    EXPECT_EQ(recorder().sampleCount(), 0);
    ASSERT_TRUE(ticksUntil(3));
    test::button(*window, "stopButton")->click();

    // Yes, then the save dialog cancelled: nothing is reset and no run starts.
    prompts.clear();
    prompts.onShown = nullptr;
    const int taken = recorder().sampleCount();
    prompts.confirmAnswers = {Prompts::Answer::Yes};
    prompts.fileNames = {QString()};
    run("0.5", "60");
    EXPECT_EQ(dialog.shown, 2);
    EXPECT_FALSE(window->runActive());
    EXPECT_EQ(recorder().sampleCount(), taken);
    EXPECT_EQ(pes()->points(), taken);  // the stopped run's points stay

    // No: the data go without a save dialog.
    prompts.clear();
    prompts.confirmAnswers = {Prompts::Answer::No};
    run("0.5", "50");
    EXPECT_EQ(prompts.questions().size(), 1);
    EXPECT_EQ(prompts.shown.size(), 1u);
    EXPECT_TRUE(window->runActive());
    EXPECT_EQ(pes()->points(), 50);
    EXPECT_EQ(recorder().sampleCount(), 0);
}

TEST_F(RealTime, RejectedInputChangesNothing) {
    start();
    window->setRealTimeRate(0.5);
    const struct {
        const char* rate;
        const char* count;
        bool start;
        QString message;  // empty: no message
    } cases[] = {
        {"0.2", "2000", false, {}},  // the dialog cancelled
        {"0.2", "", true, " is not valid.\n"},
        {"0.2", "0", true, RealTimeRecorder::kZeroSamplesMessage},
        // Rates the dialog refuses at Start: it stays open, and here the user then cancels.
        {"abc", "2000", true, "'abc' is not a valid floating point value"},
        {"0", "2000", true, samplingRateRangeMessage()},
        {"-1", "2000", true, samplingRateRangeMessage()},
        {"nan", "2000", true, samplingRateRangeMessage()},
        {"1e9", "2000", true, samplingRateRangeMessage()},
        {"99", "2000", true, samplingRateRangeMessage()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.rate) + " / " + c.count + (c.start ? "" : ", cancelled"));
        prompts.clear();
        dialog.start = c.start;
        run(QString::fromLatin1(c.rate), QString::fromLatin1(c.count));
        const QStringList expected = c.message.isEmpty() ? QStringList() : QStringList{c.message};
        EXPECT_EQ(prompts.messages(), expected);
        EXPECT_FALSE(window->runActive());
        EXPECT_DOUBLE_EQ(window->realTimeRate(), 0.5);
        EXPECT_EQ(window->connection().pollIntervalMs(), 500);
        EXPECT_EQ(pes()->points(), 2000);
        EXPECT_TRUE(runEnabled());
    }
}

TEST_F(RealTime, RunWithoutAMeterDoesNothing) {
    start();
    meter->unplug();
    ticks(5);
    ASSERT_FALSE(window->connected());
    recorder().startRun();
    EXPECT_EQ(dialog.shown, 0);
    EXPECT_FALSE(window->runActive());
}

TEST_F(RealTime, OutOfRangeReadingsAreCountedInTheRejectedCounter) {
    options.fixedLevelTenths = 1500;
    start();
    run("0.1", "100");
    ticks(3);  // no good reading yet: nothing stored
    EXPECT_EQ(recorder().sampleCount(), 0);
    EXPECT_EQ(test::lineEdit(*window, "rejectedCountField")->text(), "3");
    meter->options().fixedLevelTenths = 800;
    ticks(1);
    meter->options().fixedLevelTenths = 1500;
    ticks(2);
    EXPECT_EQ(recorder().sampleCount(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(pes()->yValue(0, i), 80.0f);
    EXPECT_EQ(test::lineEdit(*window, "rejectedCountField")->text(), "5");
    // A new run counts again from 0.
    test::button(*window, "stopButton")->click();
    prompts.defaultConfirm = Prompts::Answer::No;
    run("0.1", "100");
    EXPECT_EQ(test::lineEdit(*window, "rejectedCountField")->text(), "0");
}

TEST_F(RealTime, SamplesKeepTheirDueTimesThroughLateTicks) {
    // 600 samples at 0.1 s with every poll tick delivered up to 90 ms late: each sample is the
    // one due at the start of the run + k x 0.1 s, and none is missing.
    start();
    run("0.1", "600");
    const SerialDateTime runTime = now();
    std::mt19937 random(8);
    std::uniform_int_distribution<int> late(0, 90);
    int64_t nominal = clock.tickMs();
    for (int j = 0; window->runActive() && j < 1000; ++j) {
        nominal += 100;
        const int64_t deliveredAt = nominal + (j == 0 ? 90 : late(random));
        clock.advance(deliveredAt - clock.tickMs());
        window->pollTick();
    }
    ASSERT_FALSE(window->runActive());
    ASSERT_EQ(pes()->points(), 600);
    // The first tick came 0.1 s after Run (and 90 ms late): the sample due at 0.1 s.
    for (int k = 0; k < 600; ++k) {
        ASSERT_NEAR((pes()->xValue(0, k) - runTime) / kOneSecond, 0.1 * (k + 1), 1e-6) << k;
        ASSERT_TRUE(hasLevel(pes()->yValue(0, k))) << k;
    }
}

TEST_F(RealTime, ALostMeterLeavesAGapOfMissingSamples) {
    start();
    const SerialDateTime runTime = now();
    const int64_t runTick = clock.tickMs();
    run("0.2", "2000");
    ASSERT_TRUE(ticksUntil(5));  // 0.0 ... 0.8 s
    meter->unplug();
    ticks(10);
    EXPECT_FALSE(window->connected());
    EXPECT_TRUE(window->runActive());
    EXPECT_EQ(recorder().sampleCount(), 5);
    meter->replug();
    tick();
    EXPECT_TRUE(window->connected());
    EXPECT_TRUE(stopEnabled());
    EXPECT_FALSE(runEnabled());
    // The run resumes with the first frame: it is the sample of the earliest slot still open
    // for a reading (a slot takes one until a quarter interval past its own), and those due
    // before it have no level, each at its own time.
    tick();
    const int n = recorder().sampleCount();
    ASSERT_EQ(n, int((clock.tickMs() - runTick - 50) / 200) + 1);
    ASSERT_GT(n, 6);
    EXPECT_EQ(graph()->pointCount->text(), QString::number(n));
    for (int i = 0; i < n; ++i) {
        EXPECT_NEAR((pes()->xValue(0, i) - runTime) / kOneSecond, 0.2 * i, 1e-6) << i;
        EXPECT_EQ(hasLevel(pes()->yValue(0, i)), i < 5 || i == n - 1) << i;
    }
    // Stopped a while later with the meter gone again: the intervals that went by without a
    // reading are missing samples too (the one still open is not), and the average is of the
    // levels alone.
    meter->unplug();
    clock.advance(1120);
    test::button(*window, "stopButton")->click();
    const int64_t closedMs = clock.tickMs() - runTick - 50;
    ASSERT_NE(closedMs % 200, 0);  // clear of a slot's end
    ASSERT_EQ(pes()->points(), int(closedMs / 200));
    ASSERT_GT(pes()->points(), n);
    EXPECT_FALSE(hasLevel(pes()->yValue(0, pes()->points() - 1)));
    double sum = 0;
    for (int i : {0, 1, 2, 3, 4, n - 1}) sum += pes()->yValue(0, i);
    EXPECT_EQ(graph()->seriesAverage->text(), levelText(sum / 6, locale));
}

TEST_F(RealTime, TheSamplingRateBoxChoosesTheNextRunsRate) {
    start();
    QComboBox* box = graph()->samplingRateBox;
    EXPECT_EQ(box->currentText(), "0.2");
    const QString locked = RealTimeRecorder::kRateLockedMessage;
    EXPECT_EQ(locked, "Can not change Sampling Rate while Real-Time is running.");

    // Stopped, with no series on screen: the rate typed, exactly, or picked from the list.
    const struct {
        const char* typed;  // null: pick "5.0" from the list
        double rate;
        const char* shown;
        QString message;  // empty: none
    } choices[] = {
        {"3", 3.0, "3.0", {}},  // not completed to "30.0"
        {"0.25", 0.25, "0.25", {}},
        {"abc", 0.25, "0.25", {}},                        // not a number: ignored, silently
        {"0", 0.25, "0.25", samplingRateRangeMessage()},  // not completed to "0.1"
        {"99", 0.25, "0.25", samplingRateRangeMessage()},
        {nullptr, 5.0, "5.0", {}},
    };
    for (const auto& c : choices) {
        SCOPED_TRACE(c.typed ? c.typed : "5.0 picked");
        prompts.clear();
        if (c.typed)
            type(box, QString::fromLatin1(c.typed));
        else
            pick(box, 5);
        EXPECT_DOUBLE_EQ(window->realTimeRate(), c.rate);
        EXPECT_EQ(box->currentText(), c.shown);
        EXPECT_EQ(prompts.messages(), c.message.isEmpty() ? QStringList() : QStringList{c.message});
    }

    // Running: every choice goes back to the run's rate, with the message. Run's own setting
    // of the box is no choice.
    run("1.0", "2000");
    EXPECT_EQ(dialog.presetRate, "5.0");
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(box->currentText(), "1.0");
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Down);  // "2.0", picked with the keyboard
    type(box, QStringLiteral("2"));
    type(box, QStringLiteral("5.0"));  // an item's text, typed
    EXPECT_EQ(prompts.messages(), (QStringList{locked, locked, locked}));
    EXPECT_EQ(box->currentText(), "1.0");
    EXPECT_DOUBLE_EQ(window->realTimeRate(), 1.0);

    // Stopped with the run on screen: the series keeps the rate it was recorded at, and a
    // choice is the next run's, which the next Run offers.
    ASSERT_TRUE(ticksUntil(5));
    test::button(*window, "stopButton")->click();
    prompts.clear();
    pick(box, 5);
    EXPECT_DOUBLE_EQ(window->realTimeRate(), 5.0);
    EXPECT_EQ(box->currentText(), "1.0");
    type(box, QStringLiteral("2"));
    EXPECT_DOUBLE_EQ(window->realTimeRate(), 2.0);
    EXPECT_EQ(box->currentText(), "1.0");
    EXPECT_TRUE(prompts.shown.empty());
    prompts.defaultConfirm = Prompts::Answer::No;
    dialog.start = false;
    run();
    EXPECT_EQ(dialog.presetRate, "2.0");
    EXPECT_EQ(box->currentText(), "1.0");
    EXPECT_EQ(pes()->points(), 5);

    // Cleared, there is no series: the box shows the next run's rate.
    window->connection().realTimeDataUnsaved() = false;
    graph()->clearButton->click();
    EXPECT_EQ(box->currentText(), "2.0");
}

TEST_F(RealTime, ClearAsksBeforeAnUnsavedRunGoes) {
    start();
    const QString file = dir.filePath(QStringLiteral("cleared.ghf"));
    const struct {
        Prompts::Answer answer;
        QString saveAs;  // the name given to the save dialog (empty: cancelled)
        bool cleared;
    } cases[] = {
        {Prompts::Answer::Cancel, {}, false},
        {Prompts::Answer::Yes, {}, false},  // the save dialog cancelled
        {Prompts::Answer::Yes, file, true},
        {Prompts::Answer::No, {}, true},
    };
    for (const auto& c : cases) {
        const char* answer = c.answer == Prompts::Answer::Yes  ? "Yes"
                             : c.answer == Prompts::Answer::No ? "No"
                                                               : "Cancel";
        SCOPED_TRACE(std::string(answer) + (c.saveAs.isEmpty() ? "" : ", saved"));
        prompts.defaultConfirm = Prompts::Answer::No;  // the reset question of a later run
        run("0.2", "2000");
        ASSERT_TRUE(ticksUntil(30));
        test::button(*window, "stopButton")->click();
        const QString average = graph()->seriesAverage->text();
        ASSERT_FALSE(average.isEmpty());
        ASSERT_FALSE(graph()->cursorALevel->text().isEmpty());

        prompts.clear();
        prompts.confirmAnswers = {c.answer};
        prompts.fileNames = {c.saveAs};
        graph()->clearButton->click();
        EXPECT_EQ(prompts.questions(), QStringList{"Save Real-Time Graph ?"}) << answer;
        if (!c.saveAs.isEmpty()) {
            EXPECT_TRUE(QFile::exists(c.saveAs)) << answer;
        }
        EXPECT_EQ(window->connection().realTimeDataUnsaved(), !c.cleared) << answer;
        if (!c.cleared) {
            EXPECT_EQ(recorder().sampleCount(), 30) << answer;
            EXPECT_EQ(pes()->points(), 30) << answer;
            EXPECT_EQ(graph()->seriesAverage->text(), average) << answer;
            continue;
        }
        EXPECT_EQ(recorder().sampleCount(), 0) << answer;
        EXPECT_EQ(pes()->points(), 200) << answer;
        for (int i = 0; i < pes()->points(); ++i)
            ASSERT_FALSE(hasLevel(pes()->yValue(0, i))) << answer << " #" << i;
        EXPECT_EQ(graph()->pointCount->text(), "0") << answer;
        for (QLineEdit* e :
             {graph()->seriesStartTime, graph()->seriesAverage, graph()->seriesMaximum,
              graph()->seriesMaximumTime, graph()->seriesMinimum, graph()->seriesMinimumTime,
              graph()->cursorALevel, graph()->cursorATime, graph()->cursorBLevel,
              graph()->cursorBTime, graph()->betweenCursorsMaximum, graph()->betweenCursorsMinimum,
              graph()->betweenCursorsAverage})
            EXPECT_TRUE(e->text().isEmpty()) << answer << " " << e->objectName().toStdString();
    }

    // Nothing unsaved: Clear and the next Run ask nothing.
    prompts.clear();
    graph()->clearButton->click();
    run("0.2", "10");
    EXPECT_TRUE(prompts.questions().isEmpty());
    EXPECT_TRUE(window->runActive());
}

TEST_F(RealTime, TheRateIsKeptAcrossARestart) {
    start();
    run("2.0", "10");
    test::button(*window, "stopButton")->click();
    window->connection().realTimeDataUnsaved() = false;
    restart();
    EXPECT_DOUBLE_EQ(window->realTimeRate(), 2.0);
    EXPECT_EQ(graph()->samplingRateBox->currentText(), "2.0");
    run();
    EXPECT_EQ(dialog.presetRate, "2.0");
    EXPECT_EQ(dialog.presetPeriod, "1:6:40");

    // A pick while stopped is kept too.
    test::button(*window, "stopButton")->click();
    pick(graph()->samplingRateBox, 1);
    window->connection().realTimeDataUnsaved() = false;
    restart();
    EXPECT_DOUBLE_EQ(window->realTimeRate(), 0.2);
}

TEST_F(RealTime, ACommaLocale) {
    locale = QLocale(QLocale::German, QLocale::Germany);
    start();
    QComboBox* box = graph()->samplingRateBox;
    EXPECT_EQ(box->currentText(), "0,2");
    pick(box, 3);
    EXPECT_DOUBLE_EQ(window->realTimeRate(), 1.0);
    run("0,5", "1500");
    EXPECT_EQ(dialog.presetRate, "1,0");
    EXPECT_EQ(dialog.periodAfterEdit, "0:12:30");
    EXPECT_DOUBLE_EQ(window->realTimeRate(), 0.5);
    ASSERT_TRUE(ticksUntil(4));
    test::button(*window, "stopButton")->click();
    EXPECT_TRUE(graph()->seriesAverage->text().contains(QLatin1Char(',')));
}

// ---- the setup dialog on its own
// -----------------------------------------------------------------

TEST(SetupDialog, ControlsAndPeriodRecomputation) {
    ScriptedPrompts prompts;
    RealTimeSetupDialog d(prompts, QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(d.windowTitle(), "Real-Time Setup");
    EXPECT_TRUE(d.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(d.sampleCountLabel->text(), "Real-Time data no to be recorded");
    EXPECT_EQ(d.sampleCountHintLabel->text(), "(Adjust the number to meet your need)");
    EXPECT_EQ(d.samplingRateLabel->text(), "Real-Time Sampling Rate");
    EXPECT_EQ(d.recordingPeriodLabel->text(), "Recording Period");
    EXPECT_EQ(d.periodFormatLabel->text(), "HH:MM:SS");
    EXPECT_EQ(d.rateUnitLabel->text(), "second");
    EXPECT_EQ(d.startButton->text(), "Start");
    EXPECT_EQ(d.cancelButton->text(), "Cancel");
    EXPECT_EQ(d.sampleCountEdit->text().trimmed(), "2000");
    EXPECT_EQ(d.sampleCountEdit->maxLength(), 5);
    EXPECT_EQ(d.samplingRateBox->currentText(), "0.5");
    EXPECT_EQ(d.samplingRateBox->count(), 9);
    EXPECT_EQ(d.samplingRateBox->itemText(8), "30.0");
    EXPECT_FALSE(d.recordingPeriodPanel->isEnabled());

    // Typing in either field recomputes the period.
    d.samplingRateBox->setEditText(QStringLiteral("1.0"));
    d.sampleCountEdit->setFocus();
    d.sampleCountEdit->selectAll();
    QTest::keyClicks(d.sampleCountEdit, QStringLiteral("500"));
    EXPECT_EQ(d.recordingPeriodEdit->text(), "0:08:20");
    d.samplingRateBox->setCurrentIndex(8);  // "30.0" from the list
    EXPECT_EQ(d.recordingPeriodEdit->text(), "4:10:00");
    QTest::keyClicks(d.sampleCountEdit, QStringLiteral("99"));  // only five digits fit
    EXPECT_EQ(d.sampleCountEdit->text(), "50099");
    d.sampleCountEdit->selectAll();
    QTest::keyClick(d.sampleCountEdit, Qt::Key_Delete);
    EXPECT_EQ(d.recordingPeriodEdit->text(), "0:00:00");
    QTest::keyClicks(d.sampleCountEdit, QStringLiteral("x"));  // not a digit
    EXPECT_EQ(d.sampleCountEdit->text(), "");
    EXPECT_TRUE(prompts.shown.empty());

    // While a rate is typed it may be no number for a moment: no message on a keystroke, and
    // the period keeps its text.
    d.samplingRateBox->setEditText(QStringLiteral("0.2"));
    d.sampleCountEdit->setText(QStringLiteral("2000"));
    d.samplingRateBox->lineEdit()->selectAll();
    QTest::keyClicks(d.samplingRateBox->lineEdit(), QStringLiteral("-x"));
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(d.recordingPeriodEdit->text(), "0:06:40");

    // Start checks the rate: not a number, or outside 0.1 ... 30 s, says so and keeps the dialog
    // open for a correction; the limits themselves are taken.
    d.show();
    const struct {
        const char* rate;
        QString message;  // empty: accepted
    } starts[] = {
        {"-x", "'-x' is not a valid floating point value"},
        {"99", samplingRateRangeMessage()},
        {"30.5", samplingRateRangeMessage()},
        {"0.05", samplingRateRangeMessage()},
        {"0", samplingRateRangeMessage()},
        {"30", {}},
        {"0.1", {}},
    };
    for (const auto& c : starts) {
        SCOPED_TRACE(c.rate);
        prompts.clear();
        d.setResult(QDialog::Rejected);
        d.show();
        d.samplingRateBox->setEditText(QString::fromLatin1(c.rate));
        d.startButton->click();
        const bool accepted = c.message.isEmpty();
        EXPECT_EQ(prompts.messages(), accepted ? QStringList() : QStringList{c.message});
        EXPECT_EQ(d.result(), accepted ? QDialog::Accepted : QDialog::Rejected);
        EXPECT_EQ(d.isVisible(), !accepted);
    }

    d.show();
    d.cancelButton->click();
    EXPECT_EQ(d.result(), QDialog::Rejected);
}

TEST(SetupDialog, ATypedRateIsTakenAsTyped) {
    // The list is a choice, not a completer.
    ScriptedPrompts prompts;
    RealTimeSetupDialog d(prompts, QLocale(QLocale::English, QLocale::UnitedStates));
    const struct {
        const char* typed;
        const char* period;  // of the 2000 samples preset
        bool accepted;
    } cases[] = {
        {"3", "1:40:00", true},   // not "30.0"
        {"0", "0:00:00", false},  // not "0.1": refused at Start
        {"0.3", "0:10:00", true},
        {"20", "11:06:40", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        prompts.clear();
        d.setResult(QDialog::Rejected);
        d.show();
        d.samplingRateBox->lineEdit()->selectAll();
        QTest::keyClicks(d.samplingRateBox->lineEdit(), QString::fromLatin1(c.typed));
        EXPECT_EQ(d.samplingRateBox->currentText(), c.typed);
        EXPECT_EQ(d.recordingPeriodEdit->text(), c.period);
        d.startButton->click();
        EXPECT_EQ(d.result() == QDialog::Accepted, c.accepted);
        EXPECT_EQ(prompts.messages().size(), c.accepted ? 0 : 1);
    }
}

TEST(SetupDialog, ShowingRewritesTheItemsInTheLocale) {
    ScriptedPrompts prompts;
    RealTimeSetupDialog d(prompts, QLocale(QLocale::German, QLocale::Germany));
    d.samplingRateBox->setEditText(QStringLiteral("0,2"));
    d.show();
    EXPECT_EQ(d.samplingRateBox->itemText(0), "0,1");
    EXPECT_EQ(d.samplingRateBox->itemText(8), "30,0");
    EXPECT_EQ(d.samplingRateBox->currentText(), "0,2");
    d.startButton->click();
    EXPECT_EQ(d.result(), QDialog::Accepted);
}
