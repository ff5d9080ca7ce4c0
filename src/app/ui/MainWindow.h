#pragma once

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <functional>
#include <memory>

#include "app/CommandStates.h"
#include "dataset/DataSetTable.h"
#include "graph/Annotations.h"
#include "graph/ui/GraphWindow.h"
#include "live/ui/ControlPanel.h"
#include "logger/ui/ProgressRangeDialog.h"
#include "session/MeterConnection.h"
#include "workspace/ui/AppContext.h"
#include "workspace/ui/WindowService.h"

class QAction;
class QLabel;
class QLineEdit;
class QMdiArea;
class QMdiSubWindow;
class QPushButton;
class QTimer;
class QToolBar;
class QToolButton;
class QUrl;

namespace kl516 {

class Clock;
class FileCommands;
class LeqCommands;
class PrintCommands;
class LoggerCommands;
class MeterLink;
class Prompts;
class RealTimeRecorder;
class AboutDialog;
class GraphWindow;
class ProgressRangeDialog;
class LoggerSetupWindow;

// The main window: a multiple-document frame with the menu, the tool bar and the status bar.
// It owns the meter connection (which runs the poll loop), the child windows (through the
// window service it implements) and the feature controllers, and it applies the command states
// whenever the connection, the run, the lent link or the active window change. Its widgets are
// its own: features reach the meter through the connection and windows through the service.
class MainWindow : public QMainWindow, public AppContext, public WindowService {
    Q_OBJECT
  public:
    struct Environment {
        QString settingsFile;     // empty: the user's settings store
        QString documentsFolder;  // null: the user's documents folder
        QString programFolder;    // empty: the folder of the executable
        QString userFolder;       // empty: the user's own folder of the program
    };

    MainWindow(MeterLink& link, Prompts& prompts, Clock& clock, Environment environment = {},
               QWidget* parent = nullptr);
    ~MainWindow() override;

    // The rest of start-up once the window is shown: panel, data folder, connection state,
    // the 500 ms wait, the poll timer, closing the splash and the real-time graph window.
    void completeStartUp(AboutDialog* splash = nullptr);

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
    QString settingsFile() const override { return env_.settingsFile; }
    AppPaths paths() const override { return paths_; }
    void changeStartTime(int set, SerialDateTime newStart) override;
    const DataSetTable& dataSets() const override { return dataSets_; }
    bool saveWindow(GraphWindow& window) override;
    void templateUnusable(const QString& path) override;
    AnnotationState& annotations() override { return annotations_; }
    QString dataFolder() const override { return dataFolder_; }
    QString workFolder() const override;
    DataSetTable& dataSetTable() override { return dataSets_; }
    double realTimeRate() const override { return realTimeRate_; }
    void setRealTimeRate(double seconds) override { realTimeRate_ = seconds; }
    void setLocale(const QLocale& locale) { locale_ = locale; }

    // WindowService
    GraphWindow* realTimeWindow() const override { return realTimeWindow_; }
    GraphWindow* openRealTimeWindow() override;
    GraphWindow* dataLoggerWindow() const override { return dataLoggerWindow_; }
    GraphWindow* openDataLoggerWindow(double now) override;
    GraphWindow* createGraphWindow(const GraphDocument& document, const QString& caption) override;
    void showLeqWindow(QWidget* leq) override;
    void showListWindow(QWidget* list) override;
    void showOpenedGraphWindow(GraphWindow* graph) override;
    void restore(QWidget* child) override;
    void activate(QWidget* child) override;
    QWidget* activeChild() const override;
    WindowRole activeRole() const override;
    ProgressRangeDialog* progressWindow() override;
    QWidget* dialogParent() override { return this; }

    // Handlers
    void pollTick() { connection_.tick(); }
    void blinkMaxMin();
    void openControlPanel();
    void showRealTimeWindow();
    void openNewControlPanel();
    void tileWindows();
    void cascadeWindows();
    void exitProgram();
    // Help > Contents: the help page with the desktop's handler, or a message that says where
    // the page is when it is missing or nothing could show it.
    void openHelpContents();
    // Opens a URL with the desktop's handler; false when none could be started (tests replace
    // it).
    std::function<bool(const QUrl&)> openUrl;
    // The logger setup window: restores the open one, or creates it (loggerSetupAction and
    // loggerSetupButton).
    void openSetupWindow();
    LoggerSetupWindow* setupWindow() const;
    // Shows the setup window's two hidden entry points (the --service switch).
    void setServiceEntriesVisible(bool visible);
    void showAbout();

    // State, as the user sees it
    bool connected() const { return connection_.connected(); }
    bool runActive() const { return connection_.runActive(); }
    QString statusText(int panel) const;
    // The status bar's line that tells a user without a meter what to do; empty once a meter
    // answers.
    QString meterHint() const;
    ControlPanel* panel() const { return panel_; }
    QMdiArea* workspace() const { return mdi_; }
    const DigitImages& digitImages() const { return digits_; }
    // The graph windows' close questions, asked as the program is left; false keeps it running.
    bool confirmCloseGraphWindows();

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
    // Status panel 1: "LEQ running" during an LEQ run, else the connection's state.
    QString connectionText() const;
    void showConnectionText();
    // The meter hint: how to connect a meter, or why the one found may not be opened (a missing
    // udev rule); nothing while connected or before the first identification was tried.
    void updateMeterHint();
    QList<GraphWindow*> graphWindows() const;

    MeterLink& link_;
    Prompts& prompts_;
    Clock& clock_;
    Environment env_;
    AppPaths paths_;
    MeterConnection connection_;
    QMdiArea* mdi_ = nullptr;
    QLabel* statusPanels_[3] = {nullptr, nullptr, nullptr};
    QLabel* meterHint_ = nullptr;
    DigitImages digits_;
    std::array<int, 6> pendingClock_{-1, -1, -1, -1, -1, -1};
    QPointer<ControlPanel> panel_;
    QPointer<GraphWindow> realTimeWindow_;
    QPointer<GraphWindow> dataLoggerWindow_;
    QPointer<ProgressRangeDialog> progressWindow_;
    QPointer<LoggerSetupWindow> setup_;
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

    QTimer* maxMinBlinkTimer = nullptr;
    // Menu items
    QAction *openAction, *saveAction, *printAction, *printerSetupAction, *exitAction;
    QAction *exportGraphAction, *exportReportAction;
    QAction *runAction, *stopAction;
    QAction *dataLoggerMenuAction, *loadDataAction, *eraseMemoryAction, *loggerSetupAction;
    QAction *controlPanelAction, *realTimeGraphAction;
    QAction* noiseAssessmentAction;  // on the active graph window
    QAction *tileAction, *cascadeAction;
    QAction* leqAction;
    QAction *helpContentsAction, *aboutAction;
    // Tool bar
    QToolBar* mainToolBar;
    QToolButton* exportReportButton;
    QToolButton *openFileButton, *saveFileButton, *printButton, *dataLoggerButton,
        *outputToGraphButton, *runButton, *stopButton, *helpButton;
    // Hidden controls
    QLabel* resetLabel;
    QLineEdit* rejectedCountField;
    QPushButton* loggerSetupButton;
    QPushButton* newControlPanelButton;
};

}  // namespace kl516
