#pragma once

#include <QLocale>
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>

namespace kl516 {

class AppContext;
class DataSetTable;
class LinkLease;
class MeterConnection;
class GraphWindow;
class ProgressRangeDialog;
class WindowService;

// Fixed texts of the logger commands, shown exactly so.
namespace LoggerText {
inline const QString NoConnection = QStringLiteral("There is no connection with meter !");
inline const QString RecordingLoad =
    QStringLiteral("The meter is recording data, please stop recording before loading data.");
inline const QString RecordingErase =
    QStringLiteral("The meter is recording data, please stop recording before erasing data.");
inline const QString NoData =
    QStringLiteral("There was not any data recorded in memory of meter !");
inline const QString ErrorPrefix =
    QStringLiteral("There was error,please try again!   error code=");
inline const QString EraseQuestion = QStringLiteral("Are you sure to erase memory ?");
inline const QString EraseDone = QStringLiteral("erase memory successfully");
}  // namespace LoggerText

// Lists the sets of `table` in the DataLogger window's list (set s in list row s, below the
// titles) and selects the first set's row.
void fillDataSetList(GraphWindow& window, const DataSetTable& table, const QLocale& locale);

// The data logger commands: Load Data (menu item and tool button), Erase Memory and the pick
// of a set in the DataLogger window's list. They borrow the meter link from the connection for
// their whole exchange with the meter, so no poll, key or other command interleaves.
class LoggerCommands : public QObject {
    Q_OBJECT
  public:
    LoggerCommands(AppContext& app, MeterConnection& connection, WindowService& windows,
                   QObject* parent = nullptr);

    // Load Data: checks, DataLogger window, download, parse, temporary collection file, set 0,
    // result message; the poll runs again afterwards.
    void loadData();
    // Download and parse into the program-wide table over a lent link. Returns the download
    // result when it is not 0, else the parse result. *folderError receives the "temp"
    // folder's path when that folder could not be created (the new table is installed, set 0
    // is not shown).
    int32_t loadLoggerData(const LinkLease& lease, QString* folderError);

    // Erase Memory: recording check and the question, then eraseMemory.
    void confirmAndEraseMemory();
    // The erase exchange (15 attempts with the echo check) under the hourglass, and its
    // message. After a successful erase the DataLogger window lists no sets. Returns the link
    // result, or -1 when the link was refused (the message says why).
    int32_t eraseMemory();

    // A click in the DataLogger list: shows the set of the selected row when its date is set.
    void showSelectedDataSet();

    // Restores or creates the DataLogger window, with its list's clicks connected here.
    GraphWindow* openDataLoggerWindow(double now);

  private:
    void showNoSets();

    AppContext& app_;
    MeterConnection& connection_;
    WindowService& windows_;
    QPointer<GraphWindow> connectedList_;
};

}  // namespace kl516
