#include "files/ui/FileCommands.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "dataset/SerialDateTime.h"
#include "files/ui/OpenSaveChoiceDialog.h"
#include "files/ui/TabularListWindow.h"
#include "formats/FileProgress.h"
#include "formats/ListTable.h"
#include "formats/PointText.h"
#include "formats/SpreadsheetCsv.h"
#include "formats/TableText.h"
#include "graph/GraphFile.h"
#include "graph/GraphSeries.h"
#include "graph/ui/GraphWindow.h"
#include "leq/ui/LeqWindow.h"
#include "link/Clock.h"
#include "logger/CollectionFile.h"
#include "logger/MemoryParser.h"
#include "logger/ui/LoggerCommands.h"
#include "logger/ui/ProgressRangeDialog.h"
#include "workspace/Prompts.h"
#include "workspace/ui/AppContext.h"
#include "workspace/ui/WindowService.h"

namespace kl516 {

namespace {

// The progress window of one file or graphing operation: created for it, shown until it ends.
// It is application-modal while shown, so that the window being read or written cannot be
// closed under the operation while pending events run; its Cancel (or its close box) stops
// the operation.
class WindowedFileProgress final : public FileProgress {
  public:
    enum class Shows { Counter, Bar };

    WindowedFileProgress(QWidget* parent, const QString& title, Shows shows, const QString& text,
                         qint64 total, bool cancellable)
        : window_(new ProgressRangeDialog(parent)), shows_(shows) {
        window_->setWindowTitle(title);
        window_->setWindowModality(Qt::ApplicationModal);
        window_->progressTextLabel->setText(text);
        window_->progressTextLabel->show();
        if (shows == Shows::Bar) {
            window_->progressBar->setRange(0, int(std::min<qint64>(total, kMaxBar)));
            window_->progressBar->setValue(0);
            window_->progressBar->show();
        }
        window_->cancelButton->setVisible(cancellable);
        QObject::connect(window_, &QDialog::rejected, window_, [this] { cancelled_ = true; });
        window_->adjustSize();
    }
    ~WindowedFileProgress() override { delete window_; }
    WindowedFileProgress(const WindowedFileProgress&) = delete;
    WindowedFileProgress& operator=(const WindowedFileProgress&) = delete;

    void show() {
        if (!window_ || window_->isVisible()) return;
        window_->show();
        QCoreApplication::processEvents();
    }

    void lines(qint64 count) override {
        if (!window_) return;
        // A quick operation may end before its first report: the window shows from then.
        show();
        if (shows_ == Shows::Counter)
            window_->progressTextLabel->setText(QString::number(count));
        else
            window_->progressBar->setValue(int(std::min<qint64>(count, kMaxBar)));
        QCoreApplication::processEvents();
    }
    bool cancelled() override { return cancelled_; }

  private:
    static constexpr qint64 kMaxBar = std::numeric_limits<int>::max();
    QPointer<ProgressRangeDialog> window_;
    Shows shows_;
    bool cancelled_ = false;
};

QString nativePath(const QString& path) {
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

QString openError(const QString& path, const QString& reason) {
    return QStringLiteral("Cannot open \"%1\": %2").arg(QDir::toNativeSeparators(path), reason);
}

QString commaClashError(const QString& path) {
    return fileWriteError(path, QStringLiteral("numbers with a decimal comma cannot be written "
                                               "to a comma-separated file; choose a .txt file"));
}

QString unknownGraphExtensionError(const QString& path, bool commaDecimal) {
    const QString extension = QFileInfo(path).suffix();
    return fileWriteError(
        path, QStringLiteral("a graph is saved as a graph file (.ghf) or as text (%1), %2; "
                             "nothing was written")
                  .arg(commaDecimal ? QStringLiteral(".txt") : QStringLiteral(".txt or .csv"),
                       extension.isEmpty() ? QStringLiteral("and the name has no extension")
                                           : QStringLiteral("not as .%1").arg(extension)));
}

QString collectionOpenError(const QString& path, const OpenCollectionResult& result) {
    switch (result.status) {
        case CollectionStatus::Unreadable:
            return openError(path, QStringLiteral("the file cannot be read"));
        case CollectionStatus::Ok:
            if (result.parseResult == ParseResult::NoSets)
                return openError(path, QStringLiteral("the file holds no data sets"));
            break;
        default:
            break;
    }
    return openError(path, QStringLiteral("the file is not a data set collection file"));
}

}  // namespace

SpreadsheetTable listSpreadsheetTable(const ListTableModel& list, const QLocale& locale,
                                      int currentYear) {
    const bool withLeq = list.hasLeqColumn();
    SpreadsheetTable t;
    t.header = seriesSpreadsheetHeader(withLeq ? 2 : 1, {QString(), QStringLiteral("Leq")});
    auto reader = std::make_shared<ListDateTimeReader>(locale, currentYear);
    const ListLevelReader levels(locale);
    // The rows' times one after the other, so that written instants never run backwards.
    auto times = std::make_shared<SpreadsheetTimes>();
    t.fieldsOf = [&list, levels, withLeq, reader, times](qint64 row) {
        const int r = int(row) - 1;
        double time = 0;
        QStringList fields{reader->read(list.cell(r, 1), list.cell(r, 2), time) ? (*times)(time)
                                                                                 : QString()};
        for (int column = 3; column <= (withLeq ? 4 : 3); ++column) {
            float level = 0;
            fields << (levels.read(list.cell(r, column), level) ? spreadsheetLevel(level)
                                                                : QString());
        }
        return fields;
    };
    return t;
}

// ---- list to graph ---------------------------------------------------------------------------

namespace {

// Sets the graph up for the list's rows and fills it with the points read from them: the level,
// and beside it the running Leq of a list that has one.
void fillGraph(ListGraphPoints& points, int rows, GraphWindow& graph) {
    const bool withLeq = !points.leq.empty();
    graph.setUpGraph(withLeq ? 2 : 1, 130, 30, points.last, points.first, rows);
    GraphView& pe = *graph.graphView;
    const int n = std::min(rows, int(std::min(points.x.size(), points.y.size())));
    for (int i = 0; i < n; ++i) {
        // A row without a readable time keeps the set-up's time; no level is a gap.
        if (std::isnan(points.x[size_t(i)])) points.x[size_t(i)] = pe.xValue(0, i);
        if (std::isnan(points.y[size_t(i)])) points.y[size_t(i)] = kNullDataValueY;
        if (withLeq && std::isnan(points.leq[size_t(i)])) points.leq[size_t(i)] = kNullDataValueY;
    }
    if (withLeq) {
        pe.editProperties(labelRunningLeqSeries);
        pe.editPoints([&](GraphState& s) {
            std::copy_n(points.x.begin(), n, s.x[0].begin());
            std::copy_n(points.x.begin(), n, s.x[1].begin());
            std::copy_n(points.y.begin(), n, s.y[0].begin());
            std::copy_n(points.leq.begin(), n, s.y[1].begin());
        });
    } else {
        pe.copyXData(points.x.data(), n);
        pe.copyYData(points.y.data(), n);
    }
    graph.updateGraphStatistic();
    pe.perform(GraphAction::ReinitAndReset);
    graph.redraw();
}

}  // namespace

QString graphFromList(const ListTableModel& list, GraphWindow& graph, const QLocale& locale,
                      FileProgress* progress, int currentYear) {
    ListGraphPoints points = listGraphPoints(list, locale, progress, currentYear);
    if (!points.error.isEmpty()) return points.error;
    if (points.readable > 0) fillGraph(points, list.rowCount(), graph);
    return {};
}

// ---- commands --------------------------------------------------------------------------------

FileCommands::FileCommands(AppContext& app, WindowService& windows, QObject* parent)
    : QObject(parent), app_(app), windows_(windows) {
    setObjectName(QStringLiteral("FileCommands"));
    execChoiceDialog = [](OpenSaveChoiceDialog& dialog) { return dialog.exec(); };
    execRangeDialog = [](ProgressRangeDialog& scope) { return scope.exec() == QDialog::Accepted; };
    openDataLoggerWindow = [this](double now) { return windows_.openDataLoggerWindow(now); };
}

QString FileCommands::baseFolder() const {
    return collectionBaseFolder(app_.dataFolder(), app_.programFolder());
}

bool FileCommands::commaDecimal() const {
    return decimalsSplitFields(u',', app_.locale().decimalPoint());
}

void FileCommands::openFile() {
    int result = OpenSaveChoiceDialog::Cancel;
    {
        OpenSaveChoiceDialog dialog(windows_.dialogParent());
        dialog.setUpForOpen(commaDecimal());
        result = execChoiceDialog(dialog);
    }
    if (result == OpenSaveChoiceDialog::Ok)
        openCollection();
    else if (result == OpenSaveChoiceDialog::No)
        openSingle();
}

void FileCommands::openCollection() {
    // The window comes first, so it is there even when the user then cancels.
    GraphWindow* window = openDataLoggerWindow(toSerialDateTime(app_.clock().now()));
    // The data sets shown are replaced: unsaved ones are offered for saving first.
    if (window && !window->confirmClose()) return;
    const QString path = app_.prompts().openFileName(FileText::OpenDialogTitle, baseFolder(),
                                                     dialogFilter(FileFilter::openCollection()));
    if (path.isEmpty()) return;
    readCollectionInto(path, window);
}

bool FileCommands::openCollectionPath(const QString& path) {
    GraphWindow* window = openDataLoggerWindow(toSerialDateTime(app_.clock().now()));
    if (window && !window->confirmClose()) return false;
    return readCollectionInto(path, window);
}

bool FileCommands::readCollectionInto(const QString& path, GraphWindow* dataLogger) {
    Prompts& prompts = app_.prompts();
    QPointer<GraphWindow> window = dataLogger;
    DataSetTable& table = app_.dataSetTable();
    const OpenCollectionResult r = openCollectionFile(path, app_.workFolder(), app_.clock().now(),
                                                      table, nullptr, app_.locale());
    if (r.accepted && window) fillDataSetList(*window, table, app_.locale());
    if (!r.error.isEmpty()) {
        prompts.message(r.error);
        return false;
    }
    if (!r.accepted) {
        prompts.message(collectionOpenError(path, r));
        return false;
    }
    if (!window) return false;
    window->showDataSet(0);
    // What is shown now is what the file holds.
    if (bool* unsaved = window->document().unsaved) *unsaved = false;
    // A damaged or cut-short file still opens, as far as it can be read; the user is told what
    // was repaired or may be missing.
    if (const QStringList findings = collectionFindings(path, r); !findings.isEmpty()) {
        prompts.message(QStringLiteral("\"%1\" was opened, but:\n%2")
                            .arg(QDir::toNativeSeparators(path),
                                 QStringLiteral("- ") + findings.join(QStringLiteral("\n- "))));
    }
    return true;
}

bool FileCommands::openPath(const QString& path) {
    switch (fileKindOf(path).value_or(FileKind(-1))) {
        case FileKind::Collection:
            return openCollectionPath(path);
        case FileKind::Graph:
            return openGraphFile(path) != nullptr;
        case FileKind::Text:
            return openTextFile(path) != nullptr;
    }
    app_.prompts().message(
        QStringLiteral("Cannot open \"%1\": the program opens collection files (.rec), graph "
                       "files (.ghf) and text files (.txt, .csv).")
            .arg(QDir::toNativeSeparators(path)));
    return false;
}

void FileCommands::openSingle() {
    const QString path =
        app_.prompts().openFileName(FileText::OpenDialogTitle, baseFolder(),
                                    dialogFilter(FileFilter::singleFile(commaDecimal())));
    if (path.isEmpty()) return;
    const std::optional<FileKind> kind = fileKindOf(path);
    if (kind == FileKind::Graph)
        openGraphFile(path);
    else if (kind == FileKind::Text)
        openTextFile(path);
}

GraphWindow* FileCommands::openGraphFile(const QString& path) {
    // Read whole before any window exists: a file that cannot be read opens none.
    GraphState state;
    const GraphFileRead read = readGraphFile(path, state);
    if (!read.ok) {
        app_.prompts().message(read.error);
        return nullptr;
    }
    GraphWindow* graph =
        windows_.createGraphWindow(GraphDocument{WindowRole::OpenedFile}, nativePath(path));
    graph->graphView->editPoints([&](GraphState& s) { s = std::move(state); });
    windows_.showOpenedGraphWindow(graph);
    graph->updateGraphStatistic();
    graph->graphView->perform(GraphAction::ReinitAndReset);
    return graph;
}

TabularListWindow* FileCommands::openTextFile(const QString& path) {
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            app_.prompts().message(openError(path, file.errorString()));
            return nullptr;
        }
    }
    QPointer<TabularListWindow> list = new TabularListWindow(nativePath(path));
    windows_.showListWindow(list);
    list->listTable->setUpdatesEnabled(false);
    ListReadResult read;
    {
        WindowedFileProgress progress(windows_.dialogParent(), FileText::OpenProgress,
                                      WindowedFileProgress::Shows::Counter, QStringLiteral("0"), 0,
                                      true);
        progress.show();
        read = readTextIntoList(path, textFileSeparator(path), list->table(), &progress);
    }
    if (!list) return nullptr;
    list->listTable->setUpdatesEnabled(true);
    if (read.stop == ListReadStop::CannotOpen) {
        // Gone between the check and the read.
        list->close();
        app_.prompts().message(openError(path, QStringLiteral("the file cannot be read")));
        return nullptr;
    }
    list->listTable->viewport()->update();
    if (const QString text = listReadMessage(read); !text.isEmpty()) app_.prompts().message(text);
    return list;
}

void FileCommands::saveActiveWindow() {
    QWidget* child = windows_.activeChild();
    if (!child) return;
    const WindowRole role = roleOf(child);
    if (role == WindowRole::TableList) {
        if (auto* list = qobject_cast<TabularListWindow*>(child)) {
            const ListTableModel& table = list->table();
            const SpreadsheetTable spreadsheet =
                listSpreadsheetTable(table, app_.locale(), app_.clock().now().date().year());
            saveTable(
                table.rowCount(),
                [&table](qint64 row) {
                    QStringList cells;
                    for (int c = 1; c < ListTableModel::kColumns; ++c)
                        cells << table.cell(int(row) - 1, c);
                    return cells;
                },
                nullptr, &spreadsheet);
        }
    } else if (role == WindowRole::Leq) {
        if (auto* leq = qobject_cast<LeqWindow*>(child)) {
            QPointer<LeqWindow> window = leq;
            const LeqTableModel& table = leq->table();
            const qint64 rows = table.rowCount();
            SelectedRange written;
            auto times = std::make_shared<SpreadsheetTimes>();
            const SpreadsheetTable spreadsheet{
                LeqTableModel::spreadsheetHeader(), [&table, times](qint64 row) {
                    return table.spreadsheetFields(int(row) - 1, *times);
                }};
            const bool saved = saveTable(
                rows, [&table](qint64 row) { return table.cells(int(row) - 1); }, &written,
                &spreadsheet);
            // Only a file of every row saves the table; a run may have added rows meanwhile.
            if (saved && window && written == SelectedRange{1, rows} &&
                window->table().rowCount() == rows)
                emit window->tableSaved();
        }
    } else if (isGraphRole(role)) {
        if (auto* graph = qobject_cast<GraphWindow*>(child)) saveGraphWindow(*graph);
    }
    // The control panel and the setup window have nothing to save.
}

bool FileCommands::saveGraphWindow(GraphWindow& window) {
    const GraphDocument& document = window.document();
    if (document.saveOffersChoice()) {
        int result = OpenSaveChoiceDialog::Cancel;
        {
            OpenSaveChoiceDialog dialog(windows_.dialogParent());
            dialog.setUpForSave();
            result = execChoiceDialog(dialog);
        }
        if (result == OpenSaveChoiceDialog::Ok) return saveCollection(document.unsaved);
        if (result == OpenSaveChoiceDialog::No) return saveGraphData(window);
        return false;
    }
    if (!document.saveFormats().contains(SaveFormat::GraphFile)) return false;
    const bool saved = saveGraphData(window);
    // The live readings are all in the file now; a running Leq's are its source's.
    if (saved && document.role == WindowRole::RealTime && document.unsaved)
        *document.unsaved = false;
    return saved;
}

bool FileCommands::saveCollection(bool* unsaved) {
    const QString path = app_.prompts().saveFileName(FileText::SaveDialogTitle, baseFolder(),
                                                     dialogFilter(FileFilter::saveCollection()));
    if (path.isEmpty()) return false;
    const QString base = app_.workFolder();
    if (!saveCollectionFile(base, path)) {
        const QString reason = QFileInfo::exists(tempCollectionPath(base))
                                   ? QStringLiteral("the file could not be written")
                                   : QStringLiteral("no data sets have been loaded or opened");
        app_.prompts().message(fileWriteError(path, reason));
        return false;
    }
    if (unsaved) *unsaved = false;
    return true;
}

bool FileCommands::saveGraphData(GraphWindow& window) {
    Prompts& prompts = app_.prompts();
    const GraphView& graph = *window.graphView;
    if (graphSeriesLength(graph.state()) == 0) {
        prompts.message(FileText::NoPointsToSave);
        return false;
    }
    const bool comma = commaDecimal();
    QString chosen;
    const QString path =
        prompts.saveFileNameAndFilter(FileText::SaveDialogTitle, baseFolder(),
                                      dialogFilter(FileFilter::saveSingleFile(comma)), chosen);
    if (path.isEmpty()) return false;
    const bool spreadsheet = isChosenFilter(chosen, FileFilter::spreadsheetCsv());
    const std::optional<FileKind> kind = fileKindOf(path);
    if (spreadsheet) {
        // Written whatever the name: the format was chosen.
    } else if (kind == FileKind::Graph) {
        const FileWriteResult r = writeGraphFile(graph.state(), path);
        if (!r.ok()) prompts.message(r.error);
        return r.status == FileWriteResult::Status::Written;
    }
    if (!spreadsheet && kind != FileKind::Text) {
        prompts.message(unknownGraphExtensionError(path, comma));
        return false;
    }
    if (!spreadsheet && decimalCommaClash(path, app_.locale().decimalPoint())) {
        prompts.message(commaClashError(path));
        return false;
    }
    const std::optional<SelectedRange> range = selectRange(FileText::SaveTitle, graph.points());
    if (!range) return false;

    // The points are copied: the live graph may go on while the progress lets events run.
    const GraphState& s = graph.state();
    auto slice = [&](const auto& series) {
        using T = typename std::decay_t<decltype(series)>::value_type;
        const size_t from = size_t(std::min<qint64>(range->first - 1, qint64(series.size())));
        const size_t to = size_t(std::min<qint64>(range->last, qint64(series.size())));
        return std::vector<T>(series.begin() + qsizetype(from), series.begin() + qsizetype(to));
    };
    const std::vector<double> times = slice(s.x.at(0));
    // The graph's own null value is "no level" in the file, whatever number it is.
    const auto levelsOf = [&](const std::vector<float>& series) {
        std::vector<float> out = slice(series);
        for (float& level : out)
            if (level == s.nullDataValueY) level = std::numeric_limits<float>::quiet_NaN();
        return out;
    };
    const std::vector<float> levels = levelsOf(s.y.at(0));
    const std::vector<float> second =
        s.subsets == 2 && s.y.size() == 2 ? levelsOf(s.y[1]) : std::vector<float>();
    FileWriteResult r;
    {
        WindowedFileProgress progress(windows_.dialogParent(), FileText::SavingProgress,
                                      WindowedFileProgress::Shows::Bar,
                                      QStringLiteral("saving....."), range->size(), true);
        progress.show();
        if (spreadsheet) {
            std::vector<std::span<const float>> series{levels};
            if (!second.empty()) series.emplace_back(second);
            r = writeSeriesSpreadsheetCsvFile(
                path, times, series, seriesSpreadsheetHeader(int(series.size()), s.subsetLabels),
                &progress);
        } else {
            r = writePointTextFile(path, times, levels, textFileSeparator(path), app_.locale(),
                                   PointDateStyle::Locale, second, &progress);
        }
    }
    reportWrite(path, r);
    return r.status == FileWriteResult::Status::Written;
}

bool FileCommands::saveTable(qint64 rows, const std::function<QStringList(qint64)>& cellsOf,
                             SelectedRange* written, const SpreadsheetTable* spreadsheet) {
    Prompts& prompts = app_.prompts();
    const bool comma = commaDecimal();
    QString chosen;
    const FileFilterList filter =
        spreadsheet ? FileFilter::saveTable(comma) : FileFilter::table(comma);
    const QString path = prompts.saveFileNameAndFilter(FileText::SaveDialogTitle, baseFolder(),
                                                       dialogFilter(filter), chosen);
    if (path.isEmpty()) return false;
    if (!spreadsheet || !isChosenFilter(chosen, FileFilter::spreadsheetCsv()))
        spreadsheet = nullptr;
    if (!spreadsheet && decimalCommaClash(path, app_.locale().decimalPoint())) {
        prompts.message(commaClashError(path));
        return false;
    }
    const std::optional<SelectedRange> range = selectRange(FileText::SaveTitle, rows);
    if (!range) return false;
    const qint64 first = range->first;
    if (spreadsheet) {
        // Quoted where a field holds a comma, so no field can split.
        FileWriteResult r;
        {
            WindowedFileProgress progress(windows_.dialogParent(), FileText::SavingProgress,
                                          WindowedFileProgress::Shows::Bar,
                                          QStringLiteral("saving....."), range->size(), true);
            progress.show();
            r = writeSpreadsheetCsvFile(
                path, spreadsheet->header, range->size(),
                [&](qint64 i) { return spreadsheet->fieldsOf(first + i); }, &progress);
        }
        reportWrite(path, r);
        if (r.status != FileWriteResult::Status::Written) return false;
        if (written) *written = *range;
        return true;
    }
    const QChar separator = textFileSeparator(path);
    // The reader knows no quoting: a cell holding the separator would come back split.
    if (const std::optional<SeparatorInCell> clash = findSeparatorInCells(
            range->size(), [&](qint64 i) { return cellsOf(first + i); }, separator)) {
        prompts.message(fileWriteError(
            path, separatorInFieldMessage(clash->column + 1, first + clash->row,
                                          QStringLiteral("the table"), clash->text, separator)));
        return false;
    }
    FileWriteResult r;
    {
        WindowedFileProgress progress(windows_.dialogParent(), FileText::SavingProgress,
                                      WindowedFileProgress::Shows::Bar,
                                      QStringLiteral("saving....."), range->size(), true);
        progress.show();
        r = writeTableTextFile(
            path, range->size(), [&](qint64 i) { return cellsOf(first + i); }, separator,
            &progress);
    }
    reportWrite(path, r);
    if (r.status != FileWriteResult::Status::Written) return false;
    if (written) *written = *range;
    return true;
}

void FileCommands::reportWrite(const QString& path, const FileWriteResult& result) {
    if (!result.ok())
        app_.prompts().message(result.error);
    else if (result.status == FileWriteResult::Status::Cancelled)
        app_.prompts().message(cancelledWriteMessage(path, result));
}

std::optional<SelectedRange> FileCommands::selectRange(const QString& title, qint64 count) {
    ProgressRangeDialog scope(windows_.dialogParent());
    scope.setWindowTitle(title);
    scope.rangeGroup->show();
    for (QWidget* w :
         {static_cast<QWidget*>(scope.rangeAllRadio), static_cast<QWidget*>(scope.rangeSelectRadio),
          static_cast<QWidget*>(scope.rangeFromLabel), static_cast<QWidget*>(scope.rangeFrom),
          static_cast<QWidget*>(scope.rangeToLabel), static_cast<QWidget*>(scope.rangeTo)})
        w->show();
    scope.okButton->show();
    scope.cancelButton->show();
    scope.rangeFrom->setText(QStringLiteral("1"));
    scope.rangeTo->setText(QString::number(count));
    scope.adjustSize();
    if (!execRangeDialog(scope)) return std::nullopt;
    const RangeChoice choice = chooseRange(scope.rangeAllRadio->isChecked(),
                                           scope.rangeFrom->text(), scope.rangeTo->text(), count);
    if (choice.invalidInteger) app_.prompts().message(FileText::InvalidInteger);
    return choice.range;
}

void FileCommands::outputListToGraph() {
    if (windows_.activeRole() != WindowRole::TableList) return;
    QPointer<TabularListWindow> list = qobject_cast<TabularListWindow*>(windows_.activeChild());
    if (!list) return;
    const ListTableModel& table = list->table();
    if (table.cell(0, 1).isEmpty()) {
        app_.prompts().message(FileText::NoDataToGraph);
        return;
    }
    // The rows are read before any window opens: a list without a readable date and time opens
    // none.
    ListGraphPoints points;
    {
        WindowedFileProgress progress(windows_.dialogParent(), FileText::GraphingProgress,
                                      WindowedFileProgress::Shows::Bar,
                                      QStringLiteral("graphing....."), table.rowCount(), false);
        points = listGraphPoints(table, app_.locale(), &progress, app_.clock().now().date().year());
    }
    if (!points.error.isEmpty()) {
        app_.prompts().message(points.error);
        return;
    }
    if (!list || points.readable == 0) return;
    GraphWindow* graph =
        windows_.createGraphWindow(GraphDocument{WindowRole::OpenedFile}, list->caption());
    // Placed like a graph file opened from disk: the whole workspace, nothing scrolled off.
    windows_.showOpenedGraphWindow(graph);
    fillGraph(points, list->table().rowCount(), *graph);
}

}  // namespace kl516
