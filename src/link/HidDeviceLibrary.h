#pragma once

#include "link/DeviceLibrary.h"

struct hid_device_;

namespace kl516 {

// The meter on USB through hidapi's hidraw backend. Frames go out as output reports without a
// report number; responses arrive as input reports and are gathered until 32 bytes are in.
class HidDeviceLibrary final : public DeviceLibrary {
public:
    HidDeviceLibrary();
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
    int32_t readString(int32_t index, char* buffer, int32_t bufferSize) override;

private:
    int32_t writeReport(int32_t length, const uint8_t* bytes);

    hid_device_* device_ = nullptr;
    bool initialised_ = false;
    int readTimeoutMs_ = 100;
};

}  // namespace kl516
