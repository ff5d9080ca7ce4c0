#pragma once

#include <QStringList>
#include <QTextStream>

#include "link/Clock.h"
#include "link/DeviceLibrary.h"

namespace kl516 {

class HidBus;
class GraphDrawing;

// Where erase asks its question when --yes is not given: the tool asks on standard input when
// it is a terminal and refuses otherwise; tests hand in their own.
struct CliConsole {
    bool interactive = false;
    QTextStream* in = nullptr;
};

// What the commands run on when they are not simulating: the clock, the meter and the terminal.
// The tool takes the system clock, the meter on USB and its standard streams; tests hand in
// their own, so that the link's waits cost no time and no meter is needed.
struct CliDevices {
    Clock* clock = nullptr;          // nullptr: the system clock
    DeviceLibrary* meter = nullptr;  // nullptr: the meter on USB
    HidBus* usb = nullptr;           // where the meters on USB are found; nullptr: hidapi
    // Whether err is shown on a terminal: only there does a meter slow to answer get a
    // "waiting for the meter…" line. The tool sets it from its standard error.
    bool errIsTerminal = false;
    const CliConsole* console = nullptr;  // nullptr: standard input
    // What draws report and plot; nullptr: a tool built without the graphical libraries.
    const GraphDrawing* drawing = nullptr;
};

// The command-line tool: parses the arguments (without the program name), runs the command and
// returns the exit status: 0 done, 1 failed, 2 wrong arguments, and for `live` 3 when the meter
// was lost. Output and help go to out, messages and progress to err.
int runCli(const QStringList& arguments, QTextStream& out, QTextStream& err,
           const CliDevices& devices = {});

}  // namespace kl516
