#pragma once

#include <QString>
#include <cstdint>

namespace kl516 {

// Results of meter exchanges and of the transactions built from them. 0 is success.
namespace LinkResult {
inline constexpr int32_t Success = 0;
inline constexpr int32_t NoAnswer = 1001;        // the presence check failed
inline constexpr int32_t OpenFailed = 1002;      // opening the device failed
inline constexpr int32_t TimeoutsFailed = 1003;  // setting the time-outs failed
inline constexpr int32_t WriteFailed = 1004;     // writing the command frame failed
inline constexpr int32_t ReadFailed = 1005;      // reading the response failed
inline constexpr int32_t BadInfoFraming = 1006;  // information response not framed 0x04 ... 0x05
inline constexpr int32_t BlockRequestFailed = 123;  // download: writing a 'p' request failed
inline constexpr int32_t BlockReadFailed = 124;     // download: reading a block failed
inline constexpr int32_t CloseRequestFailed = 125;  // download: writing the closing 'q' failed
inline constexpr int32_t TransferShort = 126;  // download stopped with more outstanding than received
inline constexpr int32_t ClockBlockFailed = 205;  // writing the clock block failed
inline constexpr int32_t InvalidInput = 701;      // a value typed by the user is out of range
inline constexpr int32_t EchoMismatch = 707;      // the response did not echo the command
}  // namespace LinkResult

// The message shown for a result by the setup window and the erase command; empty for the
// results that show nothing (1001, 1006) and for codes without a fixed text.
// For OpenFailed, followed on a new line by the device access problem when one is noted.
QString linkResultMessage(int32_t result);

// What the USB backend found when the meter's device node would not open for a reason the user
// can fix (no permission); empty otherwise. The backend notes it on every open.
void setDeviceAccessProblem(const QString& text);
QString deviceAccessProblem();

}  // namespace kl516
