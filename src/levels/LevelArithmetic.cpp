#include "levels/LevelArithmetic.h"

namespace kl516 {

double soundExposureLevel(double leq, double seconds) {
    return leq + 10.0 * std::log10(seconds);
}

}  // namespace kl516
