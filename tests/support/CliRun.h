#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

#include "cli/Cli.h"
#include "link/Clock.h"

namespace kl516::test {

// What one run of the command-line tool gave: its exit status and its two outputs.
struct CliRun {
    int status = -1;
    QString out;
    QString err;
};

// Runs the tool in process on a manual clock (fixed now, waits cost nothing), with `meter` as
// the meter on USB, and `drawing` drawing report and plot.
inline CliRun runCliInProcess(const QStringList& args, DeviceLibrary* meter = nullptr,
                              const GraphDrawing* drawing = nullptr) {
    ManualClock clock;
    CliRun r;
    QTextStream out(&r.out);
    QTextStream err(&r.err);
    CliDevices devices{&clock, meter};
    devices.drawing = drawing;
    r.status = runCli(args, out, err, devices);
    out.flush();
    err.flush();
    return r;
}

}  // namespace kl516::test
