#include "graph/ui/DecimatedGraph.h"

#include <algorithm>
#include <cmath>

namespace kl516 {

// ---- MinMaxDecimator -------------------------------------------------------------------------

void MinMaxDecimator::decimate(const QCPGraphData* data, int begin, int end,
                               const PixelOf& pixelOf, bool mappingChanged,
                               QVector<QCPGraphData>* out) {
    if (mappingChanged || !valid_ || begin != begin_) {
        columns_.clear();
        out_.clear();
        valid_ = true;
        begin_ = begin;
        end_ = begin;
        dirtyFrom_ = std::numeric_limits<int>::max();
    }
    // Columns from the one holding the first changed (or new) entry on are made again.
    const int from = std::min({dirtyFrom_, end_, end});
    dirtyFrom_ = std::numeric_limits<int>::max();
    auto keep = std::upper_bound(columns_.begin(), columns_.end(), from,
                                 [](int entry, const Column& c) { return entry < c.firstEntry; });
    if (keep != columns_.begin()) --keep;
    const int restart = keep == columns_.end() ? begin : keep->firstEntry;
    if (keep != columns_.end()) {
        out_.resize(keep->firstOut);
        columns_.erase(keep, columns_.end());
    }
    scan(data, restart, end, pixelOf);
    end_ = end;
    *out = out_;
}

void MinMaxDecimator::scan(const QCPGraphData* data, int from, int end, const PixelOf& pixelOf) {
    int i = from;
    while (i < end) {
        const int pixel = pixelOf(data[i].key);
        columns_.push_back({i, int(out_.size())});
        int j = i + 1;
        while (j < end && pixelOf(data[j].key) == pixel) ++j;
        // The column's points [i, j): runs between gaps, each gap kept once.
        int k = i;
        while (k < j) {
            if (std::isnan(data[k].value)) {
                if (out_.isEmpty() || !std::isnan(out_.constLast().value)) out_.append(data[k]);
                ++k;
                continue;
            }
            int last = k;
            while (last + 1 < j && !std::isnan(data[last + 1].value)) ++last;
            keepRun(data, k, last);
            k = last + 1;
        }
        i = j;
    }
}

void MinMaxDecimator::keepRun(const QCPGraphData* data, int first, int last) {
    if (last - first < 4) {
        for (int k = first; k <= last; ++k) out_.append(data[k]);
        return;
    }
    int low = first, high = first;
    for (int k = first + 1; k <= last; ++k) {
        if (data[k].value < data[low].value) low = k;
        if (data[k].value > data[high].value) high = k;
    }
    // First, the two extremes, last: each kept once. The order of the extremes changes no pixel
    // (both lie in this column); the one giving the shorter strokes is taken, as every pixel
    // drawn costs time when the line fills the column from top to bottom.
    const double a = data[first].value, z = data[last].value;
    const double lo = data[low].value, hi = data[high].value;
    const bool lowFirst = (a - lo) + (hi - z) <= (hi - a) + (z - lo);
    const int kept[4] = {first, lowFirst ? low : high, lowFirst ? high : low, last};
    for (int k = 0; k < 4; ++k)
        if (k == 0 || kept[k] != kept[k - 1]) out_.append(data[kept[k]]);
}

// ---- DecimatedGraph --------------------------------------------------------------------------

DecimatedGraph::DecimatedGraph(QCPAxis* keyAxis, QCPAxis* valueAxis)
    : QCPGraph(keyAxis, valueAxis) {}

void DecimatedGraph::getOptimizedLineData(QVector<QCPGraphData>* lineData,
                                          const QCPGraphDataContainer::const_iterator& begin,
                                          const QCPGraphDataContainer::const_iterator& end) const {
    QCPAxis* keyAxis = mKeyAxis.data();
    if (!lineData || !keyAxis || !mAdaptiveSampling) {
        QCPGraph::getOptimizedLineData(lineData, begin, end);
        return;
    }
    // Below two points per pixel column every point is drawn, as QCustomPlot does.
    const double pixelSpan = std::abs(keyAxis->coordToPixel(begin == end ? 0 : begin->key) -
                                      keyAxis->coordToPixel(begin == end ? 0 : (end - 1)->key));
    if (end - begin <= qsizetype(2 * pixelSpan + 2)) {
        QCPGraph::getOptimizedLineData(lineData, begin, end);
        return;
    }
    // The range is not empty here: its addresses can be taken.
    const QCPGraphData* base = &*mDataContainer->constBegin();
    const int first = int(&*begin - base);
    const Mapping mapping{keyAxis->range(), keyAxis->axisRect()->rect(), keyAxis->scaleType(),
                          keyAxis->rangeReversed()};
    // A container that moved in memory was set anew: nothing of the cache holds.
    const bool changed = !(mapping == mapping_) || base != base_;
    mapping_ = mapping;
    base_ = base;
    decimator_.decimate(
        base, first, first + int(end - begin),
        [keyAxis](double key) {
            return int(std::floor(std::clamp(keyAxis->coordToPixel(key), -1e9, 1e9)));
        },
        changed, lineData);
}

}  // namespace kl516
