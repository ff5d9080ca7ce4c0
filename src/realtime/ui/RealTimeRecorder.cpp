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

#include "graph/ui/GraphWindow.h"
#include "graph/ui/RangeSlider.h"
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
    "There are datas in Real_Time graph ,it have to reset the graph.\n"
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
    sampler_.setLastSampleTime(toSerialDateTime(connection_.clock().now()));
    if (!graph || graph == connectedWindow_) return;
    connectedWindow_ = graph;
    // activated: only the user's picks, never a selection made by the program.
    connect(graph->samplingRateBox, &QComboBox::activated, this,
            &RealTimeRecorder::onSamplingRatePicked);
}

void RealTimeRecorder::selectRateItem(GraphWindow* graph, double rate) {
    const int item = samplingRateItem(rate);
    if (item < 0) return;  // 30.5 s or more: the box stays as it is
    const bool blocked = graph->samplingRateBox->blockSignals(true);
    graph->samplingRateBox->setCurrentIndex(item);
    graph->samplingRateBox->blockSignals(blocked);
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
        dialog.samplingRateBox->setEditText(graph->samplingRateBox->currentText());
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
    selectRateItem(graph, *rate);

    GraphView* g = graph->graphView;
    g->setPoints(*count);
    g->setXValue(0, -1, 0.0);
    g->setYValue(0, -1, 0.0f);
    sampler_.start(*rate);
    for (QLineEdit* e :
         {graph->seriesAverage, graph->seriesMaximum, graph->seriesMinimum,
          graph->seriesMaximumTime, graph->seriesMinimumTime, graph->cursorALevel,
          graph->cursorATime, graph->cursorBLevel, graph->cursorBTime, graph->betweenCursorsMaximum,
          graph->betweenCursorsMaximumTime, graph->betweenCursorsMinimum,
          graph->betweenCursorsMinimumTime, graph->betweenCursorsAverage})
        e->clear();
    graph->pointCount->setText(QStringLiteral("0"));

    const SerialDateTime t = toSerialDateTime(connection_.clock().now());
    graph->seriesStartTime->setText(formatDateTime(t, app_.locale()));
    g->editProperties([t](GraphState& s) {
        s.manualMinX = t;
        s.manualMaxX = t + kFirstViewSeconds * kOneSecond;
    });
    graph->redraw();  // the previous run's points go at once

    // The commands, Clear included, follow the run flag.
    connection_.setRunActive(true);
    emit rejectedCountChanged(0);
}

void RealTimeRecorder::takeSample(float level, SerialDateTime frameTime) {
    if (!connection_.runActive()) return;
    GraphWindow* graph = windows_.realTimeWindow();
    if (!graph) return;
    GraphView* g = graph->graphView;
    // Never store past the run's points (they are only ever changed by Run).
    if (sampler_.sampleCount() >= g->points()) {
        stopRun();
        return;
    }

    const RealTimeSampler::Result r =
        sampler_.offer(level, frameTime, toSerialDateTime(connection_.clock().now()));
    if (r.rejected) emit rejectedCountChanged(sampler_.rejectedCount());
    if (r.outcome != RealTimeSampler::Outcome::Stored) return;

    connection_.realTimeDataUnsaved() = true;
    const QLocale locale = app_.locale();
    if (r.newMaximum) {
        graph->seriesMaximum->setText(formatLevel(r.level, locale));
        graph->seriesMaximumTime->setText(formatDateTime(frameTime, locale));
    }
    if (r.newMinimum) {
        graph->seriesMinimum->setText(formatLevel(r.level, locale));
        graph->seriesMinimumTime->setText(formatDateTime(frameTime, locale));
    }
    g->setXValue(0, r.index, frameTime);
    g->setYValue(0, r.index, r.level);
    const int count = sampler_.sampleCount();
    graph->pointCount->setText(QString::number(count));

    // Read through the const state, so that the incremental redraw stays incremental.
    if (std::as_const(*g).state().manualMaxX < frameTime)
        g->editProperties(
            [frameTime](GraphState& s) { s.manualMaxX = frameTime + kViewStepSeconds * kOneSecond; });

    // At the fastest interval every second sample is drawn.
    if (graph->samplingRateBox->currentIndex() != 0 || count % 2 == 0) graph->redraw();

    if (count >= g->points()) stopRun();
}

void RealTimeRecorder::stopRun() {
    connection_.setRunActive(false);
    GraphWindow* graph = windows_.realTimeWindow();
    if (!graph) {
        connection_.setFastPolling(false);
        return;
    }
    windows_.restore(graph);

    const SerialDateTime tStop = toSerialDateTime(connection_.clock().now());
    GraphView* g = graph->graphView;
    const int count = sampler_.sampleCount();
    if (g->points() > count) {
        // The graph keeps exactly the samples taken.
        g->setPoints(count);
        graph->redraw();
    }
    g->editProperties([tStop](GraphState& s) { s.manualMaxX = tStop; });
    graph->seriesAverage->setText(formatLevel(sampler_.average(), app_.locale()));
    graph->setSliderRange(count);
    graph->redraw();
    connection_.setFastPolling(false);
}

void RealTimeRecorder::onSamplingRatePicked(int index) {
    GraphWindow* graph = windows_.realTimeWindow();
    if (!graph) return;
    QComboBox* box = graph->samplingRateBox;
    if (!connection_.runActive()) {
        // An unreadable text leaves the interval as it was.
        if (const std::optional<double> rate = parseRate(box->itemText(index), app_.locale()))
            app_.setRealTimeRate(*rate);
        return;
    }
    selectRateItem(graph, app_.realTimeRate());
    app_.prompts().message(kRateLockedMessage);
}

}  // namespace kl516
