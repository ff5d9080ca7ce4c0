#include <unistd.h>
#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

#include "cli/Cli.h"
#include "kl516/version.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
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
