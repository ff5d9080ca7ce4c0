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

// The energy mean of levels added one at a time, each weighing alike. The energies are kept
// relative to the loudest level so far, so that no level a meter frame can carry (up to
// 6553.5 dB) overflows the sum.
class EnergyMean {
  public:
    void add(double level) {
        if (count_ == 0) {
            reference_ = level;
        } else if (level > reference_) {
            sum_ *= levelEnergy(reference_ - level);
            reference_ = level;
        }
        sum_ += levelEnergy(level - reference_);
        ++count_;
    }
    long long count() const { return count_; }
    // The mean's level; only meaningful when count() > 0.
    double level() const { return reference_ + energyLevel(sum_ / double(count_)); }
    void clear() { *this = EnergyMean{}; }

  private:
    double sum_ = 0;
    double reference_ = 0;
    long long count_ = 0;
};


// The sound exposure level of a measurement of `seconds` (more than 0) with that Leq:
// SEL = Leq + 10 log10(T / 1 s).
double soundExposureLevel(double leq, double seconds);

}  // namespace kl516
