#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QAbstractItemModel;
class QPrinter;
class QWidget;

namespace kl516 {

class GraphWindow;
class WindowService;

// File > Print, the Print tool button and File > Printer Setup. Print acts on the active child
// window: a table window (the tabular list, the LEQ table) is printed as text lines, a graph
// window through its settings dialog (font, subsets and the first two pages hidden) and then a
// print dialog; any other window prints nothing. Every job goes to one printer, whose choice
// and settings Printer Setup and the print dialogs keep for the next job. The print dialog
// offers a PDF file as well as the printers.
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

    QPrinter& printer() { return *printer_; }

    // The print dialog and the printer setup dialog, modal; true when accepted. Tests replace
    // them.
    std::function<bool(QPrinter&, QWidget* parent)> execPrintDialog;
    std::function<bool(QPrinter&, QWidget* parent)> execPrinterSetupDialog;

  private:
    WindowService& windows_;
    std::unique_ptr<QPrinter> printer_;
};

// The table a table window prints (listTable of the tabular list, leqTable of the LEQ window), or
// null for any other window.
const QAbstractItemModel* printableTable(const QWidget* window);

}  // namespace kl516
