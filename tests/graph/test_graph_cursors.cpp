#include <gtest/gtest.h>

#include <qcustomplot.h>
#include <QApplication>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOption>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <cmath>
#include <cstdlib>

#include "graph/ui/GraphWindow.h"
#include "graph/ui/RangeSlider.h"
#include "support/FakeGraphHost.h"
#include "support/Mouse.h"

using namespace kl516;

namespace {

// 1 May 2024 08:00, as a literal: a conversion at static initialisation could run before the
// converter's own constants are set.
constexpr SerialDateTime kStart = 45413.0 + 8.0 / 24;

using test::drag;
using test::send;

// Collects what Qt reports about painting while it lives.
struct PaintWarnings {
    static QStringList& list() {
        static QStringList warnings;
        return warnings;
    }
    QtMessageHandler previous;
    PaintWarnings() {
        list().clear();
        previous =
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& t) {
                if (t.contains(QLatin1String("QPainter"))) list() << t;
            });
    }
    ~PaintWarnings() { qInstallMessageHandler(previous); }
};

struct GraphCursorTest : ::testing::Test {
    QTemporaryDir dir;
    test::FakeGraphHost host;
    std::unique_ptr<GraphWindow> graph;

    void SetUp() override {
        host.folder = dir.path();
        graph = std::make_unique<GraphWindow>(host);
        graph->resize(GraphWindow::kClientWidth, GraphWindow::kClientHeight);
        graph->show();
    }

    // Points at the given seconds after kStart; the X axis runs from kStart for axisSeconds,
    // or follows the points when axisSeconds is 0.
    void fill(const std::vector<double>& seconds, double axisSeconds) {
        const int n = int(seconds.size());
        graph->setUpGraph(1, 130, 30, kStart + axisSeconds * kOneSecond,
                          axisSeconds > 0 ? kStart : 0, n);
        for (int i = 0; i < n; ++i) {
            graph->graphView->setXValue(0, i, kStart + seconds[size_t(i)] * kOneSecond);
            graph->graphView->setYValue(0, i, 60.0f + float(i % 20));
        }
        graph->updateGraphStatistic();
        graph->redraw();
        settle();
    }

    // The queued replot and the paints it asks for.
    void settle() {
        QApplication::processEvents();
        QApplication::processEvents();
    }

    // Window pixel at which a thumb points, and at which a point's cursor line is drawn.
    int tipX(int thumb) const {
        const QRect r = graph->rangeSlider->thumbRect(thumb);
        return graph->rangeSlider
            ->mapTo(graph.get(), QPoint(r.left() + graph->rangeSlider->thumbHeight() / 2, 0))
            .x();
    }
    int lineX(int point) const {
        GraphView* g = graph->graphView;
        return g->mapTo(graph.get(), g->valueToPixel(g->xValue(0, point), 80)).x();
    }
    void expectThumbsOnTheirLines() const {
        EXPECT_LE(std::abs(tipX(1) - lineX(graph->cursorA())), 1)
            << "cursor A at " << graph->cursorA();
        EXPECT_LE(std::abs(tipX(2) - lineX(graph->cursorB())), 1)
            << "cursor B at " << graph->cursorB();
    }
};

// The width a line edit leaves its text: the style's contents rectangle less the text margins
// and the edit's own gap of two pixels each side.
int textRoom(const QLineEdit* field) {
    QStyleOptionFrame option;
    option.initFrom(field);
    option.lineWidth = field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, field);
    const QRect contents =
        field->style()->subElementRect(QStyle::SE_LineEditContents, &option, field);
    return contents.width() - field->textMargins().left() - field->textMargins().right() - 4;
}

std::vector<double> evenly(int n, double stepSeconds) {
    std::vector<double> s(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) s[size_t(i)] = i * stepSeconds;
    return s;
}

}  // namespace

TEST_F(GraphCursorTest, ThumbsPointAtTheLinesOfTheirCursors) {
    std::vector<double> uneven = evenly(50, 1.0);  // then five points a second
    for (int i = 1; i <= 50; ++i) uneven.push_back(49 + i * 0.2);
    struct Case {
        const char* what;
        std::vector<double> seconds;
        double axisSeconds;
    };
    const Case cases[] = {
        {"axis past the last point", evenly(100, 1.0), 150},
        {"axis ending on the last point", evenly(100, 1.0), 99},
        {"axis following the points", evenly(100, 1.0), 0},
        {"points unevenly spaced in time", uneven, 70},
        {"more points than pixels", evenly(5000, 1.0), 6000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fill(c.seconds, c.axisSeconds);
        const int last = int(c.seconds.size()) - 1;
        for (const int a : {0, last / 3, last / 2, last}) {
            graph->rangeSlider->setFirstValue(a);
            graph->rangeSlider->setSecondValue(last - a);
            settle();
            ASSERT_EQ(graph->cursorA(), a);
            expectThumbsOnTheirLines();
        }
    }
}

TEST_F(GraphCursorTest, ThumbsFollowTheZoomedAxisAndUndoZoomReturnsToTheFullView) {
    fill(evenly(100, 1.0), 150);
    QCustomPlot* plot = graph->graphView->plot();
    const QCPRange full = plot->xAxis->range();
    const QRect area = graph->graphView->plottingArea();
    const int y = area.center().y();

    // Two zooms: to about 20 ... 80 s, then to about 30 ... 60 s.
    const auto pixelAt = [&](double second) {
        return graph->graphView->valueToPixel(kStart + second * kOneSecond, 80).x();
    };
    drag(plot, QPoint(pixelAt(20), y - 100), QPoint(pixelAt(80), y + 100));
    settle();
    drag(plot, QPoint(pixelAt(30), y - 50), QPoint(pixelAt(60), y + 50));
    settle();
    ASSERT_TRUE(graph->undoZoomButton->isEnabled());
    ASSERT_LT(plot->xAxis->range().size(), full.size() / 3);

    // In view, a thumb points at its line; out of view it waits at the slider's end.
    graph->rangeSlider->setFirstValue(45);
    graph->rangeSlider->setSecondValue(95);
    settle();
    EXPECT_LE(std::abs(tipX(1) - lineX(45)), 1);
    EXPECT_EQ(graph->rangeSlider->thumbRect(2).right(), graph->rangeSlider->width() - 1);

    graph->undoZoomButton->click();
    settle();
    EXPECT_EQ(plot->xAxis->range(), full);  // the view before the first zoom
    EXPECT_FALSE(graph->undoZoomButton->isEnabled());
    EXPECT_FALSE(graph->graphView->isZoomed());
    expectThumbsOnTheirLines();
}

TEST_F(GraphCursorTest, DraggingAThumbMovesItsCursorToThePointNearestThePointer) {
    fill(evenly(100, 1.0), 150);
    RangeSlider* slider = graph->rangeSlider;
    ASSERT_EQ(graph->cursorA(), 33);
    for (const int moved : {120, -150, 3}) {
        SCOPED_TRACE(moved);
        const int startTip = tipX(1);
        send(slider, QEvent::MouseButtonPress, slider->thumbRect(1).center(), Qt::LeftButton,
             Qt::LeftButton);
        send(slider, QEvent::MouseMove, slider->thumbRect(1).center() + QPoint(moved, 0),
             Qt::NoButton, Qt::LeftButton);
        send(slider, QEvent::MouseButtonRelease, slider->thumbRect(1).center() + QPoint(moved, 0),
             Qt::LeftButton, Qt::NoButton);
        settle();
        const int target = startTip + moved;
        for (int p = 0; p < 100; ++p)
            ASSERT_LE(std::abs(lineX(graph->cursorA()) - target), std::abs(lineX(p) - target)) << p;
        EXPECT_LE(std::abs(tipX(1) - lineX(graph->cursorA())), 1);
    }
}

// Squeezed as far as it goes, by a resize or by Window > Cascade in a small main window (whose
// arrangement keeps each child window at least at its minimum size hint), the graph window keeps
// the plot, both statistics panels and the slider whole, and nothing paints into nothing.
TEST_F(GraphCursorTest, AtItsMinimumSizeThePlotPanelsAndSliderStayWhole) {
    PaintWarnings warnings;
    // Tenths of a second make the longest times; a level below zero the longest level.
    fill(evenly(100, 0.1), 15);
    graph->graphView->setYValue(0, 50, -88.8f);
    graph->updateGraphStatistic();
    graph->placeCursor(0, 50);
    settle();
    ASSERT_TRUE(graph->seriesMinimumTime->text().contains(QLatin1Char('.')));
    EXPECT_LE(graph->minimumWidth(), GraphWindow::kClientWidth);
    EXPECT_LE(graph->minimumHeight(), GraphWindow::kClientHeight);

    const auto expectWhole = [](GraphWindow* g) {
        EXPECT_GE(g->width(), g->minimumWidth());
        EXPECT_GE(g->height(), g->minimumHeight());
        const QRect plotting = g->graphView->plottingArea();
        EXPECT_GT(plotting.width(), 200);
        EXPECT_GT(plotting.height(), 80);
        EXPECT_TRUE(g->rangeSlider->isVisible());
        EXPECT_GE(g->rangeSlider->width(), plotting.width());
        for (QWidget* part : {g->graphStatisticsPanel, g->cursorStatisticsPanel, g->graphPanel}) {
            SCOPED_TRACE(part->objectName().toStdString());
            EXPECT_TRUE(part->isVisible());
            EXPECT_GE(part->height(), part->minimumSizeHint().height());
            EXPECT_TRUE(g->rect().contains(QRect(part->mapTo(g, QPoint()), part->size())));
            // Every field whole inside its panel, and wide enough to show its text.
            for (QLineEdit* field : part->findChildren<QLineEdit*>()) {
                EXPECT_TRUE(
                    part->rect().contains(QRect(field->mapTo(part, QPoint()), field->size())))
                    << field->objectName().toStdString();
                EXPECT_GE(textRoom(field), field->fontMetrics().horizontalAdvance(field->text()))
                    << field->objectName().toStdString() << " \"" << field->text().toStdString()
                    << "\"";
            }
        }
    };
    const auto settleLayouts = [] {
        for (int i = 0; i < 3; ++i) QApplication::processEvents();
    };

    graph->resize(10, 10);
    settleLayouts();
    expectWhole(graph.get());

    auto* area = new QMdiArea;
    area->resize(420, 300);
    area->show();
    QMdiSubWindow* sub = area->addSubWindow(graph.release());
    auto* g = qobject_cast<GraphWindow*>(sub->widget());
    sub->show();
    for (const bool dataSets : {false, true}) {
        SCOPED_TRACE(dataSets ? "with the data-set list" : "without the data-set list");
        g->dataSetPanel->setVisible(dataSets);
        settleLayouts();
        area->cascadeSubWindows();
        // Two fit side by side in the workspace of a main window 1400 pixels wide.
        EXPECT_LE(sub->minimumSizeHint().width(), 690);
        sub->resize(sub->minimumSizeHint());
        settleLayouts();
        g->grab();  // paints everything now
        EXPECT_TRUE(sub->contentsRect().contains(g->geometry()));
        expectWhole(g);
    }
    delete area;
    EXPECT_TRUE(PaintWarnings::list().isEmpty()) << PaintWarnings::list().join('\n').toStdString();
}

// The keys of a focused graph: Left/Right step the active cursor one point, with Shift ten,
// Home/End go to the ends, Tab switches between A and B; the cursor panel follows each move.
// Ctrl+Z is Undo Zoom and Escape ends a rubber band without zooming.
TEST_F(GraphCursorTest, KeysMoveTheActiveCursorAndUndoOrCancelAZoom) {
    fill(evenly(100, 1.0), 150);
    graph->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(graph.get()));
    GraphView* view = graph->graphView;
    view->setFocus();
    ASSERT_TRUE(view->hasFocus());
    ASSERT_EQ(graph->cursorA(), 33);
    ASSERT_EQ(graph->cursorB(), 66);
    EXPECT_EQ(graph->activeCursor(), 0);

    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int a, b, active;  // after the key
    } steps[] = {
        {Qt::Key_Right, Qt::NoModifier, 34, 66, 0},
        {Qt::Key_Left, Qt::NoModifier, 33, 66, 0},
        {Qt::Key_Right, Qt::ShiftModifier, 43, 66, 0},
        {Qt::Key_Left, Qt::ShiftModifier, 33, 66, 0},
        {Qt::Key_End, Qt::NoModifier, 99, 66, 0},
        {Qt::Key_Right, Qt::NoModifier, 99, 66, 0},  // stays at the end
        {Qt::Key_Home, Qt::NoModifier, 0, 66, 0},
        {Qt::Key_Left, Qt::ShiftModifier, 0, 66, 0},  // stays at the start
        {Qt::Key_Tab, Qt::NoModifier, 0, 66, 1},
        {Qt::Key_Right, Qt::NoModifier, 0, 67, 1},
        {Qt::Key_Left, Qt::ShiftModifier, 0, 57, 1},
        {Qt::Key_End, Qt::NoModifier, 0, 99, 1},
        {Qt::Key_Tab, Qt::NoModifier, 0, 99, 0},
        {Qt::Key_Right, Qt::ShiftModifier, 10, 99, 0},
    };
    const auto shownLevel = [](QLineEdit* e) {
        return e->text().replace(QLatin1Char(','), QLatin1Char('.')).toDouble();
    };
    int n = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE(n++);
        QTest::keyClick(view, s.key, s.modifiers);
        EXPECT_EQ(graph->cursorA(), s.a);
        EXPECT_EQ(graph->cursorB(), s.b);
        EXPECT_EQ(graph->activeCursor(), s.active);
        EXPECT_TRUE(view->hasFocus());  // Tab did not leave the graph
        // The panel shows the levels at the cursors (60 + point % 20 dB).
        EXPECT_NEAR(shownLevel(graph->cursorALevel), 60 + s.a % 20, 0.05);
        EXPECT_NEAR(shownLevel(graph->cursorBLevel), 60 + s.b % 20, 0.05);
        EXPECT_EQ(graph->rangeSlider->firstValue(), s.a);
        EXPECT_EQ(graph->rangeSlider->secondValue(), s.b);
    }
    // Between the cursors (10 ... 99): levels 60 ... 79, the highest first at point 19.
    EXPECT_NEAR(shownLevel(graph->betweenCursorsMaximum), 79, 0.05);

    // Tab in a text field is the text field's: the active cursor stays.
    graph->cursorATime->setFocus();
    QTest::keyClick(graph->cursorATime, Qt::Key_Tab);
    EXPECT_EQ(graph->activeCursor(), 0);

    QCustomPlot* plot = view->plot();
    const QCPRange full = plot->xAxis->range();
    const QRect area = view->plottingArea();
    const int y = area.center().y();
    const auto pixelAt = [&](double second) {
        return view->valueToPixel(kStart + second * kOneSecond, 80).x();
    };

    // Escape during a rubber-band drag: no zoom when the button comes up.
    view->setFocus();
    send(plot, QEvent::MouseButtonPress, QPoint(pixelAt(20), y - 50), Qt::LeftButton,
         Qt::LeftButton);
    send(plot, QEvent::MouseMove, QPoint(pixelAt(50), y), Qt::NoButton, Qt::LeftButton);
    send(plot, QEvent::MouseMove, QPoint(pixelAt(80), y + 50), Qt::NoButton, Qt::LeftButton);
    ASSERT_TRUE(plot->selectionRect()->isActive());
    QTest::keyClick(view, Qt::Key_Escape);
    EXPECT_FALSE(plot->selectionRect()->isActive());
    send(plot, QEvent::MouseButtonRelease, QPoint(pixelAt(80), y + 50), Qt::LeftButton,
         Qt::NoButton);
    settle();
    EXPECT_EQ(plot->xAxis->range(), full);
    EXPECT_FALSE(graph->undoZoomButton->isEnabled());

    // Ctrl+Z undoes a zoom like the Undo Zoom button.
    drag(plot, QPoint(pixelAt(20), y - 50), QPoint(pixelAt(80), y + 50));
    settle();
    ASSERT_TRUE(graph->undoZoomButton->isEnabled());
    ASSERT_LT(plot->xAxis->range().size(), full.size());
    QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
    settle();
    EXPECT_EQ(plot->xAxis->range(), full);
    EXPECT_FALSE(graph->undoZoomButton->isEnabled());
    EXPECT_FALSE(view->isZoomed());
}
