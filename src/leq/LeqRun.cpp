#include "leq/LeqRun.h"

#include <algorithm>
#include <cmath>

#include "levels/LevelFigures.h"

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
            hasLevel ? levelText(spl, locale) : QString(),
            hasLevel ? levelText(leq, locale) : QString()};
}

void LeqRun::start(int seconds) {
    *this = LeqRun{};
    secondsLeft_ = seconds;
    running_ = true;
}

LeqRun::Outcome LeqRun::fail() {
    if (!running_) return Outcome::Idle;
    closed_.clear();
    if (++failures_ > kFailureLimit) {
        running_ = false;
        return Outcome::FailedOut;
    }
    return Outcome::Failed;
}

void LeqRun::beginSecond(const LeqReading& reading) {
    secondByte_ = reading.secondByte;
    rowStamp_ = reading.stamp;
    rowMeterClock_ = reading.meterClock;
    secondStartTick_ = reading.tickMs;
    sampleCount_ = 0;
    second_.clear();
    count(reading);
}

void LeqRun::count(const LeqReading& reading) {
    second_.add(double(reading.tenths) / 10);
    ++sampleCount_;
    lastTick_ = reading.tickMs;
}

void LeqRun::closeSecond() {
    ++secondCount_;
    LeqRow row;
    row.number = row_++;
    row.stamp = rowStamp_;
    row.samples = sampleCount_;
    if (sampleCount_ > 0) {
        row.hasLevel = true;
        row.spl = float(second_.level());
        lastRate_ = sampleCount_;
        // The running Leq: the energy mean of the seconds with a level, in doubles, so that the
        // table's last Leq is the run's Leq as every summary gives it.
        run_.add(double(row.spl));
        ++levelSeconds_;
        leqValue_ = float(run_.level());
        row.leq = leqValue_;
    }
    closed_.push_back(row);
    --secondsLeft_;
}

void LeqRun::closeSkippedSecond() {
    rowStamp_ += kOneSecond;
    sampleCount_ = 0;
    closeSecond();
}

int LeqRun::skippedSeconds(const LeqReading& reading) const {
    // Only two readings of the meter's own clock tell how far it went; the computer's clock
    // must have seen that time pass too, so that a clock set forward during a run does not
    // fill the rest of the run with empty seconds.
    if (!rowMeterClock_ || !reading.meterClock) return 0;
    const long gap = std::lround((reading.stamp - rowStamp_) / kOneSecond);
    if (gap < 2) return 0;
    constexpr int64_t kSlackMs = 250;
    if ((reading.tickMs - lastTick_ + kSlackMs) < (gap - 1) * 1000) return 0;
    return int(std::min<long>(gap - 1, std::max(secondsLeft_, 0)));
}

LeqRun::Outcome LeqRun::add(const LeqReading& reading) {
    if (!running_) return Outcome::Idle;
    closed_.clear();
    if (!started_) {
        started_ = true;
        leqValue_ = reading.level();
        beginSecond(reading);
        return Outcome::Counted;
    }
    if (reading.secondByte == secondByte_) {
        if (reading.tickMs - secondStartTick_ >= kClockStopMs) {
            running_ = false;
            return Outcome::ClockStopped;
        }
        count(reading);
        return Outcome::Counted;
    }
    // A new second: the reading that reveals it is its first.
    const int skipped = skippedSeconds(reading);
    closeSecond();
    for (int i = 0; i < skipped && secondsLeft_ > 0; ++i) closeSkippedSecond();
    beginSecond(reading);
    if (secondsLeft_ < 1) {
        running_ = false;
        return Outcome::Ended;
    }
    return Outcome::RowClosed;
}

LeqSummary leqSummary(const std::vector<LeqRow>& rows) {
    LeqSummary s;
    s.seconds = int(rows.size());
    // Each row is one second of the run, its number its place in time.
    std::vector<double> times;
    std::vector<float> levels;
    times.reserve(rows.size());
    levels.reserve(rows.size());
    for (const LeqRow& r : rows) {
        times.push_back(double(r.number));
        levels.push_back(r.hasLevel ? r.spl : kNullLevel);
    }
    const LevelFigures f = levelFigures(times, levels, 1.0, 0, rows.size());
    s.countedSeconds = int(f.samples);
    if (!f.leq) return s;
    s.leq = *f.leq;
    s.lmax = *f.lmax;
    s.lmin = *f.lmin;
    s.l10 = *f.l10;
    s.l50 = *f.l50;
    s.l90 = *f.l90;
    s.sel = f.sel.value_or(0);
    return s;
}

void RunningLeqSummary::Exceeded::add(float level, int count) {
    if (lower.empty() || level <= lower.top())
        lower.push(level);
    else
        upper.push(level);
    const size_t k = exceededRank(size_t(count), percent) + 1;
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
    ++rows_;
    if (!row.hasLevel || !hasLevel(row.spl)) return;
    const float level = row.spl;
    lowest_ = count_ == 0 ? level : std::min(lowest_, level);
    highest_ = count_ == 0 ? level : std::max(highest_, level);
    energy_ += levelEnergy(level);
    ++count_;
    for (Exceeded* e : {&l10_, &l50_, &l90_}) e->add(level, count_);
}

LeqSummary RunningLeqSummary::summary() const {
    LeqSummary s;
    s.seconds = rows_;
    s.countedSeconds = count_;
    if (count_ == 0) return s;
    s.leq = energyLevel(energy_ / count_);
    s.lmin = lowest_;
    s.lmax = highest_;
    s.l10 = l10_.lower.top();
    s.l50 = l50_.lower.top();
    s.l90 = l90_.lower.top();
    s.sel = soundExposureLevel(s.leq, double(count_));
    return s;
}

}  // namespace kl516
