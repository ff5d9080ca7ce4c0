#include "report/ui/PrintCommands.h"

#include <QAbstractItemView>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>

#include "graph/ui/GraphWindow.h"
#include "report/ui/TablePrinter.h"
#include "workspace/WindowRole.h"
#include "workspace/ui/Hourglass.h"
#include "workspace/ui/WindowService.h"

namespace kl516 {

PrintCommands::PrintCommands(WindowService& windows, QObject* parent)
    : QObject(parent), windows_(windows), printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
    setObjectName(QStringLiteral("PrintCommands"));
    execPrintDialog = [](QPrinter& printer, QWidget* parent) {
        QPrintDialog dialog(&printer, parent);
        dialog.setObjectName(QStringLiteral("printDialog"));
        return dialog.exec() == QDialog::Accepted;
    };
    execPrinterSetupDialog = [](QPrinter& printer, QWidget* parent) {
        QPageSetupDialog dialog(&printer, parent);
        dialog.setObjectName(QStringLiteral("printerSetupDialog"));
        return dialog.exec() == QDialog::Accepted;
    };
}

PrintCommands::~PrintCommands() = default;

const QAbstractItemModel* printableTable(const QWidget* window) {
    if (!window) return nullptr;
    const char* grid = nullptr;
    switch (roleOf(window)) {
        case WindowRole::TableList:
            grid = "listTable";
            break;
        case WindowRole::Leq:
            grid = "leqTable";
            break;
        default: return nullptr;
    }
    const auto* view = window->findChild<const QAbstractItemView*>(QLatin1String(grid));
    return view ? view->model() : nullptr;
}

void PrintCommands::printActiveWindow() {
    QWidget* active = windows_.activeChild();
    if (!active) return;
    if (auto* graph = qobject_cast<GraphWindow*>(active)) {
        printGraph(*graph);
        return;
    }
    if (const QAbstractItemModel* table = printableTable(active)) printTable(*table);
}

void PrintCommands::setUpPrinter() {
    execPrinterSetupDialog(*printer_, windows_.dialogParent());
}

bool PrintCommands::printTable(const QAbstractItemModel& model) {
    if (!execPrintDialog(*printer_, windows_.dialogParent())) return false;
    const Hourglass busy;
    return TablePrinter::print(model, *printer_);
}

bool PrintCommands::printGraph(GraphWindow& graph) {
    GraphView& g = *graph.graphView;
    // The settings dialog without the pages that do not concern a printout; its closing is
    // handled by the window as after any settings dialog.
    g.setAllowFontPage(false);
    g.setAllowTitlesPage(false);
    g.setAllowAxesPage(false);
    g.setAllowSubsetsPage(false);
    g.perform(GraphAction::Customize);
    g.setAllowFontPage(true);
    g.setAllowTitlesPage(true);
    g.setAllowAxesPage(true);
    g.setAllowSubsetsPage(true);
    if (!execPrintDialog(*printer_, windows_.dialogParent())) return false;
    return g.renderToPrinter(printer_.get());
}

}  // namespace kl516
