#pragma once

#include <QSettings>

namespace kl516 {

// The one persisted value: the real-time sampling interval in seconds, kept under the key path
// "SOFTWARE/KL500" as "RealTimeRate", an 8-byte IEEE-754 double.
inline constexpr double kDefaultRealTimeRate = 0.2;

// Reads the rate; 0.2 when the value is missing, not binary, not 8 bytes long, or not an
// interval a run accepts (0.1 to 30 s).
double readRealTimeRate(const QSettings& store);
// Writes the rate; failures are ignored.
void writeRealTimeRate(QSettings& store, double seconds);

}  // namespace kl516
