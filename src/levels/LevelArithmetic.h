#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <optional>
#include <vector>

namespace kl516 {

// The null value: the level stored for a point that has no reading (an unfilled real-time
// point, a second without a level). Files keep it as 9999.
inline constexpr float kNullLevel = 9999.0f;

// The one test for "no level": the null value and anything that is no number (an unreadable
// row, NaN, an infinity). Every sum, extreme and percentile skips such points.
inline bool hasLevel(float level, float nullValue = kNullLevel) {
    return std::isfinite(level) && level != nullValue;
}

// The energy of a level, 10^(L/10), and the level of an energy, 10 log10(E).
inline double levelEnergy(double level) {
    return std::pow(10.0, level / 10.0);
}
inline double energyLevel(double energy) {
    return 10.0 * std::log10(energy);
}

// The running Leq after n levels: the energy mean weighing the previous Leq (n - 1) / n and the
// new level 1 / n. Weights and levels are 32-bit floats, powers and logarithm doubles, as the
// meter software has always computed it. nullopt when the result is not a finite number (a
// level of NaN, or one so high that its power overflows); n <= 1 gives the level itself.
std::optional<float> leqStep(int n, float previousLeq, float level);
// leqStep, keeping the previous Leq where the step fails.
float nextRunningLeq(float previousLeq, float level, int n);

// LN, the level exceeded N % of the time, by the nearest-rank rule: with the n levels sorted
// ascending, the one at rank ceil((100 - N) / 100 * n), so that at most N % lie above it.
// The levels are reordered (a selection, not a sort); they must not be empty.
template <class Level>
Level exceededLevel(std::vector<Level>& levels, int percent) {
    const double rank = std::ceil((100 - percent) / 100.0 * double(levels.size()));
    const auto i = std::ptrdiff_t(std::clamp<double>(rank - 1, 0, double(levels.size() - 1)));
    std::nth_element(levels.begin(), levels.begin() + i, levels.end());
    return levels[std::size_t(i)];
}

// The sound exposure level of a measurement of `seconds` with that Leq:
// SEL = Leq + 10 log10(T / 1 s); T below one second counts as one.
double soundExposureLevel(double leq, int seconds);

}  // namespace kl516
