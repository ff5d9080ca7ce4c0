#include <unistd.h>
#include <QCoreApplication>
#ifdef KL516_CLI_GRAPHICS
#include <QApplication>
#include <memory>
#endif
#include <QTextStream>
#include <cstdio>
#include <string_view>

#include "cli/Cli.h"
#include "kl516/version.h"

#ifdef KL516_CLI_GRAPHICS
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
#endif

int main(int argc, char** argv) {
#ifdef KL516_CLI_GRAPHICS
    // report and plot draw the graph control, which needs the graphical application; no display
    // is needed: without a platform named, they draw offscreen.
    const bool drawing =
        argc > 1 && (std::string_view(argv[1]) == "report" || std::string_view(argv[1]) == "plot");
    if (drawing && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (drawing) qtHandler = qInstallMessageHandler(withoutRuntimeFolderNotice);
    std::unique_ptr<QCoreApplication> application;
    if (drawing)
        application = std::make_unique<QApplication>(argc, argv);
    else
        application = std::make_unique<QCoreApplication>(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    QCoreApplication::setApplicationName(QStringLiteral("kl516-cli"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kl516::kVersion));
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    kl516::CliDevices devices;
    devices.errIsTerminal = isatty(STDERR_FILENO) != 0;
    return kl516::runCli(args, out, err, devices);
}
