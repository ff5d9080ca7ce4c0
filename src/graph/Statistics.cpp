#include "graph/Statistics.h"

#include "levels/LevelArithmetic.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

namespace kl516 {

namespace {

struct Scan {
    double sum = 0;
    int levels = 0;  // points holding a level
    float maximum = -std::numeric_limits<float>::infinity();
    float minimum = std::numeric_limits<float>::infinity();
    int maxIndex = 0;  // relative to the scanned run
    int minIndex = 0;
};

int firstIndexOf(const float* y, int n, float value) {
    for (int i = 0; i < n; ++i)
        if (y[i] == value) return i;
    return 0;
}

// Sum, count, maximum and minimum of the levels among y[0 .. n - 1], points without a level
// left out, with strict comparisons so that the earliest of equal extremes wins.
//
// The work runs in four independent lanes, because a single chain of additions and comparisons
// is bound by their latency. The result is that of the plain scan: the extreme values do not
// depend on the order, and the earliest point holding the final extreme is the one the plain
// scan keeps (it was strictly beyond everything before it). The sum may differ from the plain
// scan's only in its last bits, and not at all for levels of a sound meter: floats of at least
// 1/32 in magnitude, added in double precision, sum without rounding whatever the order.
Scan scanLevels(const float* y, int n, float nullValue) {
    constexpr int kLanes = 4;
    constexpr float kInf = std::numeric_limits<float>::infinity();
    double sum[kLanes] = {};
    int count[kLanes] = {};
    float hi[kLanes], lo[kLanes];
    std::fill_n(hi, kLanes, -kInf);
    std::fill_n(lo, kLanes, kInf);
    const auto take = [&](int l, float v) {
        const bool level = hasLevel(v, nullValue);
        sum[l] += level ? v : 0.0f;
        count[l] += level;
        hi[l] = level && v > hi[l] ? v : hi[l];
        lo[l] = level && v < lo[l] ? v : lo[l];
    };
    int i = 0;
    for (; i + kLanes <= n; i += kLanes)
        for (int l = 0; l < kLanes; ++l) take(l, y[i + l]);
    for (; i < n; ++i) take(0, y[i]);

    Scan s;
    s.sum = (sum[0] + sum[1]) + (sum[2] + sum[3]);
    s.levels = (count[0] + count[1]) + (count[2] + count[3]);
    for (int l = 0; l < kLanes; ++l) {
        if (hi[l] > s.maximum) s.maximum = hi[l];
        if (lo[l] < s.minimum) s.minimum = lo[l];
    }
    if (s.levels == 0) return Scan{};
    s.maxIndex = firstIndexOf(y, n, s.maximum);
    s.minIndex = firstIndexOf(y, n, s.minimum);
    return s;
}

}  // namespace

SeriesStatistics seriesStatistics(const double* x, const float* y, int n, float nullValue) {
    SeriesStatistics s;
    if (n <= 0 || !x || !y) return s;
    s.empty = false;
    s.count = n;
    s.first = x[0];
    s.last = x[n - 1];
    // The span over the intervals between the points; a missed sample keeps its place in time.
    if (n >= 2) s.samplingRate = (s.last - s.first) * 86400 / (n - 1);

    const Scan scan = scanLevels(y, n, nullValue);
    s.levels = scan.levels;
    if (scan.levels == 0) return s;
    s.maximum = scan.maximum;
    s.minimum = scan.minimum;
    s.maxIndex = scan.maxIndex;
    s.minIndex = scan.minIndex;
    s.maximumTime = x[scan.maxIndex];
    s.minimumTime = x[scan.minIndex];
    s.mean = scan.sum / scan.levels;
    return s;
}

CursorStatistics cursorStatistics(const double* x, const float* y, int n, int a, int b,
                                  float nullValue) {
    CursorStatistics s;
    if (n <= 0 || !x || !y) return s;
    a = std::clamp(a, 0, n - 1);
    b = std::clamp(b, 0, n - 1);
    s.empty = false;
    s.lo = std::min(a, b);
    s.hi = std::max(a, b);

    const Scan scan = scanLevels(y + s.lo, s.hi - s.lo + 1, nullValue);
    s.levels = scan.levels;
    if (scan.levels == 0) return s;
    s.maximum = scan.maximum;
    s.minimum = scan.minimum;
    s.maxIndex = s.lo + scan.maxIndex;
    s.minIndex = s.lo + scan.minIndex;
    s.maximumTime = x[s.maxIndex];
    s.minimumTime = x[s.minIndex];
    s.mean = scan.sum / scan.levels;
    return s;
}

CursorLevels cursorLevels(const float* y, int n, int a, int b, float nullValue) {
    CursorLevels s;
    if (n <= 0 || !y) return s;
    const int lo = std::clamp(std::min(a, b), 0, n - 1);
    const int hi = std::clamp(std::max(a, b), 0, n - 1);
    std::vector<float> levels;
    levels.reserve(size_t(hi - lo + 1));
    double energy = 0;
    for (int i = lo; i <= hi; ++i) {
        const float level = y[i];
        if (!hasLevel(level, nullValue)) continue;
        levels.push_back(level);
        energy += levelEnergy(level);
    }
    s.count = int(levels.size());
    if (levels.empty()) return s;
    s.leq = energyLevel(energy / double(s.count));
    // Three selections instead of a sort: the percentiles are all a cursor drag needs.
    s.l10 = exceededLevel(levels, 10);
    s.l50 = exceededLevel(levels, 50);
    s.l90 = exceededLevel(levels, 90);
    return s;
}

namespace {

// A key that orders finite floats as their values, with the point's index as the lower half.
uint64_t orderKey(float v, int index) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    bits = (bits & 0x80000000u) ? ~bits : (bits | 0x80000000u);
    return (uint64_t(bits) << 32) | uint32_t(index);
}

// levelEnergy of levels that repeat. A meter's levels come in tenths of a dB, so a series of any
// length holds a few hundred distinct values; each is worked out once per slot (by levelEnergy
// itself, so the energies are exactly those of the plain computation) instead of a power per
// point.
class EnergyCache {
  public:
    EnergyCache() : keys_(kSlots, kEmpty), energies_(kSlots) {}
    double operator()(float level) {
        uint32_t bits;
        std::memcpy(&bits, &level, sizeof bits);
        const size_t slot = (bits * 0x9E3779B1u) >> (32 - kSlotBits);
        if (keys_[slot] != bits) {
            keys_[slot] = bits;
            energies_[slot] = levelEnergy(level);
        }
        return energies_[slot];
    }

  private:
    static constexpr int kSlotBits = 12;
    static constexpr size_t kSlots = size_t(1) << kSlotBits;
    static constexpr uint32_t kEmpty = 0xFFFFFFFFu;  // a NaN: never a level that is looked up
    std::vector<uint32_t> keys_;
    std::vector<double> energies_;
};

// The rank exceededLevel selects for `percent` among `count` levels.
int exceededRank(int count, int percent) {
    const double rank = std::ceil((100 - percent) / 100.0 * double(count));
    return int(std::clamp<double>(rank - 1, 0, double(count - 1)));
}

}  // namespace

void CursorStatisticsIndex::build(const double* x, const float* y, int n, float nullValue) {
    clear();
    if (n <= 0 || !x || !y) return;
    built_ = true;
    x_ = x;
    source_ = y;
    levels_.assign(y, y + n);
    y = y_ = levels_.data();
    n_ = n;
    null_ = nullValue;

    sum_.assign(size_t(n) + 1, 0.0);
    energy_.assign(size_t(n) + 1, 0.0);
    energyError_.assign(size_t(n) + 1, 0.0);
    count_.assign(size_t(n) + 1, 0);
    std::vector<uint64_t> keys;
    keys.reserve(size_t(n));
    double sum = 0, energy = 0, error = 0;
    int count = 0;
    EnergyCache energyOf;
    for (int i = 0; i < n; ++i) {
        const float v = y[i];
        if (hasLevel(v, nullValue)) {
            sum += v;
            ++count;
            // Compensated sum: a Leq over a quiet stretch after a loud one is the difference of
            // two large prefixes, which must keep the small energies' digits.
            const double e = energyOf(v);
            const double t = energy + e;
            error += std::abs(energy) >= std::abs(e) ? (energy - t) + e : (e - t) + energy;
            energy = t;
            keys.push_back(orderKey(v, i));
        }
        sum_[size_t(i) + 1] = sum;
        energy_[size_t(i) + 1] = energy;
        energyError_[size_t(i) + 1] = error;
        count_[size_t(i) + 1] = count;
    }
    // Ordered by level in two stable counting passes over the key's upper half, 16 bits each;
    // the keys come in point order, so equal levels stay in point order.
    {
        std::vector<uint64_t> moved(keys.size());
        std::vector<uint32_t> start(size_t(1) << 16);
        for (int shift : {32, 48}) {
            std::fill(start.begin(), start.end(), 0u);
            for (uint64_t k : keys) ++start[size_t(k >> shift) & 0xFFFF];
            uint32_t at = 0;
            for (uint32_t& c : start) at += std::exchange(c, at);
            for (uint64_t k : keys) moved[start[size_t(k >> shift) & 0xFFFF]++] = k;
            keys.swap(moved);
        }
    }
    ascending_.resize(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) ascending_[i] = int(uint32_t(keys[i]));

    const int blocks = ((n - 1) >> kBlockShift) + 1;
    for (auto* table : {&maxTable_, &minTable_}) {
        const bool maximum = table == &maxTable_;
        table->emplace_back(size_t(blocks));
        for (int j = 0; j < blocks; ++j)
            table->back()[size_t(j)] =
                scanBest(j << kBlockShift, std::min(n, (j + 1) << kBlockShift), maximum);
        for (int k = 1; (1 << k) <= blocks; ++k) {
            const std::vector<int>& prev = (*table)[size_t(k) - 1];
            std::vector<int> row(size_t(blocks - (1 << k) + 1));
            for (size_t j = 0; j < row.size(); ++j)
                row[j] = bestOf(prev[j], prev[j + (size_t(1) << (k - 1))], maximum);
            table->push_back(std::move(row));
        }
    }
}

bool CursorStatisticsIndex::matches(const double* x, const float* y, int n, float nullValue) const {
    if (!built_) return false;
    // The null value compared by its bits, so that a NaN null value matches itself.
    return x == x_ && y == source_ && n == n_ &&
           std::memcmp(&nullValue, &null_, sizeof null_) == 0 &&
           std::memcmp(y, levels_.data(), sizeof(float) * size_t(n)) == 0;
}

// The better of two points, -1 meaning none; of equal levels the earlier.
int CursorStatisticsIndex::bestOf(int i, int j, bool maximum) const {
    if (i < 0) return j;
    if (j < 0) return i;
    const float a = y_[i], b = y_[j];
    if (a == b) return std::min(i, j);
    return (maximum ? b > a : b < a) ? j : i;
}

int CursorStatisticsIndex::scanBest(int from, int to, bool maximum) const {
    int best = -1;
    for (int i = from; i < to; ++i) {
        const float v = y_[i];
        if (!hasLevel(v, null_)) continue;
        if (best < 0 || (maximum ? v > y_[best] : v < y_[best])) best = i;
    }
    return best;
}

int CursorStatisticsIndex::rangeBest(int lo, int hi, bool maximum) const {
    const int first = lo >> kBlockShift, last = hi >> kBlockShift;
    if (first == last) return scanBest(lo, hi + 1, maximum);
    int best = scanBest(lo, (first + 1) << kBlockShift, maximum);
    if (last - first > 1) {
        const auto& table = maximum ? maxTable_ : minTable_;
        const int from = first + 1, blocks = last - first - 1;
        int k = 0;
        while ((2 << k) <= blocks) ++k;
        const std::vector<int>& row = table[size_t(k)];
        best =
            bestOf(best, bestOf(row[size_t(from)], row[size_t(last - (1 << k))], maximum), maximum);
    }
    return bestOf(best, scanBest(last << kBlockShift, hi + 1, maximum), maximum);
}

CursorStatistics CursorStatisticsIndex::statistics(int a, int b) const {
    CursorStatistics s;
    if (n_ <= 0) return s;
    a = std::clamp(a, 0, n_ - 1);
    b = std::clamp(b, 0, n_ - 1);
    s.empty = false;
    s.lo = std::min(a, b);
    s.hi = std::max(a, b);
    s.levels = count_[size_t(s.hi) + 1] - count_[size_t(s.lo)];
    if (s.levels == 0) return s;
    s.maxIndex = rangeBest(s.lo, s.hi, true);
    s.minIndex = rangeBest(s.lo, s.hi, false);
    s.maximum = y_[s.maxIndex];
    s.minimum = y_[s.minIndex];
    s.maximumTime = x_[s.maxIndex];
    s.minimumTime = x_[s.minIndex];
    s.mean = (sum_[size_t(s.hi) + 1] - sum_[size_t(s.lo)]) / s.levels;
    return s;
}

// The level at `rank` (from 0, ascending) among the `count` levels of lo .. hi: the levels in
// ascending order are walked from the nearer end, counting those inside the range.
float CursorStatisticsIndex::rankedLevel(int lo, int hi, int count, int rank) const {
    const auto inside = [&](int i) { return i >= lo && i <= hi; };
    if (rank < count / 2) {
        for (int i : ascending_)
            if (inside(i) && rank-- == 0) return y_[i];
    } else {
        rank = count - 1 - rank;
        for (auto it = ascending_.rbegin(); it != ascending_.rend(); ++it)
            if (inside(*it) && rank-- == 0) return y_[*it];
    }
    return 0;  // not reached: the range holds `count` levels
}

CursorLevels CursorStatisticsIndex::levels(int a, int b) const {
    CursorLevels s;
    if (n_ <= 0) return s;
    const int lo = std::clamp(std::min(a, b), 0, n_ - 1);
    const int hi = std::clamp(std::max(a, b), 0, n_ - 1);
    s.count = count_[size_t(hi) + 1] - count_[size_t(lo)];
    if (s.count == 0) return s;
    const double energy = (energy_[size_t(hi) + 1] - energy_[size_t(lo)]) +
                          (energyError_[size_t(hi) + 1] - energyError_[size_t(lo)]);
    s.leq = energyLevel(energy / double(s.count));

    const int r10 = exceededRank(s.count, 10), r50 = exceededRank(s.count, 50),
              r90 = exceededRank(s.count, 90);
    // The walk visits at most about half of all levels; a range holding fewer than an eighth of
    // them is cheaper to copy and select in.
    if (size_t(s.count) * 8 >= ascending_.size()) {
        s.l10 = rankedLevel(lo, hi, s.count, r10);
        s.l50 = rankedLevel(lo, hi, s.count, r50);
        s.l90 = rankedLevel(lo, hi, s.count, r90);
        return s;
    }
    buffer_.clear();
    for (int i = lo; i <= hi; ++i)
        if (hasLevel(y_[i], null_)) buffer_.push_back(y_[i]);
    // One selection for the median, then each of the others within its half.
    const auto at = [&](int r) { return buffer_.begin() + r; };
    std::nth_element(buffer_.begin(), at(r50), buffer_.end());
    s.l50 = buffer_[size_t(r50)];
    // Below the median's place lie the levels not above it, beyond it those not below it.
    s.l10 = s.l90 = s.l50;
    if (r10 > r50) {
        std::nth_element(at(r50 + 1), at(r10), buffer_.end());
        s.l10 = buffer_[size_t(r10)];
    }
    if (r90 < r50) {
        std::nth_element(buffer_.begin(), at(r90), at(r50));
        s.l90 = buffer_[size_t(r90)];
    }
    return s;
}

}  // namespace kl516
