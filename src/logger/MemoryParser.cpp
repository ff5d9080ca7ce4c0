#include "logger/MemoryParser.h"

#include <QDate>
#include <QTime>
#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "link/Frames.h"

namespace kl516 {

namespace {

constexpr uint8_t kAbsentByte = 0xFF;  // what a byte past the image's end reads as
constexpr uint8_t kMarkA5 = 0xA5;
constexpr uint8_t kMark5A = 0x5A;
constexpr int64_t kFirstRecord = 256;
constexpr int64_t kPageSize = 256;
constexpr int kMaxInterval = 60;
constexpr int kIntervalFallback = 2;
constexpr int kMinLevelValue = 200;   // 20.0 dB
constexpr int kMaxLevelValue = 1400;  // 140.0 dB
constexpr size_t kMaxParsedImage = size_t{1} << 30;

// All 4096 sample values as levels, so that the sample loop is one table look-up per sample.
const std::array<float, 4096>& levelTable() {
    static const std::array<float, 4096> table = [] {
        std::array<float, 4096> t{};
        for (int v = 0; v < 4096; ++v) {
            // 200 × 0.1 and 1400 × 0.1 round to exactly 20.0 and 140.0, so comparing the value
            // is the same as comparing the level in dB.
            const double db = v * 0.1;
            t[size_t(v)] = (v < kMinLevelValue || v > kMaxLevelValue) ? 0.0f : float(db);
        }
        return t;
    }();
    return table;
}

// Byte access that answers every offset: past the image's end (or before its start) it reads as
// erased memory.
class ImageBytes {
  public:
    explicit ImageBytes(std::span<const uint8_t> image)
        : data_(image.data()), size_(int64_t(image.size())) {}
    uint8_t at(int64_t offset) const {
        return offset >= 0 && offset < size_ ? data_[offset] : kAbsentByte;
    }
    uint32_t u24(int64_t offset) const {
        return uint32_t(at(offset)) << 16 | uint32_t(at(offset + 1)) << 8 | at(offset + 2);
    }
    int64_t size() const { return size_; }
    const uint8_t* data() const { return data_; }

  private:
    const uint8_t* data_;
    int64_t size_;
};

// The end mark search: the first k = from, from + 2, ... with k <= lastAddress whose bytes k and
// k + 1 are 0x5A 0xA5. Records follow one another, so searches start at rising offsets; the last
// answer of each parity is kept, and a later search that starts before that answer has the same
// one. Every byte is therefore looked at no more than once per parity, however many records
// there are and however few end marks the image holds.
class EndMarkSearch {
  public:
    EndMarkSearch(const ImageBytes& bytes, int64_t lastAddress)
        // A pair must lie wholly inside the image; bytes past it never match.
        : bytes_(bytes), limit_(std::min<int64_t>(lastAddress, bytes.size() - 2)) {}

    // The offset k of the pair, or -1 when there is none.
    int64_t find(int64_t from) {
        Cache& c = cache_[from & 1];
        if (c.valid && from >= c.from && (c.found < 0 || from <= c.found)) return c.found;
        int64_t found = -1;
        const uint8_t* d = bytes_.data();
        for (int64_t k = std::max<int64_t>(from, 0); k <= limit_; k += 2) {
            if (d[k] == kMark5A && d[k + 1] == kMarkA5) {
                found = k;
                break;
            }
        }
        if (from >= 0) c = {true, from, found};
        return found;
    }

  private:
    struct Cache {
        bool valid = false;
        int64_t from = 0;
        int64_t found = -1;
    };
    const ImageBytes& bytes_;
    int64_t limit_;
    std::array<Cache, 2> cache_{};
};

// The start times of the records: six BCD fields each; a field that is not BCD takes the
// current date's or time's component, and a date or time that does not exist gives now. The
// current components are taken apart once, and the day number of the last date is kept, because
// the sets of one download mostly share their dates.
class StartTimes {
  public:
    explicit StartTimes(const QDateTime& now)
        : year_(now.date().year()),
          month_(now.date().month()),
          day_(now.date().day()),
          hour_(now.time().hour()),
          minute_(now.time().minute()),
          second_(now.time().second()),
          now_(toSerialDateTime(now)) {}

    SerialDateTime at(const ImageBytes& bytes, int64_t r) {
        const auto field = [&](int64_t offset, int fallback) {
            const int v = fromBcd(bytes.at(offset));
            return v < 0 ? fallback : v;
        };
        const int yearField = fromBcd(bytes.at(r + 3));
        const int year = yearField < 0 ? year_ : yearField + 2000;
        const int month = field(r + 4, month_);
        const int day = field(r + 5, day_);
        const int hour = field(r + 6, hour_);
        const int minute = field(r + 7, minute_);
        const int second = field(r + 8, second_);
        if (!QTime::isValid(hour, minute, second)) return now_;
        if (year != cachedYear_ || month != cachedMonth_ || day != cachedDay_) {
            if (!QDate::isValid(year, month, day)) return now_;
            cachedYear_ = year;
            cachedMonth_ = month;
            cachedDay_ = day;
            cachedDays_ = toSerialDateTime(QDate(year, month, day), QTime(0, 0));
        }
        // The same arithmetic as toSerialDateTime(date, time).
        const double fraction = (((hour * 60 + minute) * 60 + second) * 1000) / double(kMsPerDay);
        return cachedDays_ < 0 ? cachedDays_ - fraction : cachedDays_ + fraction;
    }

  private:
    static constexpr int64_t kMsPerDay = 86400000;
    int year_, month_, day_, hour_, minute_, second_;
    SerialDateTime now_;
    int cachedYear_ = -1, cachedMonth_ = -1, cachedDay_ = -1;
    SerialDateTime cachedDays_ = 0;
};

}  // namespace

float sampleLevel(uint8_t first, uint8_t second) {
    return levelTable()[size_t((first & 0x0F) << 8 | second)];
}

int32_t parseImage(std::span<const uint8_t> image, int32_t lastAddress, const QDateTime& now,
                   DataSetTable& table, QList<QStringList>* rows, const QLocale& locale) {
    // Offsets are stored as 32-bit numbers; no reader hands over anything near this size, and
    // bytes past it would read as erased memory.
    if (image.size() > kMaxParsedImage) image = image.first(kMaxParsedImage);
    const ImageBytes bytes(image);
    if (bytes.size() < 11) return ParseResult::NoSets;  // not even a set count
    const int32_t setCount = int32_t(bytes.at(9)) << 8 | bytes.at(10);
    if (setCount == 0) return ParseResult::NoSets;
    if (setCount > kMaxDataSets) return ParseResult::TooManySets;

    int32_t result = ParseResult::Ok;
    StartTimes startTimes(now);

    // First pass: the header lists, built locally and installed only when complete.
    DataSetHeaders h;
    h.startTimes.reserve(size_t(setCount));
    h.intervals.reserve(size_t(setCount));
    h.counts.reserve(size_t(setCount));
    h.modes.reserve(size_t(setCount));
    h.recordStarts.reserve(size_t(setCount));
    h.recordEnds.reserve(size_t(setCount));

    EndMarkSearch search(bytes, lastAddress);
    const auto searchEnd = [&](int64_t r, int64_t defaultEnd) {
        const int64_t k = search.find(r + 16);
        return k < 0 ? defaultEnd : k + 1;
    };

    int64_t r = kFirstRecord;
    int32_t largestCount = 0;
    for (int32_t s = 0; s < setCount; ++s) {
        int64_t end;
        if ((r + 11) % kPageSize == kPageSize - 1) {
            // The count field starts on the last byte of a page: the meter's stored count is
            // not trusted there, the end mark is searched for.
            end = searchEnd(r, r + 16);
        } else {
            const int64_t c = bytes.u24(r + 11);
            const int64_t e = c * 2 + r + 17;
            if (e <= lastAddress && bytes.at(e - 1) == kMark5A && bytes.at(e) == kMarkA5)
                end = e;
            else
                end = searchEnd(r, e);
        }
        int64_t count = std::max<int64_t>(0, (end - r - 17) / 2);

        if (bytes.at(r) != kMarkA5 || bytes.at(r + 1) != kMark5A || bytes.at(end - 1) != kMark5A ||
            bytes.at(end) != kMarkA5)
            result = ParseResult::BadMarks;
        if (end > lastAddress) result = ParseResult::EndPastLastAddress;

        // Keep only the samples that lie wholly inside the image (see the header).
        const int64_t fitting = std::max<int64_t>(0, (bytes.size() - r - 16) / 2);
        if (count > fitting) {
            count = fitting;
            end = r + 17 + 2 * count;
        }

        h.counts.push_back(int32_t(count));
        h.recordStarts.push_back(int32_t(r));
        h.recordEnds.push_back(int32_t(end));
        // The lists are reserved for every set, so storing a start time cannot fail here and
        // result 35 does not arise.
        h.startTimes.push_back(startTimes.at(bytes, r));
        const int interval = bytes.at(r + 10);
        h.intervals.push_back(interval > kMaxInterval ? kIntervalFallback : interval);
        h.modes.push_back(bytes.at(r + 14));
        largestCount = std::max(largestCount, int32_t(count));
        r = end + 1;
    }

    table.replaceAll(std::move(h));

    // Second pass: the samples of every set, in set order, with their times and statistics.
    const auto& levels = levelTable();
    std::vector<float> setLevels(static_cast<size_t>(largestCount));
    for (int32_t s = 0; s < setCount; ++s) {
        const int32_t count = table.counts()[size_t(s)];
        if (count > 0) {
            // Every sample of a set lies inside the image (see above).
            const uint8_t* p = image.data() + table.recordStarts()[size_t(s)] + 16;
            for (int32_t k = 0; k < count; ++k, p += 2)
                setLevels[size_t(k)] = levels[size_t((p[0] & 0x0F) << 8 | p[1])];
        }
        table.appendSet(setLevels.data(), count);
    }

    if (rows) {
        rows->clear();
        rows->reserve(setCount);
        DataSetTable::RowTextCache cache;
        for (int32_t s = 0; s < setCount; ++s) rows->append(table.rowText(s, locale, cache));
    }
    return result;
}

}  // namespace kl516
