#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "link/Clock.h"
#include "link/DeviceLibrary.h"
#include "link/Frames.h"

namespace kl516 {

// A model of the meter behind the device library: identification, status frames with a moving
// level and a running clock, the keys, the data logger with its memory, download, erase,
// configuration memory, information and clock commands, and fault injection for tests.
class SimulatedMeter final : public DeviceLibrary {
public:
    // Makes an operation fail: skip matching calls first, then fail `count` of them
    // (count < 0: every one from then on). `letter` 0 matches any command; otherwise the fault
    // applies to calls made for that command letter (the read after a 'p', say). open and
    // setTimeouts come before any letter, so only a fault without one reaches them.
    struct Fault {
        int skip = 0;
        int count = 0;
        char letter = 0;
    };

    struct Options {
        uint32_t seed = 1;
        int latencyMs = 0;               // waited on the clock for every frame read
        QByteArray initialImage;         // logger memory to start with (a collection file)
        bool demoLogger = false;         // without an initialImage: start with the sets of
                                         // demoLoggerImage(seed) instead of an empty logger
        Fault openFailure;               // open returns non-zero
        Fault timeoutFailure;            // setTimeouts returns non-zero
        Fault writeFailure;              // write (and writeBlock) returns non-zero
        Fault readFailure;               // read returns non-zero
        Fault wrongFraming;              // status/information frames lose their start and end marks
        Fault wrongEcho;                 // 'e', 'W', 'r' responses echo the letter wrong ('W'
                                         // its data byte too), so every echo check fails
        Fault wrongSequence;             // status byte 30 differs from the sequence number sent
        int unplugAfterExchanges = -1;   // the meter vanishes after this many writes (-1: never);
                                         // the write after them fails and unplugs it, once
        int fixedLevelTenths = -1;       // holds the level at this value (-1: the moving level)
    };

    static constexpr int kMemorySize = 131072;
    static constexpr int kHeaderSize = 256;
    static constexpr int kMemoryCapacity = 128256;  // bytes the logger may fill
    static constexpr uint8_t kFirmwareVersion = 156;  // 1.56
    // framesWritten and blocksWritten keep the most recent entries, at most this many each, so
    // that a long run stays in flat memory.
    static constexpr size_t kFrameLogLimit = 65536;

    SimulatedMeter(Clock& clock, Options options);
    explicit SimulatedMeter(Clock& clock) : SimulatedMeter(clock, Options{}) {}

    // Reads a collection file as the initial logger image; empty on failure.
    static QByteArray readImageFile(const QString& path);
    // A logger memory with a few recorded data sets, for demonstrations: an office, a street, a
    // workshop and a night, recorded on one day, with levels and that day fixed by the seed.
    // The image runs from the header to the last record's end (lastAddress).
    static QByteArray demoLoggerImage(uint32_t seed);

    // DeviceLibrary
    int32_t close() override;
    int32_t open(uint16_t vendorId, uint16_t productId) override;
    int32_t setTimeouts(int32_t readTimeoutMs, int32_t writeTimeoutMs) override;
    int32_t write(int32_t length, const uint8_t* bytes) override;
    int32_t prepareRead() override;
    int32_t read(int32_t length, uint8_t* buffer) override;
    int32_t writeBlock(int32_t length, const uint8_t* bytes) override;
    int32_t readString(int32_t index, char* buffer, int32_t bufferSize) override;

    // Model state, for tests and tools.
    bool isOpen() const { return open_; }
    bool isPluggedIn() const { return plugged_; }
    void unplug() { plugged_ = false; open_ = false; }
    void replug() { plugged_ = true; }
    // Switching the meter off and on: takes over the recording interval of configuration byte
    // 0x0F, as the real meter does.
    void powerCycle();
    Options& options() { return options_; }

    bool recording() const { return recording_; }
    bool weightingA() const { return weightingA_; }
    bool fast() const { return fast_; }
    bool backlight() const { return backlight_; }
    bool maxMinActive() const { return maxMinActive_; }
    uint8_t maxMinMode() const { return maxMinMode_; }
    bool leqShown() const { return leqShown_; }
    // 0 stopped, 1 running, 2 paused
    int runState() const { return runState_; }
    int levelTenthsNow();
    QDateTime meterTime() const;
    // The interval the logger records at: configuration byte 0x0F as of the last power cycle,
    // with 0 taken as 1 s and values above 60 as 60 s.
    int recordingIntervalS() const { return activeInterval_; }
    bool memoryFull() const { return memoryFull_; }

    const std::vector<uint8_t>& memory() const { return memory_; }
    int setCount() const;
    uint32_t lastAddress() const;
    uint8_t configByte(uint32_t address) const;

    // Every command frame written, in order, and every 32-byte block written (the most recent
    // kFrameLogLimit of each).
    const std::vector<CommandFrame>& framesWritten() const { return frames_; }
    const std::vector<ResponseFrame>& blocksWritten() const { return blocks_; }
    int exchangeCount() const { return writes_; }

private:
    struct ClockBytes {
        int64_t second = INT64_MIN;  // meter seconds since 1970 (naive local time) they show
        uint8_t sec = 0, min = 0, hour = 0, day = 0, month = 0, year = 0;
    };

    bool fails(Fault& fault, char letter);
    void advanceTo(int64_t tickMs);
    void handleCommand(const CommandFrame& frame);
    ResponseFrame statusFrame(uint8_t sequence);
    ResponseFrame informationBlock();
    ResponseFrame informationFrame();
    ResponseFrame echoFrame(const CommandFrame& frame, int bytes);
    void pressKey(char letter);
    void setClockFromBlock(const uint8_t* block);
    void startRecording();
    void catchUpRecording(int64_t tickMs);
    void appendSample(int levelTenths);
    void finishRecording();
    void eraseLogger();
    void setSetCount(int count);
    void setLastAddress(uint32_t address);
    uint32_t nextFreeAddress() const;
    int levelTenthsAt(int64_t tickMs);
    double movingLevelDb(int64_t step) const;
    int64_t meterMsAt(int64_t tickMs) const;
    const ClockBytes& clockBytesAt(int64_t tickMs);
    template <typename T>
    static void appendCapped(std::vector<T>& log, const T& entry);

    Clock& clock_;
    Options options_;
    bool plugged_ = true;
    bool open_ = false;
    int writes_ = 0;
    char lastLetter_ = 0;
    std::optional<ResponseFrame> pending_;
    std::vector<CommandFrame> frames_;
    std::vector<ResponseFrame> blocks_;
    bool clockCommandPending_ = false;
    int64_t clockOffsetMs_ = 0;
    QDateTime startTime_;
    int64_t startTick_ = 0;
    int64_t startMeterMs_ = 0;  // startTime_ as naive local milliseconds since 1970
    ClockBytes clockCache_;
    std::array<double, 3> phases_{};
    int64_t levelStep_ = INT64_MIN;  // the 100 ms step levelCache_ holds
    int levelCache_ = 0;

    // modes
    bool recording_ = false;
    bool weightingA_ = true;
    bool fast_ = true;
    bool backlight_ = false;
    bool maxMinActive_ = false;
    uint8_t maxMinMode_ = 0;
    bool leqShown_ = false;
    int runState_ = 0;
    int maxTenths_ = 0;
    int minTenths_ = 0;
    double leqEnergySum_ = 0;  // sum of 10^(L/10) x seconds over the run
    double leqSeconds_ = 0;
    int leqTenths_ = 0;
    int64_t lastAdvanceTick_ = 0;

    // logger
    std::vector<uint8_t> memory_;
    uint32_t downloadPointer_ = 32;
    uint32_t recordStart_ = 0;
    uint32_t recordSamples_ = 0;
    int64_t nextSampleTick_ = 0;
    int activeInterval_ = 2;
    bool memoryFull_ = false;
    std::map<uint32_t, uint8_t> config_;
};

}  // namespace kl516
