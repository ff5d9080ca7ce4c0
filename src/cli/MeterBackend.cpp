#include "cli/MeterBackend.h"

#include <QFile>
#include <QFileInfo>

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

MeterSelection meterSelectionFrom(const CliArguments& arguments) {
    MeterSelection selection;
    selection.serial = arguments.value("serial");
    selection.device = arguments.value("device");
    // A link to the node (a udev rule's /dev/kl516) names the node it leads to.
    if (!selection.device.isEmpty()) {
        const QString target = QFileInfo(selection.device).canonicalFilePath();
        if (!target.isEmpty()) selection.device = target;
    }
    return selection;
}

namespace {

// The one meter of a library that is not on USB, as it answers: open, its serial number, closed.
AttachedMeter soleMeter(DeviceLibrary& device) {
    AttachedMeter m;
    m.device = QLatin1String(kSimulatedDeviceName);
    m.openable = device.open(kMeterVendorId, kMeterProductId) == 0;
    if (m.openable) {
        char serial[64] = {};
        if (device.readString(0, serial, sizeof serial) == 0) {
            serial[sizeof serial - 1] = '\0';
            m.serial = QString::fromUtf8(serial);
        }
    }
    device.close();
    return m;
}

}  // namespace

std::vector<AttachedMeter> listAttachedMeters(
    const std::optional<SimulatedMeter::Options>& simulated, Clock& clock,
    const CliDevices& devices) {
    if (simulated) {
        SimulatedMeter meter(clock, *simulated);
        return {soleMeter(meter)};
    }
    if (devices.meter) return {soleMeter(*devices.meter)};
    return HidDeviceLibrary(devices.usb).attachedMeters();
}

std::unique_ptr<MeterBackend> openMeterBackend(
    const std::optional<SimulatedMeter::Options>& simulated, Clock& clock,
    const CliDevices& devices, const QString& traceFile, QTextStream& err,
    const MeterSelection& selection) {
    if (!selection.any() &&
        !selectMeter(listAttachedMeters(simulated, clock, devices), selection)) {
        err << "error: " << noSelectedMeterText(selection) << "\n";
        return nullptr;
    }
    auto b = std::make_unique<MeterBackend>();
    if (simulated) {
        b->owned = std::make_unique<SimulatedMeter>(clock, *simulated);
        b->device = b->owned.get();
    } else if (devices.meter) {
        b->device = devices.meter;
    } else {
        auto hid = std::make_unique<HidDeviceLibrary>(devices.usb);
        hid->setSelection(selection);
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
