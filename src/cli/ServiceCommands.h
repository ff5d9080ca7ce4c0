#pragma once

#include <QString>
#include <QTextStream>

#include "cli/Cli.h"
#include "cli/CommandLine.h"

namespace kl516 {

// The logger service commands of the command-line tool: info, set-clock, set-interval, erase,
// config-read and config-write. They print the texts of the logger setup window and exit with
// 0 done, 1 failed, 2 wrong arguments (nothing is sent then).

bool isServiceCommand(const QString& command);

// Runs the service command of arguments, read by parseCliArguments without a fault.
int runServiceCommand(const CliArguments& arguments, QTextStream& out, QTextStream& err,
                      const CliDevices& devices);

}  // namespace kl516
