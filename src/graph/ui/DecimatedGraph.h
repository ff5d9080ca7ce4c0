#pragma once

#include <qcustomplot.h>

#include <QRect>
#include <QVector>
#include <functional>
#include <limits>
#include <vector>

namespace kl516 {

// Min/max decimation of a line for drawing. When a line has many more points than its axis
// has pixel columns, the points inside one pixel column draw nothing but the vertical span
// between their lowest and highest value and the joins to the columns beside it. So each
// column's run of points keeps its first point, its lowest and highest in the order they came,
// and its last point: the line drawn through them covers the pixels that the line through every
// point covers. A NaN value (a gap) ends a run and is kept; runs of up to four points are kept as
// they are.
//
// The result is cached per column. Appending points or changing the last ones recomputes only
// the columns from the first changed point on, so one new sample costs the points of one column,
// not the whole line; a different key range or plot size recomputes everything.
class MinMaxDecimator {
public:
    // The pixel column of a key; the mapping must not change between calls unless
    // `mappingChanged` is passed (the cache is then dropped).
    using PixelOf = std::function<int(double key)>;

    // Points [begin, end) of `data` (sorted by key) reduced into *out. `data` indexes stay valid
    // between calls: entries are only added at the end, or changed in place after
    // invalidateFrom() told which.
    void decimate(const QCPGraphData* data, int begin, int end, const PixelOf& pixelOf,
                  bool mappingChanged, QVector<QCPGraphData>* out);
    // Entries from `entry` on have changed since the last call.
    void invalidateFrom(int entry) { dirtyFrom_ = std::min(dirtyFrom_, entry); }
    void invalidateAll() { valid_ = false; }

private:
    struct Column {
        int firstEntry;  // the column's first data entry
        int firstOut;    // its first kept point in out_
    };
    void scan(const QCPGraphData* data, int from, int end, const PixelOf& pixelOf);
    void keepRun(const QCPGraphData* data, int first, int last);

    bool valid_ = false;
    int begin_ = 0, end_ = 0;
    int dirtyFrom_ = std::numeric_limits<int>::max();
    std::vector<Column> columns_;
    QVector<QCPGraphData> out_;
};

// A QCPGraph that draws through a MinMaxDecimator when it has more than two points per pixel
// column, in place of QCustomPlot's own adaptive sampling (which keeps up to four points per
// column too, but works through the whole line at every redraw).
// Whoever edits the data container in place tells the graph with invalidateFrom().
class DecimatedGraph : public QCPGraph {
    Q_OBJECT
public:
    DecimatedGraph(QCPAxis* keyAxis, QCPAxis* valueAxis);

    // Entries of data() from `entry` on (counted from its begin) have changed.
    void invalidateFrom(int entry) { decimator_.invalidateFrom(entry); }
    void invalidateAll() { decimator_.invalidateAll(); }

protected:
    void getOptimizedLineData(QVector<QCPGraphData>* lineData,
                              const QCPGraphDataContainer::const_iterator& begin,
                              const QCPGraphDataContainer::const_iterator& end) const override;

private:
    struct Mapping {
        QCPRange range;
        QRect rect;
        QCPAxis::ScaleType scale = QCPAxis::stLinear;
        bool reversed = false;
        bool operator==(const Mapping& o) const {
            return range.lower == o.range.lower && range.upper == o.range.upper &&
                   rect == o.rect && scale == o.scale && reversed == o.reversed;
        }
    };
    mutable MinMaxDecimator decimator_;
    mutable Mapping mapping_;
    mutable const QCPGraphData* base_ = nullptr;
};

}  // namespace kl516
