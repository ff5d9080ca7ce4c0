#include "simulator/SimulatedMeter.h"

#include <QDate>
#include <QFile>
#include <QTime>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>

namespace kl516 {

namespace {

constexpr uint32_t kEmptyLastAddress = 255;
constexpr uint32_t kRecordHeader = 16;    // marks, start time, interval, count, mode
constexpr uint32_t kRecordOverhead = 18;  // header and end mark
constexpr int64_t kLevelStepMs = 100;
constexpr int64_t kMsPerDay = 86400000;
constexpr int64_t kJulianDayOf1970 = 2440588;
constexpr uint32_t kIntervalAddress = 0x0F;
constexpr uint8_t kUnwrittenByte = 0xFF;

// Calibration values the information block reports.
constexpr uint8_t kCal94dBOffset = 0xF6;  // -1.0 dB
constexpr uint16_t kCal70dB = 17920;      // 70.00 in 1/256 units
constexpr uint16_t kCal60dB = 15360;
constexpr uint16_t kCal40dB = 10240;

int64_t floorDiv(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// splitmix64's finaliser: a cheap, well-spread hash for the seeded noise.
uint64_t mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// A number in [0, 1) fixed by the seed, the step and a salt that keeps the streams apart.
double unitNoise(uint32_t seed, int64_t step, uint64_t salt) {
    const uint64_t h = mix(mix(seed ^ (salt << 32)) ^ static_cast<uint64_t>(step));
    return static_cast<double>(h >> 11) * 0x1.0p-53;
}

// The meter's clock knows no time zone or daylight saving: its time is kept as local
// wall-clock milliseconds counted as if they were UTC, which converts without any zone lookup.
int64_t naiveMs(const QDate& date, const QTime& time) {
    return (date.toJulianDay() - kJulianDayOf1970) * kMsPerDay + time.msecsSinceStartOfDay();
}

QDateTime fromNaiveMs(int64_t ms) {
    const int64_t days = floorDiv(ms, kMsPerDay);
    return QDateTime(QDate::fromJulianDay(days + kJulianDayOf1970),
                     QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms - days * kMsPerDay)));
}

void putU16(ResponseFrame& frame, size_t at, int value) {
    frame[at] = static_cast<uint8_t>(value >> 8);
    frame[at + 1] = static_cast<uint8_t>(value);
}

void putU24(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value >> 16);
    at[1] = static_cast<uint8_t>(value >> 8);
    at[2] = static_cast<uint8_t>(value);
}

}  // namespace

SimulatedMeter::SimulatedMeter(Clock& clock, Options options)
    : clock_(clock), options_(std::move(options)), memory_(kMemorySize, kUnwrittenByte) {
    startTick_ = clock_.tickMs();
    lastAdvanceTick_ = startTick_;
    startTime_ = clock_.now();
    startMeterMs_ = naiveMs(startTime_.date(), startTime_.time());
    for (size_t i = 0; i < phases_.size(); ++i)
        phases_[i] = 2 * std::numbers::pi * unitNoise(options_.seed, static_cast<int64_t>(i), 1);

    std::fill(memory_.begin(), memory_.begin() + kHeaderSize, 0);
    memory_[0] = kInfoStart;
    memory_[31] = kInfoEnd;
    setSetCount(0);
    setLastAddress(kEmptyLastAddress);
    const QByteArray image = options_.initialImage.isEmpty() && options_.demoLogger
                                 ? demoLoggerImage(options_.seed)
                                 : options_.initialImage;
    const auto copied = std::min<qsizetype>(image.size(), kMemorySize);
    std::memcpy(memory_.data(), image.constData(), static_cast<size_t>(copied));
    memoryFull_ = nextFreeAddress() + kRecordOverhead + 2 > kMemoryCapacity;

    config_[0x0E] = 0;
    config_[kIntervalAddress] = 2;
    activeInterval_ = 2;
}

QByteArray SimulatedMeter::readImageFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

namespace {

// One data set of the demo logger: where and how it was recorded, and the shape of its levels.
struct DemoSet {
    int startMinute;  // minutes after midnight of the demo day
    int intervalS;
    int count;
    uint8_t mode;    // bit 1: A weighting, bit 0: FAST
    double baseDb;   // steady background
    double swingDb;  // slow rise and fall over periodS
    double periodS;
    double eventDb;  // height of the recurring events (doors, vehicles, machines)
    double eventS;   // their typical spacing
    double noiseDb;  // sample-to-sample spread
};

constexpr DemoSet kDemoSets[] = {
    {9 * 60 + 12, 1, 180, 0x02, 46.0, 3.0, 140.0, 9.0, 45.0, 2.0},        // office, dBA SLOW
    {11 * 60 + 40, 2, 300, 0x03, 62.0, 4.0, 400.0, 14.0, 38.0, 3.0},      // street, dBA FAST
    {14 * 60 + 5, 5, 120, 0x01, 83.0, 3.0, 300.0, 8.0, 90.0, 2.5},        // workshop, dBC FAST
    {22 * 60 + 30, 60, 240, 0x02, 33.0, 2.5, 7200.0, 12.0, 2700.0, 1.0},  // night, dBA SLOW
};

}  // namespace

QByteArray SimulatedMeter::demoLoggerImage(uint32_t seed) {
    constexpr double kTwoPi = 2 * std::numbers::pi;
    std::vector<uint8_t> m(kHeaderSize, 0);
    m[0] = kInfoStart;
    m[31] = kInfoEnd;
    // One day of spring 2024 for the seed; each set starts a few seed-chosen minutes late.
    // The meter's clock knows no time zone: the fields are the wall-clock time as it is.
    const QDate day = QDate(2024, 4, 8).addDays(static_cast<qint64>(mix(seed) % 90));
    int setIndex = 0;
    for (const DemoSet& s : kDemoSets) {
        const auto salt = static_cast<uint64_t>(10 * (setIndex + 1));
        const int lateS = static_cast<int>(unitNoise(seed, setIndex, 3) * 900);
        const QTime start = QTime(0, 0).addSecs(s.startMinute * 60 + lateS);  // before midnight
        const size_t r = m.size();
        m.resize(r + kRecordOverhead + 2 * static_cast<size_t>(s.count), 0);
        uint8_t* rec = &m[r];
        rec[0] = 0xA5;
        rec[1] = 0x5A;
        rec[3] = toBcd(day.year() % 100);
        rec[4] = toBcd(day.month());
        rec[5] = toBcd(day.day());
        rec[6] = toBcd(start.hour());
        rec[7] = toBcd(start.minute());
        rec[8] = toBcd(start.second());
        rec[10] = static_cast<uint8_t>(s.intervalS);
        putU24(&rec[11], static_cast<uint32_t>(s.count));
        rec[14] = s.mode;
        const double swingPhase = kTwoPi * unitNoise(seed, 0, salt);
        const double eventPhase = kTwoPi * unitNoise(seed, 1, salt);
        for (int k = 0; k < s.count; ++k) {
            const double t = static_cast<double>(k) * s.intervalS;
            // Events come as sharp peaks of a slow wave whose spacing wanders a little.
            const double wave = std::sin(kTwoPi * t / s.eventS + eventPhase +
                                         0.8 * std::sin(kTwoPi * t / (3.7 * s.eventS)));
            double db = s.baseDb + s.swingDb * std::sin(kTwoPi * t / s.periodS + swingPhase) +
                        s.eventDb * std::pow(std::max(0.0, wave), 8) +
                        (unitNoise(seed, k, salt + 1) - 0.5) * 2 * s.noiseDb;
            db = std::clamp(db, 20.0, 140.0);
            const int tenths = static_cast<int>(std::lround(db * 10));
            rec[kRecordHeader + 2 * k] = static_cast<uint8_t>(tenths >> 8);
            rec[kRecordHeader + 2 * k + 1] = static_cast<uint8_t>(tenths);
        }
        rec[kRecordHeader + 2 * s.count] = 0x5A;
        rec[kRecordHeader + 2 * s.count + 1] = 0xA5;
        ++setIndex;
    }
    m[10] = static_cast<uint8_t>(setIndex);
    putU24(&m[11], static_cast<uint32_t>(m.size() - 1));
    return QByteArray(reinterpret_cast<const char*>(m.data()), static_cast<qsizetype>(m.size()));
}

// --- device library ------------------------------------------------------------------------

bool SimulatedMeter::fails(Fault& fault, char letter) {
    if (fault.count == 0) return false;
    if (fault.letter != 0 && fault.letter != letter) return false;
    if (fault.skip > 0) {
        --fault.skip;
        return false;
    }
    if (fault.count > 0) --fault.count;
    return true;
}

int32_t SimulatedMeter::close() {
    open_ = false;
    pending_.reset();  // an unread response does not survive the handle
    return 0;
}

int32_t SimulatedMeter::open(uint16_t vendorId, uint16_t productId) {
    if (!plugged_ || vendorId != kMeterVendorId || productId != kMeterProductId) return 1;
    if (fails(options_.openFailure, 0)) return 1;
    open_ = true;
    return 0;
}

int32_t SimulatedMeter::setTimeouts(int32_t, int32_t) {
    if (!open_) return 1;
    if (fails(options_.timeoutFailure, 0)) return 1;
    return 0;
}

int32_t SimulatedMeter::write(int32_t length, const uint8_t* bytes) {
    if (!open_ || !plugged_ || length != 7 || bytes == nullptr) return 1;
    CommandFrame frame;
    std::memcpy(frame.data(), bytes, frame.size());
    lastLetter_ = static_cast<char>(frame[1]);
    pending_.reset();
    if (options_.unplugAfterExchanges >= 0 && writes_ >= options_.unplugAfterExchanges) {
        options_.unplugAfterExchanges = -1;  // once: a replugged meter stays
        unplug();
        return 1;
    }
    if (fails(options_.writeFailure, lastLetter_)) return 1;
    ++writes_;
    appendCapped(frames_, frame);
    handleCommand(frame);
    return 0;
}

int32_t SimulatedMeter::prepareRead() {
    return open_ && plugged_ ? 0 : 1;
}

int32_t SimulatedMeter::read(int32_t length, uint8_t* buffer) {
    if (!open_ || !plugged_ || length != 32 || buffer == nullptr) return 1;
    if (options_.latencyMs > 0) clock_.waitMs(options_.latencyMs);
    if (fails(options_.readFailure, lastLetter_)) {
        pending_.reset();
        return 1;
    }
    if (!pending_) return 1;  // nothing to answer: the read times out
    std::memcpy(buffer, pending_->data(), pending_->size());
    pending_.reset();
    return 0;
}

int32_t SimulatedMeter::writeBlock(int32_t length, const uint8_t* bytes) {
    if (!open_ || !plugged_ || length != 32 || bytes == nullptr) return 1;
    if (fails(options_.writeFailure, lastLetter_)) return 1;
    ResponseFrame block;
    std::memcpy(block.data(), bytes, block.size());
    appendCapped(blocks_, block);
    if (clockCommandPending_) {
        clockCommandPending_ = false;
        setClockFromBlock(block.data());
    }
    return 0;
}

int32_t SimulatedMeter::readString(int32_t index, char* buffer, int32_t bufferSize) {
    if (buffer == nullptr || bufferSize <= 0) return 1;
    buffer[0] = '\0';
    if (index != 0 || !plugged_) return 1;
    char serial[32];
    const int length = std::snprintf(serial, sizeof serial, "KL516-%08u",
                                     static_cast<unsigned>(mix(options_.seed) % 100000000u));
    const size_t n =
        std::min(static_cast<size_t>(std::max(length, 0)), static_cast<size_t>(bufferSize - 1));
    std::memcpy(buffer, serial, n);
    buffer[n] = '\0';
    return 0;
}

template <typename T>
void SimulatedMeter::appendCapped(std::vector<T>& log, const T& entry) {
    // Dropping the older half at once keeps the cost per entry constant.
    if (log.size() >= kFrameLogLimit)
        log.erase(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(kFrameLogLimit / 2));
    log.push_back(entry);
}

// --- commands --------------------------------------------------------------------------------

void SimulatedMeter::handleCommand(const CommandFrame& frame) {
    advanceTo(clock_.tickMs());
    clockCommandPending_ = false;
    if (frame[0] != kFrameStart || frame[6] != kFrameEnd) return;  // not a frame: ignored
    const char letter = static_cast<char>(frame[1]);
    const uint32_t address =
        static_cast<uint32_t>(frame[2]) << 16 | static_cast<uint32_t>(frame[3]) << 8 | frame[4];
    switch (letter) {
        case Cmd::Identify: {
            ResponseFrame r{};
            r[0] = kFrameStart;
            r[1] = static_cast<uint8_t>(Cmd::Identify);
            r[23] = '5';
            r[24] = '8';
            r[25] = '6';
            r[31] = kFrameEnd;
            pending_ = r;
            break;
        }
        case Cmd::Status:
            pending_ = statusFrame(frame[5]);
            break;
        case Cmd::DownloadStart:
            pending_ = informationFrame();
            downloadPointer_ = 32;
            break;
        case Cmd::DownloadNext: {
            ResponseFrame r;
            for (uint32_t i = 0; i < r.size(); ++i) {
                const uint32_t at = downloadPointer_ + i;
                r[i] = at < static_cast<uint32_t>(kMemorySize) ? memory_[at] : kUnwrittenByte;
            }
            if (downloadPointer_ < static_cast<uint32_t>(kMemorySize)) downloadPointer_ += 32;
            pending_ = r;
            break;
        }
        case Cmd::KeyRec:
        case Cmd::KeyLevel:
        case Cmd::KeyMaxMin:
        case Cmd::KeyMaxMinExit:
        case Cmd::KeyWeighting:
        case Cmd::KeyFastSlow:
        case Cmd::KeyBacklight:
        case Cmd::KeyLeqStart:
        case Cmd::KeyLeqCancel:
            pressKey(letter);
            break;
        case Cmd::SetClock:
            clockCommandPending_ = true;  // the next 32-byte block carries the time
            break;
        case Cmd::Erase:
            eraseLogger();
            pending_ = echoFrame(frame, 7);
            break;
        case Cmd::ConfigWrite:
            config_[address] = frame[5];
            pending_ = echoFrame(frame, 7);
            break;
        case Cmd::ConfigRead: {
            ResponseFrame r = echoFrame(frame, 6);
            r[6] = configByte(address);
            pending_ = r;
            break;
        }
        case Cmd::Information:
            pending_ = informationBlock();
            break;
        default:  // 'q', 'Q' and unknown letters: nothing to answer
            break;
    }
}

ResponseFrame SimulatedMeter::echoFrame(const CommandFrame& frame, int bytes) {
    ResponseFrame r{};
    std::copy_n(frame.begin(), bytes, r.begin());
    if (fails(options_.wrongEcho, static_cast<char>(frame[1]))) {
        // The letter breaks the checks on bytes 0..1; a 'W' also loses its data byte, which
        // the check on bytes 3..6 looks at.
        r[1] ^= 0x20;
        if (frame[1] == static_cast<uint8_t>(Cmd::ConfigWrite)) r[5] ^= 0xFF;
    }
    return r;
}

void SimulatedMeter::pressKey(char letter) {
    switch (letter) {
        case Cmd::KeyRec:
            if (recording_)
                finishRecording();
            else
                startRecording();
            break;
        case Cmd::KeyLevel:
            leqShown_ = !leqShown_;
            break;
        case Cmd::KeyMaxMin:
            if (!maxMinActive_) {
                maxMinActive_ = true;
                maxMinMode_ = 0x11;
                maxTenths_ = minTenths_ = levelTenthsAt(lastAdvanceTick_);
            } else {
                maxMinMode_ = maxMinMode_ == 0x11 ? 0x22 : maxMinMode_ == 0x22 ? 0x44 : 0x11;
            }
            break;
        case Cmd::KeyMaxMinExit:
            maxMinActive_ = false;
            maxMinMode_ = 0;
            break;
        case Cmd::KeyWeighting:
            weightingA_ = !weightingA_;
            levelStep_ = INT64_MIN;
            break;
        case Cmd::KeyFastSlow:
            fast_ = !fast_;
            levelStep_ = INT64_MIN;
            break;
        case Cmd::KeyBacklight:
            backlight_ = !backlight_;
            break;
        case Cmd::KeyLeqStart:
            if (runState_ == 0) {
                leqEnergySum_ = 0;
                leqSeconds_ = 0;
                leqTenths_ = levelTenthsAt(lastAdvanceTick_);
            }
            runState_ = runState_ == 1 ? 2 : 1;
            break;
        case Cmd::KeyLeqCancel:
            runState_ = 0;
            leqEnergySum_ = 0;
            leqSeconds_ = 0;
            leqTenths_ = 0;
            break;
        default:
            break;
    }
}

// --- model time ------------------------------------------------------------------------------

void SimulatedMeter::advanceTo(int64_t tickMs) {
    const int64_t dt = tickMs - lastAdvanceTick_;
    if (dt <= 0) return;
    if (recording_) catchUpRecording(tickMs);
    const int level = levelTenthsAt(tickMs);
    if (runState_ == 1) {
        // Energy average: each stretch between two looks counts with the level at its end.
        const double seconds = static_cast<double>(dt) / 1000.0;
        leqEnergySum_ += std::pow(10.0, level / 100.0) * seconds;
        leqSeconds_ += seconds;
        leqTenths_ = static_cast<int>(std::lround(100.0 * std::log10(leqEnergySum_ / leqSeconds_)));
    }
    if (maxMinActive_) {
        maxTenths_ = std::max(maxTenths_, level);
        minTenths_ = std::min(minTenths_, level);
    }
    lastAdvanceTick_ = tickMs;
}

int SimulatedMeter::levelTenthsNow() {
    advanceTo(clock_.tickMs());
    return levelTenthsAt(lastAdvanceTick_);
}

int SimulatedMeter::levelTenthsAt(int64_t tickMs) {
    if (options_.fixedLevelTenths >= 0) return std::min(options_.fixedLevelTenths, 9999);
    const int64_t step = floorDiv(tickMs - startTick_, kLevelStepMs);
    if (step != levelStep_) {
        levelCache_ = static_cast<int>(std::lround(movingLevelDb(step) * 10.0));
        levelStep_ = step;
    }
    return levelCache_;
}

double SimulatedMeter::movingLevelDb(int64_t step) const {
    // Three slow swells over a steady background, plus a little seeded noise per 100 ms step:
    // about 56..77 dB(A). SLOW damps the noise; C weighting lets more low-frequency sound in.
    constexpr double kTwoPi = 2 * std::numbers::pi;
    const double t = static_cast<double>(step) * (kLevelStepMs / 1000.0);
    double db = 66.5 + 6.0 * std::sin(kTwoPi * t / 97.0 + phases_[0]) +
                3.0 * std::sin(kTwoPi * t / 23.0 + phases_[1]) +
                1.2 * std::sin(kTwoPi * t / 5.3 + phases_[2]);
    db += (unitNoise(options_.seed, step, 2) - 0.5) * (fast_ ? 1.0 : 0.3);
    if (!weightingA_) db += 2.5;
    return db;
}

int64_t SimulatedMeter::meterMsAt(int64_t tickMs) const {
    return startMeterMs_ + (tickMs - startTick_) + clockOffsetMs_;
}

const SimulatedMeter::ClockBytes& SimulatedMeter::clockBytesAt(int64_t tickMs) {
    const int64_t second = floorDiv(meterMsAt(tickMs), 1000);
    if (second != clockCache_.second) {  // converted once per meter second
        const QDateTime t = fromNaiveMs(second * 1000);
        const QDate d = t.date();
        const QTime tm = t.time();
        clockCache_ = {second,
                       toBcd(tm.second()),
                       toBcd(tm.minute()),
                       toBcd(tm.hour()),
                       toBcd(d.day()),
                       toBcd(d.month()),
                       toBcd(((d.year() % 100) + 100) % 100)};
    }
    return clockCache_;
}

QDateTime SimulatedMeter::meterTime() const {
    return fromNaiveMs(meterMsAt(clock_.tickMs()));
}

void SimulatedMeter::setClockFromBlock(const uint8_t* block) {
    const int second = fromBcd(block[0]), minute = fromBcd(block[1]), hour = fromBcd(block[2]);
    const int day = fromBcd(block[3]), month = fromBcd(block[4]), year = fromBcd(block[6]);
    if (second < 0 || minute < 0 || hour < 0 || day < 0 || month < 0 || year < 0) return;
    const QDate date(2000 + year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid()) return;
    clockOffsetMs_ = 0;
    clockOffsetMs_ = naiveMs(date, time) - meterMsAt(clock_.tickMs());
}

void SimulatedMeter::powerCycle() {
    advanceTo(clock_.tickMs());
    finishRecording();  // switching off closes the record being written
    maxMinActive_ = false;
    maxMinMode_ = 0;
    leqShown_ = false;
    runState_ = 0;
    leqEnergySum_ = 0;
    leqSeconds_ = 0;
    leqTenths_ = 0;
    backlight_ = false;
    pending_.reset();
    clockCommandPending_ = false;
    downloadPointer_ = 32;
    // The logger records at 1 to 60 s; a configured 0 is taken as 1 s.
    activeInterval_ = std::clamp<int>(configByte(kIntervalAddress), 1, 60);
}

// --- frames ------------------------------------------------------------------------------------

ResponseFrame SimulatedMeter::statusFrame(uint8_t sequence) {
    const int level = levelTenthsAt(lastAdvanceTick_);
    ResponseFrame f{};
    f[0] = kFrameStart;
    f[1] = static_cast<uint8_t>((recording_ ? 0x01 : 0) | (maxMinActive_ ? 0x04 : 0) |
                                (weightingA_ ? 0x08 : 0) | (fast_ ? 0x10 : 0) |
                                (level < 300 ? 0x40 : 0) | (level > 1300 ? 0x80 : 0));
    f[2] = static_cast<uint8_t>((memoryFull_ ? 0x10 : 0) | (runState_ == 1 ? 0x20 : 0) |
                                (runState_ != 0 ? 0x40 : 0) | (leqShown_ ? 0x80 : 0));
    f[4] = maxMinActive_ ? maxMinMode_ : 0;
    putU16(f, 5, level);  // also what the LEQ window samples
    f[7] = static_cast<uint8_t>(level / 1000);
    f[8] = static_cast<uint8_t>(level / 100 % 10);
    f[9] = static_cast<uint8_t>(level / 10 % 10);
    f[10] = static_cast<uint8_t>(level % 10);
    if (maxMinActive_) {
        putU16(f, 11, maxTenths_);
        putU16(f, 13, minTenths_);
    }
    const ClockBytes& c = clockBytesAt(lastAdvanceTick_);
    f[15] = c.sec;
    f[16] = c.min;
    f[17] = c.hour;
    f[18] = c.day;
    f[19] = c.month;
    f[21] = c.year;
    putU16(f, 26, leqTenths_);
    f[30] = sequence;
    f[31] = kFrameEnd;
    if (fails(options_.wrongFraming, Cmd::Status)) f[0] = f[31] = 0;
    if (fails(options_.wrongSequence, Cmd::Status)) f[30] = static_cast<uint8_t>(sequence + 1);
    return f;
}

ResponseFrame SimulatedMeter::informationFrame() {
    ResponseFrame f;
    std::copy_n(memory_.begin(), f.size(), f.begin());
    f[0] = kInfoStart;
    f[31] = kInfoEnd;
    if (fails(options_.wrongFraming, Cmd::DownloadStart)) {
        f[0] = kFrameStart;  // framed like a status frame instead
        f[31] = kFrameEnd;
    }
    return f;
}

ResponseFrame SimulatedMeter::informationBlock() {
    ResponseFrame f{};
    putU16(f, 9, setCount());
    putU24(&f[11], lastAddress());
    f[15] = static_cast<uint8_t>(activeInterval_);
    f[18] = kCal94dBOffset;
    putU16(f, 19, kCal70dB);
    putU16(f, 21, kCal60dB);
    putU16(f, 23, kCal40dB);
    const ClockBytes& c = clockBytesAt(lastAdvanceTick_);
    f[25] = c.year;
    f[26] = c.month;
    f[27] = c.day;
    f[28] = c.hour;
    f[29] = c.min;
    f[30] = c.sec;
    f[31] = kFirmwareVersion;
    return f;
}

// --- logger --------------------------------------------------------------------------------------

int SimulatedMeter::setCount() const {
    return memory_[9] << 8 | memory_[10];
}

uint32_t SimulatedMeter::lastAddress() const {
    return static_cast<uint32_t>(memory_[11]) << 16 | static_cast<uint32_t>(memory_[12]) << 8 |
           memory_[13];
}

void SimulatedMeter::setSetCount(int count) {
    memory_[9] = static_cast<uint8_t>(count >> 8);
    memory_[10] = static_cast<uint8_t>(count);
}

void SimulatedMeter::setLastAddress(uint32_t address) {
    putU24(&memory_[11], address);
}

uint8_t SimulatedMeter::configByte(uint32_t address) const {
    const auto it = config_.find(address);
    return it == config_.end() ? kUnwrittenByte : it->second;
}

uint32_t SimulatedMeter::nextFreeAddress() const {
    return std::max<uint32_t>(kHeaderSize, lastAddress() + 1);
}

void SimulatedMeter::startRecording() {
    const uint32_t r = nextFreeAddress();
    if (r + kRecordOverhead + 2 > kMemoryCapacity) {  // no room for even one sample
        memoryFull_ = true;
        return;
    }
    const ClockBytes& c = clockBytesAt(lastAdvanceTick_);
    uint8_t* rec = &memory_[r];
    std::fill_n(rec, kRecordHeader, 0);
    rec[0] = 0xA5;
    rec[1] = 0x5A;
    rec[3] = c.year;
    rec[4] = c.month;
    rec[5] = c.day;
    rec[6] = c.hour;
    rec[7] = c.min;
    rec[8] = c.sec;
    rec[10] = static_cast<uint8_t>(activeInterval_);
    rec[14] = static_cast<uint8_t>((weightingA_ ? 0x02 : 0) | (fast_ ? 0x01 : 0));
    recordStart_ = r;
    recordSamples_ = 0;
    nextSampleTick_ = lastAdvanceTick_;  // the first sample is taken at the start
    recording_ = true;
    catchUpRecording(lastAdvanceTick_);
}

void SimulatedMeter::catchUpRecording(int64_t tickMs) {
    const int64_t intervalMs = int64_t{activeInterval_} * 1000;
    // Each pass writes two bytes, so the memory bounds the loop however long the gap.
    while (recording_ && nextSampleTick_ <= tickMs) {
        const uint32_t at = recordStart_ + kRecordHeader + 2 * recordSamples_;
        if (at + 4 > kMemoryCapacity) {  // the sample and the end mark no longer fit
            finishRecording();
            memoryFull_ = true;
            return;
        }
        appendSample(levelTenthsAt(nextSampleTick_));
        nextSampleTick_ += intervalMs;
    }
}

void SimulatedMeter::appendSample(int levelTenths) {
    const int value = std::clamp(levelTenths, 0, 0x0FFF);
    const uint32_t at = recordStart_ + kRecordHeader + 2 * recordSamples_;
    memory_[at] = static_cast<uint8_t>(value >> 8);
    memory_[at + 1] = static_cast<uint8_t>(value);
    ++recordSamples_;
}

void SimulatedMeter::finishRecording() {
    if (!recording_) return;
    const uint32_t end = recordStart_ + kRecordHeader + 2 * recordSamples_;
    memory_[end] = 0x5A;
    memory_[end + 1] = 0xA5;
    putU24(&memory_[recordStart_ + 11], recordSamples_);
    setSetCount(std::min(setCount() + 1, 0xFFFF));
    setLastAddress(end + 1);
    recording_ = false;
}

void SimulatedMeter::eraseLogger() {
    recording_ = false;  // a record being written goes with the rest
    std::fill(memory_.begin() + kHeaderSize, memory_.end(), kUnwrittenByte);
    setSetCount(0);
    setLastAddress(kEmptyLastAddress);
    memoryFull_ = false;
    downloadPointer_ = 32;
}

}  // namespace kl516
