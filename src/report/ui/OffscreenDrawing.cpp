#include "report/ui/OffscreenDrawing.h"

#include <QApplication>

#include "report/ui/GraphRender.h"
#include "report/ui/MeasurementReport.h"

namespace kl516 {

namespace {

QtMessageHandler qtHandler = nullptr;

// The graphical application warns when a service or shell has not set XDG_RUNTIME_DIR and
// uses a folder of its own; the tool writes no runtime files, so that line is only noise.
void withoutRuntimeFolderNotice(QtMsgType type, const QMessageLogContext& context,
                                const QString& message) {
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR"))) return;
    if (qtHandler) qtHandler(type, context, message);
}

}  // namespace

QString OffscreenGraphDrawing::writeImage(GraphState state, const QString& path, QSize size) const {
    return writeGraphImage(std::move(state), path, size);
}

QString OffscreenGraphDrawing::writeReport(GraphState state, const ReportRequest& request,
                                           const QString& path) const {
    return writeMeasurementReport(std::move(state), request, path);
}

std::unique_ptr<QCoreApplication> makeDrawingApplication(int& argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qtHandler = qInstallMessageHandler(withoutRuntimeFolderNotice);
    return std::make_unique<QApplication>(argc, argv);
}

}  // namespace kl516
