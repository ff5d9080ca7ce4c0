#include "realtime/ui/RealTimeRecorder.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>
#include <QToolButton>
#include <cmath>
#include <utility>

#include "graph/StatisticText.h"
#include "graph/ui/GraphWindow.h"
#include "graph/ui/RangeSlider.h"
#include "levels/LevelArithmetic.h"
#include "levels/LevelFigures.h"
#include "link/Clock.h"
#include "realtime/RecordingPeriod.h"
#include "realtime/SamplingRate.h"
#include "realtime/ui/RealTimeSetupDialog.h"
#include "session/MeterConnection.h"
#include "workspace/Prompts.h"
#include "workspace/ui/AppContext.h"
#include "workspace/ui/WindowService.h"

namespace kl516 {

const QString RealTimeRecorder::kResetQuestion = QStringLiteral(
    "There are data in Real-Time graph, it have to reset the graph.\n"
    "Do you want to save the Real-Time graph ?");
const QString RealTimeRecorder::kRateLockedMessage =
    QStringLiteral("Can not change Sampling Rate while Real-Time is running.");
const QString RealTimeRecorder::kZeroSamplesMessage =
    QStringLiteral("The number of samples to record must be at least 1.");

namespace {

constexpr int kPresetSamples = 2000;
constexpr double kFirstViewSeconds = 100;  // visible X range at the start of a run
constexpr double kViewStepSeconds = 30;    // ... and its growth once it is full

}  // namespace

RealTimeRecorder::RealTimeRecorder(AppContext& app, MeterConnection& connection,
                                   WindowService& windows, QObject* parent)
    : QObject(parent), app_(app), connection_(connection), windows_(windows) {
    setObjectName(QStringLiteral("RealTimeRecorder"));
    execSetupDialog = [](RealTimeSetupDialog& dialog) {
        return dialog.exec() == QDialog::Accepted;
    };
}

void RealTimeRecorder::windowCreated(GraphWindow* graph) {
    if (!graph || graph == connectedWindow_) return;
    connectedWindow_ = graph;
    // The box takes a rate from its list or exactly as typed: no completion, so "3" stays 3 s.
    QComboBox* box = graph->samplingRateBox;
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setCompleter(nullptr);
    // activated: only the user's picks, never a selection made by the program.
    connect(box, &QComboBox::activated, this, &RealTimeRecorder::onSamplingRatePicked);
    connect(box->lineEdit(), &QLineEdit::editingFinished, this,
            &RealTimeRecorder::onSamplingRateTyped);
    showRate(graph);
}

void RealTimeRecorder::showRate(GraphWindow* graph) {
    if (!graph) return;
    const bool series = connection_.runActive() || sampler_.sampleCount() > 0;
    const QString text =
        samplingRateText(series ? sampler_.rate() : app_.realTimeRate(), app_.locale());
    QComboBox* box = graph->samplingRateBox;
    const bool blocked = box->blockSignals(true);
    box->setCurrentIndex(box->findText(text));
    if (box->isEditable()) box->setEditText(text);
    box->blockSignals(blocked);
    shownRateText_ = text;
}

void RealTimeRecorder::clearSamples() {
    sampler_.clearSamples();
    showRate(windows_.realTimeWindow());
}

void RealTimeRecorder::startRun() {
    if (!connection_.connected()) return;
    Prompts& prompts = app_.prompts();
    // A run lives on the status poll, which a command holding the link has paused.
    if (connection_.linkLent()) {
        prompts.message(MeterConnection::busyMessage(connection_.borrower()));
        return;
    }
    GraphWindow* graph = windows_.realTimeWindow();
    if (!graph) {
        graph = windows_.openRealTimeWindow();
        if (!graph) return;
    } else {
        windows_.restore(graph);
        if (connection_.runActive() || sampler_.sampleCount() > 0) {
            const Prompts::Answer answer = prompts.confirm(kResetQuestion);
            windows_.activate(graph);
            if (answer == Prompts::Answer::Cancel) return;
            // A save that was cancelled or failed ends here, so that the run's samples are not
            // reset.
            if (answer == Prompts::Answer::Yes && !app_.saveWindow(*graph)) return;
        }
    }

    QString rateText, countText;
    {
        RealTimeSetupDialog dialog(prompts, app_.locale(), windows_.dialogParent());
        // The interval of the next run, which a finished run's box no longer shows.
        dialog.samplingRateBox->setEditText(samplingRateText(app_.realTimeRate(), app_.locale()));
        dialog.recordingPeriodEdit->setText(
            presetPeriodText(recordingPeriodSeconds(app_.realTimeRate(), kPresetSamples)));
        if (!execSetupDialog(dialog)) return;
        rateText = dialog.samplingRateBox->currentText();
        countText = dialog.sampleCountEdit->text();
    }
    // The window may have gone while the dialog was open.
    graph = windows_.realTimeWindow();
    if (!graph) return;

    const std::optional<double> rate = parseRate(rateText, app_.locale());
    if (!rate) {
        prompts.message(notANumberMessage(rateText));
        return;
    }
    const std::optional<int> count = parseSampleCount(countText);
    if (!count) {
        prompts.message(countText.trimmed() + QStringLiteral(" is not valid.\n"));
        return;
    }
    // A run of no samples has no point for its first sample to go to.
    if (*count < 1) {
        prompts.message(kZeroSamplesMessage);
        return;
    }
    // The dialog refuses other intervals; one that got past it would be kept in the settings.
    if (!isSamplingRateInRange(*rate)) {
        prompts.message(samplingRateRangeMessage());
        return;
    }

    app_.setRealTimeRate(*rate);
    if (*rate < kFastPollBelowSeconds) connection_.setFastPolling(true);

    GraphView* g = graph->graphView;
    g->setPoints(*count);
    // Points not yet sampled have no level.
    g->setXValue(0, -1, 0.0);
    g->setYValue(0, -1, kNullLevel);
    graph->clearStatistics();
    graph->pointCount->setText(QStringLiteral("0"));

    // The schedule runs on the steady clock from here; the wall clock only names its start.
    const SerialDateTime t = toSerialDateTime(connection_.clock().now());
    sampler_.start(*rate, *count, connection_.clock().tickMs(), t);
    // Faster than one a second, the start shows its tenth as the points' times do.
    graph->seriesStartTime->setText(pointDateTimeText(t, app_.locale(), *rate < 1));
    g->editProperties([t](GraphState& s) {
        s.manualMinX = t;
        s.manualMaxX = t + kFirstViewSeconds * kOneSecond;
    });
    graph->redraw();  // the previous run's points go at once

    // The commands, Clear included, follow the run flag.
    connection_.setRunActive(true);
    showRate(graph);
    emit rejectedCountChanged(0);
}

void RealTimeRecorder::takeSample(float level, SerialDateTime /*frameTime*/) {
    if (!connection_.runActive()) return;
    GraphWindow* graph = windows_.realTimeWindow();
    if (!graph) return;
    // The run ends when its graph's points are full; never store past them.
    sampler_.setCapacity(graph->graphView->points());
    if (sampler_.sampleCount() >= graph->graphView->points()) {
        stopRun();
        return;
    }

    const RealTimeSampler::Result r = sampler_.offer(level, connection_.clock().tickMs());
    if (r.rejected) emit rejectedCountChanged(sampler_.rejectedCount());
    storeSamples(graph, r);
    if (r.full) stopRun();
}

void RealTimeRecorder::storeSamples(GraphWindow* graph, const RealTimeSampler::Result& r) {
    const bool stored = r.outcome == RealTimeSampler::Outcome::Stored;
    if (r.missing == 0 && !stored) return;
    GraphView* g = graph->graphView;
    const int added = r.missing + (stored ? 1 : 0);
    if (r.firstIndex + added > g->points()) return;  // the graph was changed under the run

    // Samples that went by without a reading: no level at their due times, so the graph shows
    // a gap and the figures leave them out.
    for (int i = r.firstIndex; i < r.firstIndex + r.missing; ++i) {
        g->setXValue(0, i, sampler_.sampleTime(i));
        g->setYValue(0, i, kNullLevel);
    }
    const SerialDateTime newest = sampler_.sampleTime(r.firstIndex + added - 1);
    if (stored) {
        const QLocale locale = app_.locale();
        const bool tenths = sampler_.rate() < 1;
        if (r.newMaximum) {
            graph->seriesMaximum->setText(levelText(r.level, locale));
            graph->seriesMaximumTime->setText(pointDateTimeText(newest, locale, tenths));
        }
        if (r.newMinimum) {
            graph->seriesMinimum->setText(levelText(r.level, locale));
            graph->seriesMinimumTime->setText(pointDateTimeText(newest, locale, tenths));
        }
        g->setXValue(0, r.index, newest);
        g->setYValue(0, r.index, r.level);
    }
    connection_.realTimeDataUnsaved() = true;
    const int count = sampler_.sampleCount();
    graph->pointCount->setText(QString::number(count));

    // Read through the const state, so that the incremental redraw stays incremental.
    if (std::as_const(*g).state().manualMaxX < newest)
        g->editProperties(
            [newest](GraphState& s) { s.manualMaxX = newest + kViewStepSeconds * kOneSecond; });

    // At the fastest interval every second sample is drawn.
    if (samplingRateItem(sampler_.rate()) != 0 || count % 2 == 0 || added > 1) graph->redraw();
}

void RealTimeRecorder::stopRun() {
    const bool wasActive = connection_.runActive();
    connection_.setRunActive(false);
    GraphWindow* graph = windows_.realTimeWindow();
    if (!graph) {
        connection_.setFastPolling(false);
        return;
    }
    windows_.restore(graph);

    // Intervals that went by without a reading up to now are the run's missing samples.
    if (wasActive) storeSamples(graph, sampler_.closeMissedSlots(connection_.clock().tickMs()));

    const SerialDateTime tStop = toSerialDateTime(connection_.clock().now());
    GraphView* g = graph->graphView;
    const int count = sampler_.sampleCount();
    if (g->points() > count) {
        // The graph keeps exactly the samples taken.
        g->setPoints(count);
        graph->redraw();
    }
    g->editProperties([tStop](GraphState& s) { s.manualMaxX = tStop; });
    // A run without a single level has no average to show (not 0).
    if (sampler_.levelCount() > 0)
        graph->seriesAverage->setText(levelText(sampler_.average(), app_.locale()));
    else
        graph->seriesAverage->clear();
    graph->setSliderRange(count);
    showRate(graph);
    graph->redraw();
    connection_.setFastPolling(false);
}

void RealTimeRecorder::onSamplingRatePicked(int index) {
    GraphWindow* graph = windows_.realTimeWindow();
    if (!graph || index < 0) return;
    takeRateText(graph->samplingRateBox->itemText(index));
}

void RealTimeRecorder::onSamplingRateTyped() {
    GraphWindow* graph = windows_.realTimeWindow();
    if (!graph) return;
    const QString text = graph->samplingRateBox->currentText();
    if (text == shownRateText_) return;  // nothing typed since the box was last set
    takeRateText(text);
}

void RealTimeRecorder::takeRateText(const QString& text) {
    GraphWindow* graph = windows_.realTimeWindow();
    if (!graph) return;
    if (connection_.runActive()) {
        showRate(graph);
        app_.prompts().message(kRateLockedMessage);
        return;
    }
    // The choice is the next run's interval. A series on screen keeps the rate it was recorded
    // at, so the box goes back to it.
    // An unreadable text is ignored silently; a number outside the range is explained.
    const std::optional<double> rate = parseRate(text, app_.locale());
    if (rate && isSamplingRateInRange(*rate))
        app_.setRealTimeRate(*rate);
    else if (rate)
        app_.prompts().message(samplingRateRangeMessage());
    showRate(graph);
}

}  // namespace kl516
