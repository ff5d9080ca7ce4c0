#pragma once

#include <QStringList>
#include <QTextStream>

namespace kl516 {

// The command-line tool: parses the arguments (without the program name), runs the command and
// returns the exit status. Output goes to out, messages and progress to err.
int runCli(const QStringList& arguments, QTextStream& out, QTextStream& err);

}  // namespace kl516
