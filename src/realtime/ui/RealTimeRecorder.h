#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

#include "dataset/SerialDateTime.h"
#include "realtime/RealTimeSampler.h"

namespace kl516 {

class AppContext;
class MeterConnection;
class GraphWindow;
class RealTimeSetupDialog;
class WindowService;

// Real-time recording: Run with its reset question and setup dialog, the sampler fed with the
// level of every decoded status frame, Stop (by the user or when the chosen number of samples
// is reached) and the sampling-rate box of the real-time window. Samples are stored directly as
// points of the real-time graph window. The run flag and the poll rate are the connection's.
class RealTimeRecorder : public QObject {
    Q_OBJECT
  public:
    static const QString kResetQuestion;
    static const QString kRateLockedMessage;
    static const QString kZeroSamplesMessage;
    // Rates at or above this keep the normal poll interval.
    static constexpr double kFastPollBelowSeconds = 0.9;

    RealTimeRecorder(AppContext& app, MeterConnection& connection, WindowService& windows,
                     QObject* parent = nullptr);

    // The real-time window was created: its sampling-rate box becomes the chooser of the
    // interval of the next run.
    void windowCreated(GraphWindow* graph);

    void startRun();
    void stopRun();
    // One decoded status frame with its level in dB. The sample it becomes is placed by the
    // run's schedule on the steady clock, so the frame's wall-clock time is not used.
    void takeSample(float level, SerialDateTime frameTime);
    // The user picked an item of the real-time window's sampling-rate box.
    void onSamplingRatePicked(int index);
    // The user finished typing in that box (Enter or leaving it).
    void onSamplingRateTyped();
    // The real-time window's Clear: the run's samples are gone, and the box shows the interval
    // of the next run.
    void clearSamples();

    const RealTimeSampler& sampler() const { return sampler_; }
    int sampleCount() const { return sampler_.sampleCount(); }

    // Shows the setup dialog modally; true when it was closed with Start. Tests replace it.
    std::function<bool(RealTimeSetupDialog&)> execSetupDialog;

  signals:
    // Readings outside 20 ... 140 dB in this run, for the main window's hidden counter.
    void rejectedCountChanged(int count);

  private:
    // The box shows the rate of the series on screen (a run going on or finished), or, with no
    // series, the rate of the next run.
    void showRate(GraphWindow* graph);
    // A rate text the user chose in the window's box, picked from its list or typed.
    void takeRateText(const QString& text);
    // Stores the samples a reading (or the end of the run) added, from r.firstIndex on.
    void storeSamples(GraphWindow* graph, const RealTimeSampler::Result& r);

    AppContext& app_;
    MeterConnection& connection_;
    WindowService& windows_;
    RealTimeSampler sampler_;
    QPointer<GraphWindow> connectedWindow_;
    QString shownRateText_;  // what showRate last put in the box
};

}  // namespace kl516
