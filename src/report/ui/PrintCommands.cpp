#include "report/ui/PrintCommands.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

#include "graph/ui/GraphWindow.h"
#include "report/ui/GraphRender.h"
#include "report/ui/MeasurementReport.h"
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
    execGraphImageDialog = [](GraphImageChoice& choice, QWidget* parent) {
        GraphImageDialog dialog(choice, parent);
        if (dialog.exec() != QDialog::Accepted) return false;
        choice = dialog.choice();
        return true;
    };
    execReportDialog = [](ReportChoice& choice, QWidget* parent) {
        ReportDialog dialog(choice, parent);
        if (dialog.exec() != QDialog::Accepted) return false;
        choice = dialog.choice();
        return true;
    };
    showExportError = [](const QString& message, QWidget* parent) {
        QMessageBox::critical(parent, QStringLiteral("KL516"), message);
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
    if (execPrinterSetupDialog(*printer_, windows_.dialogParent()))
        graphOrientation_ = tableOrientation_ = printer_->pageLayout().orientation();
}

bool PrintCommands::printTable(const QAbstractItemModel& model) {
    printer_->setPageOrientation(QPageLayout::Orientation(tableOrientation_));
    if (!execPrintDialog(*printer_, windows_.dialogParent())) return false;
    tableOrientation_ = printer_->pageLayout().orientation();
    const Hourglass busy;
    const QWidget* active = windows_.activeChild();
    return TablePrinter::print(model, *printer_, active ? active->windowTitle() : QString());
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
    // A graph is wider than high: landscape, unless the user chose otherwise.
    printer_->setPageOrientation(QPageLayout::Orientation(graphOrientation_));
    if (!execPrintDialog(*printer_, windows_.dialogParent())) return false;
    graphOrientation_ = printer_->pageLayout().orientation();
    const Hourglass busy;
    return printGraphPage(g, *printer_, graph.caption(), QDateTime::currentDateTime());
}

// The file name offered: the window's caption, in the folder of the last export of its kind,
// else in the export folder.
QString PrintCommands::exportPath(const QString& name, const QString& last) const {
    QString folder = last.isEmpty() ? QString() : QFileInfo(last).absolutePath();
    if (folder.isEmpty() && exportFolder) folder = exportFolder();
    if (folder.isEmpty()) folder = QDir::homePath();
    QString safe = name;
    safe.replace(QLatin1Char('/'), QLatin1Char('-'));
    return QDir(folder).filePath(safe);
}

GraphWindow* PrintCommands::activeGraph() const {
    return qobject_cast<GraphWindow*>(windows_.activeChild());
}

void PrintCommands::exportActiveGraph() {
    if (GraphWindow* graph = activeGraph()) exportGraph(*graph);
}

void PrintCommands::reportActiveGraph() {
    if (GraphWindow* graph = activeGraph()) exportReport(*graph);
}

bool PrintCommands::exportGraph(GraphWindow& graph) {
    GraphImageChoice choice = lastImage_;
    choice.path = exportPath(graph.caption() + QStringLiteral(".png"), lastImage_.path);
    if (!execGraphImageDialog(choice, windows_.dialogParent())) return false;
    lastImage_ = choice;
    QString path = choice.path;
    if (!graphImageKind(path)) path += QStringLiteral(".png");
    QString error;
    {
        const Hourglass busy;
        error = writeGraphImage(*graph.graphView, path, choice.size);
    }
    if (!error.isEmpty()) {
        showExportError(tr("The graph was not exported: %1.").arg(error), windows_.dialogParent());
        return false;
    }
    return true;
}

bool PrintCommands::exportReport(GraphWindow& graph) {
    ReportChoice choice = lastReport_;
    choice.path = exportPath(graph.caption() + QStringLiteral(".pdf"), lastReport_.path);
    if (!execReportDialog(choice, windows_.dialogParent())) return false;
    lastReport_ = choice;
    QString path = choice.path;
    if (QFileInfo(path).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) != 0)
        path += QStringLiteral(".pdf");
    ReportRequest request;
    request.title = graph.caption();
    request.source = graph.caption();
    request.cursorA = graph.cursorA();
    request.cursorB = graph.cursorB();
    request.includeSamples = choice.includeSamples;
    request.locale = QLocale();
    QString error;
    {
        const Hourglass busy;
        error = writeMeasurementReport(*graph.graphView, request, path);
    }
    if (!error.isEmpty()) {
        showExportError(tr("The report was not written: %1.").arg(error), windows_.dialogParent());
        return false;
    }
    return true;
}

}  // namespace kl516
