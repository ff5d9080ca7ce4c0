#include "realtime/SamplingRate.h"

#include <cmath>

#include "dataset/SerialDateTime.h"

namespace kl516 {

int samplingRateItem(double seconds) {
    // Upper bounds (exclusive) of the items 0.1, 0.2, 0.5, 1, 2, 5, 10, 20, 30.
    static const double bounds[9] = {0.15, 0.25, 0.55, 1.5, 2.5, 5.5, 10.5, 20.5, 30.5};
    for (int i = 0; i < 9; ++i)
        if (seconds < bounds[i]) return i;
    return -1;
}

bool isSamplingRateInRange(double seconds) {
    // The box shows one decimal: 0.1 and 30.0 themselves, typed in any way, are in range.
    return std::isfinite(seconds) && seconds >= kShortestSamplingRate - 1e-9 &&
           seconds <= kLongestSamplingRate + 1e-9;
}

QString samplingRateText(double seconds, const QLocale& locale) {
    const double tenths = seconds * 10.0;
    if (std::abs(tenths - std::round(tenths)) < 1e-9) return oneDecimalText(seconds, locale);
    return locale.toString(seconds, 'g', QLocale::FloatingPointShortest);
}

QString samplingRateRangeMessage() {
    return QStringLiteral("The sampling rate must be from 0.1 to 30 seconds.");
}

}  // namespace kl516
