#include "dataset/DataSetTable.h"

#include <algorithm>

namespace kl516 {

SetStatistics computeStatistics(const float* levels, int n) {
    SetStatistics s;
    double sum = 0.0;
    for (int k = 0; k < n; ++k) {
        const float level = levels[k];
        sum += level;
        if (level > s.maximum) {
            s.maximum = level;
            s.maxIndex = k;
        }
        if (level < s.minimum) {
            s.minimum = level;
            s.minIndex = k;
        }
    }
    s.average = n > 0 ? sum / n : 0.0;
    return s;
}

bool DataSetTable::replaceAll(DataSetHeaders h) {
    const size_t n = h.startTimes.size();
    if (h.intervals.size() != n || h.counts.size() != n || h.modes.size() != n ||
        h.recordStarts.size() != n || h.recordEnds.size() != n)
        return false;
    if (std::any_of(h.counts.begin(), h.counts.end(), [](int32_t c) { return c < 0; }))
        return false;

    std::vector<int64_t> offsets(n + 1, 0);
    for (size_t i = 0; i < n; ++i) offsets[i + 1] = offsets[i] + h.counts[i];

    startTimes_ = std::move(h.startTimes);
    intervals_ = std::move(h.intervals);
    counts_ = std::move(h.counts);
    modes_ = std::move(h.modes);
    recordStarts_ = std::move(h.recordStarts);
    recordEnds_ = std::move(h.recordEnds);
    offsets_ = std::move(offsets);
    maxIndexes_.clear();
    minIndexes_.clear();
    averages_.clear();
    levels_.clear();
    sampleTimes_.clear();
    return true;
}

bool DataSetTable::appendSet(const float* levels, int n) {
    const int i = appendedSets();
    if (i >= setCount()) return false;
    const int count = counts_[i];
    const int stored = levels ? std::clamp(n, 0, count) : 0;

    levels_.insert(levels_.end(), levels, levels + stored);
    levels_.resize(levels_.size() + (count - stored), 0.0f);
    const double step = setStep(i);
    const SerialDateTime start = startTimes_[i];
    for (int k = 0; k < count; ++k) sampleTimes_.push_back(k * step + start);

    const SetStatistics s = computeStatistics(levels_.data() + offsets_[i], count);
    maxIndexes_.push_back(s.maxIndex);
    minIndexes_.push_back(s.minIndex);
    averages_.push_back(s.average);
    return n == count;
}

int64_t DataSetTable::setOffset(int i) const {
    return valid(i) ? offsets_[i] : 0;
}

double DataSetTable::setStep(int i) const {
    return valid(i) ? intervals_[i] * kOneSecond : 0.0;
}

SerialDateTime DataSetTable::setEnd(int i) const {
    return valid(i) ? counts_[i] * setStep(i) + startTimes_[i] : 0.0;
}

void DataSetTable::changeStartTime(int i, SerialDateTime newStart) {
    if (!valid(i)) return;
    startTimes_[i] = newStart;
    if (i >= appendedSets()) return;  // its samples are not there yet
    const double step = setStep(i);
    double* times = sampleTimes_.data() + offsets_[i];
    for (int k = 0; k < counts_[i]; ++k) times[k] = k * step + newStart;
}

namespace {

// "hh" style: two decimal digits.
void appendTwoDigits(QString& out, int v) {
    out += QLatin1Char(char('0' + (v / 10) % 10));
    out += QLatin1Char(char('0' + v % 10));
}

}  // namespace

QStringList DataSetTable::rowText(int i, const QLocale& locale) const {
    RowTextCache cache;
    return rowText(i, locale, cache);
}

QStringList DataSetTable::rowText(int i, const QLocale& locale, RowTextCache& cache) const {
    if (!valid(i)) return QStringList(8, QString());
    const int interval = intervals_[i];
    // Sets recorded on one day share the date text, which is the costly one to format.
    const QDate date = dateOf(startTimes_[i]);
    if (date != cache.date || cache.locale != locale) {
        cache.date = date;
        cache.locale = locale;
        cache.dateText = locale.toString(date, shortDateFormat(locale));
    }
    const QTime time = timeOf(startTimes_[i]);
    QString timeText;
    timeText.reserve(8);
    appendTwoDigits(timeText, time.hour());
    timeText += QLatin1Char(':');
    appendTwoDigits(timeText, time.minute());
    timeText += QLatin1Char(':');
    appendTwoDigits(timeText, time.second());
    QString intervalText;
    intervalText.reserve(5);
    appendTwoDigits(intervalText, interval / 60);
    intervalText += QLatin1Char(':');
    appendTwoDigits(intervalText, interval % 60);
    return {
        QString::number(i + 1),
        cache.dateText,
        timeText,
        intervalText,
        QString::number(counts_[i]),
        (modes_[i] & 0x02) ? QStringLiteral("dBA") : QStringLiteral("dBC"),
        (modes_[i] & 0x01) ? QStringLiteral("FAST") : QStringLiteral("SLOW"),
        QStringLiteral("30-130"),
    };
}

std::span<const float> DataSetTable::setLevels(int i) const {
    if (!valid(i) || i >= appendedSets()) return {};
    return {levels_.data() + offsets_[i], size_t(counts_[i])};
}

std::span<const double> DataSetTable::setTimes(int i) const {
    if (!valid(i) || i >= appendedSets()) return {};
    return {sampleTimes_.data() + offsets_[i], size_t(counts_[i])};
}

}  // namespace kl516
