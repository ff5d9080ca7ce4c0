#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>

#include "graph/ui/GraphWindow.h"
#include "leq/LeqSession.h"
#include "leq/ui/LeqWindow.h"
#include "session/MeterConnection.h"

class QTimer;

namespace kl516 {

class AppContext;
class WindowService;

namespace LeqText {
inline const QString Recording =
    QStringLiteral("The meter is recording data, please stop recording first.");
inline const QString Failed = QStringLiteral("LEQ fail, try to start again !!");
inline const QString NoData = QStringLiteral("No data to graph !");
inline const QString SaveQuestion = QStringLiteral("Save LEQ Data ?");
// A run takes the link from the status poll, which a real-time run samples from.
inline const QString RealTimeRunning =
    QStringLiteral("The meter is busy: the real-time run is going. Stop it first.");
}  // namespace LeqText

// The LEQ command: opens the LEQ window and runs its measurements. A run borrows the meter
// link from the connection for its whole length and keeps the lease until Stop, the end of the
// duration, the 51st failed read or the closing of the window; releasing it restarts the poll.
// Its 40 ms timer (leqRunTimer) does one exchange per tick. A table not saved since its last
// row is not thrown away without the question "Save LEQ Data ?" (closing the window, leaving the
// program, a new Start).
class LeqCommands : public QObject {
    Q_OBJECT
  public:
    static constexpr int kTickMs = 40;
    // During a run the control panel is shown every this many good readings: about as often
    // as the status poll refreshes it (500 ms), so that the 40 ms tick stays short.
    static constexpr int kPanelFrameInterval = 500 / kTickMs;

    LeqCommands(AppContext& app, MeterConnection& connection, WindowService& windows,
                QObject* parent = nullptr);
    ~LeqCommands() override;

    // The log of every reading: the paths' LEQ log (the per-user folder's "temp/LEQ.txt")
    // unless set.
    void setLogPath(const QString& path) { logPath_ = path; }
    const QString& logPath() const { return logPath_; }

    // Menu item LEQ: the recording check, then the window (restored when it exists).
    void openLeqWindow();
    LeqWindow* window() const { return window_; }

    void startRun();       // Start
    void stopRun();        // Stop
    bool saveLeqTable();   // Save; true when the whole table was written
    void graphLeqTable();  // Graph
    void runTick();        // one tick of a run

    bool running() const { return lease_.granted(); }
    // Rows have come since the table was last saved (or the run started).
    bool tableUnsaved() const { return tableUnsaved_; }
    // Before the table goes: asks "Save LEQ Data ?" when it is unsaved. Yes saves it, and only
    // a save that wrote the file goes on; No goes on; Cancel stops. True: the table may go.
    bool confirmDiscardTable();
    QTimer* timer() const { return timer_; }
    const LeqSession* session() const { return session_.get(); }
    // The graph windows made by Graph; they close with the LEQ window.
    const QList<QPointer<GraphWindow>>& graphs() const { return graphs_; }

  signals:
    // A run took the meter link (true) or gave it back (false).
    void runningChanged(bool running);

  private:
    void createWindow();
    void windowClosed();
    // Every way out of a run: the timer stops, the log closes, the lease goes back.
    void endRun();
    void showSummary();
    void appendRow(const LeqRow& row);

    AppContext& app_;
    MeterConnection& connection_;
    WindowService& windows_;
    QTimer* timer_;
    QString logPath_;
    QPointer<LeqWindow> window_;
    std::unique_ptr<LeqSession> session_;
    LinkLease lease_;
    int lastSeconds_ = 10;
    int goodReadings_ = 0;  // in this run, for the control panel's pace
    RunningLeqSummary summary_;
    bool tableUnsaved_ = false;
    QList<QPointer<GraphWindow>> graphs_;
};

}  // namespace kl516
