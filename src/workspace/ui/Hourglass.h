#pragma once

#include <QApplication>

namespace kl516 {

// The hourglass pointer for the lifetime of the object, back to normal on every path out.
class Hourglass {
  public:
    Hourglass() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~Hourglass() { QApplication::restoreOverrideCursor(); }
    Hourglass(const Hourglass&) = delete;
    Hourglass& operator=(const Hourglass&) = delete;
};

}  // namespace kl516
