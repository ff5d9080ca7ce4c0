#pragma once

#include <QObject>
#include <functional>
#include <memory>

#include "report/ui/ExportDialogs.h"

class QAbstractItemModel;
class QPrinter;
class QWidget;

namespace kl516 {

class GraphWindow;
class WindowService;

// File > Print, the Print tool button, File > Printer Setup, File > Export Graph and File >
// Export Report (and its tool button). Print acts on the active child window: a table window
// (the tabular list, the LEQ table) is printed as a table in lined-up columns, a graph window
// through its settings dialog (font, subsets and the first two pages hidden) and then a print
// dialog, on one page in landscape unless Printer Setup chose otherwise; any other window prints
// nothing. Every job goes to one printer, whose choice and settings Printer Setup and the print
// dialogs keep for the next job. The print dialog offers a PDF file as well as the printers.
// The exports act on the active graph window: a picture of the graph (PNG, SVG or PDF) or the
// measurement report (PDF).
class PrintCommands : public QObject {
    Q_OBJECT
  public:
    explicit PrintCommands(WindowService& windows, QObject* parent = nullptr);
    ~PrintCommands() override;

    void printActiveWindow();
    void setUpPrinter();

    // Prints a table: the print dialog, then the lines. False when cancelled or not printed.
    bool printTable(const QAbstractItemModel& model);
    // Prints a graph: its settings dialog with four pages hidden, then the print dialog.
    bool printGraph(GraphWindow& graph);

    // Export Graph and Export Report of the active graph window; nothing for any other window.
    void exportActiveGraph();
    void reportActiveGraph();
    // Their dialog, then the file. False when cancelled or not written (the reason is shown).
    bool exportGraph(GraphWindow& graph);
    bool exportReport(GraphWindow& graph);

    QPrinter& printer() { return *printer_; }

    // The print dialog and the printer setup dialog, modal; true when accepted. Tests replace
    // them.
    std::function<bool(QPrinter&, QWidget* parent)> execPrintDialog;
    std::function<bool(QPrinter&, QWidget* parent)> execPrinterSetupDialog;
    // The export dialogs, modal; true when accepted with the choice made. Tests replace them.
    std::function<bool(GraphImageChoice&, QWidget* parent)> execGraphImageDialog;
    std::function<bool(ReportChoice&, QWidget* parent)> execReportDialog;
    // The folder an export's file goes to when no other was chosen before (empty: the home
    // folder). The main window gives its data folder.
    std::function<QString()> exportFolder;
    // Tells why an export was not written.
    std::function<void(const QString& message, QWidget* parent)> showExportError;

  private:
    WindowService& windows_;
    GraphWindow* activeGraph() const;
    QString exportPath(const QString& name, const QString& last) const;

    std::unique_ptr<QPrinter> printer_;
    // The orientation of the next graph and table printout: landscape and portrait at first,
    // then what the print dialog of that kind or Printer Setup chose last.
    int graphOrientation_ = 1, tableOrientation_ = 0;  // QPageLayout::Orientation
    GraphImageChoice lastImage_;
    ReportChoice lastReport_;
};

// The table a table window prints (listTable of the tabular list, leqTable of the LEQ window), or
// null for any other window.
const QAbstractItemModel* printableTable(const QWidget* window);

}  // namespace kl516
