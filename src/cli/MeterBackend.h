#pragma once

#include <QString>
#include <QTextStream>
#include <functional>
#include <memory>
#include <optional>

#include "cli/Cli.h"
#include "cli/CommandLine.h"
#include "link/LinkTrace.h"
#include "link/MeterSelection.h"
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

// A device library that says once on err why the device would not open, when the reason is one
// the user can fix (problem() is not empty after the failed open): a command's presence checks
// retry for seconds and end with "the meter did not answer", which does not tell.
class OpenProblemReporter final : public DeviceLibrary {
public:
    OpenProblemReporter(std::unique_ptr<DeviceLibrary> device, std::function<QString()> problem,
                        QTextStream& err);

    int32_t close() override { return device_->close(); }
    int32_t open(uint16_t vendorId, uint16_t productId) override;
    int32_t setTimeouts(int32_t readTimeoutMs, int32_t writeTimeoutMs) override {
        return device_->setTimeouts(readTimeoutMs, writeTimeoutMs);
    }
    int32_t write(int32_t length, const uint8_t* bytes) override {
        return device_->write(length, bytes);
    }
    int32_t prepareRead() override { return device_->prepareRead(); }
    int32_t read(int32_t length, uint8_t* buffer) override {
        return device_->read(length, buffer);
    }
    int32_t writeBlock(int32_t length, const uint8_t* bytes) override {
        return device_->writeBlock(length, bytes);
    }
    int32_t readString(int32_t index, char* buffer, int32_t bufferSize) override {
        return device_->readString(index, buffer, bufferSize);
    }
    int32_t staleReports() const override { return device_->staleReports(); }

  private:
    std::unique_ptr<DeviceLibrary> device_;
    std::function<QString()> problem_;
    QTextStream& err_;
    bool reported_ = false;
};

// The clock of a command's link that says once on err, when the link has been waiting for the
// meter longer than kAfterMs: a meter that does not answer is tried again and again, and the
// command would sit silent for up to half a minute. The link's waits (between presence checks,
// before reads) are the only places that see the time pass while it blocks.
class WaitNotice final : public Clock {
  public:
    static constexpr int64_t kAfterMs = 2000;
    static constexpr const char* kText = "waiting for the meter\u2026";

    // enabled false (err is not a terminal): never says anything.
    WaitNotice(Clock& clock, QTextStream& err, bool enabled);

    int64_t tickMs() const override { return clock_.tickMs(); }
    void waitMs(int64_t ms) override;
    QDateTime now() const override { return clock_.now(); }

  private:
    Clock& clock_;
    QTextStream& err_;
    bool pending_;
    int64_t start_;
};

// The meter a command's --device and --serial choose; neither given: the first one found.
MeterSelection meterSelectionFrom(const CliArguments& arguments);

// The device node the simulated meter and a meter handed in are listed under.
inline constexpr const char* kSimulatedDeviceName = "simulated";

// The meters a command could talk to: those on USB, or the simulated or handed-in meter alone
// (its serial number as it reads it).
std::vector<AttachedMeter> listAttachedMeters(
    const std::optional<SimulatedMeter::Options>& simulated, Clock& clock,
    const CliDevices& devices);

// simulated: the simulated meter's options, or nullopt for the meter handed in or on USB.
// traceFile empty: no trace. selection: which meter; when it names one, that meter must be
// attached now. Null, with the reason on err, when the trace cannot be written or no attached
// meter fits the selection.
std::unique_ptr<MeterBackend> openMeterBackend(
    const std::optional<SimulatedMeter::Options>& simulated, Clock& clock,
    const CliDevices& devices, const QString& traceFile, QTextStream& err,
    const MeterSelection& selection = {});

}  // namespace kl516
