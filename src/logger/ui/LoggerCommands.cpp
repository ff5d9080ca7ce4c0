#include "logger/ui/LoggerCommands.h"

#include "logger/SetupOperations.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QTableView>
#include <QTimer>
#include <algorithm>

#include "dataset/SerialDateTime.h"
#include "dataset/ui/DateColumn.h"
#include "graph/ui/DataSetListModel.h"
#include "graph/ui/GraphWindow.h"
#include "link/Clock.h"
#include "link/MeterLink.h"
#include "logger/CollectionFile.h"
#include "logger/Download.h"
#include "logger/MemoryParser.h"
#include "logger/ui/ProgressRangeDialog.h"
#include "session/MeterConnection.h"
#include "workspace/Prompts.h"
#include "workspace/ui/AppContext.h"
#include "workspace/ui/Hourglass.h"
#include "workspace/ui/WindowService.h"

namespace kl516 {

namespace {

constexpr int kSelectedColumns = 5;  // the first set's row is selected in columns 0 .. 4
constexpr int kCellPadding = 12;     // a list column's width beyond its widest text

// Passes the download's progress to the progress window and keeps the hourglass up while the
// information response is fetched, that is until the transfer starts or the download ends.
class DownloadWithHourglass final : public DownloadProgress {
  public:
    explicit DownloadWithHourglass(ProgressRangeDialog& scope) : dialog_(scope) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~DownloadWithHourglass() override { restoreCursor(); }
    DownloadWithHourglass(const DownloadWithHourglass&) = delete;
    DownloadWithHourglass& operator=(const DownloadWithHourglass&) = delete;

    void start(int32_t total) override {
        restoreCursor();
        dialog_.start(total);
    }
    void received(int32_t count) override { dialog_.received(count); }
    void finish() override {
        restoreCursor();
        dialog_.finish();
    }

  private:
    void restoreCursor() {
        if (!waiting_) return;
        waiting_ = false;
        QApplication::restoreOverrideCursor();
    }

    ProgressRangeDialog& dialog_;
    bool waiting_ = true;
};

}  // namespace

void fillDataSetList(GraphWindow& window, const DataSetTable& table, const QLocale& locale) {
    QTableView& grid = *window.dataSetTable;
    grid.setUpdatesEnabled(false);
    window.dataSetList().setSets(table, locale);
    const QAbstractItemModel& model = *grid.model();
    grid.setCurrentIndex(model.index(0, 0));
    grid.selectionModel()->select(
        QItemSelection(model.index(0, 0), model.index(0, kSelectedColumns - 1)),
        QItemSelectionModel::ClearAndSelect);
    // Dates and times in the user's formats may be wider than the columns' first widths.
    const QFontMetrics metrics(grid.font());
    const int wanted[2] = {widestShortDate(metrics, locale),
                           metrics.horizontalAdvance(QStringLiteral("00:00:00"))};
    for (int c : {1, 2})
        if (grid.columnWidth(c) < wanted[c - 1] + kCellPadding)
            grid.setColumnWidth(c, wanted[c - 1] + kCellPadding);
    grid.setUpdatesEnabled(true);
}

LoggerCommands::LoggerCommands(AppContext& app, MeterConnection& connection, WindowService& windows,
                               QObject* parent)
    : QObject(parent), app_(app), connection_(connection), windows_(windows) {
    setObjectName(QStringLiteral("LoggerCommands"));
}

GraphWindow* LoggerCommands::openDataLoggerWindow(double now) {
    GraphWindow* graph = windows_.openDataLoggerWindow(now);
    if (graph && graph != connectedList_) {
        connectedList_ = graph;
        connect(graph->dataSetTable, &QAbstractItemView::clicked, this,
                [this] { showSelectedDataSet(); });
    }
    return graph;
}

void LoggerCommands::loadData() {
    const double now = toSerialDateTime(connection_.clock().now());
    Prompts& prompts = app_.prompts();
    if (!connection_.connected()) {
        prompts.message(LoggerText::NoConnection);
        return;
    }
    if (connection_.meterRecording()) {
        prompts.message(LoggerText::RecordingLoad);
        return;
    }
    const LinkLease lease = connection_.borrow(QStringLiteral("Load Data"));
    if (!lease) {
        prompts.message(lease.refusal());
        return;
    }

    openDataLoggerWindow(now);
    QString folderError;
    const int32_t result = loadLoggerData(lease, &folderError);
    if (!folderError.isEmpty()) {
        // The load ends with the folder's path as its error; nothing else is reported.
        prompts.message(folderError);
    } else if (result == ParseResult::Ok || result == ParseResult::BadMarks ||
               result == ParseResult::EndPastLastAddress) {
        connection_.loggerDataUnsaved() = true;
    } else if (result == ParseResult::NoSets) {
        prompts.message(LoggerText::NoData);
    } else {
        prompts.message(LoggerText::ErrorPrefix + QString::number(result));
        // Gets the meter back in step after a failed load; the outcome is not looked at.
        MeterLink& link = lease.link();
        link.prepareRead();
        setLetter(link.mainBuffer(), Cmd::Resync);
        link.writeFrame(link.mainBuffer());
    }
    // The lease goes here, and the poll runs again.
}

int32_t LoggerCommands::loadLoggerData(const LinkLease& lease, QString* folderError) {
    LoggerImage image;  // lives only for this load: empty before and after it
    int32_t lastAddress = 0;
    {
        DownloadWithHourglass progress(*windows_.progressWindow());
        IdleLinkHost paused;  // the lease has already paused the poll
        const int32_t r = downloadMemory(lease.link(), paused, image, lastAddress, &progress);
        if (r != LinkResult::Success) return r;
    }
    DataSetTable& table = app_.dataSetTable();
    const int32_t p =
        parseImage(image, lastAddress, connection_.clock().now(), table, nullptr, app_.locale());
    if (!parseInstalledTable(p)) return p;
    GraphWindow* window = windows_.dataLoggerWindow();
    if (window) fillDataSetList(*window, table, app_.locale());

    const QString base = app_.workFolder();
    bool written = false;
    const QString error = writeTempCollectionFile(image, table, base, &written);
    if (!error.isEmpty()) {
        if (folderError) *folderError = error;
        return p;
    }
    // Saving a collection copies the temporary file: one left from an earlier load must not
    // stand in for this load.
    if (!written) QFile::remove(tempCollectionPath(base));
    if (window) window->showDataSet(0);
    return p;
}

void LoggerCommands::confirmAndEraseMemory() {
    Prompts& prompts = app_.prompts();
    // Refused before the question, so the user is not asked for what cannot run now.
    if (connection_.linkLent()) {
        prompts.message(MeterConnection::busyMessage(connection_.borrower()));
        return;
    }
    if (connection_.meterRecording()) {
        prompts.message(LoggerText::RecordingErase);
        return;
    }
    if (prompts.ask(LoggerText::EraseQuestion) != Prompts::Answer::Yes) return;
    eraseMemory();
}

int32_t LoggerCommands::eraseMemory() {
    Prompts& prompts = app_.prompts();
    int32_t result = -1;
    {
        const LinkLease lease = connection_.borrow(QStringLiteral("Erase Memory"));
        if (!lease) {
            prompts.message(lease.refusal());
            return result;
        }
        const Hourglass hourglass;
        result = lease.link().eraseMemory();
    }
    // The meter's sets are gone: the DataLogger window no longer lists them, so a later Load
    // Data that finds an empty logger cannot leave them looking current. The temporary
    // collection file and the unsaved flag stay, so a download not yet saved can still be.
    if (result == LinkResult::Success) showNoSets();
    QString text =
        result == LinkResult::Success ? LoggerText::EraseDone : linkResultMessage(result);
    // A meter that never answered is said, not left to an hourglass that just ends.
    if (text.isEmpty() && result == LinkResult::NoAnswer) text = SetupText::NoAnswer;
    if (result == LinkResult::Success)
        prompts.information(text);
    else if (!text.isEmpty())
        prompts.message(text);
    return result;
}

void LoggerCommands::showNoSets() {
    app_.dataSetTable().replaceAll({});
    GraphWindow* window = windows_.dataLoggerWindow();
    if (!window) return;
    fillDataSetList(*window, app_.dataSetTable(), app_.locale());
    const double now = toSerialDateTime(connection_.clock().now());
    window->setUpGraph(1, 130, 30, now + 500 * kOneSecond, now, 0);
    window->updateGraphStatistic();
    // No points, no cursors: nothing of the erased sets stays in the cursor panel.
    for (QLineEdit* e : {window->cursorALevel, window->cursorATime, window->cursorBLevel,
                         window->cursorBTime, window->betweenCursorsMaximum,
                         window->betweenCursorsMaximumTime, window->betweenCursorsMinimum,
                         window->betweenCursorsMinimumTime, window->betweenCursorsAverage})
        e->clear();
    window->redraw();
}

void LoggerCommands::showSelectedDataSet() {
    GraphWindow* window = windows_.dataLoggerWindow();
    if (!window) return;
    const QModelIndexList selected = window->dataSetTable->selectionModel()->selectedIndexes();
    if (selected.isEmpty()) return;
    int top = selected.front().row();
    for (const QModelIndex& index : selected) top = std::min(top, index.row());
    // The empty row of a list without sets has no date.
    if (window->dataSetList().text(top, 1).isEmpty()) return;
    window->showDataSet(top);
}

}  // namespace kl516
