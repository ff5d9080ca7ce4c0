#pragma once

#include <QColor>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QWidget>
#include <functional>

namespace kl516 {

// Horizontal: values grow to the right; vertical: values grow upwards.
enum TSliderOrientation { slHoriz, slVertical };

// A slider with two thumbs over one track. Each thumb holds a value in Minimum .. Maximum;
// the thumbs are independent and may pass each other. A value change, by the program or by a
// drag, fires the thumb's change signal.
class Tslider2 : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int TrackWidth READ TrackWidth WRITE setTrackWidth)
    Q_PROPERTY(QColor TrackColor READ TrackColor WRITE setTrackColor)
    Q_PROPERTY(int ThumbHeight READ ThumbHeight WRITE setThumbHeight)
    Q_PROPERTY(int ThumbWidth READ ThumbWidth WRITE setThumbWidth)
    Q_PROPERTY(QColor ThumbColor READ ThumbColor WRITE setThumbColor)
    Q_PROPERTY(kl516::TSliderOrientation Orientation READ Orientation WRITE setOrientation)
    Q_PROPERTY(int Minimum READ Minimum WRITE setMinimum)
    Q_PROPERTY(int Maximum READ Maximum WRITE setMaximum)
    Q_PROPERTY(int Value1 READ Value1 WRITE setValue1 NOTIFY OnValueChange1)
    Q_PROPERTY(int Value2 READ Value2 WRITE setValue2 NOTIFY OnValueChange2)

public:
    explicit Tslider2(QWidget* parent = nullptr);

    int TrackWidth() const { return trackWidth_; }
    QColor TrackColor() const { return trackColor_; }
    int ThumbHeight() const { return thumbHeight_; }
    // Stored only: the thumbs are drawn ThumbHeight along the track and the full control across.
    int ThumbWidth() const { return thumbWidth_; }
    QColor ThumbColor() const { return thumbColor_; }
    TSliderOrientation Orientation() const { return orientation_; }
    int Minimum() const { return minimum_; }
    int Maximum() const { return maximum_; }
    int Value1() const { return value1_; }
    int Value2() const { return value2_; }

    void setTrackWidth(int width);
    void setTrackColor(const QColor& color);
    void setThumbHeight(int height);
    void setThumbWidth(int width);
    void setThumbColor(const QColor& color);
    void setOrientation(TSliderOrientation orientation);
    // Values below a new Minimum (above a new Maximum) move to it and fire their signals.
    void setMinimum(int minimum);
    void setMaximum(int maximum);
    // Clamped to Minimum .. Maximum; an unchanged value fires nothing.
    void setValue1(int value);
    void setValue2(int value);

    // The rectangle of thumb 1 or 2 at its current value.
    QRect thumbRect(int thumb) const;

    // Where a value's thumb points (the tip of a horizontal thumb, the middle of a vertical one),
    // in pixels along the track from its start (the left, or the bottom when vertical), in place
    // of the even spread over the control: for thumbs that mark points on a graph axis that is
    // not laid out by the value. NaN for a value it does not place, which then takes its even
    // place. Positions must not decrease as the value grows. A thumb whose position lies off
    // the control stays at the control's end. A drag then moves the thumb with the pointer to
    // the value whose position is nearest. An empty function restores the even spread. After
    // the positions change, update() the control.
    using PositionOf = std::function<double(int value)>;
    void setPositionOf(PositionOf positionOf);

    QSize sizeHint() const override { return {200, 50}; }

signals:
    void OnValueChange1();
    void OnValueChange2();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int trackLength() const;
    // Distance of a value's thumb from the track's start, in pixels.
    int offsetOf(int value) const;
    void setValue(int thumb, int value);
    // The value whose position (setPositionOf) is nearest `position`.
    int valueNearest(double position) const;
    // Repaints where the thumb was last drawn and where it is now; nothing before the first paint.
    void redrawThumb(int thumb);
    void appearanceChanged();
    void renderBackground();
    void drawThumb(QPainter& painter, const QRect& r) const;

    int trackWidth_ = 5;
    QColor trackColor_;
    int thumbHeight_ = 20;
    int thumbWidth_ = 8;
    QColor thumbColor_;
    TSliderOrientation orientation_ = slHoriz;
    int minimum_ = 0;
    int maximum_ = 100;
    int value1_ = 0;
    int value2_ = 100;

    bool dragging1_ = false;
    bool dragging2_ = false;
    QPoint pressPos_;
    int valueAtPress_ = 0;
    int offsetAtPress_ = 0;
    PositionOf positionOf_;

    bool painted_ = false;
    QRect drawn1_, drawn2_;  // where each thumb was last painted
    // The control without its thumbs: what lies under a thumb once it moves away.
    QPixmap background_;
    bool backgroundValid_ = false;
};

}  // namespace kl516
