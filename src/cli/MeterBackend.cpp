#include "cli/MeterBackend.h"

#include "link/HidDeviceLibrary.h"

namespace kl516 {

std::unique_ptr<MeterBackend> openMeterBackend(
    const std::optional<SimulatedMeter::Options>& simulated, Clock& clock,
    const CliDevices& devices, const QString& traceFile, QTextStream& err) {
    auto b = std::make_unique<MeterBackend>();
    if (simulated) {
        b->owned = std::make_unique<SimulatedMeter>(clock, *simulated);
        b->device = b->owned.get();
    } else if (devices.meter) {
        b->device = devices.meter;
    } else {
        b->owned = std::make_unique<HidDeviceLibrary>();
        b->device = b->owned.get();
    }
    if (!traceFile.isEmpty()) {
        b->trace = std::make_unique<TracingDeviceLibrary>(*b->device, traceFile);
        if (!b->trace->isOpen()) {
            err << "cannot write the trace file " << traceFile << "\n";
            return nullptr;
        }
    }
    return b;
}

}  // namespace kl516
