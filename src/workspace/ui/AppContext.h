#pragma once

#include <QString>

#include "workspace/ui/GraphWindowHost.h"

namespace kl516 {

class DataSetTable;

// What the feature controllers (real-time recording, logger commands, and the later file, LEQ
// and service commands) need from the application besides the meter connection and the window
// service: the prompts, clock and locale of every graph window, the folders, the program-wide
// data set table and the real-time sampling interval.
class AppContext : public GraphWindowHost {
  public:
    virtual QString dataFolder() const = 0;
    // The folder whose "temp" folder holds the temporary collection file, with a trailing
    // separator: the per-user folder, since the program's folder is read-only once installed.
    virtual QString workFolder() const = 0;
    virtual DataSetTable& dataSetTable() = 0;
    // The real-time sampling interval in seconds, persisted at exit.
    virtual double realTimeRate() const = 0;
    virtual void setRealTimeRate(double seconds) = 0;
};

}  // namespace kl516
