#pragma once

#include <QDate>
#include <QLocale>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "formats/RangeSelection.h"
#include "formats/TextDialect.h"

namespace kl516 {

class AppContext;
class FileProgress;
struct FileWriteResult;
class ListTableModel;
class GraphWindow;
class TabularListWindow;
class OpenSaveChoiceDialog;
class ProgressRangeDialog;
class WindowService;

// Fixed texts of the file commands, shown exactly so.
namespace FileText {
inline const QString OpenTitle = QStringLiteral("Open File");
inline const QString SaveTitle = QStringLiteral("Save File");
inline const QString OpenDialogTitle = QStringLiteral("Open");
inline const QString SaveDialogTitle = QStringLiteral("Save As");
inline const QString OpenProgress = QStringLiteral("Open Progress");
inline const QString SavingProgress = QStringLiteral("Saving Progress");
inline const QString GraphingProgress = QStringLiteral("Graphing Progress");
inline const QString InvalidInteger = QStringLiteral("invalid integer");
inline const QString NoDataToGraph = QStringLiteral("No data to graph !");
inline const QString NoPointsToSave =
    QStringLiteral("The graph holds no points to save; nothing was written.");
}  // namespace FileText

// A table as the spreadsheet CSV writes it: the column names and each row's fields (rows
// counted from 1, as the table's cells).
struct SpreadsheetTable {
    QStringList header;
    std::function<QStringList(qint64 row)> fieldsOf;
};
// The spreadsheet CSV's columns of a list: the time read from its date and time, then its
// level ("Value", or "SPL" and "Leq") as numbers; a field that cannot be read stays empty.
SpreadsheetTable listSpreadsheetTable(const ListTableModel& list, const QLocale& locale,
                                      int currentYear = QDate::currentDate().year());

// Turns a list into the graph of a graph window: one point per row, the row's date and time
// against its level (column 3, "Value" or "SPL"); a list with a Leq column gives a second
// series of it, as a running Leq window shows the two. A row without a readable time keeps the
// set-up's time and no level, one without a readable level leaves a gap. Sets the graph up, fills
// it, updates its statistics and redraws it. Returns the message of the date-time reader when no
// row can be read (the graph is then left untouched). currentYear places two-digit years.
QString graphFromList(const ListTableModel& list, GraphWindow& graph, const QLocale& locale,
                      FileProgress* progress = nullptr,
                      int currentYear = QDate::currentDate().year());

// File > Open and File > Save with their tool buttons, and "Output Tabular to graph": the choice
// dialog, the file dialogs, the range and progress windows, and the windows that receive what
// is opened. Save acts on the active child window by its role.
class FileCommands : public QObject {
    Q_OBJECT
  public:
    FileCommands(AppContext& app, WindowService& windows, QObject* parent = nullptr);

    void openFile();
    void saveActiveWindow();
    void outputListToGraph();

    // Open: the DataLogger window (kept even when the file dialog is cancelled), the DataLogger
    // save question when its data are unsaved, then a collection file into it.
    void openCollection();
    // A collection file into the DataLogger window (created or restored), after the DataLogger
    // save question when its data are unsaved; false when that was cancelled, or after a
    // message when the file cannot be opened. A file that opens with findings (a parse result
    // other than 0, a file that may be cut short, made-up start times) is opened and they are
    // told.
    bool openCollectionPath(const QString& path);
    // A file named on the command line or by the file manager, by its extension: .rec into the
    // DataLogger window, .ghf into a graph window, .txt and .csv into a list.
    bool openPath(const QString& path);
    // Open: a graph file into a new graph window, or a point or table text file into a new list.
    void openSingle();
    // A graph file into a new graph window captioned with its path; null, after one message,
    // when the file cannot be read.
    GraphWindow* openGraphFile(const QString& path);
    // A text file into a new list window; null when the file cannot be opened.
    TabularListWindow* openTextFile(const QString& path);

    // Save of a graph window's document: the choice between all data sets and this graph for
    // the DataLogger's data, otherwise the graph's data. True only when a file was written
    // whole; false for a cancelled choice, file dialog, range or progress, and for a refused or
    // failed write.
    bool saveGraphWindow(GraphWindow& window);
    // The collection file of the last accepted logger image; clears `unsaved` on success.
    bool saveCollection(bool* unsaved = nullptr);
    // A graph file or a point text file of the graph's points; a graph without points, or a
    // name whose extension is no graph format, writes nothing and says so.
    bool saveGraphData(GraphWindow& window);
    // Rows of a table (cells of columns 1 ..) as table text, the range the user chose of
    // 1 .. rows; or, when spreadsheet is given and its filter chosen, as spreadsheet CSV. True
    // when the file was written whole; `written` is then set to that range.
    bool saveTable(qint64 rows, const std::function<QStringList(qint64 row)>& cellsOf,
                   SelectedRange* written = nullptr, const SpreadsheetTable* spreadsheet = nullptr);

    // The range window for count items: the chosen first .. last, or none (cancelled, nothing
    // in range, or an invalid field after its message).
    std::optional<SelectedRange> selectRange(const QString& title, qint64 count);

    // The folder the file dialogs start in: the data folder, else the program's folder.
    QString baseFolder() const;
    bool commaDecimal() const;

    // Modal dialogs, replaced by tests: the choice dialog's result (OpenSaveChoiceDialog::Result)
    // and whether the range window was closed with OK.
    std::function<int(OpenSaveChoiceDialog&)> execChoiceDialog;
    std::function<bool(ProgressRangeDialog&)> execRangeDialog;
    // Creates or restores the DataLogger window for Open collection.
    std::function<GraphWindow*(double now)> openDataLoggerWindow;

  private:
    bool readCollectionInto(const QString& path, GraphWindow* dataLogger);
    // Tells a failed write's reason, or what a cancelled one left.
    void reportWrite(const QString& path, const FileWriteResult& result);

    AppContext& app_;
    WindowService& windows_;
};

}  // namespace kl516
