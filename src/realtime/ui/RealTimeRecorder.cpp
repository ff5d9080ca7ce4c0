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

#include "app/Prompts.h"
#include "app/ui/TfrmMain.h"
#include "graph/ui/TfrmGraph.h"
#include "graph/ui/Tslider2.h"
#include "link/Clock.h"
#include "realtime/RecordingPeriod.h"
#include "realtime/SamplingRate.h"
#include "realtime/ui/TfrmSetupRealTime.h"

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

QMdiSubWindow* subWindowOf(TfrmGraph* graph) {
    return graph ? qobject_cast<QMdiSubWindow*>(graph->parentWidget()) : nullptr;
}

}  // namespace

RealTimeRecorder::RealTimeRecorder(TfrmMain& main) : QObject(&main), main_(main) {
    setObjectName(QStringLiteral("RealTimeRecorder"));
    execSetupDialog = [](TfrmSetupRealTime& dialog) { return dialog.exec() == QDialog::Accepted; };
    connect(main_.btnRun, &QToolButton::clicked, this, &RealTimeRecorder::btnRunClick);
    connect(main_.Run1, &QAction::triggered, this, &RealTimeRecorder::btnRunClick);
    connect(main_.btnStop, &QToolButton::clicked, this, &RealTimeRecorder::btnStopClick);
    connect(main_.Stop1, &QAction::triggered, this, &RealTimeRecorder::btnStopClick);
    main_.levelSink = [this](float level) { takeSample(level, main_.frameTime()); };
    // Samples are spaced by whole poll ticks; a coarse timer may fire up to 5 % early, which
    // would turn some 0.2 s gaps into 0.3 s.
    main_.MainTimer->setTimerType(Qt::PreciseTimer);
}

void RealTimeRecorder::windowCreated(TfrmGraph* graph) {
    sampler_.setLastSampleTime(toTDateTime(main_.clock().now()));
    if (!graph || graph == connectedWindow_) return;
    connectedWindow_ = graph;
    // activated: only the user's picks, never a selection made by the program.
    connect(graph->txtSamplingRate, &QComboBox::activated, this,
            &RealTimeRecorder::txtSamplingRateChange);
}

void RealTimeRecorder::setRunCommands(bool running) {
    main_.btnRun->setEnabled(!running);
    main_.Run1->setEnabled(!running);
    main_.btnStop->setEnabled(running);
    main_.Stop1->setEnabled(running);
}

void RealTimeRecorder::selectRateItem(TfrmGraph* graph, double rate) {
    const int item = samplingRateItem(rate);
    if (item < 0) return;  // 30.5 s or more: the box stays as it is
    const bool blocked = graph->txtSamplingRate->blockSignals(true);
    graph->txtSamplingRate->setCurrentIndex(item);
    graph->txtSamplingRate->blockSignals(blocked);
}

void RealTimeRecorder::restore(TfrmGraph* graph) {
    if (QMdiSubWindow* sub = subWindowOf(graph)) sub->showNormal();
}

void RealTimeRecorder::btnRunClick() {
    if (!main_.connected()) return;
    Prompts& prompts = main_.prompts();
    TfrmGraph* graph = main_.realTimeWindow();
    if (!graph) {
        main_.openRealTimeWindow();
        graph = main_.realTimeWindow();
        if (!graph) return;
    } else {
        restore(graph);
        if (main_.runActive() || sampler_.sampleCount() > 0) {
            const Prompts::Answer answer = prompts.confirm(kResetQuestion);
            if (QMdiSubWindow* sub = subWindowOf(graph)) main_.workspace()->setActiveSubWindow(sub);
            if (answer == Prompts::Answer::Cancel) return;
            // The save acts on the active window, which is now the real-time window. A save that
            // was cancelled or failed ends here, so that the run's samples are not reset.
            if (answer == Prompts::Answer::Yes && !main_.saveActiveWindow()) return;
        }
    }

    QString rateText, countText;
    {
        TfrmSetupRealTime dialog(prompts, main_.locale(), &main_);
        dialog.txtRate->setEditText(graph->txtSamplingRate->currentText());
        dialog.edtPeriod->setText(
            presetPeriodText(recordingPeriodSeconds(main_.realTimeRate(), kPresetSamples)));
        if (!execSetupDialog(dialog)) return;
        rateText = dialog.txtRate->currentText();
        countText = dialog.edtRealTimeNo->text();
    }
    // The window may have gone while the dialog was open.
    graph = main_.realTimeWindow();
    if (!graph) return;

    const std::optional<double> rate = parseRate(rateText, main_.locale());
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
    // An interval that is not a positive number of seconds up to a day would stall the run and
    // be kept in the settings for every later start.
    if (!std::isfinite(*rate) || *rate <= 0 || *rate > kLongestRateSeconds) {
        prompts.message(rateText.trimmed() + QStringLiteral(" is not a valid sampling rate.\n"));
        return;
    }

    main_.setRealTimeRate(*rate);
    if (*rate < kFastPollBelowSeconds) main_.MainTimer->setInterval(kFastPollMs);
    selectRateItem(graph, *rate);

    PESGraph* g = graph->PESGraph1;
    g->setPoints(*count);
    g->setXDataII(0, -1, 0.0);
    g->setYData(0, -1, 0.0f);
    sampler_.start(*rate);
    for (QLineEdit* e :
         {graph->txtAvgAll, graph->txtMax, graph->txtMin, graph->txtMaxTime, graph->txtMinTime,
          graph->txtCursorA, graph->txtCursorATime, graph->txtCursorB, graph->txtCursorBTime,
          graph->txtMaxAB, graph->txtMaxABTime, graph->txtMinAB, graph->txtMinABTime,
          graph->txtAvgAB})
        e->clear();
    graph->txtDataNo->setText(QStringLiteral("0"));

    const TDateTime t = toTDateTime(main_.clock().now());
    graph->txtStartTime->setText(formatDateTime(t, main_.locale()));
    GraphState& state = g->state();
    state.manualMinX = t;
    state.manualMaxX = t + kFirstViewSeconds * kOneSecond;
    graph->redraw();  // the previous run's points go at once

    graph->tbntClr->setEnabled(false);
    main_.setRunActive(true);
    setRunCommands(true);
    main_.Edit1->setText(QStringLiteral("0"));
}

void RealTimeRecorder::takeSample(float level, TDateTime frameTime) {
    if (!main_.runActive()) return;
    TfrmGraph* graph = main_.realTimeWindow();
    if (!graph) return;
    PESGraph* g = graph->PESGraph1;
    // Never store past the run's points (they are only ever changed by Run).
    if (sampler_.sampleCount() >= g->points()) {
        btnStopClick();
        return;
    }

    const RealTimeSampler::Result r =
        sampler_.offer(level, frameTime, toTDateTime(main_.clock().now()));
    if (r.rejected) main_.Edit1->setText(QString::number(sampler_.rejectedCount()));
    if (r.outcome != RealTimeSampler::Outcome::Stored) return;

    main_.realTimeDataUnsaved() = true;
    const QLocale locale = main_.locale();
    if (r.newMaximum) {
        graph->txtMax->setText(formatLevel(r.level, locale));
        graph->txtMaxTime->setText(formatDateTime(frameTime, locale));
    }
    if (r.newMinimum) {
        graph->txtMin->setText(formatLevel(r.level, locale));
        graph->txtMinTime->setText(formatDateTime(frameTime, locale));
    }
    g->setXDataII(0, r.index, frameTime);
    g->setYData(0, r.index, r.level);
    const int count = sampler_.sampleCount();
    graph->txtDataNo->setText(QString::number(count));

    // Read through the const state, so that the incremental redraw stays incremental.
    if (std::as_const(*g).state().manualMaxX < frameTime)
        g->state().manualMaxX = frameTime + kViewStepSeconds * kOneSecond;

    // At the fastest interval every second sample is drawn.
    if (graph->txtSamplingRate->currentIndex() != 0 || count % 2 == 0) graph->redraw();

    if (count >= g->points()) btnStopClick();
}

void RealTimeRecorder::btnStopClick() {
    main_.setRunActive(false);
    setRunCommands(false);
    TfrmGraph* graph = main_.realTimeWindow();
    if (!graph) return;
    restore(graph);
    graph->tbntClr->setEnabled(true);

    const TDateTime tStop = toTDateTime(main_.clock().now());
    PESGraph* g = graph->PESGraph1;
    const int count = sampler_.sampleCount();
    if (g->points() > count) {
        // The graph keeps exactly the samples taken.
        g->setPoints(count);
        graph->redraw();
    }
    g->state().manualMaxX = tStop;
    graph->txtAvgAll->setText(formatLevel(sampler_.average(), main_.locale()));
    graph->setSliderRange(count);
    graph->redraw();
    main_.MainTimer->setInterval(kNormalPollMs);
}

void RealTimeRecorder::txtSamplingRateChange(int index) {
    TfrmGraph* graph = main_.realTimeWindow();
    if (!graph) return;
    QComboBox* box = graph->txtSamplingRate;
    if (!main_.runActive()) {
        // An unreadable text leaves the interval as it was.
        if (const std::optional<double> rate = parseRate(box->itemText(index), main_.locale()))
            main_.setRealTimeRate(*rate);
        return;
    }
    selectRateItem(graph, main_.realTimeRate());
    main_.prompts().message(kRateLockedMessage);
}

}  // namespace kl516
