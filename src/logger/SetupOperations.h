#pragma once

#include <QLocale>
#include <QString>
#include <cstdint>
#include <optional>

#include "link/Frames.h"

namespace kl516 {

class MeterLink;

// Fixed texts of the logger service operations, shown exactly so.
namespace SetupText {
inline const QString ClockDone = QStringLiteral("Meter time updated successfully \n");
inline const QString ClockFailed = QStringLiteral("Meter time updated fail");
inline const QString IntervalDone = QStringLiteral(
    "Recording Interval Setup Successfully, turn off and turn on the meter to effective ");
inline const QString InvalidInput = QStringLiteral("Invalid Input");
inline const QString EraseDone = QStringLiteral("erase memory successfully");
inline const QString InformationDone = QStringLiteral("read data successfully");
inline const QString WriteDone = QStringLiteral("Write EEProm successfully");
inline const QString ReadDone = QStringLiteral("Read EEProm successfully");
inline const QString PasswordError = QStringLiteral("Password error !!");
// The window's message when the meter does not answer (result 1001).
inline const QString NoAnswer = QStringLiteral(
    "The meter did not answer (error 1001). Check that it is connected and switched on.");
inline const QString AccessCode = QStringLiteral("9282");
}  // namespace SetupText

// The service operations, for the message that ends each of them.
enum class SetupOperation { SetClock, SetInterval, Erase, ReadInformation, WriteConfig, ReadConfig };

// The message that ends an operation with `result`; empty when nothing is shown (1001, 1006).
// A failed clock setting always reads "Meter time updated fail".
QString setupMessage(SetupOperation operation, int32_t result);

// ---- the recording interval

inline constexpr int kMaxRecordingIntervalS = 60;
// Configuration bytes of the recording interval: 0x0E is written with 0 before 0x0F gets the
// interval in seconds.
inline constexpr uint32_t kConfigIntervalResetAddress = 0x0E;
inline constexpr uint32_t kConfigIntervalAddress = 0x0F;

// The interval in seconds from the minute and second fields (mm:ss), or nullopt when a field is
// not a number or the interval is above 60 s (the caller's result is then 701).
std::optional<int> recordingIntervalFrom(const QString& minutes, const QString& seconds);

// ---- configuration bytes

inline constexpr uint32_t kMaxConfigAddress = 0xFFFFFF;

// An integer typed by the user, read as the platform's integer conversion does: optional sign,
// decimal digits, or hexadecimal after "$" or "0x". nullopt when it is not such a number.
std::optional<int64_t> integerFromText(const QString& text);
// The conversion error for a text that is not an integer: "'abc' is not a valid integer value".
QString notAnIntegerMessage(const QString& text);

// A checked field: the value, or the message that stops the operation (nothing is sent). A text
// that is not a number gets the conversion error; an address above 0xFFFFFF or a data value
// above 255 (or below 0) is refused, never cut to its low bits.
struct ConfigField {
    uint32_t value = 0;
    QString error;
    bool ok() const { return error.isEmpty(); }
};
ConfigField configAddressFrom(const QString& text);
ConfigField configDataFrom(const QString& text);

// The access code guarding a configuration write.
inline bool accessCodeAccepted(const QString& code) { return code == SetupText::AccessCode; }

// The 'W' frame for a configuration write and the 'r' frame for a read, built on the setup
// buffer's first content (a read's byte 5 goes out as the buffer left it).
CommandFrame configWriteFrame(uint32_t address, uint8_t data);
CommandFrame configReadFrame(uint32_t address);

// ---- the information response

// The texts of the information fields, converted from the meter's 'Y' response.
struct LoggerInformation {
    QString meterTime;        // MM/DD/20YY   hh:mm:ss
    QString interval;         // seconds
    QString memoryAvailable;  // free 2-byte sample places
    QString dataSets;
    QString version;          // firmware, 2 decimals
    QString cal94dB;          // signed tenths, 1 decimal
    QString cal70dB;          // "70.00  (17920)"
    QString cal60dB;
    QString cal40dB;
    QString cal30dB;  // bytes 25..26, taken like the other calibration values
    QString serial;   // the device library's indexed string
};

inline constexpr int32_t kLoggerCapacityBytes = 128256;

// The free sample places for the highest used logger address: (128256 - address) / 2, never
// below 0.
int32_t memoryAvailableFor(uint32_t highestAddress);
// A 16-bit calibration value in 1/256 units: value / 256 with two decimals, then "  (value)".
QString calibrationText(uint16_t value, const QLocale& locale);
// Every field except the serial number, from the 32-byte information response.
LoggerInformation informationFrom(const ResponseFrame& response, const QLocale& locale);

// ---- the transactions, on a link the caller has borrowed

// 0x0E written with 0, then 0x0F with the interval, each with 15 attempts and the echo of
// frame bytes 0..1. The meter takes the interval over at its next power-on.
int32_t writeRecordingInterval(MeterLink& link, int seconds);
// The 'Y' read with 15 attempts; on success *info holds the converted fields and the serial
// number.
int32_t readLoggerInformation(MeterLink& link, const QLocale& locale, LoggerInformation* info);

}  // namespace kl516
