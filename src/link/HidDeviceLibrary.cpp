#include "link/HidDeviceLibrary.h"

#include <hidapi/hidapi.h>

#include <fcntl.h>
#include <unistd.h>

#include <QString>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "link/LinkResult.h"

namespace kl516 {

namespace {
constexpr int32_t kFailed = -1;
constexpr int kMaxTransfer = 64;
// The longest report descriptor the kernel keeps for a device.
constexpr size_t kMaxDescriptorSize = 4096;

// The device as hidapi opened it.
class HidapiPort final : public HidReportPort {
  public:
    explicit HidapiPort(hid_device* device) : device_(device) {}
    ~HidapiPort() override { hid_close(device_); }
    HidapiPort(const HidapiPort&) = delete;
    HidapiPort& operator=(const HidapiPort&) = delete;

    int writeReport(const uint8_t* report, size_t length) override {
        return hid_write(device_, report, length);
    }
    int readReport(uint8_t* buffer, size_t size, int timeoutMs) override {
        return hid_read_timeout(device_, buffer, size, timeoutMs);
    }
    int serialNumber(wchar_t* text, size_t capacity) override {
        return hid_get_serial_number_string(device_, text, capacity);
    }

  private:
    hid_device* device_;
};

std::optional<HidReportLayout> learnReportLayout(hid_device* device, const std::string& path) {
#if defined(HID_API_VERSION) && HID_API_VERSION >= HID_API_MAKE_VERSION(0, 14, 0)
    std::vector<unsigned char> descriptor(kMaxDescriptorSize);
    const int n = hid_get_report_descriptor(device, descriptor.data(), descriptor.size());
    if (n > 0) {
        if (auto layout = parseHidReportDescriptor(descriptor.data(), static_cast<size_t>(n)))
            return layout;
    }
#else
    (void)device;
#endif
    return HidDeviceLibrary::readReportLayout(path);
}

// The devices hidapi finds and opens.
class HidapiBus final : public HidBus {
  public:
    HidapiBus() : ready_(hid_init() == 0) {}
    ~HidapiBus() override {
        if (ready_) hid_exit();
    }
    HidapiBus(const HidapiBus&) = delete;
    HidapiBus& operator=(const HidapiBus&) = delete;

    bool ready() const override { return ready_; }

    std::vector<AttachedMeter> meters(uint16_t vendorId, uint16_t productId) override {
        std::vector<AttachedMeter> found;
        if (!ready_) return found;
        hid_device_info* all = hid_enumerate(vendorId, productId);
        for (const hid_device_info* d = all; d; d = d->next) {
            if (!d->path) continue;
            AttachedMeter m;
            m.device = QString::fromLocal8Bit(d->path);
            if (d->serial_number) m.serial = QString::fromWCharArray(d->serial_number);
            m.openable = ::access(d->path, R_OK | W_OK) == 0;
            found.push_back(std::move(m));
        }
        hid_free_enumeration(all);
        return found;
    }

    std::unique_ptr<HidReportPort> openPath(const std::string& path,
                                            std::optional<HidReportLayout>& layout) override {
        hid_device* device = ready_ ? hid_open_path(path.c_str()) : nullptr;
        if (!device) return nullptr;
        layout = learnReportLayout(device, path);
        return std::make_unique<HidapiPort>(device);
    }

  private:
    bool ready_;
};
}  // namespace

HidDeviceLibrary::HidDeviceLibrary(HidBus* bus) {
    if (!bus) ownBus_ = std::make_unique<HidapiBus>();
    bus_ = bus ? bus : ownBus_.get();
}

HidDeviceLibrary::~HidDeviceLibrary() {
    close();
}

std::vector<AttachedMeter> HidDeviceLibrary::attachedMeters() {
    return bus_->meters(kMeterVendorId, kMeterProductId);
}

int32_t HidDeviceLibrary::close() {
    port_.reset();
    layout_.reset();
    return 0;
}

int32_t HidDeviceLibrary::attach(std::unique_ptr<HidReportPort> port,
                                 std::optional<HidReportLayout> layout) {
    close();
    port_ = std::move(port);
    layout_ = port_ ? layout : std::nullopt;
    readTimeoutMs_ = kLinkTimeoutMs;
    staleReports_ = 0;
    return port_ ? 0 : kFailed;
}

int32_t HidDeviceLibrary::open(uint16_t vendorId, uint16_t productId) {
    close();
    lastOpenPath_.clear();
    if (!bus_->ready()) {
        lastOpenError_ = OpenError::Other;
    } else {
        // The first device node the selection takes (without one, the first found, as hid_open
        // takes it); opened by path so that a failure can be put down to that node.
        const std::vector<AttachedMeter> meters = bus_->meters(vendorId, productId);
        const AttachedMeter* chosen = selectMeter(meters, selection_);
        const std::string path = chosen ? chosen->device.toLocal8Bit().toStdString() : "";
        std::optional<HidReportLayout> layout;
        std::unique_ptr<HidReportPort> port = path.empty() ? nullptr : bus_->openPath(path, layout);
        if (port) attach(std::move(port), layout);
        lastOpenPath_ = QString::fromLocal8Bit(path.c_str());
        lastOpenError_ = port_ ? OpenError::None : diagnoseOpenFailure(path.c_str());
    }
    // Handed to the link layer, which adds it to the "fail to open usb device" message.
    setDeviceAccessProblem(lastOpenErrorText());
    return port_ ? 0 : kFailed;
}

HidDeviceLibrary::OpenError HidDeviceLibrary::diagnoseOpenFailure(const char* path) {
    if (!path || !*path || ::access(path, F_OK) != 0) return OpenError::NoDevice;
    if (::access(path, R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM))
        return OpenError::PermissionDenied;
    return OpenError::Other;
}

QString HidDeviceLibrary::openErrorText(OpenError error, const QString& path) {
    if (error != OpenError::PermissionDenied) return {};
    return QStringLiteral("permission denied on %1: install the udev rule (see README, Install) "
                          "or add yourself to the plugdev group")
        .arg(path);
}

std::optional<HidReportLayout> HidDeviceLibrary::readReportLayout(const std::string& devicePath,
                                                                  const std::string& sysfsRoot) {
    // Only a hidraw node has its descriptor under class/hidraw; the number must be digits so
    // that the path cannot lead anywhere else.
    static const std::string kNodePrefix = "/dev/hidraw";
    if (devicePath.size() <= kNodePrefix.size() || devicePath.size() > kNodePrefix.size() + 10 ||
        devicePath.compare(0, kNodePrefix.size(), kNodePrefix) != 0)
        return std::nullopt;
    const std::string number = devicePath.substr(kNodePrefix.size());
    if (!std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;

    const std::string file =
        sysfsRoot + "/class/hidraw/hidraw" + number + "/device/report_descriptor";
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    // One byte more than a descriptor may have, to tell a longer file from a full one.
    std::vector<uint8_t> descriptor(kMaxDescriptorSize + 1);
    size_t got = 0;
    bool failed = false;
    while (got < descriptor.size()) {
        const ssize_t n = ::read(fd, descriptor.data() + got, descriptor.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) failed = true;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    if (failed || got > kMaxDescriptorSize) return std::nullopt;
    return parseHidReportDescriptor(descriptor.data(), got);
}

int32_t HidDeviceLibrary::setTimeouts(int32_t readTimeoutMs, int32_t /*writeTimeoutMs*/) {
    // hidraw writes do not time out on their own; the read time-out bounds every exchange.
    if (!port_ || readTimeoutMs < 0) return kFailed;
    readTimeoutMs_ = readTimeoutMs;
    return 0;
}

void HidDeviceLibrary::drainStaleReports() {
    // Nothing is asked of the device between its last answer and this write, so whatever is
    // queued now answers an earlier command: a response that came after its read gave up, or
    // a report the device sent unasked.
    uint8_t report[4096 + 1];
    while (staleReports_ < kMaxStaleReports && port_->readReport(report, sizeof report, 0) > 0)
        ++staleReports_;
}

int32_t HidDeviceLibrary::writeReport(int32_t length, const uint8_t* bytes) {
    staleReports_ = 0;
    if (!port_ || !bytes || length <= 0 || length >= kMaxTransfer) return kFailed;
    drainStaleReports();
    // Whole reports of the device's length, each written complete, in order.
    for (const std::vector<uint8_t>& report :
         outputReports(layout_, bytes, static_cast<size_t>(length))) {
        if (port_->writeReport(report.data(), report.size()) != static_cast<int>(report.size()))
            return kFailed;
    }
    return 0;
}

int32_t HidDeviceLibrary::write(int32_t length, const uint8_t* bytes) {
    return writeReport(length, bytes);
}

// The response comes on the interrupt pipe whenever the meter sends it; there is nothing to
// arm beforehand.
int32_t HidDeviceLibrary::prepareRead() {
    return port_ ? 0 : kFailed;
}

void HidDeviceLibrary::discardRestOfResponse(int reports, std::vector<uint8_t>& report) {
    // The device sends a response's reports in order, so the rest of a broken one would be
    // taken for the start of the next answer. Most often it is only a little late.
    for (int i = 0; i < reports; ++i) {
        if (port_->readReport(report.data(), report.size(), kLateReportWaitMs) <= 0) return;
        ++staleReports_;
    }
}

int32_t HidDeviceLibrary::read(int32_t length, uint8_t* buffer) {
    staleReports_ = 0;
    if (!port_ || !buffer || length <= 0 || length > kMaxTransfer) return kFailed;
    // A numbered input report starts with its number; room for the whole report, as hidraw
    // cuts one that does not fit.
    const int skip = layout_ && layout_->numbered ? 1 : 0;
    const int reportLength = layout_ ? layout_->inputLength + skip : 0;
    std::vector<uint8_t> report(static_cast<size_t>(std::max(kMaxTransfer, reportLength)));
    int32_t got = 0;
    int perReport = 0;  // the data one report of this response carries
    while (got < length) {
        const int n = port_->readReport(report.data(), report.size(), readTimeoutMs_);
        // Time-out or error; a numbered report without data would never fill the response.
        if (n <= skip) {
            if (n == 0 && got > 0)
                discardRestOfResponse((length - got + perReport - 1) / perReport, report);
            return kFailed;
        }
        perReport = n - skip;
        const int32_t take = std::min<int32_t>(perReport, length - got);
        std::memcpy(buffer + got, report.data() + skip, static_cast<size_t>(take));
        got += take;
    }
    return 0;
}

int32_t HidDeviceLibrary::writeBlock(int32_t length, const uint8_t* bytes) {
    return writeReport(length, bytes);
}

int32_t HidDeviceLibrary::readString(int32_t index, char* buffer, int32_t bufferSize) {
    if (!buffer || bufferSize <= 0) return kFailed;
    buffer[0] = '\0';
    // Index 0 is the serial number, the only string asked for. hidraw cannot fetch a string
    // descriptor by index, but it knows the device's serial number.
    if (!port_ || index != 0) return kFailed;
    wchar_t text[kMaxTransfer] = {0};
    const int result = port_->serialNumber(text, kMaxTransfer);
    return serialNumberText(result, text, kMaxTransfer, buffer, bufferSize);
}

int32_t HidDeviceLibrary::serialNumberText(int hidResult, const wchar_t* text, size_t capacity,
                                           char* buffer, int32_t bufferSize) {
    if (!buffer || bufferSize <= 0) return kFailed;
    buffer[0] = '\0';
    if (hidResult != 0) return kFailed;
    if (!text) return 0;  // no serial number: an empty text
    const QByteArray utf8 =
        QString::fromWCharArray(text, qsizetype(wcsnlen(text, capacity))).toUtf8();
    int32_t n = std::min<int32_t>(static_cast<int32_t>(utf8.size()), bufferSize - 1);
    // Cut before a character that does not fit whole: back over UTF-8 continuation bytes.
    if (n < utf8.size())
        while (n > 0 && (static_cast<uint8_t>(utf8[n]) & 0xC0) == 0x80) --n;
    std::memcpy(buffer, utf8.constData(), static_cast<size_t>(n));
    buffer[n] = '\0';
    return 0;
}

}  // namespace kl516
