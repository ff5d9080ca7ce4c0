#pragma once

namespace kl516 {

// The sampling-rate box's item (0 .. 8 for "0.1" ... "30.0") for an interval in seconds, or -1
// for 30.5 s or more, where the box is left as it is.
int samplingRateItem(double seconds);

}  // namespace kl516
