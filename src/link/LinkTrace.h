#pragma once

#include <QFile>
#include <QString>
#include <memory>

#include "link/DeviceLibrary.h"

namespace kl516 {

// A device library that passes every call on to another one and logs it: each frame written
// and read as hex with a millisecond time stamp, every failed result, and the input reports
// that came late or unasked and were thrown away. It is the one point that all link traffic
// crosses, so a user's trace shows what the meter really said.
class TracingDeviceLibrary final : public DeviceLibrary {
public:
    // Logs to the file at path (appended). isOpen() tells whether the file could be opened.
    TracingDeviceLibrary(DeviceLibrary& inner, const QString& path);
    bool isOpen() const { return file_.isOpen(); }

    int32_t close() override;
    int32_t open(uint16_t vendorId, uint16_t productId) override;
    int32_t setTimeouts(int32_t readTimeoutMs, int32_t writeTimeoutMs) override;
    int32_t write(int32_t length, const uint8_t* bytes) override;
    int32_t prepareRead() override;
    int32_t read(int32_t length, uint8_t* buffer) override;
    int32_t writeBlock(int32_t length, const uint8_t* bytes) override;
    int32_t readString(int32_t index, char* buffer, int32_t bufferSize) override;
    int32_t staleReports() const override { return inner_.staleReports(); }

  private:
    void log(const char* what, int32_t result, const uint8_t* bytes = nullptr, int32_t length = 0);
    // "drained 2 stale reports": what the last call threw away, when anything.
    void logStaleReports(const char* what);
    void logLine(const QString& text);

    DeviceLibrary& inner_;
    QFile file_;
};

// Formats bytes as upper-case hex pairs separated by spaces.
QString hexBytes(const uint8_t* bytes, int length);

}  // namespace kl516
