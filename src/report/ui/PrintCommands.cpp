#include "report/ui/PrintCommands.h"

#include <QAbstractItemView>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>

#include "workspace/WindowRole.h"
#include "workspace/ui/Hourglass.h"
#include "workspace/ui/WindowService.h"
#include "graph/ui/TfrmGraph.h"
#include "report/ui/TablePrinter.h"

namespace kl516 {

PrintCommands::PrintCommands(WindowService& windows, QObject* parent)
    : QObject(parent), windows_(windows), printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
    setObjectName(QStringLiteral("PrintCommands"));
    execPrintDialog = [](QPrinter& printer, QWidget* parent) {
        QPrintDialog dialog(&printer, parent);
        dialog.setObjectName(QStringLiteral("PrintDialog1"));
        return dialog.exec() == QDialog::Accepted;
    };
    execPrinterSetupDialog = [](QPrinter& printer, QWidget* parent) {
        QPageSetupDialog dialog(&printer, parent);
        dialog.setObjectName(QStringLiteral("PrinterSetupDialog1"));
        return dialog.exec() == QDialog::Accepted;
    };
}

PrintCommands::~PrintCommands() = default;

const QAbstractItemModel* printableTable(const QWidget* window) {
    if (!window) return nullptr;
    const char* grid = nullptr;
    switch (roleOf(window)) {
        case WindowRole::TableList: grid = "Grid1"; break;
        case WindowRole::Leq: grid = "LEQGrid"; break;
        default: return nullptr;
    }
    const auto* view = window->findChild<const QAbstractItemView*>(QLatin1String(grid));
    return view ? view->model() : nullptr;
}

void PrintCommands::btnPrintClick() {
    QWidget* active = windows_.activeChild();
    if (!active) return;
    if (auto* graph = qobject_cast<TfrmGraph*>(active)) {
        printGraph(*graph);
        return;
    }
    if (const QAbstractItemModel* table = printableTable(active)) printTable(*table);
}

void PrintCommands::PrinterSetup1Click() {
    execPrinterSetupDialog(*printer_, windows_.dialogParent());
}

bool PrintCommands::printTable(const QAbstractItemModel& model) {
    if (!execPrintDialog(*printer_, windows_.dialogParent())) return false;
    const Hourglass busy;
    return TablePrinter::print(model, *printer_);
}

bool PrintCommands::printGraph(TfrmGraph& graph) {
    PESGraph& g = *graph.PESGraph1;
    // The settings dialog without the pages that do not concern a printout; its closing is
    // handled by the window as after any settings dialog.
    g.setAllowFontPage(false);
    g.setAllowPage1(false);
    g.setAllowPage2(false);
    g.setAllowSubsetsPage(false);
    g.PEactions(PEAction::Customize);
    g.setAllowFontPage(true);
    g.setAllowPage1(true);
    g.setAllowPage2(true);
    g.setAllowSubsetsPage(true);
    if (!execPrintDialog(*printer_, windows_.dialogParent())) return false;
    return g.renderToPrinter(printer_.get());
}

}  // namespace kl516
