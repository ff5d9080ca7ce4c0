#pragma once

#include <cstdint>

namespace kl516 {

// The entry points of the meter's USB library, one method each. Every method returns 0 for
// success; the link layer treats any other value as a failure and never reads an error text.
// There is one device at a time and the library keeps the open device as its own state.
class DeviceLibrary {
public:
    virtual ~DeviceLibrary() = default;

    // Closes the open device; harmless when none is open. Result ignored by callers.
    virtual int32_t close() = 0;
    // Opens the device with the given USB vendor and product id (always 0x04D9, 0xE000).
    virtual int32_t open(uint16_t vendorId, uint16_t productId) = 0;
    // Sets the read and write time-outs in milliseconds (always 100, 100 right after opening).
    virtual int32_t setTimeouts(int32_t readTimeoutMs, int32_t writeTimeoutMs) = 0;
    // Sends one command frame (length always 7).
    virtual int32_t write(int32_t length, const uint8_t* bytes) = 0;
    // Announces that the response to the command just sent is about to be read. Result ignored.
    virtual int32_t prepareRead() = 0;
    // Receives one response frame (length always 32) into buffer.
    virtual int32_t read(int32_t length, uint8_t* buffer) = 0;
    // Sends a 32-byte data block (only the meter-clock block).
    virtual int32_t writeBlock(int32_t length, const uint8_t* bytes) = 0;
    // Fills buffer with the zero-terminated indexed string (index always 0, size always 64);
    // shown as the meter's serial number. Result ignored.
    virtual int32_t readString(int32_t index, char* buffer, int32_t bufferSize) = 0;

    // How many input reports of earlier responses the last write, writeBlock or read threw
    // away (reports that came late or unasked). For the link trace; a library that cannot
    // fall out of step with the device keeps the default.
    virtual int32_t staleReports() const { return 0; }
};

inline constexpr uint16_t kMeterVendorId = 0x04D9;
inline constexpr uint16_t kMeterProductId = 0xE000;
inline constexpr int32_t kLinkTimeoutMs = 100;

}  // namespace kl516
