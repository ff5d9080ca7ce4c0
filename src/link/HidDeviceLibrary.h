#pragma once

#include <QString>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/DeviceLibrary.h"
#include "link/HidReportDescriptor.h"
#include "link/MeterSelection.h"

namespace kl516 {

// One open HID device as HidDeviceLibrary uses it: whole output reports out, one input report
// at a time in. hidapi's device in the program; a stand-in in tests.
class HidReportPort {
  public:
    virtual ~HidReportPort() = default;
    // Sends one output report, its report number first. The bytes written, or -1.
    virtual int writeReport(const uint8_t* report, size_t length) = 0;
    // Waits up to timeoutMs (0: not at all) for one input report and copies it to buffer: the
    // bytes read, 0 when none came in time, -1 on an error.
    virtual int readReport(uint8_t* buffer, size_t size, int timeoutMs) = 0;
    // The device's serial number as hidapi's hid_get_serial_number_string gives it.
    virtual int serialNumber(wchar_t* /*text*/, size_t /*capacity*/) { return -1; }
};

// Where HidDeviceLibrary finds meters and opens them: hidapi in the program; a stand-in in tests.
class HidBus {
  public:
    virtual ~HidBus() = default;
    // False when the library could not start; nothing can be found or opened then.
    virtual bool ready() const { return true; }
    // The devices with this vendor and product id, in the order hidapi enumerates them.
    virtual std::vector<AttachedMeter> meters(uint16_t vendorId, uint16_t productId) = 0;
    // Opens the device node path: the open port and the report layout it declares (nothing
    // when its descriptor cannot be read), or a null port.
    virtual std::unique_ptr<HidReportPort> openPath(const std::string& path,
                                                    std::optional<HidReportLayout>& layout) = 0;
};

// The meter on USB through hidapi's hidraw backend. On opening, the device's report descriptor
// tells the length of its output and input reports and whether it numbers them. Frames and
// blocks then go out as whole output reports: the report number (0 when not numbered), the
// bytes, zeros up to the report length, and as many reports as a longer payload needs; the
// kernel drops a report number 0 before sending, so writing only the bytes would hand the
// device a short report. When the descriptor cannot be read the bytes go out as they are.
// Responses arrive as input reports, the report number taken off when the device numbers
// them, and are gathered until 32 bytes are in.
//
// The device can fall out of step with the host: a response that comes later than the read
// time-out, or a report nobody asked for, waits in the hidraw queue and would be read as the
// answer to the next command, shifting every later frame of a transfer that keeps the device
// open. So whatever is queued before a write is thrown away, and a gather that breaks off
// part-way waits a while for the rest of that response and throws it away too.
class HidDeviceLibrary final : public DeviceLibrary {
public:
  // bus null: hidapi.
  explicit HidDeviceLibrary(HidBus* bus = nullptr);
  ~HidDeviceLibrary() override;
  HidDeviceLibrary(const HidDeviceLibrary&) = delete;
  HidDeviceLibrary& operator=(const HidDeviceLibrary&) = delete;

  int32_t close() override;
  int32_t open(uint16_t vendorId, uint16_t productId) override;
  int32_t setTimeouts(int32_t readTimeoutMs, int32_t writeTimeoutMs) override;
  int32_t write(int32_t length, const uint8_t* bytes) override;
  int32_t prepareRead() override;
  int32_t read(int32_t length, uint8_t* buffer) override;
  int32_t writeBlock(int32_t length, const uint8_t* bytes) override;
  // Index 0: the device's serial number; an empty text and 0 when it has none.
  int32_t readString(int32_t index, char* buffer, int32_t bufferSize) override;
  int32_t staleReports() const override { return staleReports_; }

  // How long the rest of a response that broke off part-way is waited for, per report,
  // before the read gives up on it.
  static constexpr int kLateReportWaitMs = 500;
  // The most queued reports one write throws away first; hidraw keeps 64 per reader, so
  // this only stops a device that never falls silent from holding the write for ever.
  static constexpr int kMaxStaleReports = 256;

  // Which meter open() takes when several are attached; by default the first one found.
  void setSelection(const MeterSelection& selection) { selection_ = selection; }
  // The attached meters with the meter's vendor and product id.
  std::vector<AttachedMeter> attachedMeters();

  // Takes over a device that is already open, with the report layout it declared: what
  // open() does once it has found and opened the meter. Tests hand it a stand-in.
  int32_t attach(std::unique_ptr<HidReportPort> port, std::optional<HidReportLayout> layout);

  // What readString hands out for hidapi's answer (hidResult, and the wide text of at most
  // capacity characters): the text as zero-terminated UTF-8, cut before a character that
  // does not fit, and 0; an empty text and non-zero when hidapi failed. Apart so that it can
  // be tested without a meter.
  static int32_t serialNumberText(int hidResult, const wchar_t* text, size_t capacity, char* buffer,
                                  int32_t bufferSize);

  // Why the last open() failed: no meter found, its device node there but closed to this
  // user, or something else (busy, unplugged meanwhile, I/O).
  enum class OpenError { None, NoDevice, PermissionDenied, Other };
  OpenError lastOpenError() const { return lastOpenError_; }
  // The device node the last open() tried ("/dev/hidraw3"); empty when no meter was found.
  QString lastOpenPath() const { return lastOpenPath_; }
  // What the user can do about the last failure; empty unless it was a permission problem.
  QString lastOpenErrorText() const { return openErrorText(lastOpenError_, lastOpenPath_); }

  // Why the device node at path failed to open, asked of the file system after the failure.
  // Apart so that it can be tested on ordinary files.
  static OpenError diagnoseOpenFailure(const char* path);
  static QString openErrorText(OpenError error, const QString& path);

  // The report layout of the open device; nothing when no device is open or its report
  // descriptor could not be read or understood.
  std::optional<HidReportLayout> reportLayout() const { return layout_; }
  // The report layout of the hidraw device node devicePath ("/dev/hidrawN"), from the report
  // descriptor the kernel shows under sysfsRoot (class/hidraw/hidrawN/device/
  // report_descriptor). Nothing for another kind of path, a missing or unreadable file, or
  // a malformed descriptor.
  static std::optional<HidReportLayout> readReportLayout(const std::string& devicePath,
                                                         const std::string& sysfsRoot = "/sys");

private:
    int32_t writeReport(int32_t length, const uint8_t* bytes);
    void drainStaleReports();
    void discardRestOfResponse(int reports, std::vector<uint8_t>& report);

    std::unique_ptr<HidBus> ownBus_;
    HidBus* bus_;
    MeterSelection selection_;
    std::unique_ptr<HidReportPort> port_;
    std::optional<HidReportLayout> layout_;
    int readTimeoutMs_ = 100;
    int32_t staleReports_ = 0;
    OpenError lastOpenError_ = OpenError::None;
    QString lastOpenPath_;
};

}  // namespace kl516
