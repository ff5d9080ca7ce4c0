#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>

#include "dataset/DataSetTable.h"
#include "graph/ui/GraphWindowHost.h"
#include "graph/ui/TfrmGraph.h"
#include "link/LinkHost.h"
#include "live/StatusDecoder.h"
#include "live/ui/TfrmPanel.h"

class QAction;
class QLabel;
class QLineEdit;
class QMdiArea;
class QMdiSubWindow;
class QPushButton;
class QTimer;
class QToolBar;
class QToolButton;

namespace kl516 {

class Clock;
class LoggerCommands;
class MeterLink;
class Prompts;
class RealTimeRecorder;
class TfrmAbout;
class TfrmGraph;

// The main window: a multiple-document frame that owns the child windows, the three timers, the
// meter link's host side and the program-wide state. It runs the poll loop.
class TfrmMain : public QMainWindow, public LinkHost, public GraphWindowHost {
    Q_OBJECT
public:
    struct Environment {
        QString settingsFile;     // empty: the user's settings store
        QString documentsFolder;  // null: the user's documents folder
        QString programFolder;    // empty: the folder of the executable
    };

    TfrmMain(MeterLink& link, Prompts& prompts, Clock& clock, Environment environment = {},
             QWidget* parent = nullptr);
    ~TfrmMain() override;

    // The rest of start-up once the window is shown: panel, data folder, connection state,
    // the 500 ms wait, the poll timer, closing the splash and the real-time graph window.
    void formShow(TfrmAbout* splash = nullptr);

    // LinkHost
    bool linkBusy() const override { return linkBusy_; }
    void processPendingEvents() override;
    void stopMainTimer() override;
    void hideResetIndicator() override;

    // GraphWindowHost
    Prompts& prompts() override { return prompts_; }
    Clock& clock() override { return clock_; }
    QLocale locale() const override { return locale_; }
    QString programFolder() const override;
    const DataSetTable& dataSets() const override { return dataSets_; }
    bool& loggerDataUnsaved() override { return loggerDataUnsaved_; }
    bool& realTimeDataUnsaved() override { return realTimeDataUnsaved_; }
    bool saveActiveWindow() override;
    void setLocale(const QLocale& locale) { locale_ = locale; }
    DataSetTable& dataSetTable() { return dataSets_; }

    // Handlers
    void MainTimerTimer();
    void onStatus(const ResponseFrame& frame);
    void MaxMinTimerTimer();
    void ControlPanel1Click();
    void RealTimeGraph1Click();
    void Button2Click();
    void Tile1Click();
    void Cascade1Click();
    void Exit1Click();
    void Contents1Click();
    void About1Click();

    // State
    bool connected() const { return connected_; }
    int failedPolls() const { return failedPolls_; }
    int tickCount() const { return tickCount_; }
    bool meterRecording() const { return decoder_.meterRecording(); }
    double realTimeRate() const { return realTimeRate_; }
    void setRealTimeRate(double seconds) { realTimeRate_ = seconds; }
    const QString& dataFolder() const { return dataFolder_; }
    QString statusText(int panel) const;
    TfrmPanel* panel() const { return panel_; }
    TfrmGraph* realTimeWindow() const { return realTimeWindow_; }
    // Creates the real-time graph window: caption, graph set-up and sampling-rate box.
    void openRealTimeWindow();
    // Adds a graph window to the workspace; its frame follows the graph's caption.
    QMdiSubWindow* addGraphWindow(TfrmGraph* graph);
    // Load Data, Erase Memory and the DataLogger window.
    LoggerCommands& loggerCommands() { return *logger_; }
    TfrmGraph* dataLoggerWindow() const;
    QMdiArea* workspace() const { return mdi_; }
    const DigitImages& digitImages() const { return digits_; }
    MeterLink& link() { return link_; }

    // Whether a real-time run is active; the real-time recorder sets it.
    bool runActive() const { return runActive_; }
    void setRunActive(bool active) { runActive_ = active; }
    // Receives the level of every decoded status frame (the real-time recorder).
    std::function<void(float)> levelSink;
    // The time (TDateTime) at which the decoding of the last status frame began.
    double frameTime() const { return frameTime_; }
    RealTimeRecorder& realTimeRecorder() { return *realTime_; }

    QTimer* MainTimer = nullptr;
    QTimer* MaxMinTimer = nullptr;
    QTimer* LEQTimer = nullptr;

    // Menu items
    QAction *Open1, *Save1, *Print1, *PrinterSetup1, *Exit1;
    QAction *Run1, *Stop1;
    QAction *DataLogger1, *LoadData1, *EraseMemory1, *Setup1;
    QAction *ControlPanel1, *RealTimeGraph1;
    QAction *Tile1, *Cascade1;
    QAction* LEQ1;
    QAction *Contents1, *About1;
    // Tool bar
    QToolBar* ToolBar1;
    QToolButton *SpeedButton1, *SpeedButton2, *btnPrint, *btnDataLogger, *btnOutputToGraph,
        *btnRun, *btnStop, *SpeedButton8;
    // Hidden controls
    QLabel* lbl_reset;
    QLineEdit* Edit1;
    QPushButton* Button1;
    QPushButton* Button2;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenu();
    void buildToolBar();
    void buildStatusBar();
    void createPanel();
    void placeRealTimeWindow();
    void setConnectedCommands();
    void setDisconnectedCommands();
    void setStatusText(int panel, const QString& text);

    MeterLink& link_;
    Prompts& prompts_;
    Clock& clock_;
    Environment env_;
    QMdiArea* mdi_ = nullptr;
    QLabel* statusPanels_[3] = {nullptr, nullptr, nullptr};
    DigitImages digits_;
    StatusDecoder decoder_;
    std::array<int, 6> pendingClock_{-1, -1, -1, -1, -1, -1};
    QPointer<TfrmPanel> panel_;
    QPointer<TfrmGraph> realTimeWindow_;
    DataSetTable dataSets_;
    QLocale locale_ = QLocale::system();
    bool loggerDataUnsaved_ = false;
    bool realTimeDataUnsaved_ = false;
    QString dataFolder_;
    double realTimeRate_ = 0.2;
    bool connected_ = false;
    bool linkBusy_ = false;
    bool runActive_ = false;
    RealTimeRecorder* realTime_ = nullptr;
    LoggerCommands* logger_ = nullptr;
    double frameTime_ = 0;
    int failedPolls_ = 0;
    int tickCount_ = 0;
};

}  // namespace kl516
