#include "levels/LevelArithmetic.h"

namespace kl516 {

std::optional<float> leqStep(int n, float previousLeq, float level) {
    if (n <= 1) return level;
    const float older = static_cast<float>(n - 1) / static_cast<float>(n);
    const float newer = 1.0f / static_cast<float>(n);
    const double energy = double(older) * std::pow(10.0, 0.1 * double(previousLeq)) +
                          double(newer) * std::pow(10.0, 0.1 * double(level));
    const double leq = 10.0 * std::log10(energy);
    const float result = static_cast<float>(leq);
    if (!std::isfinite(leq) || !std::isfinite(result)) return std::nullopt;
    return result;
}

float nextRunningLeq(float previousLeq, float level, int n) {
    return leqStep(n, previousLeq, level).value_or(previousLeq);
}

double soundExposureLevel(double leq, int seconds) {
    return leq + 10.0 * std::log10(double(std::max(seconds, 1)));
}

}  // namespace kl516
