#pragma once

#include <QString>
#include <QTextStream>
#include <memory>
#include <optional>

#include "cli/Cli.h"
#include "link/LinkTrace.h"
#include "simulator/SimulatedMeter.h"

namespace kl516 {

// The device library a command talks to: the simulated meter, the meter handed in (tests) or
// the one on USB, optionally behind the link trace.
struct MeterBackend {
    std::unique_ptr<DeviceLibrary> owned;
    DeviceLibrary* device = nullptr;
    std::unique_ptr<TracingDeviceLibrary> trace;
    DeviceLibrary& library() { return trace ? *trace : *device; }
};

// simulated: the simulated meter's options, or nullopt for the meter handed in or on USB.
// traceFile empty: no trace. Null, with the reason on err, when the trace cannot be written.
std::unique_ptr<MeterBackend> openMeterBackend(
    const std::optional<SimulatedMeter::Options>& simulated, Clock& clock,
    const CliDevices& devices, const QString& traceFile, QTextStream& err);

}  // namespace kl516
