#include <gtest/gtest.h>

#include <QDateTime>
#include <QLocale>
#include <array>
#include <cstdint>
#include <numeric>
#include <vector>

#include "dataset/DataSetTable.h"
#include "dataset/SerialDateTime.h"
#include "logger/MemoryParser.h"

using namespace kl516;

namespace {

const QDateTime kNow(QDate(2026, 7, 9), QTime(13, 14, 15, 678));
const QLocale kLocale = QLocale::c();

using Date = std::array<uint8_t, 6>;  // BCD year, month, day, hour, minute, second
constexpr Date kMarch15{0x24, 0x03, 0x15, 0x09, 0x30, 0x05};

// One record as the meter writes it; the knobs break it in the ways the tests need.
struct Record {
    std::vector<uint16_t> samples;
    Date date = kMarch15;
    uint8_t interval = 2;
    uint8_t mode = 0x03;
    int64_t storedCount = -1;  // -1: the number of samples
    bool startMark = true;
    bool endMark = true;
};

// A logger image under construction: header, then records from offset 256.
struct Image {
    std::vector<uint8_t> bytes;
    int64_t next = 256;

    explicit Image(size_t size = 1024, uint8_t fill = 0x00) : bytes(size, fill) {
        std::fill(bytes.begin(), bytes.begin() + 256, 0);
        bytes[0] = 0x04;
        bytes[31] = 0x05;
    }
    void setCount(int n) {
        bytes[9] = uint8_t(n >> 8);
        bytes[10] = uint8_t(n);
    }
    void setLastAddress(int32_t a) {
        bytes[11] = uint8_t(a >> 16);
        bytes[12] = uint8_t(a >> 8);
        bytes[13] = uint8_t(a);
    }
    int32_t lastAddress() const { return bytes[11] << 16 | bytes[12] << 8 | bytes[13]; }
    // Writes the record at `next` and returns its start; `next` moves past its end mark.
    int64_t add(const Record& rec) {
        const int64_t r = next;
        const size_t need = size_t(r + 18 + 2 * rec.samples.size());
        if (bytes.size() < need) bytes.resize(need, 0x00);
        uint8_t* p = &bytes[size_t(r)];
        p[0] = rec.startMark ? 0xA5 : 0x00;
        p[1] = rec.startMark ? 0x5A : 0x00;
        std::copy(rec.date.begin(), rec.date.end(), p + 3);
        p[10] = rec.interval;
        const uint32_t c =
            rec.storedCount < 0 ? uint32_t(rec.samples.size()) : uint32_t(rec.storedCount);
        p[11] = uint8_t(c >> 16);
        p[12] = uint8_t(c >> 8);
        p[13] = uint8_t(c);
        p[14] = rec.mode;
        for (size_t k = 0; k < rec.samples.size(); ++k) {
            p[16 + 2 * k] = uint8_t(rec.samples[k] >> 8);
            p[17 + 2 * k] = uint8_t(rec.samples[k]);
        }
        const size_t e = 16 + 2 * rec.samples.size();
        p[e] = rec.endMark ? 0x5A : 0x00;
        p[e + 1] = rec.endMark ? 0xA5 : 0x00;
        next = r + int64_t(e) + 2;
        return r;
    }
    // Header count = records added, lastAddress = the last end mark's final byte.
    Image& finish(int sets) {
        setCount(sets);
        setLastAddress(int32_t(next - 1));
        return *this;
    }
    int32_t parse(DataSetTable& table, QList<QStringList>* rows = nullptr) const {
        return parseImage(bytes, lastAddress(), kNow, table, rows, kLocale);
    }
};

std::vector<uint16_t> ramp(int n) {
    std::vector<uint16_t> s(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) s[size_t(k)] = uint16_t(300 + k % 700);
    return s;
}

// The table's own invariants, and that every sample came from inside the image.
void expectConsistent(const DataSetTable& t, size_t imageSize) {
    const int n = t.setCount();
    ASSERT_EQ(t.appendedSets(), n);
    const int64_t total = std::accumulate(t.counts().begin(), t.counts().end(), int64_t{0});
    EXPECT_EQ(int64_t(t.levels().size()), total);
    EXPECT_EQ(int64_t(t.sampleTimes().size()), total);
    EXPECT_LE(total * 2, int64_t(imageSize));
    for (int i = 0; i < n; ++i) {
        const auto s = size_t(i);
        const int32_t start = t.recordStarts()[s], end = t.recordEnds()[s], c = t.counts()[s];
        EXPECT_GE(c, 0);
        EXPECT_GE(end, start + 16);
        if (c > 0) {
            EXPECT_LE(int64_t(start) + 16 + 2 * c, int64_t(imageSize));
        }
        if (i + 1 < n) {
            EXPECT_EQ(t.recordStarts()[s + 1], end + 1);
        }
        EXPECT_GE(t.intervals()[s], 0);
        EXPECT_LE(t.intervals()[s], 60);
        if (c > 0) {
            EXPECT_LT(t.maxIndexes()[s], c);
            EXPECT_LT(t.minIndexes()[s], c);
        }
    }
}

QDateTime startOf(const DataSetTable& t, int i) {
    return fromSerialDateTime(t.startTimes()[size_t(i)]);
}

// A table holding one earlier set, to show that a rejected image leaves it alone.
struct EarlierTable {
    DataSetTable table;
    QList<QStringList> rows;
    EarlierTable() {
        Image img;
        img.add({.samples = {700, 710}});
        EXPECT_EQ(img.finish(1).parse(table, &rows), ParseResult::Ok);
    }
    void expectUnchanged() const {
        ASSERT_EQ(table.setCount(), 1);
        EXPECT_EQ(table.counts()[0], 2);
        EXPECT_FLOAT_EQ(table.levels()[1], 71.0f);
        ASSERT_EQ(rows.size(), 1);
        EXPECT_EQ(rows[0][4], "2");
    }
};

}  // namespace

TEST(MemoryParser, HeaderSetCountDecidesWhetherATableIsInstalled) {
    struct Case {
        int sets;
        int32_t result;
    };
    for (const Case c : {Case{0, ParseResult::NoSets}, Case{4001, ParseResult::TooManySets},
                         Case{65535, ParseResult::TooManySets}, Case{4000, ParseResult::Ok}}) {
        SCOPED_TRACE(c.sets);
        EarlierTable earlier;
        Image img;
        // 4000 empty records: 18 bytes each, so some of them meet the page rule on the way.
        for (int s = 0; s < std::min(c.sets, 4000); ++s) img.add({});
        img.finish(c.sets);
        EXPECT_EQ(img.parse(earlier.table, &earlier.rows), c.result);
        if (c.result == ParseResult::Ok) {
            EXPECT_EQ(earlier.table.setCount(), 4000);
            EXPECT_EQ(earlier.rows.size(), 4000);
            EXPECT_EQ(earlier.table.recordEnds().back(), img.lastAddress());
            expectConsistent(earlier.table, img.bytes.size());
        } else {
            earlier.expectUnchanged();
        }
    }
}

TEST(MemoryParser, WellFormedRecordsFollowOneAnother) {
    Image img;
    img.add({.samples = {700, 720, 740}, .interval = 5, .mode = 0x02});
    img.add({.samples = ramp(10), .interval = 1, .mode = 0x01});
    DataSetTable t;
    QList<QStringList> rows;
    ASSERT_EQ(img.finish(2).parse(t, &rows), ParseResult::Ok);

    EXPECT_EQ(t.recordStarts(), (std::vector<int32_t>{256, 280}));
    EXPECT_EQ(t.recordEnds(), (std::vector<int32_t>{279, 317}));
    EXPECT_EQ(t.counts(), (std::vector<int32_t>{3, 10}));
    EXPECT_EQ(t.intervals(), (std::vector<int32_t>{5, 1}));
    EXPECT_EQ(t.modes(), (std::vector<uint8_t>{0x02, 0x01}));
    EXPECT_EQ(startOf(t, 0), QDateTime(QDate(2024, 3, 15), QTime(9, 30, 5)));
    EXPECT_EQ(fromSerialDateTime(t.sampleTimes()[2]),
              QDateTime(QDate(2024, 3, 15), QTime(9, 30, 15)));
    EXPECT_FLOAT_EQ(t.levels()[1], 72.0f);
    EXPECT_EQ(t.maxIndexes()[0], 2);
    EXPECT_EQ(t.minIndexes()[0], 0);
    EXPECT_DOUBLE_EQ(t.averages()[0], 72.0);

    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0], t.rowText(0, kLocale));
    EXPECT_EQ(rows[1][0], "2");
    EXPECT_EQ(rows[1][4], "10");
    expectConsistent(t, img.bytes.size());
}

// How the count and the end of a record are found when the stored count cannot be trusted.
TEST(MemoryParser, EndComesFromTheCountOrFromTheEndMarkSearch) {
    struct Case {
        const char* name;
        int padSamples;  // a first record that moves the second one to 256 + 18 + 2 × pad
        std::vector<uint16_t> samples;
        int64_t storedCount;  // -1: right
        int32_t count;        // the second record's count after parsing
        int32_t result;
    };
    const std::vector<Case> cases = {
        {"stored count too large", 0, ramp(6), 0x00FFFF, 6, ParseResult::Ok},
        {"stored count too small", 0, ramp(6), 2, 6, ParseResult::Ok},
        // A sample that looks like an end mark, at an even distance from the record start.
        {"mark-like sample, count right", 0, {700, 0x5AA5, 710}, -1, 3, ParseResult::Ok},
        {"mark-like sample, count wrong", 0, {700, 0x5AA5, 710}, 7, 1, ParseResult::Ok},
        // (500 + 11) mod 256 = 255: the count field starts on a page's last byte, so the count is
        // not used and the search stops at the mark-like sample.
        {"page rule at 500", 113, {700, 0x5AA5, 710}, -1, 1, ParseResult::Ok},
        {"no page rule at 502", 114, {700, 0x5AA5, 710}, -1, 3, ParseResult::Ok},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Image img;
        img.add({.samples = ramp(c.padSamples)});
        const int64_t r = img.add({.samples = c.samples, .storedCount = c.storedCount});
        // Whatever follows the record must not be mistaken for its end.
        img.bytes.resize(size_t(img.next) + 64, 0x00);
        DataSetTable t;
        ASSERT_EQ(img.finish(2).parse(t), c.result);
        EXPECT_EQ(t.recordStarts()[1], r);
        EXPECT_EQ(t.counts()[1], c.count);
        EXPECT_EQ(t.recordEnds()[1], r + 17 + 2 * c.count);
        expectConsistent(t, img.bytes.size());
    }
}

TEST(MemoryParser, PageRuleRecordWithoutEndMarkGetsNoSamples) {
    Image img;
    img.add({.samples = ramp(113)});  // ends at 499
    // At 500 the page rule searches for the end mark; there is none at an even distance before
    // lastAddress, so the record keeps the default end 516 and the next starts at 517.
    const int64_t r = img.add({.samples = ramp(3), .endMark = false});
    ASSERT_EQ(r, 500);
    img.next = 517;
    img.add({.samples = ramp(4)});
    DataSetTable t;
    EXPECT_EQ(img.finish(3).parse(t), ParseResult::BadMarks);
    EXPECT_EQ(t.counts(), (std::vector<int32_t>{113, 0, 4}));
    EXPECT_EQ(t.recordEnds()[1], 516);
    EXPECT_EQ(t.recordStarts()[2], 517);
    EXPECT_FLOAT_EQ(t.levels()[113], 30.0f);  // the third set's first sample
    expectConsistent(t, img.bytes.size());
}

TEST(MemoryParser, ResultIsTheLastProblemFound) {
    struct Case {
        const char* name;
        std::vector<Record> records;
        int32_t lastAddressShift;  // added to the last record's end
        int32_t result;
    };
    const std::vector<Case> cases = {
        {"bad start mark",
         {{.samples = ramp(3), .startMark = false}, {.samples = ramp(2)}},
         0,
         ParseResult::BadMarks},
        {"bad start, then end past lastAddress",
         {{.samples = ramp(3), .startMark = false}, {.samples = ramp(2)}},
         -1,
         ParseResult::EndPastLastAddress},
        {"lastAddress beyond the records", {{.samples = ramp(3)}}, 100, ParseResult::Ok},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Image img;
        for (const Record& r : c.records) img.add(r);
        img.finish(int(c.records.size()));
        img.setLastAddress(img.lastAddress() + c.lastAddressShift);
        DataSetTable t;
        EXPECT_EQ(img.parse(t), c.result);
        EXPECT_EQ(t.setCount(), int(c.records.size()));
        EXPECT_EQ(t.counts()[0], 3);
    }
}

TEST(MemoryParser, StartTimesAreRepairedFromNow) {
    struct Case {
        Date date;
        QDateTime expected;
    };
    const std::vector<Case> cases = {
        {{0x24, 0x02, 0x29, 0x23, 0x59, 0x59}, QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59))},
        {{0x24, 0x02, 0x30, 0x12, 0x00, 0x00}, kNow},  // 30 February
        {{0x23, 0x04, 0x31, 0x12, 0x00, 0x00}, kNow},  // 31 April
        {{0x24, 0x00, 0x05, 0x12, 0x00, 0x00}, kNow},  // month 0
        {{0x24, 0x13, 0x05, 0x12, 0x00, 0x00}, kNow},  // month 13
        {{0x24, 0x03, 0x15, 0x24, 0x00, 0x00}, kNow},  // hour 24
        {{0x24, 0x03, 0x15, 0x12, 0x60, 0x00}, kNow},  // minute 60
        // Fields that are not BCD take the current component: month 7 here; the year field
        // takes the current year as it is.
        {{0x24, 0x1A, 0x05, 0x08, 0x09, 0x10}, QDateTime(QDate(2024, 7, 5), QTime(8, 9, 10))},
        {{0xA1, 0x03, 0x15, 0x08, 0x09, 0x10}, QDateTime(QDate(2026, 3, 15), QTime(8, 9, 10))},
        {{0x24, 0x03, 0xFF, 0xBB, 0xCC, 0x0D}, QDateTime(QDate(2024, 3, 9), QTime(13, 14, 15))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected.toString(Qt::ISODateWithMs).toStdString());
        Image img;
        img.add({.samples = ramp(2), .date = c.date});
        DataSetTable t;
        ASSERT_EQ(img.finish(1).parse(t), ParseResult::Ok);
        EXPECT_EQ(startOf(t, 0), c.expected);
    }
}

TEST(MemoryParser, IntervalsAboveSixtyBecomeTwoSeconds) {
    for (const auto& [stored, used] : {std::pair{0, 0}, {1, 1}, {60, 60}, {61, 2}, {255, 2}}) {
        SCOPED_TRACE(stored);
        Image img;
        img.add({.samples = ramp(3), .interval = uint8_t(stored)});
        DataSetTable t;
        ASSERT_EQ(img.finish(1).parse(t), ParseResult::Ok);
        EXPECT_EQ(t.intervals()[0], used);
        EXPECT_NEAR(t.sampleTimes()[2] - t.sampleTimes()[0], 2 * used * kOneSecond, 1e-9);
    }
}

TEST(MemoryParser, SamplesOutsideTwentyTo140DbAreZero) {
    Image img;
    // 200, 1400, 1401, 200 with the high nibble set, 199
    img.add({.samples = {0x00C8, 0x0578, 0x0579, 0xF0C8, 0x00C7}});
    DataSetTable t;
    ASSERT_EQ(img.finish(1).parse(t), ParseResult::Ok);
    EXPECT_EQ(t.levels(), (std::vector<float>{20.0f, 140.0f, 0.0f, 20.0f, 0.0f}));
    EXPECT_EQ(t.maxIndexes()[0], 1);
    EXPECT_EQ(t.minIndexes()[0], 2);  // zeros count, and the first of equal ones wins
    EXPECT_DOUBLE_EQ(t.averages()[0], 36.0);
    EXPECT_FLOAT_EQ(sampleLevel(0x02, 0xD5), float(725 * 0.1));
}

// Images that do not hold every byte their header and records address: a short collection file,
// or a lastAddress past the download. Nothing may be read outside the image (the sanitizers
// watch), the parse must end, and the table must stay consistent.
TEST(MemoryParser, ImagesThatEndEarlyAreParsedWithinTheirBytes) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int32_t lastAddress;
        int32_t result;
        int sets;
    };
    Image full;
    full.add({.samples = ramp(40)});
    full.add({.samples = ramp(40)});
    full.finish(2);
    const auto cut = [&](size_t n) {
        return std::vector<uint8_t>(full.bytes.begin(), full.bytes.begin() + long(n));
    };
    Image huge;  // every stored count 0xFFFFFF and no end marks, 4000 times
    for (int s = 0; s < 4000; ++s)
        huge.add({.samples = {}, .storedCount = 0xFFFFFF, .endMark = false});
    huge.finish(4000);
    std::vector<uint8_t> erasedTail = cut(256);
    erasedTail[10] = 3;

    // Records read past the image's end see erased memory: a count of 0xFFFFFF, whose end lies
    // far beyond any lastAddress, hence 34.
    const std::vector<Case> cases = {
        {"cut inside the first record's samples", cut(300), full.lastAddress(),
         ParseResult::EndPastLastAddress, 2},
        {"cut between the two end mark bytes", cut(size_t(full.lastAddress())), full.lastAddress(),
         ParseResult::BadMarks, 2},
        {"lastAddress past the image", full.bytes, 0xFFFFFF, ParseResult::Ok, 2},
        {"header only, three sets", erasedTail, 0xFFFFFF, ParseResult::EndPastLastAddress, 3},
        {"counts running off the image", huge.bytes, huge.lastAddress(),
         ParseResult::EndPastLastAddress, 4000},
        {"too short for the set count", cut(10), -1, ParseResult::NoSets, 0},
        {"empty", {}, -1, ParseResult::NoSets, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DataSetTable t;
        EXPECT_EQ(parseImage(c.bytes, c.lastAddress, kNow, t, nullptr, kLocale), c.result);
        EXPECT_EQ(t.setCount(), c.sets);
        expectConsistent(t, c.bytes.size());
    }
}

TEST(MemoryParser, RecordCutAtTheImageEndKeepsItsWholeSamples) {
    Image img;
    img.add({.samples = ramp(40)});
    img.finish(1);
    img.bytes.resize(256 + 16 + 2 * 10 + 1);  // ten whole samples and one byte of the next
    DataSetTable t;
    EXPECT_EQ(parseImage(img.bytes, img.lastAddress(), kNow, t, nullptr, kLocale),
              ParseResult::BadMarks);
    EXPECT_EQ(t.counts()[0], 10);
    EXPECT_EQ(t.recordEnds()[0], 256 + 17 + 20);
    EXPECT_FLOAT_EQ(t.levels()[9], 30.9f);
}
