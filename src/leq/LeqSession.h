#pragma once

#include <QFile>
#include <QLocale>
#include <QString>
#include <vector>

#include "leq/LeqRun.h"

namespace kl516 {

class MeterLink;

// The meter side of an LEQ run: opens the device once for the whole run, does one status
// exchange per tick with the main buffers, writes the log line of every reading and feeds the
// run's bookkeeping. The caller owns the pacing (a 40 ms timer, or a loop on a manual clock)
// and the right to use the link.
class LeqSession {
  public:
    // logPath: the run's log, truncated at start; empty or unwritable: no log.
    LeqSession(MeterLink& link, QString logPath, QLocale locale);

    // Resets the run, rewrites the log and opens the device (results not tested: a closed
    // device shows as failed reads).
    void start(int seconds);
    // One exchange and its bookkeeping. Closes the log when the run ends.
    LeqRun::Outcome tick();
    // Stop, or the window closed: the run ends and the log is closed. The device stays as the
    // run left it; the next exchange of the link opens it afresh.
    void stop();

    const LeqRun& run() const { return run_; }
    bool logOpen() const { return log_.isOpen(); }
    const QString& logPath() const { return logPath_; }
    void setLogPath(const QString& path) { logPath_ = path; }

  private:
    MeterLink& link_;
    QString logPath_;
    QLocale locale_;
    QFile log_;
    LeqRun run_;
};

}  // namespace kl516
