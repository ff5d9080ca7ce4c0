// kl516-cli: the command-line tool. Its commands live in the cli room; this entry point adds
// what only a build with the windows has, the drawing of report and plot.
#include <unistd.h>

#include <QCoreApplication>
#include <QTextStream>
#include <memory>
#include <string_view>

#include "cli/Cli.h"
#include "kl516/version.h"
#ifdef KL516_CLI_GRAPHICS
#include "report/ui/OffscreenDrawing.h"
#endif

int main(int argc, char** argv) {
    std::unique_ptr<QCoreApplication> application;
    kl516::CliDevices devices;
#ifdef KL516_CLI_GRAPHICS
    // report and plot draw the graph control, which needs the graphical application.
    const kl516::OffscreenGraphDrawing drawing;
    const bool drawingCommand =
        argc > 1 && (std::string_view(argv[1]) == "report" || std::string_view(argv[1]) == "plot");
    if (drawingCommand) {
        application = kl516::makeDrawingApplication(argc, argv);
        devices.drawing = &drawing;
    }
#endif
    if (!application) application = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kl516-cli"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kl516::kVersion));
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    devices.errIsTerminal = isatty(STDERR_FILENO) != 0;
    return kl516::runCli(args, out, err, devices);
}
