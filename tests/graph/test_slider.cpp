#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPaintEvent>
#include <QSignalSpy>
#include <QTest>

#include "graph/ui/RangeSlider.h"

using namespace kl516;

namespace {

// The slider of the graph window: 622 × 23, thumbs 10 pixels along the track.
class GraphSlider : public ::testing::Test {
protected:
    void SetUp() override {
        slider.setGeometry(0, 0, 622, 23);
        slider.setThumbHeight(10);
        slider.setMaximum(99);
    }
    RangeSlider slider;
};

// Collects the regions the slider repaints.
class PaintRecorder : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
    QRegion painted;
};

}  // namespace

TEST(RangeSlider, NewControl) {
    RangeSlider s;
    EXPECT_EQ(s.size(), QSize(200, 50));
    EXPECT_EQ(s.trackWidth(), 5);
    EXPECT_EQ(s.thumbHeight(), 20);
    EXPECT_EQ(s.thumbWidth(), 8);
    EXPECT_EQ(s.trackColor(), s.palette().color(QPalette::Button));
    EXPECT_EQ(s.thumbColor(), s.palette().color(QPalette::Button));
    EXPECT_EQ(s.orientation(), SliderHorizontal);
    EXPECT_EQ(s.minimum(), 0);
    EXPECT_EQ(s.maximum(), 100);
    EXPECT_EQ(s.firstValue(), 0);
    EXPECT_EQ(s.secondValue(), 100);
    EXPECT_EQ(s.thumbRect(2), QRect(180, 0, 20, 50));
}

TEST(RangeSlider, ValuesAreClampedAndFireOnlyWhenChanged) {
    RangeSlider s;
    QSignalSpy change1(&s, &RangeSlider::firstValueChanged);
    QSignalSpy change2(&s, &RangeSlider::secondValueChanged);
    s.setFirstValue(-5);  // clamps to 0, the current value
    EXPECT_EQ(change1.count(), 0);
    s.setFirstValue(150);
    EXPECT_EQ(s.firstValue(), 100);
    EXPECT_EQ(change1.count(), 1);
    s.setFirstValue(100);
    EXPECT_EQ(change1.count(), 1);
    s.setSecondValue(-1);
    EXPECT_EQ(s.secondValue(), 0);
    EXPECT_EQ(change2.count(), 1);
    EXPECT_EQ(change1.count(), 1);  // each thumb has its own signal
}

TEST(RangeSlider, RangeChangesMoveTheValuesOutsideIt) {
    RangeSlider s;
    s.setFirstValue(30);
    QSignalSpy change1(&s, &RangeSlider::firstValueChanged);
    QSignalSpy change2(&s, &RangeSlider::secondValueChanged);
    s.setMaximum(50);
    EXPECT_EQ(s.secondValue(), 50);
    EXPECT_EQ(change2.count(), 1);
    EXPECT_EQ(s.firstValue(), 30);
    EXPECT_EQ(change1.count(), 0);

    s.setMinimum(40);
    EXPECT_EQ(s.firstValue(), 40);
    EXPECT_EQ(change1.count(), 1);
    EXPECT_EQ(s.secondValue(), 50);
    EXPECT_EQ(change2.count(), 1);

    s.setMinimum(40);  // unchanged
    s.setMaximum(50);
    EXPECT_EQ(change1.count() + change2.count(), 2);
}

TEST_F(GraphSlider, ThumbGeometry) {
    slider.setFirstValue(33);
    EXPECT_EQ(slider.thumbRect(1), QRect(204, 0, 10, 23));  // 612 × 33 / 99
    EXPECT_EQ(slider.thumbRect(2), QRect(612, 0, 10, 23));

    slider.setOrientation(SliderVertical);
    slider.resize(23, 622);
    EXPECT_EQ(slider.thumbRect(1), QRect(0, 622 - 204 - 10, 23, 10));  // larger values higher
    EXPECT_EQ(slider.thumbRect(2), QRect(0, 0, 23, 10));

    // An empty range and a control shorter than a thumb keep the thumbs at the start.
    slider.setMaximum(0);
    EXPECT_EQ(slider.thumbRect(1), QRect(0, 612, 23, 10));
    slider.setMaximum(99);
    slider.setFirstValue(99);
    slider.resize(23, 5);
    EXPECT_EQ(slider.thumbRect(1), QRect(0, -5, 23, 10));
}

TEST_F(GraphSlider, DraggingTheFirstThumb) {
    slider.setFirstValue(33);
    slider.setSecondValue(66);
    QSignalSpy change1(&slider, &RangeSlider::firstValueChanged);
    QSignalSpy change2(&slider, &RangeSlider::secondValueChanged);

    QTest::mousePress(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(208, 11));
    // 99 × 100 / 612 = 16.2: truncated to 16
    QTest::mouseMove(&slider, QPoint(308, 11));
    EXPECT_EQ(slider.firstValue(), 49);
    EXPECT_EQ(change1.count(), 1);
    // Past thumb 2 is allowed; far past the end clamps.
    QTest::mouseMove(&slider, QPoint(2000, 11));
    EXPECT_EQ(slider.firstValue(), 99);
    // Back left of the press point: -99 × 7 / 612 = -1.13, truncated toward zero to -1.
    QTest::mouseMove(&slider, QPoint(201, 11));
    EXPECT_EQ(slider.firstValue(), 32);
    QTest::mouseRelease(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(201, 11));
    EXPECT_EQ(change1.count(), 3);
    EXPECT_EQ(change2.count(), 0);

    // After the release moves change nothing.
    QMouseEvent move(QEvent::MouseMove, QPointF(400, 11), QPointF(400, 11), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&slider, &move);
    EXPECT_EQ(slider.firstValue(), 32);
}

TEST_F(GraphSlider, PressesThatDragNothing) {
    slider.setFirstValue(33);
    slider.setSecondValue(66);
    QSignalSpy change1(&slider, &RangeSlider::firstValueChanged);
    QSignalSpy change2(&slider, &RangeSlider::secondValueChanged);

    // Between the thumbs, and the right button on a thumb.
    QTest::mousePress(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(300, 11));
    QTest::mouseMove(&slider, QPoint(350, 11));
    QTest::mouseRelease(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(350, 11));
    QTest::mousePress(&slider, Qt::RightButton, Qt::NoModifier, QPoint(208, 11));
    QTest::mouseMove(&slider, QPoint(300, 11));
    QTest::mouseRelease(&slider, Qt::RightButton, Qt::NoModifier, QPoint(300, 11));
    EXPECT_EQ(slider.firstValue(), 33);
    EXPECT_EQ(slider.secondValue(), 66);
    EXPECT_EQ(change1.count() + change2.count(), 0);
}

TEST_F(GraphSlider, FirstThumbWinsWhereTheThumbsOverlap) {
    slider.setFirstValue(50);
    slider.setSecondValue(50);
    QSignalSpy change2(&slider, &RangeSlider::secondValueChanged);
    const QPoint onBoth = slider.thumbRect(2).center();
    QTest::mousePress(&slider, Qt::LeftButton, Qt::NoModifier, onBoth);
    QTest::mouseMove(&slider, onBoth + QPoint(62, 0));  // 99 × 62 / 612 = 10.03
    QTest::mouseRelease(&slider, Qt::LeftButton, Qt::NoModifier, onBoth + QPoint(62, 0));
    EXPECT_EQ(slider.firstValue(), 60);
    EXPECT_EQ(slider.secondValue(), 50);
    EXPECT_EQ(change2.count(), 0);
}

TEST_F(GraphSlider, VerticalDragGrowsUpwards) {
    slider.setOrientation(SliderVertical);
    slider.resize(23, 622);
    slider.setSecondValue(33);
    const QPoint press = slider.thumbRect(2).center();
    QTest::mousePress(&slider, Qt::LeftButton, Qt::NoModifier, press);
    QTest::mouseMove(&slider, press - QPoint(0, 100));
    QTest::mouseRelease(&slider, Qt::LeftButton, Qt::NoModifier, press - QPoint(0, 100));
    EXPECT_EQ(slider.secondValue(), 49);
}

TEST_F(GraphSlider, PaintsTrackAndThumbsAndRepaintsOnlyTheMovedThumb) {
    slider.setTrackColor(Qt::yellow);
    slider.setThumbColor(Qt::green);
    slider.setFirstValue(33);
    slider.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&slider));

    const QImage image = slider.grab().toImage();
    EXPECT_EQ(QColor(image.pixel(100, 11)), QColor(Qt::yellow));  // inside the track
    EXPECT_EQ(QColor(image.pixel(100, 2)), slider.palette().color(QPalette::Window));
    EXPECT_EQ(QColor(image.pixel(208, 5)), QColor(Qt::green));  // inside thumb 1
    EXPECT_EQ(QColor(image.pixel(204, 0)), QColor(Qt::white));  // its lit edge
    EXPECT_EQ(QColor(image.pixel(213, 5)), QColor(Qt::black));  // its dark edge
    QTest::qWait(50);  // let the first paint of the window happen

    PaintRecorder recorder;
    slider.installEventFilter(&recorder);
    const QRect before = slider.thumbRect(1);
    slider.setFirstValue(66);
    const QRect after = slider.thumbRect(1);
    QTRY_VERIFY(!recorder.painted.isEmpty());
    EXPECT_TRUE(recorder.painted.subtracted(QRegion(before) + QRegion(after)).isEmpty())
        << "repainted more than the old and new thumb rectangles";

    const QImage moved = slider.grab().toImage();
    EXPECT_EQ(QColor(moved.pixel(208, 5)), slider.palette().color(QPalette::Window));
    EXPECT_EQ(QColor(moved.pixel(208, 11)), QColor(Qt::yellow));  // the track shows again
    EXPECT_EQ(QColor(moved.pixel(after.left() + 4, 5)), QColor(Qt::green));
}
