#include "cli/MeterBackend.h"

#include <QFile>

#include "link/HidDeviceLibrary.h"

namespace kl516 {

OpenProblemReporter::OpenProblemReporter(std::unique_ptr<DeviceLibrary> device,
                                         std::function<QString()> problem, QTextStream& err)
    : device_(std::move(device)), problem_(std::move(problem)), err_(err) {}

int32_t OpenProblemReporter::open(uint16_t vendorId, uint16_t productId) {
    const int32_t result = device_->open(vendorId, productId);
    if (result != 0 && !reported_) {
        const QString problem = problem_();
        if (!problem.isEmpty()) {
            err_ << problem << "\n";
            err_.flush();
            reported_ = true;
        }
    }
    return result;
}

WaitNotice::WaitNotice(Clock& clock, QTextStream& err, bool enabled)
    : clock_(clock), err_(err), pending_(enabled), start_(clock.tickMs()) {}

void WaitNotice::waitMs(int64_t ms) {
    clock_.waitMs(ms);
    if (pending_ && clock_.tickMs() - start_ > kAfterMs) {
        err_ << QString::fromUtf8(kText) << "\n";
        err_.flush();
        pending_ = false;
    }
}

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
        auto hid = std::make_unique<HidDeviceLibrary>();
        const HidDeviceLibrary* usb = hid.get();
        b->owned = std::make_unique<OpenProblemReporter>(
            std::move(hid), [usb] { return usb->lastOpenErrorText(); }, err);
        b->device = b->owned.get();
    }
    if (!traceFile.isEmpty()) {
        b->trace = std::make_unique<TracingDeviceLibrary>(*b->device, traceFile);
        if (!b->trace->isOpen()) {
            // The trace's file says no more than that it is closed: ask the system why.
            QFile file(traceFile);
            const QString reason = file.open(QIODevice::Append)
                                       ? QStringLiteral("it cannot be opened")
                                       : file.errorString();
            err << "error: cannot write the trace file " << traceFile << ": " << reason << "\n";
            return nullptr;
        }
    }
    return b;
}

}  // namespace kl516
