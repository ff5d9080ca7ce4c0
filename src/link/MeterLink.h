#pragma once

#include <cstdint>
#include <functional>

#include "link/Clock.h"
#include "link/DeviceLibrary.h"
#include "link/Frames.h"
#include "link/LinkHost.h"
#include "link/LinkResult.h"

namespace kl516 {

// The exchange procedures of the meter link, built on the device library. Holds the two
// command buffers, the main and setup response buffers and the status-poll sequence number.
// Command buffers are rewritten in place: a command writes its marks, its letter and only the
// payload bytes it owns; the other payload bytes go out as the previous command left them.
class MeterLink {
public:
    static constexpr int kPresenceAttempts = 10;
    static constexpr int kTransactionAttempts = 15;  // 'P', 't', 'W', 'r', 'e', 'Y'

    MeterLink(DeviceLibrary& library, Clock& clock, LinkHost& host);

    DeviceLibrary& library() { return lib_; }
    // The window that runs the poll loop takes over as host once it exists.
    void setHost(LinkHost& host) { host_ = &host; }
    Clock& clock() { return clock_; }

    CommandFrame& mainBuffer() { return mainBuffer_; }
    CommandFrame& setupBuffer() { return setupBuffer_; }
    ResponseFrame& mainResponse() { return mainResponse_; }
    ResponseFrame& setupResponse() { return setupResponse_; }
    const ResponseFrame& mainResponse() const { return mainResponse_; }
    uint8_t sequenceNumber() const { return sequence_; }

    static const CommandFrame kEraseFrame;        // 02 'e' "rase" 03
    static const CommandFrame kInformationFrame;  // 02 'Y' 00 00 00 00 03

    void waitMs(int64_t ms) { clock_.waitMs(ms); }
    bool checkPresence();
    int32_t queryInfo();
    int32_t exchange(const CommandFrame& frame, ResponseFrame& response);
    int32_t sendCommand(const CommandFrame& frame);
    bool exchangeShort(char letter);
    bool sendKey(char letter);
    bool pollStatus();
    bool pollStatusChecked();

    // Open: close, open by the meter's ids, set both time-outs. 0, 1002 or 1003.
    int32_t openDevice();
    // Raw operations on the open device, for transfers that keep it open (download, LEQ).
    int32_t writeFrame(const CommandFrame& frame) { return lib_.write(7, frame.data()); }
    int32_t readResponse(ResponseFrame& buffer) { return lib_.read(32, buffer.data()); }
    void prepareRead() { lib_.prepareRead(); }
    void closeDevice() { lib_.close(); }

    // Setup transactions with their retry rules.
    // Clock: up to 15 't' commands, then the block built from the local time (205 on failure).
    int32_t setMeterClock();
    // Configuration byte write with the echo of frame bytes 0..1 (the recording-interval
    // writes) or 3..6 (the user's write).
    enum class Echo { LetterBytes, AddressDataBytes };
    int32_t writeConfigByte(uint32_t address, uint8_t data, Echo echo);
    // Configuration byte read; the byte read is stored in *value on success.
    int32_t readConfigByte(uint32_t address, uint8_t* value);
    int32_t eraseMemory();
    int32_t readInformation();

private:
    void waitWhileBusyAndStopTimer();
    int32_t writeLetterFromMainBuffer(char letter);
    // On the open device: 'A' with the next sequence number, then the read. True when read.
    bool sendStatusPoll();

    DeviceLibrary& lib_;
    Clock& clock_;
    LinkHost* host_;
    CommandFrame mainBuffer_{0x02, 0x4B, 0, 0, 0, 0, 0};
    CommandFrame setupBuffer_{0x02, 0, 0, 0, 0, 0, 0x03};
    ResponseFrame mainResponse_{};
    ResponseFrame setupResponse_{};
    uint8_t sequence_ = 0;
};

// Runs attempt up to `attempts` times and returns the first 0, or the last result.
int32_t retryTransaction(int attempts, const std::function<int32_t()>& attempt);

// Runs exchange up to `attempts` times; an exchange that returns 0 counts only when
// echoMatches() holds, else its result is 707. Returns the first success or the last result.
int32_t retryWithEcho(int attempts, const std::function<int32_t()>& exchange,
                      const std::function<bool()>& echoMatches);

}  // namespace kl516
