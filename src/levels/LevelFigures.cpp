#include "levels/LevelFigures.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <numeric>
#include <vector>

#include "levels/LevelArithmetic.h"

namespace kl516 {

namespace {

// The energies of levels, remembered by their bits: a meter's levels take few distinct values
// (tenths of a dB), so nearly every sample finds its energy here instead of in pow. The values
// are levelEnergy's own, so a figure does not depend on whether the cache was hit. A slot holds
// its key and its energy side by side, one memory access for both.
class EnergyCache {
  public:
    EnergyCache() : slots_(kSize) {}
    double operator()(float level) {
        const auto bits = std::bit_cast<uint32_t>(level);
        Slot& slot = slots_[(bits * 2654435761u) >> (32 - kBits)];
        if (slot.key != bits) {
            slot.key = bits;
            slot.energy = levelEnergy(level);
        }
        return slot.energy;
    }

  private:
    static constexpr int kBits = 12;
    static constexpr std::size_t kSize = std::size_t(1) << kBits;
    struct Slot {
        uint32_t key = 0xFFFFFFFFu;  // a NaN: never a level
        double energy = 0;
    };
    std::vector<Slot> slots_;
};

EnergyCache& energyCache() {
    thread_local EnergyCache cache;
    return cache;
}

// What the percentiles of one call work on, reused from call to call (the assessment asks for
// the figures of thousands of intervals).
struct Scratch {
    std::vector<float> levels;
    std::vector<double> weights;     // seconds
    std::vector<int64_t> weightsUs;  // microseconds, where the weights differ
    std::vector<std::size_t> order;
};

Scratch& scratch() {
    thread_local Scratch s;
    return s;
}

constexpr int kPercents[] = {10, 50, 90};

}  // namespace

double sampleEnergy(float level) {
    return energyCache()(level);
}

std::size_t exceededRank(std::size_t count, int percent) {
    // ceil((100 - N) / 100 * n) in whole numbers, so that 10 % of 30 levels is 3, not the 4 a
    // product of 0.1 and 30 in floating point would give.
    const std::size_t rank = (std::size_t(100 - percent) * count + 99) / 100;
    return std::clamp<std::size_t>(rank, 1, std::max<std::size_t>(count, 1)) - 1;
}

std::size_t exceededIndex(std::span<const int64_t> ascendingWeights, int64_t total, int percent) {
    // The first level at which the time of the levels up to it reaches (100 - N) % of the
    // whole: above it lie at most N % of the time. Whole microseconds keep the comparison exact.
    const int64_t wanted = int64_t(100 - percent);
    int64_t below = 0;
    for (std::size_t k = 0; k < ascendingWeights.size(); ++k) {
        below += ascendingWeights[k];
        if (below * 100 >= wanted * total) return k;
    }
    return ascendingWeights.empty() ? 0 : ascendingWeights.size() - 1;
}

double typicalSpacing(std::span<const double> times) {
    // An evenly spaced series, the usual case: when one spacing holds more than half the
    // positive spacings plus one, it is the median, found without copying them all.
    std::size_t positive = 0, same = 0;
    double first = 0;
    for (std::size_t i = 1; i < times.size(); ++i) {
        const double d = times[i] - times[i - 1];
        if (!(d > 0)) continue;
        if (positive++ == 0) first = d;
        if (d == first) ++same;
    }
    if (positive == 0) return 0;
    if (same > positive / 2 + 1) return first;
    std::vector<double> spacings;
    spacings.reserve(times.size() > 0 ? times.size() - 1 : 0);
    for (std::size_t i = 1; i < times.size(); ++i)
        if (times[i] > times[i - 1]) spacings.push_back(times[i] - times[i - 1]);
    if (spacings.empty()) return 0;
    const std::size_t mid = spacings.size() / 2;
    std::nth_element(spacings.begin(), spacings.begin() + std::ptrdiff_t(mid), spacings.end());
    const double upper = spacings[mid];
    if (spacings.size() % 2 == 1) return upper;
    const double lower =
        *std::max_element(spacings.begin(), spacings.begin() + std::ptrdiff_t(mid));
    return (lower + upper) / 2;
}

LevelFigures levelFigures(std::span<const double> times, std::span<const float> levels,
                          double typical, std::size_t begin, std::size_t end) {
    LevelFigures f;
    end = std::min({end, times.size(), levels.size()});
    if (begin >= end) return f;
    EnergyCache& energy = energyCache();
    Scratch& s = scratch();
    // Room for every sample of the range, written through plain pointers: the loop runs over
    // every sample of every interval of an assessment.
    if (s.levels.size() < end - begin) {
        s.levels.resize(end - begin);
        s.weights.resize(end - begin);
    }
    float* kept = s.levels.data();
    double* keptWeights = s.weights.data();
    std::size_t count = 0;
    double weighted = 0, weights = 0;
    float lmax = 0, lmin = 0;
    double firstWeight = 0;
    bool sameWeights = true;  // to the bit, as evenly spaced whole seconds are
    for (std::size_t i = begin; i < end; ++i) {
        const float level = levels[i];
        if (!hasLevel(level)) continue;
        const double w = sampleWeight(times, i, typical);
        weighted += w * energy(level);
        weights += w;
        if (count == 0) {
            lmax = lmin = level;
            f.lmaxIndex = f.lminIndex = i;
            firstWeight = w;
        } else if (level > lmax) {
            lmax = level;
            f.lmaxIndex = i;
        } else if (level < lmin) {
            lmin = level;
            f.lminIndex = i;
        }
        if (!sameWeights) {
            keptWeights[count] = w;
        } else if (w != firstWeight) {
            // The first step that differs: the weights so far were all the first one's.
            sameWeights = false;
            std::fill(keptWeights, keptWeights + count, firstWeight);
            keptWeights[count] = w;
        }
        kept[count] = level;
        ++count;
    }
    f.samples = int64_t(count);
    f.measuredSeconds = weights;
    if (count == 0) return f;
    if (weights > 0) {
        f.leq = energyLevel(weighted / weights);
    } else {
        // Only samples that share their time with the next one weigh nothing; if those are all
        // there is, each counts alike.
        double plain = 0;
        for (std::size_t k = 0; k < count; ++k) plain += energy(kept[k]);
        f.leq = energyLevel(plain / double(count));
    }
    f.lmax = lmax;
    f.lmin = lmin;
    f.lmaxTime = times[f.lmaxIndex];
    f.lminTime = times[f.lminIndex];
    if (weights > 0) f.sel = soundExposureLevel(*f.leq, weights);

    // The weights in whole microseconds decide whether the levels weigh alike (times to the
    // millisecond do not give evenly spaced samples bit for bit the same steps).
    std::optional<double>* exceeded[] = {&f.l10, &f.l50, &f.l90};
    bool evenWeights = sameWeights;
    int64_t total = 0;
    if (!sameWeights) {
        s.weightsUs.resize(count);
        const int64_t first = weightMicroseconds(keptWeights[0]);
        evenWeights = true;
        for (std::size_t k = 0; k < count; ++k) {
            const int64_t us = weightMicroseconds(keptWeights[k]);
            evenWeights = evenWeights && us == first;
            total += us;
            s.weightsUs[k] = us;
        }
    }
    if (evenWeights || total == 0) {
        // Every level weighs alike: the nearest rank, by selection rather than a sort. The
        // median first, then each of the others within its half.
        const auto at = [&](std::size_t r) { return kept + r; };
        const std::size_t r10 = exceededRank(count, 10), r50 = exceededRank(count, 50),
                          r90 = exceededRank(count, 90);
        std::nth_element(kept, at(r50), kept + count);
        f.l50 = kept[r50];
        if (r10 > r50) std::nth_element(at(r50 + 1), at(r10), kept + count);
        f.l10 = kept[r10];
        if (r90 < r50) std::nth_element(kept, at(r90), at(r50));
        f.l90 = kept[r90];
        return f;
    }
    std::vector<std::size_t>& order = s.order;
    order.resize(count);
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return kept[a] < kept[b]; });
    std::vector<int64_t> ascending(count);
    for (std::size_t k = 0; k < count; ++k) ascending[k] = s.weightsUs[order[k]];
    for (int p = 0; p < 3; ++p)
        *exceeded[p] = kept[order[exceededIndex(ascending, total, kPercents[p])]];
    return f;
}

std::vector<double> cumulativeLeqs(std::span<const double> times, std::span<const float> levels,
                                   double typical) {
    const std::size_t n = std::min(times.size(), levels.size());
    std::vector<double> leqs(n, std::numeric_limits<double>::quiet_NaN());
    EnergyCache& energy = energyCache();
    double weighted = 0, weights = 0, plain = 0;
    int64_t count = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const float level = levels[i];
        if (!hasLevel(level)) continue;
        const double w = sampleWeight(times, i, typical);
        const double e = energy(level);
        weighted += w * e;
        weights += w;
        plain += e;
        ++count;
        leqs[i] = energyLevel(weights > 0 ? weighted / weights : plain / double(count));
    }
    return leqs;
}

int64_t levelTenths(double level) {
    // First to the millionth, which drops the noise of energy sums and logarithms, then to the
    // tenth, halves away from zero; in whole numbers, so no binary fraction decides a half.
    const int64_t millionths = std::llround(level * 1e6);
    const int64_t half = 50'000;
    return (millionths >= 0 ? millionths + half : millionths - half) / 100'000;
}

double roundedLevel(double level) {
    // Beyond a million million dB no level is meant; the noise step would overflow.
    if (!std::isfinite(level) || std::abs(level) >= 1e12) return level;
    return double(levelTenths(level)) / 10.0;
}

QString levelText(double level, const QLocale& locale) {
    if (!std::isfinite(level)) return QString();
    QLocale plain = locale;
    plain.setNumberOptions(plain.numberOptions() | QLocale::OmitGroupSeparator);
    // The rounded value is the double nearest its tenth, so one decimal writes that tenth.
    return plain.toString(roundedLevel(level) + 0.0, 'f', 1);
}

QByteArray levelAscii(double level) {
    if (!std::isfinite(level)) return QByteArray();
    return QByteArray::number(roundedLevel(level) + 0.0, 'f', 1);
}

}  // namespace kl516
