#include "logger/ui/LoggerCommands.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QItemSelectionModel>
#include <QTableView>
#include <QTimer>
#include <algorithm>

#include "app/Prompts.h"
#include "app/ui/TfrmMain.h"
#include "dataset/TDateTime.h"
#include "files/CollectionFile.h"
#include "graph/ui/DataSetListModel.h"
#include "graph/ui/TfrmGraph.h"
#include "link/Clock.h"
#include "link/MeterLink.h"
#include "logger/Download.h"
#include "logger/MemoryParser.h"
#include "logger/ui/TfrmScope.h"

namespace kl516 {

namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr int kSelectedColumns = 5;  // the first set's row is selected in columns 0 .. 4
constexpr int kCellPadding = 12;     // a list column's width beyond its widest text

// Marks a logger command as running for the lifetime of the guard.
class RunningGuard {
public:
    explicit RunningGuard(bool& flag) : flag_(flag), before_(flag) { flag_ = true; }
    ~RunningGuard() { flag_ = before_; }
    RunningGuard(const RunningGuard&) = delete;
    RunningGuard& operator=(const RunningGuard&) = delete;

private:
    bool& flag_;
    bool before_;
};

// Passes the download's progress to the progress window and keeps the hourglass up while the
// information response is fetched, that is until the transfer starts or the download ends.
class DownloadWithHourglass final : public DownloadProgress {
public:
    explicit DownloadWithHourglass(TfrmScope& scope) : scope_(scope) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~DownloadWithHourglass() override { restoreCursor(); }
    DownloadWithHourglass(const DownloadWithHourglass&) = delete;
    DownloadWithHourglass& operator=(const DownloadWithHourglass&) = delete;

    void start(int32_t total) override {
        restoreCursor();
        scope_.start(total);
    }
    void received(int32_t count) override { scope_.received(count); }
    void finish() override {
        restoreCursor();
        scope_.finish();
    }

private:
    void restoreCursor() {
        if (!waiting_) return;
        waiting_ = false;
        QApplication::restoreOverrideCursor();
    }

    TfrmScope& scope_;
    bool waiting_ = true;
};

}  // namespace

void fillDataSetList(TfrmGraph& window, const DataSetTable& table, const QLocale& locale) {
    QTableView& grid = *window.Grid2;
    grid.setUpdatesEnabled(false);
    window.dataSetList().setSets(table, locale);
    const QAbstractItemModel& model = *grid.model();
    grid.setCurrentIndex(model.index(0, 0));
    grid.selectionModel()->select(
        QItemSelection(model.index(0, 0), model.index(0, kSelectedColumns - 1)),
        QItemSelectionModel::ClearAndSelect);
    // Dates and times in the user's formats may be wider than the columns' first widths. Digits
    // are equally wide, so the 28th of each month (a format may name the month) stands for all
    // dates: measuring each of up to 4000 rows would cost more than the list itself.
    const QFontMetrics metrics(grid.font());
    int dateWidth = 0;
    for (int month = 1; month <= 12; ++month)
        dateWidth = std::max(dateWidth, metrics.horizontalAdvance(locale.toString(
                                            QDate(2088, month, 28), QLocale::ShortFormat)));
    const int wanted[2] = {dateWidth, metrics.horizontalAdvance(QStringLiteral("00:00:00"))};
    for (int c : {1, 2})
        if (grid.columnWidth(c) < wanted[c - 1] + kCellPadding)
            grid.setColumnWidth(c, wanted[c - 1] + kCellPadding);
    grid.setUpdatesEnabled(true);
}

LoggerCommands::LoggerCommands(TfrmMain& main) : QObject(&main), main_(main) {
    setObjectName(QStringLiteral("LoggerCommands"));
}

TfrmScope* LoggerCommands::scopeWindow() {
    if (!scope_) {
        scope_ = new TfrmScope(&main_);
        scope_->hide();
    }
    return scope_;
}

TfrmGraph* LoggerCommands::openDataLoggerWindow(double now) {
    if (dataLogger_) {
        if (auto* sub = qobject_cast<QMdiSubWindow*>(dataLogger_->parentWidget())) {
            sub->showNormal();
            main_.workspace()->setActiveSubWindow(sub);
        }
        return dataLogger_;
    }
    auto* graph = new TfrmGraph(main_);
    graph->setCaption(QStringLiteral("DataLogger"));
    graph->pnlDataSets->show();
    connect(graph->Grid2, &QAbstractItemView::clicked, this, [this] { Grid2Click(); });
    QMdiSubWindow* sub = main_.addGraphWindow(graph);
    sub->setObjectName(QStringLiteral("frmDataLogger"));
    // The main window's client area is everything below its menu bar, tool and status bar
    // included; the window leaves 60 pixels of its height free.
    const QMenuBar* menu = main_.menuBar();
    const int menuHeight = menu && menu->isVisible() && !menu->isNativeMenuBar() ? menu->height() : 0;
    sub->setGeometry(0, 0, main_.width(), main_.height() - menuHeight - 60);
    graph->setUpGraph(1, 130, 30, now + 500 / kSecondsPerDay, now, 500);
    graph->PESGraph1->state().allowGraphAnnotHotSpots = true;
    sub->showNormal();
    main_.workspace()->setActiveSubWindow(sub);
    graph->repaint();
    dataLogger_ = graph;
    return graph;
}

void LoggerCommands::LoadData1Click() {
    if (running_) return;
    const double now = toTDateTime(main_.clock().now());
    Prompts& prompts = main_.prompts();
    if (!main_.connected()) {
        prompts.message(LoggerText::NoConnection);
        return;
    }
    if (main_.meterRecording()) {
        prompts.message(LoggerText::RecordingLoad);
        return;
    }
    RunningGuard guard(running_);
    while (main_.linkBusy()) main_.processPendingEvents();
    main_.stopMainTimer();

    openDataLoggerWindow(now);
    QString folderError;
    const int32_t result = loadLoggerData(&folderError);
    if (!folderError.isEmpty()) {
        // The load ends with the folder's path as its error; nothing else is reported.
        prompts.message(folderError);
    } else if (result == ParseResult::Ok || result == ParseResult::BadMarks ||
               result == ParseResult::EndPastLastAddress) {
        main_.loggerDataUnsaved() = true;
    } else if (result == ParseResult::NoSets) {
        prompts.message(LoggerText::NoData);
    } else {
        prompts.message(LoggerText::ErrorPrefix + QString::number(result));
        resynchronise();
    }
    main_.MainTimer->start();
}

int32_t LoggerCommands::loadLoggerData(QString* folderError) {
    LoggerImage image;  // lives only for this load: empty before and after it
    int32_t lastAddress = 0;
    {
        DownloadWithHourglass progress(*scopeWindow());
        const int32_t r = downloadMemory(main_.link(), main_, image, lastAddress, &progress);
        if (r != LinkResult::Success) return r;
    }
    const int32_t p = parseImage(image, lastAddress, main_.clock().now(), main_.dataSetTable(),
                                 nullptr, main_.locale());
    if (!parseInstalledTable(p)) return p;
    TfrmGraph* window = dataLogger_;
    if (window) fillDataSetList(*window, main_.dataSetTable(), main_.locale());

    const QString base = collectionBaseFolder(main_.dataFolder(), main_.programFolder());
    bool written = false;
    const QString error = writeTempCollectionFile(image, base, &written);
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

void LoggerCommands::resynchronise() {
    // Gets the meter back in step after a failed load; the outcome is not looked at.
    MeterLink& link = main_.link();
    link.prepareRead();
    setLetter(link.mainBuffer(), Cmd::Resync);
    link.writeFrame(link.mainBuffer());
}

void LoggerCommands::EraseMemory1Click() {
    if (running_) return;
    Prompts& prompts = main_.prompts();
    if (main_.meterRecording()) {
        prompts.message(LoggerText::RecordingErase);
        return;
    }
    if (prompts.confirm(LoggerText::EraseQuestion) != Prompts::Answer::Yes) return;
    eraseMemory();
}

int32_t LoggerCommands::eraseMemory() {
    RunningGuard guard(running_);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const int32_t result = main_.link().eraseMemory();
    QApplication::restoreOverrideCursor();
    const QString text =
        result == LinkResult::Success ? LoggerText::EraseDone : linkResultMessage(result);
    if (!text.isEmpty()) main_.prompts().message(text);
    main_.MainTimer->start();
    return result;
}

void LoggerCommands::Grid2Click() {
    TfrmGraph* window = dataLogger_;
    if (!window) return;
    const QModelIndexList selected = window->Grid2->selectionModel()->selectedIndexes();
    if (selected.isEmpty()) return;
    int top = selected.front().row();
    for (const QModelIndex& index : selected) top = std::min(top, index.row());
    // The empty row of a list without sets has no date.
    if (window->dataSetList().text(top, 1).isEmpty()) return;
    window->showDataSet(top);
}

}  // namespace kl516
