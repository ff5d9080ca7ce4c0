#pragma once

#include <QStringList>
#include <QTextStream>

#include "cli/Cli.h"
#include "cli/CommandLine.h"

namespace kl516 {

// kl516-cli leq: a timed LEQ run without windows. arguments: the command line, read without a
// fault. Exit status: 0 the run ended after its seconds; 1 no meter, a recording meter, an
// output that cannot be written, or a run ended by failed reads or a stopped meter clock (the
// rows measured are printed and written all the same); 2 wrong arguments.
int runLeqCommand(const CliArguments& arguments, QTextStream& out, QTextStream& err,
                  const CliDevices& devices);

}  // namespace kl516
