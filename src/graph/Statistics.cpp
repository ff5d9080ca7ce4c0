#include "graph/Statistics.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>
#include <utility>
#include <vector>

#include "dataset/MeasuredSeries.h"
#include "dataset/WallClock.h"
#include "levels/LevelFigures.h"

namespace kl516 {

SeriesStatistics seriesStatistics(const double* x, const float* y, int n, float nullValue) {
    SeriesStatistics s;
    if (n <= 0 || !x || !y) return s;
    s.empty = false;
    s.count = n;
    s.first = x[0];
    s.last = x[n - 1];
    // The span over the intervals between the points; a missed sample keeps its place in time.
    if (n >= 2) s.samplingRate = (s.last - s.first) * 86400 / (n - 1);
    for (int i = 0; i < n; ++i) s.levels += hasLevel(y[i], nullValue);
    return s;
}

void figureSeries(const double* x, const float* y, int n, float nullValue, const LocalClock& clock,
                  MeasuredSeries& series) {
    if (!x || !y || n <= 0) {
        series = MeasuredSeries{};
        return;
    }
    measuredSeriesOfSerials(std::span<const double>(x, size_t(n)),
                            std::span<const float>(y, size_t(n)), nullValue, clock, series);
    if (series.ok()) return;
    series.times.clear();
    series.levels.clear();
    series.sourceIndex.clear();
    series.error.clear();
    for (int i = 0; i < n; ++i) {
        if (!hasSerialTime(x[i])) continue;
        series.times.push_back(double(series.times.size()));
        series.levels.push_back(hasLevel(y[i], nullValue) ? y[i] : std::nanf(""));
        series.sourceIndex.push_back(size_t(i));
    }
}

MeasuredSeries figureSeries(const double* x, const float* y, int n, float nullValue,
                            const LocalClock& clock) {
    MeasuredSeries series;
    figureSeries(x, y, n, nullValue, clock, series);
    return series;
}

namespace {

// A key that orders finite floats as their values, with the point's index as the lower half.
uint64_t orderKey(float v, int index) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    bits = (bits & 0x80000000u) ? ~bits : (bits | 0x80000000u);
    return (uint64_t(bits) << 32) | uint32_t(index);
}

// A compensated running sum: a figure over a quiet stretch after a loud one is the difference
// of two large prefixes, which must keep the small terms' digits.
struct CompensatedSum {
    double sum = 0, error = 0;
    void add(double e) {
        const double t = sum + e;
        error += std::abs(sum) >= std::abs(e) ? (sum - t) + e : (e - t) + sum;
        sum = t;
    }
};

}  // namespace

void CursorStatisticsIndex::build(const double* x, const float* y, int n, float nullValue) {
    build(x, y, n, nullValue, LocalClock());
}

void CursorStatisticsIndex::build(const double* x, const float* y, int n, float nullValue,
                                  const LocalClock& clock) {
    // The arrays keep their room from the last build: a window shows set after set of about
    // the same size, and fresh memory costs more than the arithmetic here.
    built_ = false;
    x_ = nullptr;
    source_ = nullptr;
    n_ = 0;
    maxTable_.clear();
    minTable_.clear();
    if (n <= 0 || !x || !y) {
        clear();
        return;
    }
    built_ = true;
    x_ = x;
    source_ = y;
    levels_.assign(y, y + n);
    n_ = n;
    null_ = nullValue;

    // The points' times as the measured series has them, and the time each counted point
    // represents there.
    MeasuredSeries& series = scratch_.series;
    figureSeries(x, y, n, nullValue, clock, series);
    counted_.assign(size_t(n), 0);
    std::vector<double>& weights = scratch_.weights;
    weights.assign(size_t(n), 0.0);
    weightUs_.assign(size_t(n), 0);
    const double typical = typicalSpacing(series.times);
    for (size_t k = 0; k < series.size(); ++k) {
        if (!hasLevel(series.levels[k])) continue;
        const size_t i = series.sourceIndex[k];
        counted_[i] = 1;
        weights[i] = sampleWeight(series.times, k, typical);
        weightUs_[i] = weightMicroseconds(weights[i]);
    }

    sum_.assign(size_t(n) + 1, 0.0);
    energy_.assign(size_t(n) + 1, 0.0);
    energyError_.assign(size_t(n) + 1, 0.0);
    weight_.assign(size_t(n) + 1, 0.0);
    weightUsSum_.assign(size_t(n) + 1, 0);
    count_.assign(size_t(n) + 1, 0);
    std::vector<uint64_t>& keys = scratch_.keys;
    keys.clear();
    keys.reserve(series.size());
    double sum = 0;
    CompensatedSum energy, weight;
    int64_t weightUs = 0;
    int count = 0;
    for (int i = 0; i < n; ++i) {
        if (counted_[size_t(i)]) {
            const float v = y[i];
            const double w = weights[size_t(i)];
            sum += v;
            ++count;
            energy.add(w * sampleEnergy(v));
            weight.add(w);
            weightUs += weightUs_[size_t(i)];
            keys.push_back(orderKey(v, i));
        }
        sum_[size_t(i) + 1] = sum;
        energy_[size_t(i) + 1] = energy.sum;
        energyError_[size_t(i) + 1] = energy.error;
        weight_[size_t(i) + 1] = weight.sum + weight.error;
        weightUsSum_[size_t(i) + 1] = weightUs;
        count_[size_t(i) + 1] = count;
    }
    // Ordered by level in two stable counting passes over the key's upper half, 16 bits each;
    // the keys come in point order, so equal levels stay in point order.
    {
        std::vector<uint64_t>& moved = scratch_.moved;
        moved.resize(keys.size());
        std::vector<uint32_t>& start = scratch_.start;
        start.resize(size_t(1) << 16);
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
    ascendingWeightUs_.resize(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        ascending_[i] = int(uint32_t(keys[i]));
        ascendingWeightUs_[i] = weightUs_[size_t(ascending_[i])];
    }

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
    const float a = levels_[size_t(i)], b = levels_[size_t(j)];
    if (a == b) return std::min(i, j);
    return (maximum ? b > a : b < a) ? j : i;
}

int CursorStatisticsIndex::scanBest(int from, int to, bool maximum) const {
    int best = -1;
    for (int i = from; i < to; ++i) {
        if (!counted_[size_t(i)]) continue;
        const float v = levels_[size_t(i)];
        if (best < 0 || (maximum ? v > levels_[size_t(best)] : v < levels_[size_t(best)])) best = i;
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
    s.maximum = levels_[size_t(s.maxIndex)];
    s.minimum = levels_[size_t(s.minIndex)];
    s.maximumTime = x_[s.maxIndex];
    s.minimumTime = x_[s.minIndex];
    s.mean = (sum_[size_t(s.hi) + 1] - sum_[size_t(s.lo)]) / s.levels;
    return s;
}

// LN among the counted points of lo .. hi, whose weights sum to total (microseconds): the
// levels in ascending order are walked from the nearer end, summing the weights of those inside
// the range, up to where (100 - N) % of the total lies at or below (exceededIndex's rule).
float CursorStatisticsIndex::walkedLevel(int lo, int hi, int64_t total, int percent) const {
    const auto inside = [&](int i) { return i >= lo && i <= hi; };
    const size_t n = ascending_.size();
    if (percent >= 50) {
        const int64_t wanted = int64_t(100 - percent) * total;
        int64_t below = 0;
        for (size_t k = 0; k < n; ++k) {
            if (!inside(ascending_[k])) continue;
            below += ascendingWeightUs_[k];
            if (below * 100 >= wanted) return levels_[size_t(ascending_[k])];
        }
    } else {
        // From the top: the level is the first whose weight, with that of the levels above it,
        // passes N % of the total.
        const int64_t allowed = int64_t(percent) * total;
        int64_t above = 0;
        for (size_t k = n; k-- > 0;) {
            if (!inside(ascending_[k])) continue;
            above += ascendingWeightUs_[k];
            if (above * 100 > allowed) return levels_[size_t(ascending_[k])];
        }
    }
    return 0;  // not reached: the range holds levels of a positive total weight
}

// LN over a copy of the range's levels: by rank when they weigh alike, else sorted.
void CursorStatisticsIndex::selectLevels(int lo, int hi, int64_t total, CursorLevels& s) const {
    buffer_.clear();
    weighted_.clear();
    bool alike = true;
    for (int i = lo; i <= hi; ++i) {
        if (!counted_[size_t(i)]) continue;
        const int64_t w = total > 0 ? weightUs_[size_t(i)] : 1;
        alike = alike && (weighted_.empty() || w == weighted_.front().second);
        buffer_.push_back(levels_[size_t(i)]);
        weighted_.push_back({levels_[size_t(i)], w});
    }
    if (alike) {
        // One selection for the median, then each of the others within its half.
        const auto at = [&](size_t r) { return buffer_.begin() + std::ptrdiff_t(r); };
        const size_t r10 = exceededRank(buffer_.size(), 10), r50 = exceededRank(buffer_.size(), 50),
                     r90 = exceededRank(buffer_.size(), 90);
        std::nth_element(buffer_.begin(), at(r50), buffer_.end());
        s.l50 = buffer_[r50];
        if (r10 > r50) std::nth_element(at(r50 + 1), at(r10), buffer_.end());
        s.l10 = buffer_[r10];
        if (r90 < r50) std::nth_element(buffer_.begin(), at(r90), at(r50));
        s.l90 = buffer_[r90];
        return;
    }
    std::sort(weighted_.begin(), weighted_.end(),
              [](const auto& p, const auto& q) { return p.first < q.first; });
    std::vector<int64_t> weights(weighted_.size());
    int64_t sum = 0;
    for (size_t k = 0; k < weighted_.size(); ++k) sum += weights[k] = weighted_[k].second;
    s.l10 = weighted_[exceededIndex(weights, sum, 10)].first;
    s.l50 = weighted_[exceededIndex(weights, sum, 50)].first;
    s.l90 = weighted_[exceededIndex(weights, sum, 90)].first;
}

CursorLevels CursorStatisticsIndex::levels(int a, int b) const {
    CursorLevels s;
    if (n_ <= 0) return s;
    const int lo = std::clamp(std::min(a, b), 0, n_ - 1);
    const int hi = std::clamp(std::max(a, b), 0, n_ - 1);
    s.count = count_[size_t(hi) + 1] - count_[size_t(lo)];
    if (s.count == 0) return s;
    const double weighted = (energy_[size_t(hi) + 1] - energy_[size_t(lo)]) +
                            (energyError_[size_t(hi) + 1] - energyError_[size_t(lo)]);
    const double weights = weight_[size_t(hi) + 1] - weight_[size_t(lo)];
    const int64_t total = weightUsSum_[size_t(hi) + 1] - weightUsSum_[size_t(lo)];
    s.measuredSeconds = weights;
    if (weights > 0) {
        s.leq = energyLevel(weighted / weights);
    } else {
        // Only points that share their time with the next: each counts alike, as in
        // levelFigures.
        double plain = 0;
        for (int i = lo; i <= hi; ++i)
            if (counted_[size_t(i)]) plain += sampleEnergy(levels_[size_t(i)]);
        s.leq = energyLevel(plain / s.count);
        s.measuredSeconds = 0;
    }
    // The walk visits at most about half of all levels; a range holding fewer than an eighth of
    // them is cheaper to copy and select in.
    if (total > 0 && size_t(s.count) * 8 >= ascending_.size()) {
        s.l10 = walkedLevel(lo, hi, total, 10);
        s.l50 = walkedLevel(lo, hi, total, 50);
        s.l90 = walkedLevel(lo, hi, total, 90);
        return s;
    }
    selectLevels(lo, hi, total, s);
    return s;
}

}  // namespace kl516
