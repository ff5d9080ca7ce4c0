#pragma once

#include <QLocale>
#include <QStringList>
#include <cstdint>
#include <span>
#include <vector>

#include "dataset/SerialDateTime.h"

namespace kl516 {

// Maximum, minimum and mean of one data set's levels. Indexes count from the set's first
// sample; equal extremes keep the earliest sample.
struct SetStatistics {
    int32_t maxIndex = 0;
    int32_t minIndex = 0;
    float maximum = -99999.0f;  // stays at the start value for an empty set
    float minimum = 99999.0f;
    double average = 0.0;  // 0 for an empty set
};

SetStatistics computeStatistics(const float* levels, int n);

// The header lists of a freshly parsed table, one entry per set.
struct DataSetHeaders {
    std::vector<SerialDateTime> startTimes;
    std::vector<int32_t> intervals;  // whole seconds, 0..60
    std::vector<int32_t> counts;     // samples per set, 0 or more
    std::vector<uint8_t> modes;      // bit 1: A weighting, bit 0: FAST
    std::vector<int32_t> recordStarts;
    std::vector<int32_t> recordEnds;
};

// All data sets last read from the meter or a collection file, as parallel lists: per-set lists
// indexed by set number, and two sample lists in which the sets' samples follow one another in
// set order, so that each set's levels and times are one contiguous run.
//
// Indexes outside 0 .. setCount() - 1 are answered with zeros and empty texts and change nothing.
class DataSetTable {
public:
    // Installs the header lists of a new table and empties the sample and statistics lists; the
    // sets' samples then follow with appendSet, set by set. Returns false, and leaves the table
    // as it was, when the lists differ in length or a count is negative.
    bool replaceAll(DataSetHeaders headers);

    // Appends the samples of the next set that has none yet: its levels, its sample times
    // start + k × step, and its statistics. The set takes exactly its count of samples; when n
    // differs, missing levels are stored as 0 (the out-of-range value) and extra ones dropped,
    // and false is returned. Returns false and changes nothing when every set is complete.
    bool appendSet(const float* levels, int n);
    // Number of sets whose samples have been appended.
    int appendedSets() const { return int(averages_.size()); }

    int setCount() const { return int(startTimes_.size()); }
    // Position of set i's first sample in levels() and sampleTimes().
    int64_t setOffset(int i) const;
    // Interval of set i in days.
    double setStep(int i) const;
    // startTimes[i] + counts[i] × setStep(i).
    SerialDateTime setEnd(int i) const;
    // Moves set i to a new start: its start time and its sample times change, nothing else.
    void changeStartTime(int i, SerialDateTime newStart);
    // The eight texts of set i's row in the data-set list: number, short date, 24-hour time,
    // interval mm:ss, count, "dBA"/"dBC", "FAST"/"SLOW", "30-130".
    QStringList rowText(int i, const QLocale& locale) const;
    // The same for many rows in a row: the cache keeps the last date text.
    struct RowTextCache {
        QDate date;
        QLocale locale;
        QString dateText;
    };
    QStringList rowText(int i, const QLocale& locale, RowTextCache& cache) const;

    // The samples of set i (empty until the set has been appended).
    std::span<const float> setLevels(int i) const;
    std::span<const double> setTimes(int i) const;

    const std::vector<SerialDateTime>& startTimes() const { return startTimes_; }
    const std::vector<int32_t>& intervals() const { return intervals_; }
    const std::vector<int32_t>& counts() const { return counts_; }
    const std::vector<uint8_t>& modes() const { return modes_; }
    const std::vector<int32_t>& recordStarts() const { return recordStarts_; }
    const std::vector<int32_t>& recordEnds() const { return recordEnds_; }
    const std::vector<int32_t>& maxIndexes() const { return maxIndexes_; }
    const std::vector<int32_t>& minIndexes() const { return minIndexes_; }
    const std::vector<double>& averages() const { return averages_; }
    const std::vector<float>& levels() const { return levels_; }
    const std::vector<double>& sampleTimes() const { return sampleTimes_; }

private:
    bool valid(int i) const { return i >= 0 && i < setCount(); }

    std::vector<SerialDateTime> startTimes_;
    std::vector<int32_t> intervals_;
    std::vector<int32_t> counts_;
    std::vector<uint8_t> modes_;
    std::vector<int32_t> recordStarts_;
    std::vector<int32_t> recordEnds_;
    std::vector<int32_t> maxIndexes_;
    std::vector<int32_t> minIndexes_;
    std::vector<double> averages_;
    std::vector<float> levels_;
    std::vector<double> sampleTimes_;
    // offsets_[i] = counts[0] + ... + counts[i - 1]; one entry more than there are sets.
    std::vector<int64_t> offsets_{0};
};

}  // namespace kl516
