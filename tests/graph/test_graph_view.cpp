#include <gtest/gtest.h>

#include <qcustomplot.h>
#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTimer>
#include <cmath>
#include <functional>
#include <stdexcept>

#include "graph/TimeTicks.h"
#include "graph/ui/GraphCustomizeDialog.h"
#include "graph/ui/GraphView.h"
#include "graph/ui/TimeAxisTicker.h"
#include "support/Mouse.h"

using namespace kl516;

namespace {

constexpr double kDay = 45000.0;  // 2023-03-15, a SerialDateTime
constexpr double kSecond = 1.0 / 86400.0;

// A drawn data entry of the plot; a gap compares by its key only.
struct Entry {
    double key;
    double value;
    bool operator==(const Entry& o) const {
        return key == o.key && (std::isnan(value) ? std::isnan(o.value) : value == o.value);
    }
};
std::ostream& operator<<(std::ostream& out, const Entry& e) {
    return out << "(" << e.key << ", " << e.value << ")";
}

std::vector<Entry> entries(const GraphView& g, int series) {
    std::vector<Entry> out;
    const auto data = g.plot()->graph(series)->data();
    for (auto it = data->constBegin(); it != data->constEnd(); ++it)
        out.push_back({it->key, it->value});
    return out;
}

void reset(GraphView& g) {
    g.perform(GraphAction::ResetImage);
}

const GraphState& st(const GraphView& g) {
    return g.state();
}

// A date-time graph as the graph window sets it up: manual scales, cursor lines and
// annotations shown, rubber-band zoom.
void setUp(GraphView& g, int series, int points, double left, double right) {
    g.resize(1152, 699);
    g.setSubsets(series);
    g.setPoints(points);
    for (int i = 0; i < series; ++i) {
        g.setXValue(i, -1, 0.0);
        g.setYValue(i, -1, kNullDataValueY);
    }
    g.editProperties([&](GraphState& s) {
        s.dateTimeMode = DateTimeMode::SerialDays;
        s.manualScaleControlY = ScaleControl::ManualMinAndMax;
        s.manualMinY = 30;
        s.manualMaxY = 130;
        s.manualScaleControlX = ScaleControl::ManualMinAndMax;
        s.manualMinX = left;
        s.manualMaxX = right;
        s.showVertLineAnnotations = true;
        s.allowVertLineAnnotHotSpots = true;
        s.showGraphAnnotations = true;
        s.allowGraphAnnotHotSpots = true;
        s.allowZooming = Zooming::HorzPlusVert;
        s.scrollingHorzZoom = s.scrollingVertZoom = true;
    });
    reset(g);
}

void fillRamp(GraphView& g, int points) {
    for (int p = 0; p < points; ++p) {
        g.setXValue(0, p, kDay + p * kSecond);
        g.setYValue(0, p, 40.0f + float(p % 50));
    }
}

void sample(GraphView& g, int point, double x, float y, int series = 0) {
    g.setXValue(series, point, x);
    g.setYValue(series, point, y);
}

using test::drag;
using test::send;

TEST(GraphView, PointsReadAndWriteWithPointMinusOneAndBulkCopies) {
    GraphView g;
    g.setSubsets(2);
    g.setPoints(4);
    EXPECT_EQ(g.points(), 4);
    EXPECT_EQ(g.yValue(1, 3), kNullDataValueY);  // new points are unfilled

    g.setXValue(1, -1, 7.5);
    g.setYValue(1, -1, 55.0f);
    g.setYValue(1, 2, 60.0f);
    EXPECT_EQ(st(g).x[1], (std::vector<double>(4, 7.5)));
    EXPECT_EQ(st(g).y[1], (std::vector<float>{55, 55, 60, 55}));
    EXPECT_EQ(g.xValue(1, 0), 7.5);
    EXPECT_EQ(g.yValue(1, 2), 60.0f);

    // Outside the points nothing is written and reads give the unfilled values.
    g.setYValue(1, 4, 1.0f);
    g.setXValue(2, 0, 1.0);
    EXPECT_EQ(g.yValue(1, 4), kNullDataValueY);
    EXPECT_EQ(g.xValue(2, 0), 0.0);

    // Bulk copies go to series 0 from point 0 and stop at the point count.
    const double xs[] = {1, 2, 3, 4, 5, 6};
    const float ys[] = {61, 62, 63};
    g.copyXData(xs, 6);
    g.copyYData(ys, 3);
    EXPECT_EQ(st(g).x[0], (std::vector<double>{1, 2, 3, 4}));
    EXPECT_EQ(st(g).y[0], (std::vector<float>{61, 62, 63, kNullDataValueY}));

    // Growing keeps the points.
    g.setPoints(5);
    EXPECT_EQ(g.yValue(0, 2), 63.0f);
    EXPECT_EQ(g.yValue(0, 4), kNullDataValueY);
}

TEST(GraphView, NullAndUnfilledPointsAreNotDrawn) {
    GraphView g;
    setUp(g, 1, 8, kDay, kDay + 10 * kSecond);
    fillRamp(g, 6);
    g.setYValue(0, 2, kNullDataValueY);  // a gap inside the line
    reset(g);
    // Points 6 and 7 still have X 0, the unfilled time: they are left out; point 2 is a gap.
    const auto drawn = entries(g, 0);
    ASSERT_EQ(drawn.size(), 6u);
    EXPECT_TRUE(std::isnan(drawn[2].value));
    EXPECT_EQ(drawn[3].value, 43.0);
    // Keys are seconds since 1970 of the wall-clock time.
    EXPECT_DOUBLE_EQ(drawn[0].key, (kDay - 25569.0) * 86400.0);
    EXPECT_DOUBLE_EQ(drawn[5].key - drawn[0].key, 5.0);
    for (size_t i = 1; i < drawn.size(); ++i) EXPECT_LE(drawn[i - 1].key, drawn[i].key);
}

// Drawn, not only stored: no line crosses a missed sample, also where the times go backwards
// and the points are drawn in the order of their times.
TEST(GraphView, TheLineBreaksAtAMissedSample) {
    GraphView g;
    setUp(g, 1, 5, kDay - 2 * kSecond, kDay + 4 * kSecond);
    g.editProperties([](GraphState& s) { s.gridStyle = GridStyle::None; });
    for (int p = 0; p < 5; ++p) sample(g, p, kDay + p * kSecond, p == 2 ? kNullDataValueY : 85.0f);
    // Whether the line passes the column of a time, at the height of 85 dB.
    const auto inked = [&](double seconds) {
        reset(g);
        const QImage image = g.plot()->toPixmap().toImage();
        const QPoint at = g.plot()->mapFrom(&g, g.valueToPixel(kDay + seconds * kSecond, 85));
        const QRgb background = image.pixel(at.x(), at.y() - 40);
        for (int y = at.y() - 3; y <= at.y() + 3; ++y)
            if (image.pixel(at.x(), y) != background) return true;
        return false;
    };
    EXPECT_TRUE(inked(0.5));
    EXPECT_FALSE(inked(1.5));
    EXPECT_FALSE(inked(2.5));
    EXPECT_TRUE(inked(3.5));

    sample(g, 4, kDay - kSecond, 85.0f);  // the clock went back before the last sample
    EXPECT_TRUE(inked(0.5));
    EXPECT_FALSE(inked(2.0));
    EXPECT_FALSE(inked(-0.5));  // the last point and the first have the missed one between
}

// Whatever way the points were changed, the incremental reset must give the plot the same data
// a complete rebuild gives.
TEST(GraphView, IncrementalResetMatchesACompleteRebuild) {
    struct Step {
        const char* what;
        std::function<void(GraphView&)> edit;
    };
    const std::vector<Step> steps = {
        {"recorder run: all points X 0 and Y 0",
         [](GraphView& g) {
             g.setXValue(0, -1, 0);
             g.setYValue(0, -1, 0);
         }},
        {"first sample", [](GraphView& g) { sample(g, 0, kDay, 50); }},
        {"second sample", [](GraphView& g) { sample(g, 1, kDay + kSecond, 51); }},
        {"third sample after a skipped point",
         [](GraphView& g) { sample(g, 3, kDay + 3 * kSecond, 53); }},
        {"the skipped point filled", [](GraphView& g) { sample(g, 2, kDay + 2 * kSecond, 52); }},
        {"a point made null", [](GraphView& g) { g.setYValue(0, 1, kNullDataValueY); }},
        {"its neighbour moved later",
         [](GraphView& g) { g.setXValue(0, 2, kDay + 2.5 * kSecond); }},
        {"the point before the gap moved",
         [](GraphView& g) { g.setXValue(0, 0, kDay + 0.5 * kSecond); }},
        {"the first point made null", [](GraphView& g) { g.setYValue(0, 0, kNullDataValueY); }},
        {"an earlier point drawn again", [](GraphView& g) { g.setYValue(0, 0, 49); }},
        {"a time going backwards", [](GraphView& g) { g.setXValue(0, 3, kDay - kSecond); }},
        {"the time put right", [](GraphView& g) { g.setXValue(0, 3, kDay + 3 * kSecond); }},
        {"the last point made null", [](GraphView& g) { g.setYValue(0, 3, kNullDataValueY); }},
        {"bulk copy",
         [](GraphView& g) {
             std::vector<double> xs(20);
             std::vector<float> ys(20);
             for (int i = 0; i < 20; ++i) {
                 xs[size_t(i)] = kDay + i * kSecond;
                 ys[size_t(i)] = float(60 + i);
             }
             g.copyXData(xs.data(), 20);
             g.copyYData(ys.data(), 20);
         }},
        {"a direct edit of the points",
         [](GraphView& g) { g.editPoints([](GraphState& s) { s.y[0][7] = kNullDataValueY; }); }},
        {"a point moved through a direct edit",
         [](GraphView& g) {
             g.editPoints([](GraphState& s) { s.x[0][9] = kDay + 9.5 * kSecond; });
         }},
        {"second series filled",
         [](GraphView& g) {
             g.setSubsets(2);
             for (int i = 0; i < 20; ++i) sample(g, i, kDay + i * kSecond, 70, 1);
         }},
    };
    GraphView g;
    setUp(g, 1, 20, kDay, kDay + 30 * kSecond);
    for (const Step& step : steps) {
        step.edit(g);
        reset(g);
        GraphView fresh;
        ASSERT_TRUE(fresh.loadState(g.saveState()));
        for (int s = 0; s < g.subsets(); ++s)
            ASSERT_EQ(entries(g, s), entries(fresh, s)) << step.what << ", series " << s;
    }
}

TEST(GraphView, PropertyEditsCannotReachThePointsAndGiveThemBack) {
    GraphView g;
    setUp(g, 1, 10, kDay, kDay + 100 * kSecond);
    fillRamp(g, 10);
    reset(g);
    const auto drawn = entries(g, 0);
    g.editProperties([](GraphState& s) {
        EXPECT_TRUE(s.x.empty());
        EXPECT_TRUE(s.y.empty());
        s.mainTitle = QStringLiteral("Title");
    });
    EXPECT_EQ(st(g).mainTitle, "Title");
    EXPECT_EQ(g.xValue(0, 3), kDay + 3 * kSecond);

    // An edit that ends in an exception still gives the points back.
    EXPECT_THROW(g.editProperties([](GraphState&) { throw std::runtime_error("stop"); }),
                 std::runtime_error);
    EXPECT_EQ(g.yValue(0, 9), 49.0f);
    reset(g);
    EXPECT_EQ(entries(g, 0), drawn);

    // A count changed there resizes the points as setSubsets / setPoints do.
    g.editProperties([](GraphState& s) {
        s.subsets = 2;
        s.points = 12;
    });
    EXPECT_EQ(g.points(), 12);
    ASSERT_EQ(st(g).x.size(), 2u);
    EXPECT_EQ(st(g).y[1].size(), 12u);
    EXPECT_EQ(g.yValue(0, 2), 42.0f);
    EXPECT_EQ(g.yValue(0, 11), kNullDataValueY);
    reset(g);
    EXPECT_EQ(entries(g, 0), drawn);
    EXPECT_EQ(g.plot()->graphCount(), 2);
}

// Points changed behind the drawing cache of a long series (thousands of points per pixel
// column): the picture must be the one a freshly loaded graph draws.
TEST(GraphView, EditedPointsOfALongSeriesDrawAsAFreshGraph) {
    constexpr int kPoints = 20000;
    GraphView g;
    setUp(g, 1, kPoints, kDay, kDay + kPoints * kSecond);
    g.resize(400, 300);
    std::vector<double> xs(kPoints);
    std::vector<float> ys(kPoints);
    for (int i = 0; i < kPoints; ++i) {
        xs[size_t(i)] = kDay + i * kSecond;
        ys[size_t(i)] = 60.0f + float(i % 7);
    }
    g.copyXData(xs.data(), kPoints);
    g.copyYData(ys.data(), kPoints);
    reset(g);
    g.plot()->toPixmap(400, 300);  // fills the cache

    const std::vector<std::pair<const char*, std::function<void(GraphView&)>>> edits = {
        {"a peak through a direct edit",
         [](GraphView& g) { g.editPoints([](GraphState& s) { s.y[0][10000] = 120.0f; }); }},
        {"a direct edit that changes nothing",
         [](GraphView& g) { g.editPoints([](GraphState&) {}); }},
        {"a gap through a setter", [](GraphView& g) { g.setYValue(0, 15000, kNullDataValueY); }},
        {"a dip near the start", [](GraphView& g) { g.setYValue(0, 30, 35.0f); }},
    };
    for (const auto& [what, edit] : edits) {
        edit(g);
        reset(g);
        GraphView fresh;
        fresh.resize(400, 300);
        ASSERT_TRUE(fresh.loadState(g.saveState()));
        EXPECT_EQ(g.plot()->toPixmap(400, 300).toImage(),
                  fresh.plot()->toPixmap(400, 300).toImage())
            << what;
    }
}

// Moving a cursor line redraws only the layer of lines and annotations; what the widget then
// shows must be what a complete redraw shows, also when the view or the points changed too.
TEST(GraphView, RedrawsShowWhatACompleteRedrawShows) {
    GraphView g;
    setUp(g, 1, 3000, kDay, kDay + 3000 * kSecond);
    g.resize(600, 400);
    fillRamp(g, 3000);
    g.show();
    reset(g);
    g.perform(GraphAction::InvalidateImage);
    QApplication::processEvents();
    QSignalSpy replots(g.plot(), &QCustomPlot::afterReplot);

    const std::vector<std::pair<const char*, std::function<void(GraphView&)>>> edits = {
        {"a cursor line moved",
         [](GraphView& g) {
             g.editProperties([](GraphState& s) {
                 s.vertLineX[0] = kDay + 700 * kSecond;
                 s.vertLineText[0] = QStringLiteral("|tA");
             });
         }},
        {"a cursor line and a point",
         [](GraphView& g) {
             g.editProperties([](GraphState& s) { s.vertLineX[1] = kDay + 2100 * kSecond; });
             g.setYValue(0, 1500, 125.0f);
         }},
        {"a cursor line and the scale",
         [](GraphView& g) {
             g.editProperties([](GraphState& s) {
                 s.vertLineX[0] = kDay + 900 * kSecond;
                 s.manualMaxX = kDay + 2000 * kSecond;
             });
         }},
        {"the other cursor line",
         [](GraphView& g) {
             g.editProperties([](GraphState& s) { s.vertLineX[1] = kDay + 1200 * kSecond; });
         }},
        {"a cross with a note",
         [](GraphView& g) {
             g.editProperties([](GraphState& s) {
                 s.annotations = {{2, kDay + 1000 * kSecond, 80, QStringLiteral("Door open"),
                                   makeArgb(255, 0, 255, 0)}};
             });
         }},
        {"a cursor line with two label lines onto the cross",
         [](GraphView& g) {
             g.editProperties([](GraphState& s) {
                 s.vertLineX[0] = kDay + 1000 * kSecond;
                 s.vertLineText[0] = QStringLiteral("|t12:00:10\n61.5dB");
             });
         }},
        {"a cursor line at the right edge, its label turned left, at the bottom",
         [](GraphView& g) {
             g.editProperties([](GraphState& s) {
                 s.vertLineX[1] = kDay + 1998 * kSecond;
                 s.vertLineText[1] = QStringLiteral("|b12:33:18\n70.1dB");
             });
         }},
    };
    for (const auto& [what, edit] : edits) {
        edit(g);
        reset(g);
        g.perform(GraphAction::InvalidateImage);
        QApplication::processEvents();
        const QImage shown = g.plot()->grab().toImage();
        g.plot()->replot();
        EXPECT_EQ(shown, g.plot()->grab().toImage()) << what;
    }
    // The cursor and note edits redrew no series: the two complete redraws of the other edits,
    // and the one made by the test after each edit.
    EXPECT_EQ(replots.count(), 2 + int(edits.size()));
}

TEST(GraphView, ScalesReachTheAxesAndZoomDoesNotChangeThem) {
    GraphView g;
    setUp(g, 1, 10, kDay, kDay + 100 * kSecond);
    fillRamp(g, 10);
    reset(g);
    EXPECT_DOUBLE_EQ(g.plot()->yAxis->range().lower, 30);
    EXPECT_DOUBLE_EQ(g.plot()->yAxis->range().upper, 130);
    EXPECT_DOUBLE_EQ(g.plot()->xAxis->range().size(), 100.0);

    // Automatic scales follow the drawn points only.
    g.editProperties([](GraphState& s) {
        s.manualScaleControlX = ScaleControl::Automatic;
        s.manualScaleControlY = ScaleControl::Automatic;
    });
    g.setYValue(0, 9, kNullDataValueY);
    reset(g);
    EXPECT_DOUBLE_EQ(g.plot()->xAxis->range().size(), 8.0);  // points 0 .. 8
    EXPECT_LT(g.plot()->yAxis->range().lower, 40.0);
    EXPECT_GT(g.plot()->yAxis->range().upper, 48.0);
    EXPECT_LT(g.plot()->yAxis->range().upper, 60.0);  // the null 9999 is not in the range
}

TEST(GraphView, CursorLineLabelsDropThePlacementCodeAndBreakAtLineFeeds) {
    GraphView g;
    setUp(g, 1, 10, kDay, kDay + 100 * kSecond);
    g.editProperties([](GraphState& s) {
        s.vertLineText = {QStringLiteral("|t12:00:10\n61.5dB"), QStringLiteral("plain")};
    });
    reset(g);
    EXPECT_EQ(g.vertLineLabelLines(0), (QStringList{"12:00:10", "61.5dB"}));
    EXPECT_EQ(g.vertLineLabelLines(1), QStringList{"plain"});
    g.editProperties([](GraphState& s) { s.showVertLineAnnotations = false; });
    reset(g);
    EXPECT_TRUE(g.vertLineLabelLines(0).isEmpty());
}

TEST(GraphView, PixelsAndValuesConvertBothWays) {
    GraphView g;
    setUp(g, 1, 10, kDay, kDay + 100 * kSecond);
    const QRect area = g.plottingArea();
    EXPECT_TRUE(QRect(QPoint(0, 0), g.size()).contains(area));
    EXPECT_GT(area.width(), 900);
    EXPECT_GT(area.height(), 500);

    // The scale ends lie on the area's edges, to the pixel.
    const QPoint topLeft = g.valueToPixel(kDay, 130);
    const QPoint bottomRight = g.valueToPixel(kDay + 100 * kSecond, 30);
    EXPECT_LE((topLeft - area.topLeft()).manhattanLength(), 1);
    EXPECT_LE((bottomRight - area.bottomRight()).manhattanLength(), 2);
    const QPoint middle = area.center();
    const QPointF value = g.pixelToValue(middle);
    EXPECT_NEAR(value.x(), kDay + 50 * kSecond, 0.2 * kSecond);
    EXPECT_NEAR(value.y(), 80, 0.2);
    EXPECT_EQ(g.valueToPixel(value.x(), value.y()), middle);

    // A title row moves the plotting area down.
    g.editProperties([](GraphState& s) { s.mainTitle = QStringLiteral("Title"); });
    reset(g);
    EXPECT_GT(g.plottingArea().top(), area.top());
}

TEST(GraphView, HotSpotsOfCursorLinesAnnotationsAndPoints) {
    GraphView g;
    setUp(g, 1, 10, kDay, kDay + 100 * kSecond);
    fillRamp(g, 10);
    g.editProperties([](GraphState& s) {
        s.vertLineX = {kDay + 20 * kSecond, kDay + 80 * kSecond};
        s.annotations.resize(6);
        s.annotations[5] = {2, kDay + 50 * kSecond, 100, QString(), makeArgb(255, 255, 255, 255)};
        s.allowDataHotSpots = true;
    });
    reset(g);

    const int midY = g.plottingArea().center().y();
    const QPoint line1 = g.valueToPixel(kDay + 80 * kSecond, 80);
    EXPECT_EQ(g.hotSpotAt({line1.x() + 3, midY}).kind, HotSpotKind::VertLineAnnotation);
    EXPECT_EQ(g.hotSpotAt({line1.x() + 3, midY}).index, 1);
    EXPECT_EQ(g.hotSpotAt({line1.x() + 6, midY}).kind, HotSpotKind::None);

    const HotSpot cross = g.hotSpotAt(g.valueToPixel(kDay + 50 * kSecond, 100));
    EXPECT_EQ(cross.kind, HotSpotKind::GraphAnnotation);
    EXPECT_EQ(cross.index, 5);

    const HotSpot point = g.hotSpotAt(g.valueToPixel(kDay + 4 * kSecond, 44) + QPoint(1, 2));
    EXPECT_EQ(point.kind, HotSpotKind::Data);
    EXPECT_EQ(point.series, 0);
    EXPECT_EQ(point.index, 4);

    // Switched off, the same places are no hot spots.
    g.editProperties([](GraphState& s) {
        s.allowVertLineAnnotHotSpots = s.allowGraphAnnotHotSpots = s.allowDataHotSpots = false;
    });
    reset(g);
    EXPECT_EQ(g.hotSpotAt({line1.x(), midY}).kind, HotSpotKind::None);
    EXPECT_EQ(g.hotSpotAt(g.valueToPixel(kDay + 50 * kSecond, 100)).kind, HotSpotKind::None);
    EXPECT_EQ(g.hotSpotAt(g.valueToPixel(kDay + 4 * kSecond, 44)).kind, HotSpotKind::None);
}

TEST(GraphView, RubberBandZoomAndUndo) {
    GraphView g;
    setUp(g, 1, 10, kDay, kDay + 100 * kSecond);
    g.editProperties([](GraphState& s) {
        s.vertLineX = {kDay + 20 * kSecond, kDay + 80 * kSecond};
    });
    reset(g);
    QSignalSpy zooms(&g, &GraphView::zoomedIn);
    QSignalSpy lineHits(&g, &GraphView::vertLineAnnotHotSpot);
    QSignalSpy clicks(&g, &GraphView::clicked);
    const QCPRange fullX = g.plot()->xAxis->range();
    const QRect area = g.plottingArea();

    // A drag that starts on a cursor line is the window's line drag, not a zoom.
    const QPoint onLine(g.valueToPixel(kDay + 20 * kSecond, 80).x(), area.center().y());
    drag(g.plot(), onLine, onLine + QPoint(200, 100));
    EXPECT_EQ(lineHits.count(), 1);
    EXPECT_EQ(lineHits.at(0).at(0).toInt(), 0);
    EXPECT_EQ(zooms.count(), 0);
    EXPECT_FALSE(g.isZoomed());

    // A click is no zoom either, but it is reported.
    const QPoint inside = area.topLeft() + QPoint(300, 50);
    drag(g.plot(), inside, inside + QPoint(1, 1));
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(zooms.count(), 0);

    drag(g.plot(), inside, inside + QPoint(400, 300));
    ASSERT_EQ(zooms.count(), 1);
    EXPECT_TRUE(g.isZoomed());
    const QCPRange firstZoom = g.plot()->xAxis->range();
    EXPECT_LT(firstZoom.size(), fullX.size() / 2);
    EXPECT_EQ(st(g).manualMinX, kDay);  // the view changed, not the scales

    // A reset keeps the zoomed view; after a second zoom one undo returns to the full view.
    reset(g);
    EXPECT_EQ(g.plot()->xAxis->range(), firstZoom);
    const QRect zoomedArea = g.plottingArea();
    drag(g.plot(), zoomedArea.topLeft() + QPoint(100, 100),
         zoomedArea.topLeft() + QPoint(300, 300));
    ASSERT_EQ(zooms.count(), 2);
    EXPECT_LT(g.plot()->xAxis->range().size(), firstZoom.size());
    g.perform(GraphAction::undoZoomButton);
    EXPECT_EQ(g.plot()->xAxis->range(), fullX);
    EXPECT_DOUBLE_EQ(g.plot()->yAxis->range().lower, 30);
    EXPECT_DOUBLE_EQ(g.plot()->yAxis->range().upper, 130);
    EXPECT_FALSE(g.isZoomed());

    // Without zooming allowed the same drag changes nothing.
    g.editProperties([](GraphState& s) { s.allowZooming = Zooming::None; });
    reset(g);
    drag(g.plot(), inside, inside + QPoint(400, 300));
    EXPECT_EQ(zooms.count(), 2);
    EXPECT_EQ(g.plot()->xAxis->range(), fullX);
}

TEST(GraphView, WheelZoomIsUndoneToTheFullView) {
    GraphView g;
    setUp(g, 1, 10, kDay, kDay + 100 * kSecond);
    QSignalSpy zooms(&g, &GraphView::zoomedIn);
    const QCPRange fullX = g.plot()->xAxis->range();
    const QPoint at = g.plottingArea().center();
    QWheelEvent wheel(QPointF(at), QPointF(g.plot()->mapToGlobal(at)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(g.plot(), &wheel);
    EXPECT_EQ(zooms.count(), 1);
    EXPECT_LT(g.plot()->xAxis->range().size(), fullX.size());
    g.perform(GraphAction::undoZoomButton);
    EXPECT_EQ(g.plot()->xAxis->range(), fullX);
    EXPECT_FALSE(g.isZoomed());
}

// The colour drawn in the widget's corner, outside the plotting area.
QColor deskPixel(GraphView& g) {
    return g.plot()->toPixmap().toImage().pixelColor(1, 1);
}

TEST(GraphView, LooksReachThePlotAndMonochromeDrawsInGreys) {
    GraphView g;
    setUp(g, 2, 10, kDay, kDay + 100 * kSecond);
    g.editProperties([](GraphState& s) {
        s.graphForeColor = makeArgb(255, 190, 190, 190);
        s.graphBackColor = makeArgb(255, 0, 0, 0);
        s.deskColor = makeArgb(255, 190, 190, 190);
        s.yAxisColor = makeArgb(255, 255, 0, 0);
        s.subsetColors = {makeArgb(255, 255, 255, 0), makeArgb(255, 255, 0, 0)};
        s.subsetLineTypes = {0, 1};
        s.gridStyle = GridStyle::Dot;
        s.xAxisLabel = QStringLiteral("Time");
        s.yAxisLabel = QStringLiteral("dB");
        s.subTitle = QStringLiteral("Sub");
    });
    reset(g);
    QCustomPlot* p = g.plot();
    EXPECT_EQ(p->axisRect()->backgroundBrush().color(), QColor(Qt::black));
    EXPECT_EQ(deskPixel(g), QColor(190, 190, 190));
    EXPECT_EQ(p->graph(0)->pen().color(), QColor(Qt::yellow));
    EXPECT_EQ(p->graph(1)->pen().style(), Qt::DashLine);
    EXPECT_EQ(p->xAxis->grid()->pen().style(), Qt::DotLine);
    EXPECT_EQ(p->xAxis->basePen().color(), QColor(190, 190, 190));
    EXPECT_EQ(p->yAxis->basePen().color(), QColor(Qt::red));
    EXPECT_EQ(p->yAxis->label(), "dB");
    auto* sub = qobject_cast<QCPTextElement*>(p->plotLayout()->element(0, 0));
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->text(), "Sub");
    EXPECT_NE(dynamic_cast<TimeAxisTicker*>(p->xAxis->ticker().data()), nullptr);

    g.editProperties([](GraphState& s) { s.viewingStyle = ViewingStyle::Monochrome; });
    reset(g);
    EXPECT_EQ(p->axisRect()->backgroundBrush().color(), QColor(Qt::white));
    EXPECT_EQ(deskPixel(g), QColor(Qt::white));
    for (const QColor& c : {p->graph(0)->pen().color(), p->graph(1)->pen().color(),
                            p->yAxis->basePen().color(), p->xAxis->tickLabelColor()})
        EXPECT_EQ(c.saturation(), 0) << c.name().toStdString();
}

TEST(GraphView, ALongNoteNearTheRightEdgeWrapsInsideThePlotWithItsStart) {
    // A note in a colour of its own (green; the data are yellow, the grid grey), its ink
    // counted inside and outside the plotting area.
    const QString note = QStringLiteral(
        "Compressor started at the north gate while the doors stood open for the delivery");
    const auto drawNote = [&](double x) {
        GraphView g;
        setUp(g, 1, 10, kDay, kDay + 100 * kSecond);
        fillRamp(g, 10);
        g.editProperties([&](GraphState& s) {
            s.graphBackColor = makeArgb(255, 0, 0, 0);
            s.annotations = {{0, x, 80, note, makeArgb(255, 0, 255, 0)}};
        });
        reset(g);
        const QImage image = g.plot()->toPixmap().toImage();
        const QRect area = g.plottingArea().translated(-g.plot()->pos());
        int inside = 0, outside = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (const QColor c = image.pixelColor(x, y);
                    c.green() - std::max(c.red(), c.blue()) > 60)
                    ++(area.contains(x, y) ? inside : outside);
        return std::pair{inside, outside};
    };
    const auto [roomy, roomyOutside] = drawNote(kDay + 1 * kSecond);
    const auto [atEdge, atEdgeOutside] = drawNote(kDay + 97 * kSecond);
    ASSERT_GT(roomy, 200);
    EXPECT_EQ(roomyOutside, 0);
    EXPECT_EQ(atEdgeOutside, 0);
    // Wrapped, the same words leave (nearly) the same ink: nothing of the note was cut off.
    EXPECT_GE(atEdge, roomy * 95 / 100);
    EXPECT_LE(atEdge, roomy * 105 / 100);
}

TEST(GraphView, LoadedStateRestoresLooksAndData) {
    GraphView a;
    setUp(a, 2, 10, kDay, kDay + 100 * kSecond);
    fillRamp(a, 10);
    a.editProperties([](GraphState& s) {
        s.mainTitle = QStringLiteral("Saved");
        s.graphBackColor = makeArgb(255, 0, 0, 128);
        s.annotations = {
            {2, kDay + 5 * kSecond, 90, QStringLiteral("x"), makeArgb(255, 0, 255, 0)}};
    });
    reset(a);

    GraphView b;
    EXPECT_FALSE(b.loadState(QByteArray("junk")));
    ASSERT_TRUE(b.loadState(a.saveState()));
    EXPECT_EQ(st(b), st(a));
    EXPECT_EQ(entries(b, 0), entries(a, 0));
    EXPECT_EQ(b.plot()->axisRect()->backgroundBrush().color(), QColor(0, 0, 128));
    auto* title = qobject_cast<QCPTextElement*>(b.plot()->plotLayout()->element(0, 0));
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->text(), "Saved");
    EXPECT_EQ(b.plot()->graphCount(), 2);
}

TEST(GraphView, CustomizeDialogAppliesOnOkOnly) {
    GraphView g;
    setUp(g, 1, 10, kDay, kDay + 100 * kSecond);
    fillRamp(g, 10);
    QSignalSpy closed(&g, &GraphView::customizeDialogClosed);
    auto answer = [](bool ok) {
        QTimer::singleShot(0, [ok] {
            auto* dialog = qobject_cast<GraphCustomizeDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            dialog->findChild<QLineEdit*>("mainTitleEdit")->setText("From dialog");
            ok ? dialog->accept() : dialog->reject();
        });
    };
    const GraphState before = st(g);
    answer(false);
    g.perform(GraphAction::Customize);
    EXPECT_EQ(g.dialogResult(), 0);
    EXPECT_EQ(st(g), before);

    answer(true);
    g.perform(GraphAction::Customize);
    EXPECT_EQ(g.dialogResult(), 1);
    EXPECT_EQ(closed.count(), 2);
    GraphState expected = before;
    expected.mainTitle = QStringLiteral("From dialog");
    EXPECT_EQ(st(g), expected);  // only the edited field changed, data included

    // Hidden pages are not offered (printing hides all but the colours).
    g.setAllowTitlesPage(false);
    g.setAllowAxesPage(false);
    g.setAllowFontPage(false);
    g.setAllowSubsetsPage(false);
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<GraphCustomizeDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->tabs()->count(), 1);
        EXPECT_EQ(dialog->findChild<QLineEdit*>("mainTitleEdit"), nullptr);
        dialog->accept();
    });
    g.perform(GraphAction::Customize);
    EXPECT_EQ(st(g), expected);
}

}  // namespace

namespace {

// Seconds since 1970 of a wall-clock time, as the axis counts them.
double keyOf(int hour, int minute, double second) {
    return (kDay - 25569.0) * 86400.0 + hour * 3600.0 + minute * 60.0 + second;
}

}  // namespace

// Whatever the visible span, the axis ticks lie on whole multiples of a step the labels state
// exactly, each label is the one of its tick, and the labels fit beside each other.
TEST(GraphView, TimeAxisTicksFallOnWholeStepsWithFittingLabels) {
    struct Case {
        const char* what;
        double lower, upper;  // keys
    };
    const Case cases[] = {
        {"23 s", keyOf(12, 24, 40.3), keyOf(12, 25, 3.2)},
        {"7 s", keyOf(12, 24, 41.7), keyOf(12, 24, 48.9)},
        {"1.3 s", keyOf(12, 24, 41.05), keyOf(12, 24, 42.35)},
        {"40 min", keyOf(9, 3, 10), keyOf(9, 43, 55)},
        {"9 h", keyOf(3, 0, 1), keyOf(12, 0, 0)},
        {"across midnight", keyOf(22, 10, 0), keyOf(26, 50, 0)},
        {"3 days", keyOf(0, 0, 0), keyOf(72, 0, 0)},
    };
    for (const int width : {1152, 500}) {
        GraphView g;
        setUp(g, 1, 10, kDay, kDay + 100 * kSecond);
        g.resize(width, 400);
        g.show();
        QApplication::processEvents();
        auto* ticker = dynamic_cast<TimeAxisTicker*>(g.plot()->xAxis->ticker().data());
        ASSERT_NE(ticker, nullptr);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + " at width " + std::to_string(width));
            g.plot()->xAxis->setRange(c.lower, c.upper);
            g.plot()->replot();
            const QVector<double> ticks = g.plot()->xAxis->tickVector();
            const QVector<QString> labels = g.plot()->xAxis->tickVectorLabels();
            const double step = ticker->step();
            ASSERT_GE(ticks.size(), 2);
            ASSERT_EQ(labels.size(), ticks.size());
            const TimeLabelUnit unit = timeLabelUnit(step);
            const QFontMetricsF fm(g.plot()->xAxis->tickLabelFont());
            double widest = 0;
            for (int i = 0; i < ticks.size(); ++i) {
                EXPECT_NEAR(ticks[i] / step, std::round(ticks[i] / step), 1e-4) << ticks[i];
                if (i > 0) {
                    EXPECT_NEAR(ticks[i] - ticks[i - 1], step, 1e-6);
                }
                EXPECT_EQ(labels[i], timeTickLabel(ticks[i], unit, spansDays(c.lower, c.upper),
                                                   QLocale::system()));
                for (const QString& line : labels[i].split('\n'))
                    widest = std::max(widest, fm.horizontalAdvance(line));
            }
            const double pixelsApart = g.plottingArea().width() * step / (c.upper - c.lower);
            EXPECT_GT(pixelsApart, widest);
        }
    }
}

// Squeezed to nothing, as a cascaded or splitter-folded window does, the control must not
// replot into an empty paint device, and it draws again once it has room.
TEST(GraphView, ASqueezedControlPaintsNothingAndRecovers) {
    static QStringList warnings;
    warnings.clear();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
            if (text.contains(QLatin1String("QPainter"))) warnings << text;
        });
    {
        GraphView g;
        setUp(g, 1, 10, kDay, kDay + 100 * kSecond);
        fillRamp(g, 10);
        g.show();
        for (const QSize size : {QSize(500, 0), QSize(0, 300), QSize(0, 0)}) {
            g.resize(size);
            g.editProperties([](GraphState& s) { s.vertLineX[0] = kDay + 5 * kSecond; });
            reset(g);
            g.perform(GraphAction::InvalidateImage);
            QApplication::processEvents();
            g.plot()->replot();
        }
        g.resize(500, 300);
        QApplication::processEvents();
        g.plot()->replot();
        EXPECT_GT(g.plottingArea().width(), 300);
        EXPECT_TRUE(QRect(QPoint(0, 0), g.size()).contains(g.plottingArea()));
    }
    qInstallMessageHandler(previous);
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join('\n').toStdString();
}
