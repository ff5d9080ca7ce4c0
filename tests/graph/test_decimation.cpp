#include <gtest/gtest.h>

#include <qcustomplot.h>
#include <QImage>
#include <cmath>
#include <limits>
#include <map>
#include <ostream>
#include <random>
#include <vector>

#include "graph/ui/DecimatedGraph.h"

using namespace kl516;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// n points one key unit apart; `gap` turns point i into a gap.
QVector<QCPGraphData> line(int n, const std::function<double(int)>& value,
                           const std::function<bool(int)>& gap = {}) {
    QVector<QCPGraphData> data;
    for (int i = 0; i < n; ++i) data.append({double(i), gap && gap(i) ? kNaN : value(i)});
    return data;
}

double noise(int i) {
    return 50.0 + double((i * 7919 + (i / 13) * 104729) % 400) * 0.1;
}

// 100 key units per pixel column.
int pixelOf(double key) { return int(std::floor(key / 100.0)); }

bool same(const QCPGraphData& a, const QCPGraphData& b) {
    return a.key == b.key && (std::isnan(a.value) ? std::isnan(b.value) : a.value == b.value);
}

QVector<QCPGraphData> decimated(const QVector<QCPGraphData>& data) {
    MinMaxDecimator d;
    QVector<QCPGraphData> out;
    d.decimate(data.constData(), 0, int(data.size()), pixelOf, false, &out);
    return out;
}

struct Extent {
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();
    bool operator==(const Extent&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Extent& e) {
    return out << "[" << e.low << ", " << e.high << "]";
}
std::map<int, Extent> extents(const QVector<QCPGraphData>& points) {
    std::map<int, Extent> out;
    for (const QCPGraphData& p : points) {
        if (std::isnan(p.value)) continue;
        Extent& e = out[pixelOf(p.key)];
        e.low = std::min(e.low, p.value);
        e.high = std::max(e.high, p.value);
    }
    return out;
}

}  // namespace

// Each column keeps its lowest and highest point, nothing that was not in the data, its gaps,
// and at most two points per run between gaps.
TEST(MinMaxDecimator, KeepsEachColumnsExtremesAndGaps) {
    struct Case {
        const char* name;
        QVector<QCPGraphData> data;
        int maxPoints;
    };
    const Case cases[] = {
        {"noise", line(100000, noise), 4 * 1000},
        {"ramp", line(100000, [](int i) { return 30.0 + i * 0.001; }), 4 * 1000},
        {"flat", line(5000, [](int) { return 70.0; }), 2 * 50},
        // 200 columns, 21 gaps (each a NaN kept once), 21 columns with a second run.
        {"gaps", line(20000, noise, [](int i) { return (i >= 550 && i < 760) || i % 1000 == 999; }),
         4 * 200 + 21 + 4 * 21},
        {"one point per column", line(300, noise, [](int i) { return i % 100 != 50; }), 300},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QVector<QCPGraphData> out = decimated(c.data);
        EXPECT_LE(out.size(), c.maxPoints);
        EXPECT_EQ(extents(out), extents(c.data));
        // Every kept point is a data point, in the data's column order.
        int lastPixel = std::numeric_limits<int>::min();
        for (const QCPGraphData& p : out) {
            const int index = int(p.key);  // keys are the points' indexes
            ASSERT_TRUE(index == p.key && index >= 0 && index < c.data.size());
            EXPECT_TRUE(same(c.data[index], p)) << index;
            EXPECT_GE(pixelOf(p.key), lastPixel);
            lastPixel = pixelOf(p.key);
        }
        // A gap stays a gap: the kept points on either side of a data gap are not joined.
        for (int i = 1; i < c.data.size(); ++i) {
            if (!std::isnan(c.data[i].value) || std::isnan(c.data[i - 1].value)) continue;
            const double gapKey = c.data[i].key;
            bool gapSince = false;
            double previous = -std::numeric_limits<double>::infinity();
            for (const QCPGraphData& p : out) {
                if (std::isnan(p.value)) {
                    gapSince = true;
                    continue;
                }
                if (previous < gapKey && p.key > gapKey) {
                    EXPECT_TRUE(gapSince) << "gap at " << gapKey;
                    break;
                }
                previous = p.key;
                gapSince = false;
            }
        }
    }
}

// Points added in steps, and points changed in place, give the same result as one pass over
// the finished data.
TEST(MinMaxDecimator, IncrementalUpdatesMatchAFreshPass) {
    QVector<QCPGraphData> data;
    data.reserve(60000);  // the decimator keeps indexes, the test keeps the storage in place
    MinMaxDecimator d;
    QVector<QCPGraphData> out;
    std::mt19937 random(7);
    int n = 0;
    for (int step : {1, 1, 7, 300, 1, 99, 2500, 1, 1, 40000, 3}) {
        for (int k = 0; k < step; ++k, ++n)
            data.append({double(n), n % 5000 == 4999 ? kNaN : noise(n) + double(random() % 7)});
        d.decimate(data.constData(), 0, int(data.size()), pixelOf, false, &out);
        const QVector<QCPGraphData> fresh = decimated(data);
        ASSERT_EQ(out.size(), fresh.size()) << n;
        for (int i = 0; i < out.size(); ++i) ASSERT_TRUE(same(out[i], fresh[i])) << n << " " << i;
    }
    // A new extreme deep inside, a value turned into a gap, and the last point changed.
    for (int at : {20000, 31234, n - 1}) {
        data[at].value = at == 31234 ? kNaN : 200.0;
        d.invalidateFrom(at);
        d.decimate(data.constData(), 0, int(data.size()), pixelOf, false, &out);
        const QVector<QCPGraphData> fresh = decimated(data);
        ASSERT_EQ(out.size(), fresh.size()) << at;
        for (int i = 0; i < out.size(); ++i) ASSERT_TRUE(same(out[i], fresh[i])) << at << " " << i;
    }
}

// Drawn on a plot, the decimated line puts its pixels where the line through every point puts
// them: each pixel of either picture has a pixel of the other within one pixel (sub-pixel
// positions may move a pixel of a steep join into the next column).
TEST(DecimatedGraph, DrawsThePixelsOfTheLineThroughEveryPoint) {
    auto draw = [](bool decimate, const QVector<QCPGraphData>& data) {
        QCustomPlot plot;
        plot.resize(640, 400);
        QCPGraph* g = decimate ? new DecimatedGraph(plot.xAxis, plot.yAxis)
                               : new QCPGraph(plot.xAxis, plot.yAxis);
        g->setAdaptiveSampling(decimate);
        g->setAntialiased(false);
        g->setPen(QPen(Qt::black, 0));
        g->data()->set(data, true);
        plot.xAxis->setRange(0, double(data.size()));
        plot.yAxis->setRange(40, 100);
        plot.xAxis->grid()->setVisible(false);
        plot.yAxis->grid()->setVisible(false);
        plot.replot();
        return plot.toPixmap(640, 400).toImage().convertToFormat(QImage::Format_RGB32);
    };
    const QVector<QCPGraphData> data =
        line(50000, [](int i) { return 60.0 + 15.0 * std::sin(i / 900.0) + noise(i) * 0.1; },
             [](int i) { return i >= 20000 && i < 21000; });
    const QImage full = draw(false, data);
    const QImage reduced = draw(true, data);
    ASSERT_EQ(full.size(), reduced.size());
    // Inside the axis rectangle, away from the axes and their labels.
    const QRect inside(60, 20, full.width() - 80, full.height() - 60);
    auto ink = [](const QImage& img, int x, int y) { return qGray(img.pixel(x, y)) < 128; };
    auto near = [&](const QImage& img, int x, int y) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (ink(img, x + dx, y + dy)) return true;
        return false;
    };
    int inked = 0, strays = 0;
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x) {
            if (ink(full, x, y)) ++inked;
            if (ink(full, x, y) && !near(reduced, x, y)) ++strays;
            if (ink(reduced, x, y) && !near(full, x, y)) ++strays;
        }
    EXPECT_GT(inked, 5000);
    EXPECT_EQ(strays, 0);
}
