#include "link/HidDeviceLibrary.h"

#include <hidapi/hidapi.h>

#include <unistd.h>

#include <QString>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cwchar>
#include <string>

#include "link/LinkResult.h"

namespace kl516 {

namespace {
constexpr int32_t kFailed = -1;
constexpr int kMaxTransfer = 64;
}  // namespace

HidDeviceLibrary::HidDeviceLibrary() { initialised_ = hid_init() == 0; }

HidDeviceLibrary::~HidDeviceLibrary() {
    close();
    if (initialised_) hid_exit();
}

int32_t HidDeviceLibrary::close() {
    if (device_) {
        hid_close(device_);
        device_ = nullptr;
    }
    return 0;
}

int32_t HidDeviceLibrary::open(uint16_t vendorId, uint16_t productId) {
    close();
    lastOpenPath_.clear();
    if (!initialised_) {
        lastOpenError_ = OpenError::Other;
    } else {
        // The first matching device node, as hid_open takes it; opened by path so that a
        // failure can be put down to that node.
        std::string path;
        if (hid_device_info* found = hid_enumerate(vendorId, productId)) {
            if (found->path) path = found->path;
            hid_free_enumeration(found);
        }
        if (!path.empty()) device_ = hid_open_path(path.c_str());
        lastOpenPath_ = QString::fromLocal8Bit(path.c_str());
        lastOpenError_ = device_ ? OpenError::None : diagnoseOpenFailure(path.c_str());
    }
    // Handed to the link layer, which adds it to the "fail to open usb device" message.
    setDeviceAccessProblem(lastOpenErrorText());
    return device_ ? 0 : kFailed;
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

int32_t HidDeviceLibrary::setTimeouts(int32_t readTimeoutMs, int32_t /*writeTimeoutMs*/) {
    // hidraw writes do not time out on their own; the read time-out bounds every exchange.
    if (!device_ || readTimeoutMs < 0) return kFailed;
    readTimeoutMs_ = readTimeoutMs;
    return 0;
}

int32_t HidDeviceLibrary::writeReport(int32_t length, const uint8_t* bytes) {
    if (!device_ || !bytes || length <= 0 || length >= kMaxTransfer) return kFailed;
    // Report number 0 first: the device does not number its reports.
    uint8_t report[kMaxTransfer + 1] = {0};
    std::memcpy(report + 1, bytes, static_cast<size_t>(length));
    return hid_write(device_, report, static_cast<size_t>(length) + 1) == length + 1 ? 0 : kFailed;
}

int32_t HidDeviceLibrary::write(int32_t length, const uint8_t* bytes) {
    return writeReport(length, bytes);
}

// The response comes on the interrupt pipe whenever the meter sends it; there is nothing to
// arm beforehand.
int32_t HidDeviceLibrary::prepareRead() { return device_ ? 0 : kFailed; }

int32_t HidDeviceLibrary::read(int32_t length, uint8_t* buffer) {
    if (!device_ || !buffer || length <= 0 || length > kMaxTransfer) return kFailed;
    int32_t got = 0;
    uint8_t report[kMaxTransfer];
    while (got < length) {
        const int n = hid_read_timeout(device_, report, sizeof report, readTimeoutMs_);
        if (n <= 0) return kFailed;  // time-out or error
        const int32_t take = std::min<int32_t>(n, length - got);
        std::memcpy(buffer + got, report, static_cast<size_t>(take));
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
    if (!device_ || index != 0) return kFailed;
    wchar_t text[kMaxTransfer] = {0};
    const int result = hid_get_serial_number_string(device_, text, kMaxTransfer);
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
