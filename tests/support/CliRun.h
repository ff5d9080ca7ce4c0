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
// the meter on USB.
inline CliRun runCliInProcess(const QStringList& args, DeviceLibrary* meter = nullptr) {
    ManualClock clock;
    CliRun r;
    QTextStream out(&r.out);
    QTextStream err(&r.err);
    r.status = runCli(args, out, err, CliDevices{&clock, meter});
    out.flush();
    err.flush();
    return r;
}

}  // namespace kl516::test
