#pragma once

#include <QLocale>
#include <QString>

namespace kl516 {

// The sampling intervals a real-time run accepts, in seconds: the box's first and last items.
inline constexpr double kShortestSamplingRate = 0.1;
inline constexpr double kLongestSamplingRate = 30.0;
// True for a finite interval from 0.1 to 30 s.
bool isSamplingRateInRange(double seconds);
// What the user is told about an interval outside that range.
QString samplingRateRangeMessage();

// An interval as the rate boxes show it: one decimal ("0.2", "30.0"), or as many as it takes
// ("0.25"), with the locale's decimal separator.
QString samplingRateText(double seconds, const QLocale& locale);

// The sampling-rate box's item (0 .. 8 for "0.1" ... "30.0") for an interval in seconds, or -1
// for 30.5 s or more, where the box is left as it is.
int samplingRateItem(double seconds);

}  // namespace kl516
