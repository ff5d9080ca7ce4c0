#include "link/MeterLink.h"

#include <algorithm>

namespace kl516 {

const CommandFrame MeterLink::kEraseFrame{0x02, 'e', 'r', 'a', 's', 'e', 0x03};
const CommandFrame MeterLink::kInformationFrame{0x02, 'Y', 0, 0, 0, 0, 0x03};

MeterLink::MeterLink(DeviceLibrary& library, Clock& clock, LinkHost& host)
    : lib_(library), clock_(clock), host_(&host) {}

int32_t MeterLink::openDevice() {
    lib_.close();
    if (lib_.open(kMeterVendorId, kMeterProductId) != 0) return LinkResult::OpenFailed;
    if (lib_.setTimeouts(kLinkTimeoutMs, kLinkTimeoutMs) != 0) return LinkResult::TimeoutsFailed;
    return LinkResult::Success;
}

int32_t MeterLink::writeLetterFromMainBuffer(char letter) {
    setLetter(mainBuffer_, letter);
    return writeFrame(mainBuffer_);
}

bool MeterLink::checkPresence() {
    for (int i = 0; i < kPresenceAttempts; ++i) {
        waitMs(100 + 10 * i);
        if (pollStatusChecked()) return true;
    }
    return false;
}

int32_t MeterLink::queryInfo() {
    if (!checkPresence()) return LinkResult::NoAnswer;
    if (const int32_t r = openDevice(); r != 0) return r;
    if (writeLetterFromMainBuffer(Cmd::DownloadStart) != 0) return LinkResult::WriteFailed;
    prepareRead();
    if (readResponse(mainResponse_) != 0) return LinkResult::ReadFailed;
    if (mainResponse_[0] != kInfoStart || mainResponse_[31] != kInfoEnd)
        return LinkResult::BadInfoFraming;
    return LinkResult::Success;
}

void MeterLink::waitWhileBusyAndStopTimer() {
    while (host_->linkBusy()) host_->processPendingEvents();
    host_->stopPollTimer();
}

int32_t MeterLink::exchange(const CommandFrame& frame, ResponseFrame& response) {
    waitWhileBusyAndStopTimer();
    if (!checkPresence()) return LinkResult::NoAnswer;
    if (const int32_t r = openDevice(); r != 0) return r;
    if (writeFrame(frame) != 0) return LinkResult::WriteFailed;
    prepareRead();
    waitMs(100);
    if (readResponse(response) != 0) return LinkResult::ReadFailed;
    return LinkResult::Success;
}

int32_t MeterLink::sendCommand(const CommandFrame& frame) {
    waitWhileBusyAndStopTimer();
    if (!checkPresence()) return LinkResult::NoAnswer;
    if (const int32_t r = openDevice(); r != 0) return r;
    if (writeFrame(frame) != 0) return LinkResult::WriteFailed;
    prepareRead();
    return LinkResult::Success;
}

bool MeterLink::exchangeShort(char letter) {
    if (openDevice() != 0) return false;
    writeLetterFromMainBuffer(letter);  // the write result is not tested; the read tells
    prepareRead();
    const bool ok = readResponse(mainResponse_) == 0;
    closeDevice();
    return ok;
}

bool MeterLink::sendKey(char letter) {
    if (openDevice() != 0) return false;
    writeLetterFromMainBuffer(letter);
    closeDevice();
    return true;
}

bool MeterLink::sendStatusPoll() {
    mainBuffer_[5] = ++sequence_;  // 8-bit, wraps 255 -> 0
    writeLetterFromMainBuffer(Cmd::Status);
    prepareRead();
    mainResponse_.fill(0);
    return readResponse(mainResponse_) == 0;
}

bool MeterLink::pollStatus() {
    if (openDevice() != 0) return false;
    const bool ok = sendStatusPoll();
    closeDevice();
    return ok;
}

bool MeterLink::pollStatusChecked() {
    if (openDevice() != 0) return false;
    const bool ok = sendStatusPoll();
    if (mainResponse_[30] == sequence_)
        host_->hideResetIndicator();
    else
        writeLetterFromMainBuffer(Cmd::Resync);  // the meter lost step: resynchronise, no read
    closeDevice();
    return ok;
}

int32_t retryTransaction(int attempts, const std::function<int32_t()>& attempt) {
    int32_t result = LinkResult::NoAnswer;
    for (int i = 0; i < attempts; ++i) {
        result = attempt();
        if (result == LinkResult::Success) break;
    }
    return result;
}

int32_t retryWithEcho(int attempts, const std::function<int32_t()>& exchange,
                      const std::function<bool()>& echoMatches) {
    return retryTransaction(attempts, [&] {
        const int32_t r = exchange();
        if (r != LinkResult::Success) return r;
        return echoMatches() ? LinkResult::Success : LinkResult::EchoMismatch;
    });
}

int32_t MeterLink::setMeterClock() {
    int32_t result = retryTransaction(kTransactionAttempts, [&] {
        setClockCommandFrame(setupBuffer_);
        return sendCommand(setupBuffer_);
    });
    if (result != LinkResult::Success) return result;
    waitMs(100);
    fillClockBlock(setupResponse_, clock_.now());
    if (lib_.writeBlock(32, setupResponse_.data()) != 0) result = LinkResult::ClockBlockFailed;
    return result;
}

int32_t MeterLink::writeConfigByte(uint32_t address, uint8_t data, Echo echo) {
    return retryWithEcho(
        kTransactionAttempts,
        [&] {
            setConfigWriteFrame(setupBuffer_, address, data);
            return exchange(setupBuffer_, setupResponse_);
        },
        [&] {
            const int from = echo == Echo::LetterBytes ? 0 : 3;
            const int to = echo == Echo::LetterBytes ? 2 : 7;
            return std::equal(setupBuffer_.begin() + from, setupBuffer_.begin() + to,
                              setupResponse_.begin() + from);
        });
}

int32_t MeterLink::readConfigByte(uint32_t address, uint8_t* value) {
    const int32_t result = retryWithEcho(
        kTransactionAttempts,
        [&] {
            setConfigReadFrame(setupBuffer_, address);
            return exchange(setupBuffer_, setupResponse_);
        },
        [&] { return setupResponse_[0] == setupBuffer_[0] && setupResponse_[1] == setupBuffer_[1]; });
    if (result == LinkResult::Success && value) *value = setupResponse_[6];
    return result;
}

int32_t MeterLink::eraseMemory() {
    return retryWithEcho(
        kTransactionAttempts, [&] { return exchange(kEraseFrame, setupResponse_); },
        [&] { return std::equal(kEraseFrame.begin(), kEraseFrame.end(), setupResponse_.begin()); });
}

int32_t MeterLink::readInformation() {
    return retryTransaction(kTransactionAttempts,
                            [&] { return exchange(kInformationFrame, setupResponse_); });
}

}  // namespace kl516
