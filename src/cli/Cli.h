#pragma once

#include <QStringList>
#include <QTextStream>

#include "link/Clock.h"
#include "link/DeviceLibrary.h"

namespace kl516 {

// The clock and the meter that the commands use when they are not simulating. The tool takes
// the system clock and the meter on USB; tests hand in their own, so that the link's waits cost
// no time and no meter is needed.
struct CliDevices {
    Clock* clock = nullptr;          // nullptr: the system clock
    DeviceLibrary* meter = nullptr;  // nullptr: the meter on USB
};

// The command-line tool: parses the arguments (without the program name), runs the command and
// returns the exit status: 0 done, 1 failed, 2 wrong arguments, and for `live` 3 when the meter
// was lost. Output and help go to out, messages and progress to err.
int runCli(const QStringList& arguments, QTextStream& out, QTextStream& err,
           const CliDevices& devices = {});

}  // namespace kl516
