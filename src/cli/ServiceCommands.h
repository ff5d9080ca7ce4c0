#pragma once

#include <QStringList>
#include <QTextStream>

#include "cli/Cli.h"

namespace kl516 {

// The logger service commands of the command-line tool: info, set-clock, set-interval, erase,
// config-read and config-write. They print the texts of the logger setup window and exit with
// 0 done, 1 failed, 2 wrong arguments (nothing is sent then).

// Whether the arguments name a service command (the first argument that is neither an option
// nor an option's value).
bool isServiceCommand(const QStringList& arguments);

// Where erase asks its question when --yes is not given. The tool asks on standard input when
// it is a terminal and refuses otherwise; tests hand in their own.
struct ServiceConsole {
    bool interactive = false;
    QTextStream* in = nullptr;
};

// Runs a service command (arguments without the program name). console null: standard input.
int runServiceCommand(const QStringList& arguments, QTextStream& out, QTextStream& err,
                      const CliDevices& devices = {}, const ServiceConsole* console = nullptr);

}  // namespace kl516
