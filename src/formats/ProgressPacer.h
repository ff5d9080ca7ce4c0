#pragma once

#include <QElapsedTimer>

#include "formats/FileProgress.h"

namespace kl516 {

// Passes line counts to a FileProgress at most every 30 ms. The windows' progress makes the
// user interface process its events on every report, which per line would cost more than the
// file work itself; 30 ms keeps the counter moving and Cancel responsive.
class ProgressPacer {
  public:
    static constexpr qint64 kIntervalMs = 30;

    explicit ProgressPacer(FileProgress* progress) : progress_(progress) {
        if (progress_) timer_.start();
    }

    void lines(qint64 count) {
        if (progress_ && timer_.elapsed() >= kIntervalMs) {
            progress_->lines(count);
            timer_.restart();
        }
    }
    // The last count, always reported.
    void finish(qint64 count) {
        if (progress_) progress_->lines(count);
    }
    bool cancelled() { return progress_ && progress_->cancelled(); }

  private:
    FileProgress* progress_;
    QElapsedTimer timer_;
};

}  // namespace kl516
