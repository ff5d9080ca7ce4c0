#pragma once

#include <QApplication>
#include <QMouseEvent>
#include <QPoint>
#include <QWidget>

namespace kl516::test {

// A mouse event sent straight to a widget (no window system needed).
inline void send(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button,
                 Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(pos), QPointF(w->mapToGlobal(pos)), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

// A left-button drag from one point to another, through the middle.
inline void drag(QWidget* w, QPoint from, QPoint to) {
    send(w, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    send(w, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
    send(w, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    send(w, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

}  // namespace kl516::test
