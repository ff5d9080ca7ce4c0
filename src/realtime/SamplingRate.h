#pragma once

#include <QString>

namespace kl516 {

// The sampling intervals a real-time run accepts, in seconds: the box's first and last items.
inline constexpr double kShortestSamplingRate = 0.1;
inline constexpr double kLongestSamplingRate = 30.0;
// True for a finite interval from 0.1 to 30 s.
bool isSamplingRateInRange(double seconds);
// What the user is told about an interval outside that range.
QString samplingRateRangeMessage();

// The sampling-rate box's item (0 .. 8 for "0.1" ... "30.0") for an interval in seconds, or -1
// for 30.5 s or more, where the box is left as it is.
int samplingRateItem(double seconds);

}  // namespace kl516
