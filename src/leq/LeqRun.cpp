#include "leq/LeqRun.h"

#include <algorithm>
#include <cmath>

namespace kl516 {

QString leqTimeLeftText(int seconds) {
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg((seconds / 60) % 60)
        .arg(seconds % 60);
}

LeqReading leqReadingFromFrame(const ResponseFrame& f, const QDateTime& computerNow) {
    LeqReading r;
    r.tenths = static_cast<uint16_t>(f[5] << 8 | f[6]);
    r.secondByte = f[15];
    const int second = fromBcd(f[15]), minute = fromBcd(f[16]), hour = fromBcd(f[17]);
    const int day = fromBcd(f[18]), month = fromBcd(f[19]), year = fromBcd(f[21]);
    const QDate date(2000 + year, month, day);
    const QTime time(hour, minute, second);
    // A byte that is no BCD gives -1, which no date or time accepts.
    if (year >= 0 && date.isValid() && time.isValid()) {
        r.stamp = toSerialDateTime(date, time);
    } else {
        r.meterClock = false;
        const QDateTime now = computerNow;
        r.stamp = toSerialDateTime(
            now.date(), QTime(now.time().hour(), now.time().minute(), now.time().second()));
    }
    return r;
}

QStringList LeqRow::cells(const QLocale& locale) const {
    return {formatShortDate(stamp, locale), formatLongTime(stamp, locale),
            hasLevel ? formatLevel(spl, locale) : QString(),
            hasLevel ? formatLevel(leq, locale) : QString()};
}

void LeqRun::start(int seconds) {
    *this = LeqRun{};
    secondsLeft_ = seconds;
    running_ = true;
}

LeqRun::Outcome LeqRun::fail() {
    if (!running_) return Outcome::Idle;
    if (++failures_ > kFailureLimit) {
        running_ = false;
        return Outcome::FailedOut;
    }
    return Outcome::Failed;
}

LeqRun::Outcome LeqRun::add(const LeqReading& reading) {
    if (!running_) return Outcome::Idle;
    if (!started_) {
        // The first reading only starts the run.
        started_ = true;
        secondByte_ = reading.secondByte;
        rowStamp_ = reading.stamp;
        secondStartTick_ = reading.tickMs;
        sampleCount_ = 0;
        sampleSum_ = 0;
        leqValue_ = reading.level();
        return Outcome::Counted;
    }
    if (reading.secondByte == secondByte_) {
        if (reading.tickMs - secondStartTick_ >= kClockStopMs) {
            running_ = false;
            return Outcome::ClockStopped;
        }
        ++sampleCount_;
        sampleSum_ += reading.tenths;
        return Outcome::Counted;
    }
    // The reading that reveals a new second closes the previous one and is not summed.
    ++secondCount_;
    LeqRow row;
    row.number = row_;
    row.stamp = rowStamp_;
    row.samples = sampleCount_;
    if (sampleCount_ > 0) {
        row.hasLevel = true;
        row.spl = static_cast<float>(sampleSum_) / static_cast<float>(sampleCount_ * 10);
        lastRate_ = sampleCount_;
        leqValue_ = leqStep(secondCount_, leqValue_, row.spl).value_or(leqValue_);
        row.leq = leqValue_;
    }
    ++row_;
    sampleCount_ = 0;
    sampleSum_ = 0;
    lastRow_ = row;
    --secondsLeft_;
    secondByte_ = reading.secondByte;
    rowStamp_ = reading.stamp;
    secondStartTick_ = reading.tickMs;
    if (secondsLeft_ < 1) {
        running_ = false;
        return Outcome::Ended;
    }
    return Outcome::RowClosed;
}

LeqSummary leqSummary(const std::vector<LeqRow>& rows, float leq, int seconds) {
    LeqSummary s;
    s.seconds = seconds;
    s.leq = leq;
    std::vector<double> levels;
    levels.reserve(rows.size());
    for (const LeqRow& r : rows)
        if (r.hasLevel) levels.push_back(r.spl);
    s.countedSeconds = int(levels.size());
    if (levels.empty()) return s;
    const auto [lowest, highest] = std::minmax_element(levels.begin(), levels.end());
    s.lmin = *lowest;
    s.lmax = *highest;
    s.l10 = exceededLevel(levels, 10);
    s.l50 = exceededLevel(levels, 50);
    s.l90 = exceededLevel(levels, 90);
    s.sel = soundExposureLevel(double(leq), seconds);
    return s;
}

void RunningLeqSummary::Exceeded::add(float level, int count) {
    if (lower.empty() || level <= lower.top())
        lower.push(level);
    else
        upper.push(level);
    // The nearest rank of exceededLevel, computed the same way so both give the same level.
    const double rank = std::ceil((100 - percent) / 100.0 * double(count));
    const size_t k = size_t(std::clamp<double>(rank, 1, double(count)));
    while (lower.size() > k) {
        upper.push(lower.top());
        lower.pop();
    }
    while (lower.size() < k) {
        lower.push(upper.top());
        upper.pop();
    }
}

void RunningLeqSummary::add(const LeqRow& row) {
    if (!row.hasLevel) return;
    const float level = row.spl;
    lowest_ = count_ == 0 ? level : std::min(lowest_, level);
    highest_ = count_ == 0 ? level : std::max(highest_, level);
    ++count_;
    for (Exceeded* e : {&l10_, &l50_, &l90_}) e->add(level, count_);
}

LeqSummary RunningLeqSummary::summary(float leq, int seconds) const {
    LeqSummary s;
    s.seconds = seconds;
    s.leq = leq;
    s.countedSeconds = count_;
    if (count_ == 0) return s;
    s.lmin = lowest_;
    s.lmax = highest_;
    s.l10 = l10_.lower.top();
    s.l50 = l50_.lower.top();
    s.l90 = l90_.lower.top();
    s.sel = soundExposureLevel(double(leq), seconds);
    return s;
}

}  // namespace kl516
