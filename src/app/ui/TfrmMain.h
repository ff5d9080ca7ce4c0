#pragma once

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <memory>

#include "app/CommandStates.h"
#include "session/MeterConnection.h"
#include "workspace/ui/AppContext.h"
#include "workspace/ui/WindowService.h"
#include "dataset/DataSetTable.h"
#include "graph/Annotations.h"
#include "graph/ui/TfrmGraph.h"
#include "live/ui/TfrmPanel.h"
#include "logger/ui/TfrmScope.h"

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
class FileCommands;
class LeqCommands;
class PrintCommands;
class LoggerCommands;
class MeterLink;
class Prompts;
class RealTimeRecorder;
class TfrmAbout;
class TfrmGraph;
class TfrmScope;
class TfrmSetup;

// The main window: a multiple-document frame with the menu, the tool bar and the status bar.
// It owns the meter connection (which runs the poll loop), the child windows (through the
// window service it implements) and the feature controllers, and it applies the command states
// whenever the connection, the run, the lent link or the active window change. Its widgets are
// its own: features reach the meter through the connection and windows through the service.
class TfrmMain : public QMainWindow, public AppContext, public WindowService {
    Q_OBJECT
  public:
    struct Environment {
        QString settingsFile;     // empty: the user's settings store
        QString documentsFolder;  // null: the user's documents folder
        QString programFolder;    // empty: the folder of the executable
        QString userFolder;       // empty: the user's own folder of the program
    };

    TfrmMain(MeterLink& link, Prompts& prompts, Clock& clock, Environment environment = {},
             QWidget* parent = nullptr);
    ~TfrmMain() override;

    // The rest of start-up once the window is shown: panel, data folder, connection state,
    // the 500 ms wait, the poll timer, closing the splash and the real-time graph window.
    void formShow(TfrmAbout* splash = nullptr);

    MeterConnection& connection() { return connection_; }
    const MeterConnection& connection() const { return connection_; }
    WindowService& windows() { return *this; }
    RealTimeRecorder& realTimeRecorder() { return *realTime_; }
    LoggerCommands& loggerCommands() { return *logger_; }
    LeqCommands& leqCommands() { return *leq_; }
    PrintCommands& printCommands() { return *print_; }
    FileCommands& fileCommands() { return *files_; }

    // AppContext
    Prompts& prompts() override { return prompts_; }
    Clock& clock() override { return clock_; }
    QLocale locale() const override { return locale_; }
    QString programFolder() const override;
    AppPaths paths() const override { return paths_; }
    void changeStartTime(int set, TDateTime newStart) override;
    const DataSetTable& dataSets() const override { return dataSets_; }
    bool saveWindow(TfrmGraph& window) override;
    void templateUnusable(const QString& path) override;
    AnnotationState& annotations() override { return annotations_; }
    QString dataFolder() const override { return dataFolder_; }
    QString workFolder() const override;
    DataSetTable& dataSetTable() override { return dataSets_; }
    double realTimeRate() const override { return realTimeRate_; }
    void setRealTimeRate(double seconds) override { realTimeRate_ = seconds; }
    void setLocale(const QLocale& locale) { locale_ = locale; }

    // WindowService
    TfrmGraph* realTimeWindow() const override { return realTimeWindow_; }
    TfrmGraph* openRealTimeWindow() override;
    TfrmGraph* dataLoggerWindow() const override { return dataLoggerWindow_; }
    TfrmGraph* openDataLoggerWindow(double now) override;
    TfrmGraph* createGraphWindow(const GraphDocument& document, const QString& caption) override;
    void showLeqWindow(QWidget* leq) override;
    void showListWindow(QWidget* list) override;
    void showOpenedGraphWindow(TfrmGraph* graph) override;
    void restore(QWidget* child) override;
    void activate(QWidget* child) override;
    QWidget* activeChild() const override;
    WindowRole activeRole() const override;
    TfrmScope* progressWindow() override;
    QWidget* dialogParent() override { return this; }

    // Handlers
    void MainTimerTimer() { connection_.tick(); }
    void MaxMinTimerTimer();
    void ControlPanel1Click();
    void RealTimeGraph1Click();
    void Button2Click();
    void Tile1Click();
    void Cascade1Click();
    void Exit1Click();
    void Contents1Click();
    // The logger setup window: restores the open one, or creates it (Setup1 and Button1).
    void Setup1Click();
    TfrmSetup* setupWindow() const;
    // Shows the setup window's two hidden entry points (the --service switch).
    void setServiceEntriesVisible(bool visible);
    void About1Click();

    // State, as the user sees it
    bool connected() const { return connection_.connected(); }
    bool runActive() const { return connection_.runActive(); }
    QString statusText(int panel) const;
    TfrmPanel* panel() const { return panel_; }
    QMdiArea* workspace() const { return mdi_; }
    const DigitImages& digitImages() const { return digits_; }
    // The graph windows' close questions, asked as the program is left; false keeps it running.
    bool closeQueries();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildMenu();
    void buildToolBar();
    void buildStatusBar();
    void connectCommands();
    void connectPrinting();
    void createPanel();
    void placeRealTimeWindow();
    QMdiSubWindow* addChildWindow(QWidget* child, WindowRole role);
    void applyCommandStates();
    void onConnectionChanged(ConnectionState state);
    void onStatusDecoded(const PanelRefresh& refresh, double frameTime);
    void setStatusText(int panel, const QString& text);
    // Names a device node the user may not open (a missing udev rule) in the status bar.
    void updateAccessHint();
    QList<TfrmGraph*> graphWindows() const;

    MeterLink& link_;
    Prompts& prompts_;
    Clock& clock_;
    Environment env_;
    AppPaths paths_;
    MeterConnection connection_;
    QMdiArea* mdi_ = nullptr;
    QLabel* statusPanels_[3] = {nullptr, nullptr, nullptr};
    DigitImages digits_;
    std::array<int, 6> pendingClock_{-1, -1, -1, -1, -1, -1};
    QPointer<TfrmPanel> panel_;
    QPointer<TfrmGraph> realTimeWindow_;
    QPointer<TfrmGraph> dataLoggerWindow_;
    QPointer<TfrmScope> scope_;
    QPointer<TfrmSetup> setup_;
    bool serviceEntriesVisible_ = false;
    DataSetTable dataSets_;
    AnnotationState annotations_;  // shared by every graph window
    QLocale locale_ = QLocale::system();
    QString dataFolder_;
    double realTimeRate_ = 0.2;
    bool templateProblemShown_ = false;
    RealTimeRecorder* realTime_ = nullptr;
    LoggerCommands* logger_ = nullptr;
    LeqCommands* leq_ = nullptr;
    PrintCommands* print_ = nullptr;
    FileCommands* files_ = nullptr;
    // The last active list, graph window or control panel: "Output Tabular to graph" stays as
    // it was while another window (the LEQ or setup window) is active.
    WindowRole lastDataRole_ = WindowRole::None;

    QTimer* MaxMinTimer = nullptr;
    QTimer* accessHintTimer_ = nullptr;
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
    QToolButton *SpeedButton1, *SpeedButton2, *btnPrint, *btnDataLogger, *btnOutputToGraph, *btnRun,
        *btnStop, *SpeedButton8;
    // Hidden controls
    QLabel* lbl_reset;
    QLineEdit* Edit1;
    QPushButton* Button1;
    QPushButton* Button2;
};

}  // namespace kl516
