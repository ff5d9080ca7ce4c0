#include <gtest/gtest.h>

#include <QLocale>
#include <QMdiArea>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <optional>
#include <qcustomplot.h>

#include "dataset/SerialDateTime.h"
#include "graph/Annotations.h"
#include "graph/ui/AnnotationTextDialog.h"
#include "graph/ui/EraseAnnotationsDialog.h"
#include "graph/ui/GraphWindow.h"
#include "realtime/RealTimeFixture.h"
#include "support/FakeGraphHost.h"
#include "support/Mouse.h"

using namespace kl516;

namespace {

const SerialDateTime kStart = toSerialDateTime(QDate(2024, 5, 1), QTime(8, 0, 0));

}  // namespace

TEST(Annotations, AClickPlacesAtThePointersDrawingPointInsideThePlottingArea) {
    // Plotting area: x 100 ... 500, y 50 ... 350, edges inside.
    const QRect area(100, 50, 400, 300);
    const struct {
        AnnotationMode mode;
        QPoint mouse;
        std::optional<QPoint> placed;
    } cases[] = {
        {AnnotationMode::Normal, {200, 200}, std::nullopt},
        {AnnotationMode::Text, {200, 200}, QPoint(201, 207)},
        {AnnotationMode::Text, {99, 43}, QPoint(100, 50)},    // top-left edge
        {AnnotationMode::Text, {98, 43}, std::nullopt},
        {AnnotationMode::Text, {499, 343}, QPoint(500, 350)},  // bottom-right edge
        {AnnotationMode::Text, {499, 344}, std::nullopt},
        {AnnotationMode::Cross, {200, 200}, QPoint(215, 215)},
        {AnnotationMode::Cross, {85, 35}, QPoint(100, 50)},
        {AnnotationMode::Cross, {84, 100}, std::nullopt},
        {AnnotationMode::Cross, {485, 335}, QPoint(500, 350)},
        {AnnotationMode::Cross, {485, 336}, std::nullopt},  // just below the area
        {AnnotationMode::Cross, {486, 335}, std::nullopt},  // just right of it
    };
    for (const auto& c : cases)
        EXPECT_EQ(annotationPoint(c.mode, c.mouse, area), c.placed)
            << int(c.mode) << " at " << c.mouse.x() << "," << c.mouse.y();
}

TEST(Annotations, OneCounterForEveryWindowAndAnEraseListOfTheWindowsOwn) {
    AnnotationState shared;
    std::vector<GraphAnnotation> first, second;
    EXPECT_EQ(shared.lastAnnotation(), 4);
    int i = shared.takeIndex(first);
    EXPECT_EQ(i, 5);
    setAnnotation(first, i, kAnnotationCross, kStart, 80, {});
    i = shared.takeIndex(second);
    EXPECT_EQ(i, 6);
    setAnnotation(second, i, kAnnotationCross, kStart + kOneSecond, 81, {});
    // An empty note (text mode, nothing typed) and the marker are never listed.
    i = shared.takeIndex(second);
    setAnnotation(second, i, kAnnotationTextOnly, kStart, 70, {});
    setAnnotation(second, kMarkerAnnotation, kAnnotationCross, kStart, 60, "08:00:00\r60.0 dB");
    i = shared.takeIndex(second);
    setAnnotation(second, i, kAnnotationTextOnly, kStart + 2 * kOneSecond, 75, "peak");

    const std::vector<AnnotationRow> rows = erasableAnnotations(second, shared.lastAnnotation());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].index, 6);
    EXPECT_EQ(rows[0].contents, "X");
    EXPECT_EQ(rows[0].x, kStart + kOneSecond);
    EXPECT_EQ(rows[1].index, 8);
    EXPECT_EQ(rows[1].contents, "peak");
    ASSERT_EQ(erasableAnnotations(first, shared.lastAnnotation()).size(), 1u);

    eraseAnnotation(second, 6);
    EXPECT_EQ(second[6].type, kAnnotationTextOnly);
    EXPECT_TRUE(second[6].text.isEmpty());
    EXPECT_EQ(erasableAnnotations(second, shared.lastAnnotation()).size(), 1u);
}

TEST(Annotations, ClearRestartsTheCounterWithoutOverwritingOtherWindowsAnnotations) {
    AnnotationState shared;
    std::vector<GraphAnnotation> realTime, logger;
    setAnnotation(logger, shared.takeIndex(logger), kAnnotationCross, kStart, 80, {});       // 5
    setAnnotation(realTime, shared.takeIndex(realTime), kAnnotationCross, kStart, 80, {});   // 6
    setAnnotation(realTime, shared.takeIndex(realTime), kAnnotationTextOnly, kStart, 80, "a");  // 7

    shared.clear(realTime);
    EXPECT_EQ(shared.lastAnnotation(), 3);
    for (int i = 3; i <= 7; ++i) {
        EXPECT_EQ(realTime[size_t(i)].x, 0);
        EXPECT_EQ(realTime[size_t(i)].y, 0);
    }
    EXPECT_TRUE(erasableAnnotations(realTime, 7).empty());

    // The next annotation takes index 4 and is listed; in the logger window index 5 is still
    // its cross, so its next annotation passes over it.
    const int next = shared.takeIndex(realTime);
    EXPECT_EQ(next, 4);
    setAnnotation(realTime, next, kAnnotationCross, kStart, 90, {});
    ASSERT_EQ(erasableAnnotations(realTime, shared.lastAnnotation()).size(), 1u);
    EXPECT_EQ(shared.takeIndex(logger), 6);
    EXPECT_EQ(logger[5].type, kAnnotationCross);
}

TEST(Annotations, TheMarkerIsAYellowCrossWithTheTimeAndLevel) {
    const GraphAnnotation m =
        markerAnnotation(kStart + 5 * kOneSecond, 72.26, QLocale(QLocale::English, QLocale::UnitedKingdom));
    EXPECT_EQ(m.type, kAnnotationCross);
    EXPECT_EQ(m.color, makeArgb(255, 255, 255, 0));
    EXPECT_EQ(m.text, QString("08:00:05") + QChar(13) + "72.3 dB");
}

namespace {

// Two graph windows of one program (one shared annotation state), each with 100 points a
// second apart, shown.
struct AnnotationWindows : ::testing::Test {
    QTemporaryDir dir;
    test::FakeGraphHost host;
    std::unique_ptr<GraphWindow> first, second;
    // What the text dialog is given; null: Cancel.
    QString typed = "note";
    // Rows of the erase dialog to select (0-based) and whether to press Delete.
    std::vector<int> rowsToSelect;
    bool pressDelete = true;
    QStringList listed;          // "NO|Time|Contents" of every row the erase dialog showed
    bool deleteEnabled = false;  // as the dialog showed it

    void SetUp() override {
        host.folder = dir.path();
        first = makeWindow();
        second = makeWindow();
    }
    std::unique_ptr<GraphWindow> makeWindow() {
        auto g = std::make_unique<GraphWindow>(host);
        g->resize(GraphWindow::kClientWidth, GraphWindow::kClientHeight);
        g->show();
        g->setUpGraph(1, 130, 30, kStart + 99 * kOneSecond, kStart, 100);
        for (int i = 0; i < 100; ++i) {
            g->graphView->setXValue(0, i, kStart + i * kOneSecond);
            g->graphView->setYValue(0, i, 60.0f + float(i % 20));
        }
        g->updateGraphStatistic();
        g->execAnnotationTextDialog = [this](AnnotationTextDialog& d) {
            if (typed.isNull()) return false;
            d.annotationText->setText(typed);
            return true;
        };
        g->execEraseAnnotationsDialog = [this](EraseAnnotationsDialog& d) {
            listed.clear();
            for (int r = 0; r < d.annotationTable->rowCount(); ++r)
                listed << d.annotationTable->item(r, 0)->text() + "|" +
                              d.annotationTable->item(r, 1)->text() + "|" +
                              d.annotationTable->item(r, 2)->text();
            deleteEnabled = d.acceptButton->isEnabled();
            for (int r : rowsToSelect)
                d.annotationTable->selectionModel()->select(
                    d.annotationTable->model()->index(r, 0),
                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
            return pressDelete;
        };
        return g;
    }
    static const std::vector<GraphAnnotation>& table(GraphWindow& g) {
        return std::as_const(*g.graphView).state().annotations;
    }
    // A left click at a pixel of the graph control, as the user makes it.
    static void click(GraphWindow& g, QPoint pixel, bool twice = false) {
        QWidget* plot = g.graphView->plot();
        const QPoint at = pixel - plot->pos();
        test::send(plot, QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
        test::send(plot, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
        test::send(plot, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
        if (!twice) return;
        test::send(plot, QEvent::MouseButtonDblClick, at, Qt::LeftButton, Qt::LeftButton);
        test::send(plot, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
    }
    static QPoint middle(GraphWindow& g) { return g.graphView->plottingArea().center(); }
};

}  // namespace

TEST_F(AnnotationWindows, ThePointerButtonsAreOneModeForEveryWindow) {
    EXPECT_TRUE(first->normalModeButton->isChecked());
    first->crossModeButton->click();
    EXPECT_EQ(host.annotations().mode(), AnnotationMode::Cross);
    for (GraphWindow* g : {first.get(), second.get()}) {
        EXPECT_TRUE(g->crossModeButton->isChecked());
        EXPECT_FALSE(g->normalModeButton->isChecked());
        const QCursor c = g->graphView->cursor();
        EXPECT_EQ(c.shape(), Qt::BitmapCursor);
        EXPECT_EQ(c.hotSpot(), QPoint(0, 0));
        EXPECT_EQ(c.pixmap().size(), QSize(32, 32));
    }
    second->textModeButton->click();
    EXPECT_EQ(host.annotations().mode(), AnnotationMode::Text);
    EXPECT_TRUE(first->textModeButton->isChecked());
    EXPECT_FALSE(first->crossModeButton->isChecked());
    first->normalModeButton->click();
    EXPECT_EQ(host.annotations().mode(), AnnotationMode::Normal);
    EXPECT_EQ(second->graphView->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(AnnotationWindows, CrossesTakeTheSharedIndexesAndEachEraseListShowsItsOwnWindow) {
    first->crossModeButton->click();
    const QPoint pointer = middle(*first);
    click(*first, pointer);
    ASSERT_GT(table(*first).size(), 5u);
    const GraphAnnotation placed = table(*first)[5];
    EXPECT_EQ(placed.type, kAnnotationCross);
    EXPECT_TRUE(placed.text.isEmpty());
    // Placed where the cross pointer's lines cross, 15 right of and 15 below its hot spot.
    const QPointF value = first->graphView->pixelToValue(pointer + QPoint(15, 15));
    EXPECT_DOUBLE_EQ(placed.x, value.x());
    EXPECT_DOUBLE_EQ(placed.y, value.y());

    click(*second, middle(*second));
    EXPECT_EQ(host.annotations().lastAnnotation(), 6);
    EXPECT_EQ(table(*second)[6].type, kAnnotationCross);

    pressDelete = false;
    second->eraseAnnotationsButton->click();
    ASSERT_EQ(listed.size(), 1);
    EXPECT_TRUE(listed[0].startsWith("1|")) << listed[0].toStdString();
    EXPECT_TRUE(listed[0].endsWith("|X"));
    EXPECT_TRUE(listed[0].contains(formatDateTime(table(*second)[6].x, host.fixedLocale)));

    // A click whose crossing falls just below the plotting area places nothing.
    const QRect area = first->graphView->plottingArea();
    click(*first, QPoint(area.center().x(), area.top() + area.height() - 15 + 1));
    EXPECT_EQ(host.annotations().lastAnnotation(), 6);
    click(*first, QPoint(area.center().x(), area.top() + area.height() - 15));
    EXPECT_EQ(host.annotations().lastAnnotation(), 7);
}

TEST_F(AnnotationWindows, NotesTakeTheTypedTextAndEmptyOnesAreNotListed) {
    first->textModeButton->click();
    typed = "peak";
    click(*first, middle(*first));
    ASSERT_GT(table(*first).size(), 5u);
    EXPECT_EQ(table(*first)[5].type, kAnnotationTextOnly);
    EXPECT_EQ(table(*first)[5].text, "peak");
    EXPECT_DOUBLE_EQ(table(*first)[5].x,
                     first->graphView->pixelToValue(middle(*first) + QPoint(1, 7)).x());
    typed = "";
    click(*first, middle(*first) + QPoint(40, 0));
    EXPECT_EQ(host.annotations().lastAnnotation(), 6);
    typed = QString();  // Cancel adds nothing
    click(*first, middle(*first) + QPoint(80, 0));
    EXPECT_EQ(host.annotations().lastAnnotation(), 6);
    // Normal mode places nothing.
    first->normalModeButton->click();
    click(*first, middle(*first));
    EXPECT_EQ(host.annotations().lastAnnotation(), 6);

    pressDelete = false;
    first->eraseAnnotationsButton->click();
    ASSERT_EQ(listed.size(), 1);
    EXPECT_TRUE(listed[0].endsWith("|peak"));
}

TEST_F(AnnotationWindows, DeleteErasesExactlyTheSelectedRows) {
    second->eraseAnnotationsButton->click();
    EXPECT_FALSE(deleteEnabled);  // nothing listed yet
    first->crossModeButton->click();
    const QPoint m = middle(*first);
    for (int i = 0; i < 5; ++i) click(*first, m + QPoint(30 * i - 60, 0));
    ASSERT_EQ(host.annotations().lastAnnotation(), 9);  // indexes 5 ... 9
    rowsToSelect = {1, 2, 3};  // rows 2 to 4
    first->eraseAnnotationsButton->click();
    EXPECT_TRUE(deleteEnabled);
    EXPECT_EQ(listed.size(), 5);
    const std::vector<GraphAnnotation>& t = table(*first);
    EXPECT_EQ(t[5].type, kAnnotationCross);
    for (int i : {6, 7, 8}) EXPECT_EQ(t[size_t(i)].type, kAnnotationTextOnly) << i;
    EXPECT_EQ(t[9].type, kAnnotationCross);
    rowsToSelect = {};
    pressDelete = false;
    first->eraseAnnotationsButton->click();
    ASSERT_EQ(listed.size(), 2);
    EXPECT_TRUE(listed[0].startsWith("1|") && listed[0].endsWith("|X"));
    EXPECT_TRUE(listed[1].startsWith("2|") && listed[1].endsWith("|X"));
}

TEST_F(AnnotationWindows, AClickedDataPointGetsTheMarkerWhichIsNeverListed) {
    first->graphView->editProperties([](GraphState& s) { s.allowDataHotSpots = true; });
    first->redraw();
    const QPoint point = first->graphView->valueToPixel(first->graphView->xValue(0, 40),
                                                        first->graphView->yValue(0, 40));
    click(*first, point);
    ASSERT_GT(table(*first).size(), 2u);
    const GraphAnnotation marker = table(*first)[2];
    EXPECT_EQ(marker.type, kAnnotationCross);
    EXPECT_EQ(marker.x, first->graphView->xValue(0, 40));
    EXPECT_EQ(marker.text, QString("08:00:40") + QChar(13) + "60.0 dB");
    pressDelete = false;
    first->eraseAnnotationsButton->click();
    EXPECT_TRUE(listed.isEmpty());
}

TEST_F(AnnotationWindows, ADoubleClickOnAnAnnotationErasesIt) {
    first->crossModeButton->click();
    const QPoint pointer = middle(*first);
    click(*first, pointer);
    first->normalModeButton->click();
    const QPoint cross = pointer + QPoint(15, 15);
    EXPECT_EQ(first->graphView->hotSpotAt(cross).kind, HotSpotKind::GraphAnnotation);
    QWidget* plot = first->graphView->plot();
    test::send(plot, QEvent::MouseMove, cross - plot->pos(), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(first->graphView->toolTip(), "Double click to delete.");
    click(*first, cross, true);
    EXPECT_TRUE(first->graphView->toolTip().isEmpty());
    EXPECT_EQ(table(*first)[5].type, kAnnotationTextOnly);
    EXPECT_EQ(first->graphView->hotSpotAt(cross).kind, HotSpotKind::None);
}

namespace {
struct RealTimeClear : test::RealTimeFixture {};
}  // namespace

TEST_F(RealTimeClear, RestartsTheGraphWith200PointsTheCountAndTheCounter) {
    start();
    dialog.count = "10";
    test::button(*window, "runButton")->click();
    ASSERT_TRUE(ticksUntil(10));
    ASSERT_FALSE(window->runActive());
    ASSERT_EQ(recorder().sampleCount(), 10);
    // A cross in the real-time window takes index 5.
    graph()->crossModeButton->click();
    const QRect area = pes()->plottingArea();
    QWidget* plot = pes()->plot();
    const QPoint at = area.center() - plot->pos();
    test::send(plot, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    test::send(plot, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
    ASSERT_EQ(window->annotations().lastAnnotation(), 5);
    test::action(*window, "realTimeGraphAction")->setChecked(false);

    ASSERT_TRUE(graph()->clearButton->isEnabled());
    prompts.confirmAnswers = {Prompts::Answer::No};  // the unsaved run may go
    graph()->clearButton->click();
    EXPECT_EQ(pes()->points(), 200);
    EXPECT_EQ(state().x[0][0], 0);
    EXPECT_EQ(state().y[0][199], kNullDataValueY);  // empty points have no level
    EXPECT_EQ(recorder().sampleCount(), 0);
    EXPECT_EQ(window->annotations().lastAnnotation(), 3);
    EXPECT_EQ(state().annotations[5].x, 0);
    EXPECT_EQ(graph()->caption(), "Real-Time Graph");
    EXPECT_TRUE(test::action(*window, "realTimeGraphAction")->isChecked());
    EXPECT_NEAR(state().manualMaxX - state().manualMinX, 30 * kOneSecond, 1e-8);
}
