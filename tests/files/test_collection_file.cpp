#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <vector>

#include "dataset/DataSetTable.h"
#include "link/Clock.h"
#include "link/MeterLink.h"
#include "logger/CollectionFile.h"
#include "logger/Download.h"
#include "logger/MemoryParser.h"
#include "simulator/SimulatedMeter.h"
#include "support/FileSizeLimit.h"
#include "support/Files.h"

using namespace kl516;

namespace {

const QDateTime kNow(QDate(2026, 7, 9), QTime(13, 14, 15));

// A download-sized image: one set of three samples, lastAddress 279, 288 bytes.
LoggerImage oneSetImage(uint8_t firstLevelLow = 0xBC) {
    LoggerImage img(288, 0xFF);
    std::fill(img.begin(), img.begin() + 256, 0);
    img[0] = 0x04;
    img[31] = 0x05;
    img[10] = 1;
    img[13] = 0x17;
    img[12] = 0x01;  // lastAddress 0x000117 = 279
    const uint8_t rec[24] = {0xA5, 0x5A, 0,    0x24, 0x03, 0x15, 0x09, 0x30, 0x05,
                             0,    2,    0,    0,    3,    0x03, 0,    0x02, firstLevelLow,
                             0x02, 0xD0, 0x02, 0xE4, 0x5A, 0xA5};
    std::copy(std::begin(rec), std::end(rec), img.begin() + 256);
    return img;
}

// A whole meter memory: three well-formed sets at 256 (100 samples, end 473), 474 (40 samples,
// end 571) and 572 (200 samples, end 989), then erased memory; the header says lastAddress,
// whatever the records say.
constexpr int32_t kSetsEnd = 989;
QByteArray memoryWithSets(int32_t lastAddress) {
    QByteArray m(SimulatedMeter::kMemorySize, char(0xFF));
    std::fill(m.begin(), m.begin() + 256, '\0');
    m[0] = 0x04;
    m[31] = 0x05;
    m[10] = 3;
    m[11] = char(lastAddress >> 16);
    m[12] = char(lastAddress >> 8);
    m[13] = char(lastAddress);
    int r = 256;
    int set = 0;
    for (const int count : {100, 40, 200}) {
        const char head[16] = {
            char(0xA5), 0x5A,          0, 0x24, 0x05,        char(0x10 + set), 0x08, 0x15, 0x00,
            0,          char(1 + set), 0, 0,    char(count), char(set & 3),    0};
        std::copy(std::begin(head), std::end(head), m.begin() + r);
        for (int k = 0; k < count; ++k) {
            const int tenths = 450 + (k * 37 + set * 101) % 500;
            m[r + 16 + 2 * k] = char(tenths >> 8);
            m[r + 17 + 2 * k] = char(tenths);
        }
        m[r + 16 + 2 * count] = 0x5A;
        m[r + 17 + 2 * count] = char(0xA5);
        r += 18 + 2 * count;
        ++set;
    }
    return m;
}

void expectSameTable(const DataSetTable& a, const DataSetTable& b) {
    EXPECT_EQ(a.startTimes(), b.startTimes());
    EXPECT_EQ(a.intervals(), b.intervals());
    EXPECT_EQ(a.counts(), b.counts());
    EXPECT_EQ(a.modes(), b.modes());
    EXPECT_EQ(a.recordStarts(), b.recordStarts());
    EXPECT_EQ(a.recordEnds(), b.recordEnds());
    EXPECT_EQ(a.levels(), b.levels());
    EXPECT_EQ(a.sampleTimes(), b.sampleTimes());
    EXPECT_EQ(a.averages(), b.averages());
}

QByteArray bytesOf(const LoggerImage& img) {
    return QByteArray(reinterpret_cast<const char*>(img.data()), qsizetype(img.size()));
}

using test::readAll;
using test::writeAll;

struct CollectionFileTest : ::testing::Test {
    QTemporaryDir dir;
    QString base;
    DataSetTable table;
    QList<QStringList> rows;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        base = collectionBaseFolder(dir.path(), QString());
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    OpenCollectionResult open(const QString& file) {
        return openCollectionFile(file, base, kNow, table, &rows, QLocale::c());
    }
};

}  // namespace

TEST(CollectionFileLocation, BaseFolderAndTempPath) {
    EXPECT_EQ(collectionBaseFolder("/home/u/KL516/", "/opt/kl516"), "/home/u/KL516/");
    EXPECT_EQ(collectionBaseFolder("/home/u/Documents", "/opt/kl516"), "/home/u/Documents/");
    EXPECT_EQ(collectionBaseFolder("", "/opt/kl516"), "/opt/kl516/");
    EXPECT_EQ(tempCollectionPath("/opt/kl516/"), "/opt/kl516/temp/DataSetsTemp.tmp");
}

TEST(CollectionFileLength, IsLastAddressPlus257OrTheImage) {
    struct Case {
        size_t size;
        int32_t lastAddress;  // -1: image too short to hold it
        qsizetype length;
    };
    for (const Case c :
         {Case{352, 347, 352}, Case{131072, 255, 512}, Case{131072, 0xFFFFFF, 131072},
          Case{14, 0, 14}, Case{10, -1, 10}, Case{0, -1, 0}}) {
        SCOPED_TRACE(c.size);
        LoggerImage img(c.size, 0);
        if (c.lastAddress >= 0) {
            img[11] = uint8_t(c.lastAddress >> 16);
            img[12] = uint8_t(c.lastAddress >> 8);
            img[13] = uint8_t(c.lastAddress);
        }
        EXPECT_EQ(collectionLength(img), c.length);
    }
}

TEST_F(CollectionFileTest, WriteReadWriteKeepsTheBytes) {
    LoggerImage img = oneSetImage();
    // 300 bytes past lastAddress + 256: they are read in and dropped when written again.
    img.resize(279 + 257 + 300, 0x77);
    const QString rec = path("in.rec");
    ASSERT_TRUE(writeAll(rec, bytesOf(img)));

    const OpenCollectionResult first = open(rec);
    EXPECT_EQ(first.status, CollectionStatus::Ok);
    EXPECT_EQ(first.parseResult, ParseResult::Ok);
    EXPECT_TRUE(first.showFirstSet());
    ASSERT_EQ(table.setCount(), 1);
    EXPECT_EQ(rows.size(), 1);
    const QByteArray written = readAll(tempCollectionPath(base));
    EXPECT_EQ(written, bytesOf(img).left(279 + 257));

    ASSERT_TRUE(saveCollectionFile(base, path("saved.rec")));
    EXPECT_EQ(readAll(path("saved.rec")), written);
    EXPECT_TRUE(open(path("saved.rec")).showFirstSet());
    EXPECT_EQ(readAll(tempCollectionPath(base)), written);
    EXPECT_FLOAT_EQ(table.levels()[0], 70.0f);
}

// Whatever lastAddress the meter reports, the collection file written after the download gives
// back the table the download gave, and writing it again keeps its bytes.
TEST_F(CollectionFileTest, DownloadWrittenAndReopenedGivesTheSameTable) {
    for (const int32_t lastAddress :
         {0, 254, 255, 256, 288, kSetsEnd, 131071, 131072, 0x20000 + 4000, 0xFFFFFF}) {
        SCOPED_TRACE(lastAddress);
        ManualClock clock;
        SimulatedMeter::Options options;
        options.initialImage = memoryWithSets(lastAddress);
        SimulatedMeter meter(clock, options);
        IdleLinkHost host;
        MeterLink link(meter, clock, host);
        LoggerImage image;
        int32_t downloadedLast = -1;
        ASSERT_EQ(downloadMemory(link, host, image, downloadedLast, nullptr), LinkResult::Success);
        DataSetTable downloaded;
        QList<QStringList> downloadedRows;
        const int32_t parsed =
            parseImage(image, downloadedLast, kNow, downloaded, &downloadedRows, QLocale::c());
        ASSERT_TRUE(parseInstalledTable(parsed));

        ASSERT_EQ(writeTempCollectionFile(image, base), QString());
        const QByteArray file = readAll(tempCollectionPath(base));
        ASSERT_TRUE(writeAll(path("saved.rec"), file));
        const OpenCollectionResult reopened = open(path("saved.rec"));
        ASSERT_TRUE(reopened.accepted);
        EXPECT_EQ(reopened.parseResult, parsed);
        expectSameTable(table, downloaded);
        EXPECT_EQ(rows, downloadedRows);
        EXPECT_EQ(readAll(tempCollectionPath(base)), file);  // written again from the file
    }
}

// Earlier versions cut such a file to lastAddress + 257 bytes; it still opens, with what it
// holds, and is kept as it is.
TEST_F(CollectionFileTest, FileCutByAnEarlierVersionStillOpens) {
    const QByteArray cut = memoryWithSets(0).left(257);
    ASSERT_TRUE(writeAll(path("old.rec"), cut));
    const OpenCollectionResult r = open(path("old.rec"));
    EXPECT_TRUE(r.showFirstSet());
    EXPECT_EQ(r.parseResult, ParseResult::EndPastLastAddress);
    ASSERT_EQ(table.setCount(), 3);
    EXPECT_EQ(table.counts()[0], 0);  // its samples were cut off
    EXPECT_EQ(readAll(tempCollectionPath(base)), cut);
}

// What a file that opens but did not parse cleanly tells the user: the result and its meaning,
// that the file may be cut short, and which start times the current time stands in for.
TEST_F(CollectionFileTest, FindingsOfAFileThatOpensDamaged) {
    const QString result34 =
        QStringLiteral("result 34: at least one data set ends beyond the memory's last address");
    struct Case {
        const char* name;
        QByteArray bytes;
        QStringList findings;  // %1: the file's path
    };
    const Case cases[] = {
        {"clean", bytesOf(oneSetImage()), {}},
        // Set 2 keeps 5 of its 40 samples; set 3 lies wholly beyond the end.
        {"cut after 500 bytes",
         memoryWithSets(kSetsEnd).left(500),
         {result34,
          "%1 holds 500 bytes, fewer than its last address 989 needs: it may be cut short",
          "the start time of data set 3 is not a valid date and time in the file; the current "
          "date and time stand in"}},
        // Cut to lastAddress + 257 by an earlier version: long enough for its last address, but
        // the records' start times are gone.
        {"cut by an earlier version",
         memoryWithSets(0).left(257),
         {result34,
          "the start times of data sets 1-3 are not a valid date and time in the "
          "file; the current date and time stand in"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = path(QStringLiteral("case.rec"));
        ASSERT_TRUE(writeAll(file, c.bytes));
        const OpenCollectionResult r = open(file);
        ASSERT_TRUE(r.accepted);
        QStringList expected;
        for (const QString& f : c.findings)
            expected << QString(f).replace(QStringLiteral("%1"), QDir::toNativeSeparators(file));
        EXPECT_EQ(collectionFindings(file, r), expected);
    }
    EXPECT_EQ(dataSetRuns({true, false, true, true, true, false, true}),
              QStringLiteral("1, 3-5, 7"));
}

TEST_F(CollectionFileTest, RejectedFilesChangeNothing) {
    ASSERT_TRUE(writeAll(path("good.rec"), bytesOf(oneSetImage())));
    ASSERT_TRUE(open(path("good.rec")).showFirstSet());
    const QByteArray temp = readAll(tempCollectionPath(base));

    LoggerImage noSets = oneSetImage(0xD0);
    noSets[10] = 0;
    LoggerImage tooMany = oneSetImage(0xD0);
    tooMany[9] = 0x0F;
    tooMany[10] = 0xA1;  // 4001
    struct Case {
        const char* name;
        QByteArray bytes;
        bool create = true;
        CollectionStatus status;
        int32_t parseResult = -1;
    };
    const Case cases[] = {
        {"missing", {}, false, CollectionStatus::Unreadable},
        {"empty", {}, true, CollectionStatus::Empty},
        {"10 bytes", bytesOf(oneSetImage()).left(10), true, CollectionStatus::TooShort},
        {"no sets", bytesOf(noSets), true, CollectionStatus::Ok, ParseResult::NoSets},
        {"4001 sets", bytesOf(tooMany), true, CollectionStatus::Ok, ParseResult::TooManySets},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = path(QStringLiteral("case.rec"));
        QFile::remove(file);
        if (c.create) {
            ASSERT_TRUE(writeAll(file, c.bytes));
        }
        const OpenCollectionResult r = open(file);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.parseResult, c.parseResult);
        EXPECT_FALSE(r.accepted);
        EXPECT_EQ(readAll(tempCollectionPath(base)), temp);
        ASSERT_EQ(table.setCount(), 1);
        EXPECT_FLOAT_EQ(table.levels()[0], 70.0f);  // not the 72.0 of the rejected images
        EXPECT_EQ(rows.size(), 1);
    }
}

TEST(CollectionFileBytes, ReaderRefusesWhatCannotBeAnImage) {
    LoggerImage img{1, 2, 3};
    int32_t lastAddress = 42;
    EXPECT_EQ(readCollectionBytes(QByteArray(13, '\x01'), img, lastAddress),
              CollectionStatus::TooShort);
    EXPECT_EQ(readCollectionBytes(QByteArray(kMaxCollectionFileSize + 1, '\0'), img, lastAddress),
              CollectionStatus::TooLarge);
    EXPECT_EQ(img, (LoggerImage{1, 2, 3}));
    EXPECT_EQ(lastAddress, 42);
    QByteArray fourteen(14, '\0');
    fourteen[11] = '\x01';
    fourteen[13] = '\x02';
    EXPECT_EQ(readCollectionBytes(fourteen, img, lastAddress), CollectionStatus::Ok);
    EXPECT_EQ(img.size(), 14u);
    EXPECT_EQ(lastAddress, 0x010002);
}

TEST_F(CollectionFileTest, TempFolderThatCannotBeCreatedIsTheError) {
    ASSERT_TRUE(writeAll(path("temp"), "a file where the folder should be"));
    ASSERT_TRUE(writeAll(path("good.rec"), bytesOf(oneSetImage())));
    const OpenCollectionResult r = open(path("good.rec"));
    EXPECT_TRUE(r.accepted);  // the table is already replaced
    EXPECT_EQ(r.error, base + "temp");
    EXPECT_FALSE(r.showFirstSet());
    EXPECT_EQ(table.setCount(), 1);
}

TEST_F(CollectionFileTest, TempFolderIsCreatedAndTheFileReplacedWhole) {
    const LoggerImage first = oneSetImage();
    bool written = false;
    EXPECT_EQ(writeTempCollectionFile(first, base, &written), QString());
    EXPECT_TRUE(written);
    EXPECT_EQ(readAll(tempCollectionPath(base)), bytesOf(first));

    // A write that cannot complete (the file size limit stops it) leaves the earlier file whole.
    LoggerImage longer(131072, 0x33);
    std::copy(first.begin(), first.begin() + 14, longer.begin());
    longer[11] = 0x01;  // lastAddress 0x01FFFF
    longer[12] = 0xFF;
    longer[13] = 0xFF;
    {
        const test::FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.ok());
        EXPECT_EQ(writeTempCollectionFile(longer, base, &written), QString());
    }
    EXPECT_FALSE(written);
    EXPECT_EQ(readAll(tempCollectionPath(base)), bytesOf(first));
    EXPECT_EQ(QDir(base + "temp").entryList(QDir::Files), QStringList{"DataSetsTemp.tmp"});

    EXPECT_EQ(writeTempCollectionFile(longer, base, &written), QString());
    EXPECT_TRUE(written);
    EXPECT_EQ(readAll(tempCollectionPath(base)), bytesOf(longer));
}

TEST_F(CollectionFileTest, SaveWithoutTempFileDoesNothing) {
    ASSERT_TRUE(writeAll(path("old.rec"), "keep"));
    EXPECT_FALSE(saveCollectionFile(base, path("old.rec")));
    EXPECT_FALSE(saveCollectionFile(base, path("new.rec")));
    EXPECT_EQ(readAll(path("old.rec")), "keep");
    EXPECT_FALSE(QFile::exists(path("new.rec")));
}
