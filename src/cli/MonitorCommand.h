#pragma once

#include <QTextStream>

#include "cli/Cli.h"
#include "cli/CommandLine.h"

namespace kl516 {

// kl516-cli monitor: the meter's readings, per-period summaries and exceedance events
// published to an MQTT broker, for a service manager to keep running. Summaries and events go
// through a durable spool. Exit status: 0 after SIGINT or SIGTERM (or --run-for), 1 when the
// broker refuses the credentials, the CA file cannot be read or the spool cannot be opened,
// 2 wrong arguments.
int runMonitorCommand(const CliArguments& arguments, QTextStream& out, QTextStream& err,
                      const CliDevices& devices);

}  // namespace kl516
