#pragma once

#include <QColor>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QWidget>
#include <functional>

namespace kl516 {

// Horizontal: values grow to the right; vertical: values grow upwards.
enum SliderOrientation { SliderHorizontal, SliderVertical };

// A slider with two thumbs over one track. Each thumb holds a value in minimum .. maximum;
// the thumbs are independent and may pass each other. A value change, by the program or by a
// drag, fires the thumb's change signal.
class RangeSlider : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int trackWidth READ trackWidth WRITE setTrackWidth)
    Q_PROPERTY(QColor trackColor READ trackColor WRITE setTrackColor)
    Q_PROPERTY(int thumbHeight READ thumbHeight WRITE setThumbHeight)
    Q_PROPERTY(int thumbWidth READ thumbWidth WRITE setThumbWidth)
    Q_PROPERTY(QColor thumbColor READ thumbColor WRITE setThumbColor)
    Q_PROPERTY(kl516::SliderOrientation orientation READ orientation WRITE setOrientation)
    Q_PROPERTY(int minimum READ minimum WRITE setMinimum)
    Q_PROPERTY(int maximum READ maximum WRITE setMaximum)
    Q_PROPERTY(int firstValue READ firstValue WRITE setFirstValue NOTIFY firstValueChanged)
    Q_PROPERTY(int secondValue READ secondValue WRITE setSecondValue NOTIFY secondValueChanged)

  public:
    explicit RangeSlider(QWidget* parent = nullptr);

    int trackWidth() const { return trackWidth_; }
    QColor trackColor() const { return trackColor_; }
    int thumbHeight() const { return thumbHeight_; }
    // Stored only: the thumbs are drawn thumbHeight along the track and the full control across.
    int thumbWidth() const { return thumbWidth_; }
    QColor thumbColor() const { return thumbColor_; }
    SliderOrientation orientation() const { return orientation_; }
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    int firstValue() const { return firstValue_; }
    int secondValue() const { return secondValue_; }

    void setTrackWidth(int width);
    void setTrackColor(const QColor& color);
    void setThumbHeight(int height);
    void setThumbWidth(int width);
    void setThumbColor(const QColor& color);
    void setOrientation(SliderOrientation orientation);
    // Values below a new minimum (above a new maximum) move to it and fire their signals.
    void setMinimum(int minimum);
    void setMaximum(int maximum);
    // Clamped to minimum .. maximum; an unchanged value fires nothing.
    void setFirstValue(int value);
    void setSecondValue(int value);

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
    void firstValueChanged();
    void secondValueChanged();

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
    SliderOrientation orientation_ = SliderHorizontal;
    int minimum_ = 0;
    int maximum_ = 100;
    int firstValue_ = 0;
    int secondValue_ = 100;

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
