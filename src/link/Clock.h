#pragma once

#include <QDateTime>
#include <cstdint>

namespace kl516 {

// The millisecond tick counter with its blocking wait, and the local date and time.
// The application uses SystemClock; tests use ManualClock so that waits cost no real time.
class Clock {
public:
    virtual ~Clock() = default;
    virtual int64_t tickMs() const = 0;
    // Blocks until more than ms milliseconds have passed on the tick counter. No events run.
    virtual void waitMs(int64_t ms) = 0;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock {
public:
    int64_t tickMs() const override;
    void waitMs(int64_t ms) override;
    QDateTime now() const override;
};

// A clock that only moves when told to, or when something waits on it. Its local time is a
// fixed start plus the ticks that have passed, so the date and the tick counter agree.
class ManualClock final : public Clock {
public:
    explicit ManualClock(QDateTime start = QDateTime(QDate(2024, 1, 15), QTime(10, 0, 0)))
        : start_(std::move(start)) {}

    int64_t tickMs() const override { return ticks_; }
    void waitMs(int64_t ms) override {
        ticks_ += ms + 1;
        waited_ += ms + 1;
    }
    QDateTime now() const override { return start_.addMSecs(ticks_); }

    void advance(int64_t ms) { ticks_ += ms; }
    void setNow(const QDateTime& t) { start_ = t.addMSecs(-ticks_); }
    // Total milliseconds spent in waitMs, for tests of the link's waits.
    int64_t waitedMs() const { return waited_; }

private:
    QDateTime start_;
    int64_t ticks_ = 0;
    int64_t waited_ = 0;
};

}  // namespace kl516
