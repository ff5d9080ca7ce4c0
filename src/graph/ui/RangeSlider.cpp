#include "graph/ui/RangeSlider.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdint>

namespace kl516 {

RangeSlider::RangeSlider(QWidget* parent) : QWidget(parent) {
    trackColor_ = palette().color(QPalette::Button);
    thumbColor_ = palette().color(QPalette::Button);
    // Every paint covers its whole region from the background buffer.
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(200, 50);
}

void RangeSlider::setTrackWidth(int width) {
    if (width == trackWidth_) return;
    trackWidth_ = width;
    appearanceChanged();
}

void RangeSlider::setTrackColor(const QColor& color) {
    if (color == trackColor_) return;
    trackColor_ = color;
    appearanceChanged();
}

void RangeSlider::setThumbHeight(int height) {
    if (height == thumbHeight_) return;
    thumbHeight_ = height;
    appearanceChanged();
}

void RangeSlider::setThumbWidth(int width) {
    if (width == thumbWidth_) return;
    thumbWidth_ = width;
    appearanceChanged();
}

void RangeSlider::setThumbColor(const QColor& color) {
    if (color == thumbColor_) return;
    thumbColor_ = color;
    appearanceChanged();
}

void RangeSlider::setOrientation(SliderOrientation orientation) {
    if (orientation == orientation_) return;
    orientation_ = orientation;
    appearanceChanged();
}

void RangeSlider::setMinimum(int minimum) {
    if (minimum == minimum_) return;
    minimum_ = minimum;
    if (firstValue_ < minimum) setFirstValue(minimum);
    if (secondValue_ < minimum) setSecondValue(minimum);
    update();
}

void RangeSlider::setMaximum(int maximum) {
    if (maximum == maximum_) return;
    maximum_ = maximum;
    if (firstValue_ > maximum) setFirstValue(maximum);
    if (secondValue_ > maximum) setSecondValue(maximum);
    update();
}

void RangeSlider::setFirstValue(int value) {
    setValue(1, value);
}
void RangeSlider::setSecondValue(int value) {
    setValue(2, value);
}

void RangeSlider::setValue(int thumb, int value) {
    if (value < minimum_)
        value = minimum_;
    else if (value > maximum_)
        value = maximum_;
    int& current = thumb == 1 ? firstValue_ : secondValue_;
    if (value == current) return;
    current = value;
    if (thumb == 1)
        emit firstValueChanged();
    else
        emit secondValueChanged();
    redrawThumb(thumb);
}

void RangeSlider::redrawThumb(int thumb) {
    if (!painted_) return;
    update(thumb == 1 ? drawn1_ : drawn2_);
    update(thumbRect(thumb));
}

void RangeSlider::appearanceChanged() {
    backgroundValid_ = false;
    update();
}

int RangeSlider::trackLength() const {
    return orientation_ == SliderHorizontal ? width() : height();
}

void RangeSlider::setPositionOf(PositionOf positionOf) {
    positionOf_ = std::move(positionOf);
    update();
}

int RangeSlider::offsetOf(int value) const {
    const int64_t span = int64_t(trackLength()) - thumbHeight_;
    if (positionOf_) {
        const double position = positionOf_(value);
        if (std::isfinite(position)) {
            // The thumb's tip (its middle) on the position, and the whole thumb on the control.
            const double offset = std::round(position) - thumbHeight_ / 2;
            return int(std::clamp<double>(offset, 0, double(std::max<int64_t>(span, 0))));
        }
    }
    const int64_t range = int64_t(maximum_) - minimum_;
    // A control shorter than a thumb, or an empty range, keeps the thumbs at the start.
    if (span <= 0 || range <= 0) return 0;
    const int64_t offset = span * (int64_t(value) - minimum_) / range;
    return int(std::clamp<int64_t>(offset, 0, span));
}

QRect RangeSlider::thumbRect(int thumb) const {
    const int offset = offsetOf(thumb == 1 ? firstValue_ : secondValue_);
    if (orientation_ == SliderHorizontal) return QRect(offset, 0, thumbHeight_, height());
    return QRect(0, height() - offset - thumbHeight_, width(), thumbHeight_);
}

void RangeSlider::resizeEvent(QResizeEvent* event) {
    backgroundValid_ = false;
    QWidget::resizeEvent(event);
}

void RangeSlider::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) backgroundValid_ = false;
    QWidget::changeEvent(event);
}

void RangeSlider::renderBackground() {
    const qreal ratio = devicePixelRatioF();
    background_ = QPixmap(size() * ratio);
    background_.setDevicePixelRatio(ratio);
    background_.fill(palette().color(QPalette::Window));

    QPainter p(&background_);
    const QRect track = orientation_ == SliderHorizontal
                            ? QRect(0, (height() - trackWidth_) / 2, width(), trackWidth_)
                            : QRect((width() - trackWidth_) / 2, 0, trackWidth_, height());
    if (track.isValid()) {
        // A sunken groove: filled, outlined light, then shadowed along the top and left edges.
        p.fillRect(track, trackColor_);
        p.setPen(palette().color(QPalette::Light));
        p.drawRect(track.adjusted(0, 0, -1, -1));
        p.setPen(palette().color(QPalette::Dark));
        p.drawLine(track.left(), track.top(), track.right(), track.top());
        p.drawLine(track.left(), track.top(), track.left(), track.bottom());
    }
    backgroundValid_ = true;
}

void RangeSlider::drawThumb(QPainter& p, const QRect& r) const {
    if (r.isEmpty()) return;
    p.fillRect(r, thumbColor_);
    if (orientation_ == SliderHorizontal) {
        // A marker pointing down across the track: lit on its top and left, dark on its right.
        const int l = r.left(), right = l + thumbHeight_, h = height();
        const int bend = h - h / 3;
        const QPoint tip((l + right) / 2, h - 1);
        p.setPen(palette().color(QPalette::Button));
        p.drawRect(r.adjusted(0, 0, -1, -1));
        p.setPen(Qt::white);
        p.drawLine(right - 1, 0, l, 0);
        p.drawLine(l, 0, l, bend);
        p.drawLine(QPoint(l, bend), tip);
        p.setPen(Qt::black);
        p.drawLine(right - 1, 0, right - 1, bend);
        p.drawLine(QPoint(right - 1, bend), tip);
    } else {
        // A raised block.
        p.setPen(palette().color(QPalette::Light));
        p.drawRect(r.adjusted(0, 0, -1, -1));
        p.setPen(palette().color(QPalette::Dark));
        p.drawLine(r.left() + 1, r.top() + 1, r.left() + 1, r.bottom() - 1);
        p.drawLine(r.left() + 1, r.top() + 1, r.right() - 1, r.top() + 1);
        p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
        p.drawLine(r.right(), r.top(), r.right(), r.bottom());
    }
}

void RangeSlider::paintEvent(QPaintEvent*) {
    if (size().isEmpty()) return;  // nothing to paint on
    if (!backgroundValid_ || background_.size() != size() * devicePixelRatioF()) renderBackground();
    QPainter p(this);  // clipped to the region being repainted
    p.drawPixmap(0, 0, background_);
    drawn1_ = thumbRect(1);
    drawn2_ = thumbRect(2);
    drawThumb(p, drawn1_);
    drawThumb(p, drawn2_);  // thumb 2 covers thumb 1 where they overlap
    painted_ = true;
}

void RangeSlider::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        if (thumbRect(1).contains(pos)) {
            dragging1_ = true;
            valueAtPress_ = firstValue_;
        } else if (thumbRect(2).contains(pos)) {
            dragging2_ = true;
            valueAtPress_ = secondValue_;
        }
        offsetAtPress_ = offsetOf(valueAtPress_);
        if (dragging1_ || dragging2_) {
            pressPos_ = pos;
            event->accept();
            return;
        }
    }
    QWidget::mousePressEvent(event);
}

void RangeSlider::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging1_ && !dragging2_) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const QPoint pos = event->position().toPoint();
    const int64_t range = int64_t(maximum_) - minimum_;
    int64_t moved, span;
    if (orientation_ == SliderHorizontal) {
        moved = pos.x() - pressPos_.x();
        span = int64_t(width()) - thumbHeight_;
    } else {
        moved = pressPos_.y() - pos.y();  // upwards is larger
        span = int64_t(height()) - thumbHeight_;
    }
    if (span <= 0) return;
    int64_t value;
    if (positionOf_ && std::isfinite(positionOf_(valueAtPress_))) {
        // The thumb follows the pointer from where it was drawn at the press.
        value = moved == 0
                    ? valueAtPress_
                    : valueNearest(double(offsetAtPress_) + thumbHeight_ / 2 + double(moved));
    } else {
        // Integer division truncates toward zero, as the thumb positions do.
        value = std::clamp<int64_t>(valueAtPress_ + range * moved / span, INT32_MIN, INT32_MAX);
    }
    if (dragging1_)
        setFirstValue(int(value));
    else
        setSecondValue(int(value));
}

int RangeSlider::valueNearest(double position) const {
    // The first value at or past the position, by bisection over the rising positions.
    int lo = minimum_, hi = maximum_;
    while (lo < hi) {
        const int mid = int(lo + (int64_t(hi) - lo) / 2);
        if (positionOf_(mid) < position)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo > minimum_ &&
        std::abs(positionOf_(lo - 1) - position) <= std::abs(positionOf_(lo) - position))
        return lo - 1;
    return lo;
}

void RangeSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        dragging1_ = false;
        dragging2_ = false;
    }
    QWidget::mouseReleaseEvent(event);
}

}  // namespace kl516
