#pragma once

#include <deque>
#include <string>
#include <vector>

#include "link/DeviceLibrary.h"
#include "link/Frames.h"

namespace kl516::test {

// A device library that records every call and answers reads from a script of responses.
struct RecordingDeviceLibrary final : DeviceLibrary {
    struct Call {
        std::string name;
        std::vector<uint8_t> bytes;  // frame written, or the open/time-out arguments
    };
    std::vector<Call> calls;
    std::deque<ResponseFrame> responses;  // read in order; an empty script fails the read
    int32_t openResult = 0;
    int32_t timeoutsResult = 0;
    int32_t writeResult = 0;
    int32_t blockResult = 0;

    int32_t close() override { return record("close"), 0; }
    int32_t open(uint16_t vid, uint16_t pid) override {
        record("open", {uint8_t(vid >> 8), uint8_t(vid), uint8_t(pid >> 8), uint8_t(pid)});
        return openResult;
    }
    int32_t setTimeouts(int32_t r, int32_t w) override {
        record("timeouts", {uint8_t(r), uint8_t(w)});
        return timeoutsResult;
    }
    int32_t write(int32_t length, const uint8_t* bytes) override {
        record("write", {bytes, bytes + length});
        return writeResult;
    }
    int32_t prepareRead() override { return record("prepare"), 0; }
    int32_t read(int32_t length, uint8_t* buffer) override {
        record("read");
        if (responses.empty() || length != 32) return 1;
        std::copy(responses.front().begin(), responses.front().end(), buffer);
        responses.pop_front();
        return 0;
    }
    int32_t writeBlock(int32_t length, const uint8_t* bytes) override {
        record("block", {bytes, bytes + length});
        return blockResult;
    }
    int32_t readString(int32_t, char* buffer, int32_t size) override {
        record("string");
        if (size > 0) buffer[0] = '\0';
        return 0;
    }

    std::vector<std::string> names() const {
        std::vector<std::string> n;
        for (const auto& c : calls) n.push_back(c.name);
        return n;
    }
    std::vector<std::vector<uint8_t>> writes() const {
        std::vector<std::vector<uint8_t>> w;
        for (const auto& c : calls)
            if (c.name == "write") w.push_back(c.bytes);
        return w;
    }
    void clear() { calls.clear(); }

    // A well-framed status response echoing the given sequence number.
    static ResponseFrame status(uint8_t sequence) {
        ResponseFrame f{};
        f[0] = 0x02;
        f[30] = sequence;
        f[31] = 0x03;
        return f;
    }

private:
    void record(const char* name, std::vector<uint8_t> bytes = {}) {
        calls.push_back({name, std::move(bytes)});
    }
};

}  // namespace kl516::test
