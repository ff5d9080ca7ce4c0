#pragma once

#include <QDateTime>
#include <array>
#include <cstdint>

namespace kl516 {

using CommandFrame = std::array<uint8_t, 7>;
using ResponseFrame = std::array<uint8_t, 32>;

inline constexpr uint8_t kFrameStart = 0x02;
inline constexpr uint8_t kFrameEnd = 0x03;
inline constexpr uint8_t kInfoStart = 0x04;
inline constexpr uint8_t kInfoEnd = 0x05;

// Command letters of the meter.
namespace Cmd {
inline constexpr char Identify = 'K';
inline constexpr char Status = 'A';
inline constexpr char Resync = 'Q';
inline constexpr char DownloadStart = 'P';
inline constexpr char DownloadNext = 'p';
inline constexpr char DownloadEnd = 'q';
inline constexpr char KeyRec = 'R';
inline constexpr char KeyLevel = 'L';
inline constexpr char KeyMaxMin = 'M';
inline constexpr char KeyMaxMinExit = 'N';
inline constexpr char KeyWeighting = 'C';
inline constexpr char KeyFastSlow = 'F';
inline constexpr char KeyBacklight = 'B';
inline constexpr char KeyLeqStart = 's';
inline constexpr char KeyLeqCancel = 'u';
inline constexpr char SetClock = 't';
inline constexpr char Erase = 'e';
inline constexpr char ConfigWrite = 'W';
inline constexpr char ConfigRead = 'r';
inline constexpr char Information = 'Y';
}  // namespace Cmd

// Writes the frame marks and the letter; the payload bytes 2..5 keep what was there.
inline void setLetter(CommandFrame& frame, char letter) {
    frame[0] = kFrameStart;
    frame[1] = static_cast<uint8_t>(letter);
    frame[6] = kFrameEnd;
}

// 'W' frame: bytes 2..4 the 24-bit address, most significant first; byte 5 the data byte.
void setConfigWriteFrame(CommandFrame& frame, uint32_t address, uint8_t data);
// 'r' frame: bytes 2..4 the 24-bit address; byte 5 keeps what was there.
void setConfigReadFrame(CommandFrame& frame, uint32_t address);
// 't' frame: byte 2 'c', byte 3 0; bytes 4..5 keep what was there.
void setClockCommandFrame(CommandFrame& frame);

inline uint8_t toBcd(int value) { return static_cast<uint8_t>(((value / 10) % 10) << 4 | value % 10); }
// A packed BCD byte as a number 0..99, or -1 when a nibble is above 9.
inline int fromBcd(uint8_t byte) {
    const int hi = byte >> 4, lo = byte & 0x0F;
    return (hi > 9 || lo > 9) ? -1 : hi * 10 + lo;
}

// Fills the meter-clock block from a local date and time: seconds, minutes, hours, day, month
// in bytes 0..4, year modulo 100 in byte 6, 0 in byte 7, each packed BCD. Byte 5 and bytes
// 8..31 keep what the buffer held.
void fillClockBlock(ResponseFrame& block, const QDateTime& time);

}  // namespace kl516
