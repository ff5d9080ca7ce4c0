#pragma once

#include <QStringList>
#include <QTextStream>

#include "cli/Cli.h"

namespace kl516 {

// kl516-cli leq: a timed LEQ run without windows. arguments come after "leq".
int runLeqCommand(const QStringList& arguments, QTextStream& out, QTextStream& err,
                  const CliDevices& devices);

// The usage line and help of the command, for the tool's own usage text.
extern const char* const kLeqUsage;
extern const char* const kLeqSummary;

}  // namespace kl516
