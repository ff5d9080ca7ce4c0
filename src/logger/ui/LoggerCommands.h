#pragma once

#include <QLocale>
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>

namespace kl516 {

class DataSetTable;
class TfrmGraph;
class TfrmMain;
class TfrmScope;

// Fixed texts of the logger commands, shown exactly so.
namespace LoggerText {
inline const QString NoConnection = QStringLiteral("There is no connection with meter !");
inline const QString RecordingLoad =
    QStringLiteral("The meter is recording data, please stop recording before loading data.");
inline const QString RecordingErase =
    QStringLiteral("The meter is recording data, please stop recording before erasing data.");
inline const QString NoData = QStringLiteral("There was not any data recorded in momery of meter !");
inline const QString ErrorPrefix = QStringLiteral("There was error,please try again!   error code=");
inline const QString EraseQuestion = QStringLiteral("Are you sure to erase memory ?");
inline const QString EraseDone = QStringLiteral("erase memory successfully");
}  // namespace LoggerText

// Lists the sets of `table` in the DataLogger window's list (set s in list row s, below the
// titles) and selects the first set's row.
void fillDataSetList(TfrmGraph& window, const DataSetTable& table, const QLocale& locale);

// The main window's data logger commands: Load Data (menu item and tool button), Erase Memory,
// the DataLogger graph window that shows the loaded sets and the pick of a set in its list.
// Owned by the main window; holds the references to the DataLogger and progress windows.
class LoggerCommands : public QObject {
    Q_OBJECT
public:
    explicit LoggerCommands(TfrmMain& main);

    // Load Data: checks, DataLogger window, download, parse, temporary collection file, set 0,
    // result message; the poll timer runs again afterwards.
    void LoadData1Click();
    // Download and parse into the program-wide table. Returns the download result when it is
    // not 0, else the parse result. *folderError receives the "temp" folder's path when that
    // folder could not be created (the new table is installed, set 0 is not shown).
    int32_t loadLoggerData(QString* folderError);

    // Erase Memory: recording check and the question, then eraseMemory.
    void EraseMemory1Click();
    // The erase exchange (15 attempts with the echo check) under the hourglass, its message,
    // and the poll timer restarted. Returns the link result.
    int32_t eraseMemory();

    // A click in the DataLogger list: shows the set of the selected row when its date is set.
    void Grid2Click();

    // The DataLogger window, or null before the first Load Data or collection file open.
    TfrmGraph* dataLoggerWindow() const { return dataLogger_; }
    // Restores the DataLogger window to its normal size, or creates it at the top left of the
    // main window with an empty graph from now (a TDateTime) to 500 s later.
    TfrmGraph* openDataLoggerWindow(double now);
    // The progress and range window, created hidden on first use and kept for later ones.
    TfrmScope* scopeWindow();

    // True while a Load Data or an erase runs; further logger commands are ignored meanwhile.
    bool commandRunning() const { return running_; }

private:
    void resynchronise();

    TfrmMain& main_;
    QPointer<TfrmGraph> dataLogger_;
    QPointer<TfrmScope> scope_;
    bool running_ = false;
};

}  // namespace kl516
