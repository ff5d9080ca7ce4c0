#include "logger/CollectionFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include "formats/SafeWrite.h"
#include "link/Frames.h"
#include "logger/MemoryParser.h"

namespace kl516 {

namespace {

const QLatin1String kTempFolder("temp");
const QLatin1String kTempFileName("DataSetsTemp.tmp");
// Where the records lie does not depend on the time that repairs start times.
const QDateTime kAnyTime(QDate(2000, 1, 1), QTime(0, 0));

QString withTrailingSeparator(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

}  // namespace

QString collectionBaseFolder(const QString& dataFolder, const QString& programFolder) {
    return withTrailingSeparator(dataFolder.isEmpty() ? programFolder : dataFolder);
}

QString collectionBaseFolder(const QString& dataFolder) {
    return collectionBaseFolder(dataFolder, QCoreApplication::applicationDirPath());
}

QString tempCollectionPath(const QString& baseFolder) {
    return baseFolder + kTempFolder + QLatin1Char('/') + kTempFileName;
}

qsizetype collectionLength(std::span<const uint8_t> image, const DataSetTable& parsed) {
    const int32_t lastAddress = imageLastAddress(image);
    if (lastAddress < 0) return qsizetype(image.size());
    // The parser takes the stored count of a record that ends beyond lastAddress, so its samples
    // may lie past lastAddress + 256: always so when lastAddress is below 255 and the download
    // fetched the whole memory. The records' ends are where the parse stopped reading.
    int64_t used = int64_t{lastAddress} + 257;
    for (const int32_t end : parsed.recordEnds()) used = std::max<int64_t>(used, int64_t{end} + 1);
    return qsizetype(std::min<int64_t>(used, int64_t(image.size())));
}

qsizetype collectionLength(std::span<const uint8_t> image) {
    const int32_t lastAddress = imageLastAddress(image);
    if (lastAddress < 0) return qsizetype(image.size());
    DataSetTable table;  // stays empty when the parser installs nothing
    parseImage(image, lastAddress, kAnyTime, table, nullptr, QLocale::c());
    return collectionLength(image, table);
}

namespace {

QString writeTempCollectionBytes(std::span<const uint8_t> image, qsizetype length,
                                 const QString& baseFolder, bool* written) {
    if (written) *written = false;
    const QString folder = baseFolder + kTempFolder;
    if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder)) return folder;
    const bool ok = saveFileAtomically(tempCollectionPath(baseFolder),
                                       reinterpret_cast<const char*>(image.data()), length);
    if (written) *written = ok;
    return {};
}

}  // namespace

QString writeTempCollectionFile(std::span<const uint8_t> image, const QString& baseFolder,
                                bool* written) {
    return writeTempCollectionBytes(image, collectionLength(image), baseFolder, written);
}

QString writeTempCollectionFile(std::span<const uint8_t> image, const DataSetTable& parsed,
                                const QString& baseFolder, bool* written) {
    return writeTempCollectionBytes(image, collectionLength(image, parsed), baseFolder, written);
}

CollectionStatus readCollectionBytes(const QByteArray& bytes, LoggerImage& image,
                                     int32_t& lastAddress) {
    if (bytes.isEmpty()) return CollectionStatus::Empty;
    if (bytes.size() > kMaxCollectionFileSize) return CollectionStatus::TooLarge;
    if (bytes.size() < 14) return CollectionStatus::TooShort;
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
    image.assign(data, data + bytes.size());
    lastAddress = imageLastAddress(image);
    return CollectionStatus::Ok;
}

CollectionStatus readCollectionFile(const QString& path, LoggerImage& image, int32_t& lastAddress) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return CollectionStatus::Unreadable;
    // Read in pieces up to one byte past the limit, so that neither a wrong size() nor an
    // endless device makes the reader take more than that.
    QByteArray bytes;
    constexpr qint64 kChunk = 1 << 16;
    while (bytes.size() <= kMaxCollectionFileSize) {
        const qsizetype at = bytes.size();
        const qint64 want = std::min<qint64>(kChunk, kMaxCollectionFileSize + 1 - at);
        bytes.resize(at + want);
        const qint64 got = file.read(bytes.data() + at, want);
        if (got < 0) return CollectionStatus::Unreadable;
        bytes.resize(at + got);
        if (got == 0) break;
    }
    return readCollectionBytes(bytes, image, lastAddress);
}

QString collectionResultMessage(int32_t result) {
    switch (result) {
        case ParseResult::NoSets:
            return QStringLiteral("the file's header says it holds no data sets");
        case ParseResult::TooManySets:
            return QStringLiteral("the file's header says it holds more than 4000 data sets");
        case ParseResult::BadMarks:
            return QStringLiteral("at least one data set lacks a correct start or end mark");
        case ParseResult::EndPastLastAddress:
            return QStringLiteral("at least one data set ends beyond the memory's last address");
        case ParseResult::StartTimeNotStored:
            return QStringLiteral("a start time could not be stored; the current time stands in");
        default:
            return {};
    }
}

bool collectionMayBeCutShort(qint64 size, int32_t lastAddress) {
    const int64_t expected = std::min<int64_t>(int64_t{lastAddress} + 1, kLoggerMemorySize);
    return size < expected;
}

QString collectionCutShortMessage(const QString& path, qint64 size, int32_t lastAddress) {
    return QStringLiteral(
               "%1 holds %2 bytes, fewer than its last address %3 needs: it may be cut "
               "short")
        .arg(path, QString::number(size), QString::number(lastAddress));
}

std::vector<bool> repairedStartTimes(std::span<const uint8_t> image, const DataSetTable& table) {
    std::vector<bool> repaired;
    repaired.reserve(size_t(table.setCount()));
    for (int s = 0; s < table.setCount(); ++s) {
        const int64_t r = table.recordStarts()[size_t(s)];
        int f[6] = {};
        bool valid = r >= 0 && r + 8 < int64_t(image.size());
        for (int i = 0; valid && i < 6; ++i) {
            f[i] = fromBcd(image[size_t(r + 3 + i)]);
            valid = f[i] >= 0;
        }
        valid =
            valid && QDate::isValid(2000 + f[0], f[1], f[2]) && QTime::isValid(f[3], f[4], f[5]);
        repaired.push_back(!valid);
    }
    return repaired;
}

QString dataSetRuns(const std::vector<bool>& marked) {
    QStringList runs;
    for (size_t s = 0; s < marked.size();) {
        if (!marked[s]) {
            ++s;
            continue;
        }
        size_t e = s;
        while (e + 1 < marked.size() && marked[e + 1]) ++e;
        runs << (e == s ? QString::number(s + 1) : QStringLiteral("%1-%2").arg(s + 1).arg(e + 1));
        s = e + 1;
    }
    return runs.join(QStringLiteral(", "));
}

QString repairedStartTimesMessage(const std::vector<bool>& repaired) {
    const QString runs = dataSetRuns(repaired);
    if (runs.isEmpty()) return {};
    const bool one = std::count(repaired.begin(), repaired.end(), true) == 1;
    return (one ? QStringLiteral("the start time of data set %1 is")
                : QStringLiteral("the start times of data sets %1 are"))
               .arg(runs) +
           QStringLiteral(
               " not a valid date and time in the file; the current date and time "
               "stand in");
}

OpenCollectionResult openCollectionFile(const QString& path, const QString& baseFolder,
                                        const QDateTime& now, DataSetTable& table,
                                        QList<QStringList>* rows, const QLocale& locale) {
    OpenCollectionResult result;
    LoggerImage image;
    int32_t lastAddress = 0;
    result.status = readCollectionFile(path, image, lastAddress);
    if (result.status != CollectionStatus::Ok) return result;
    result.fileSize = qint64(image.size());
    result.lastAddress = lastAddress;
    result.parseResult = parseImage(image, lastAddress, now, table, rows, locale);
    result.accepted = parseInstalledTable(result.parseResult);
    if (!result.accepted) return result;
    result.repaired = repairedStartTimes(image, table);
    result.error = writeTempCollectionFile(image, table, baseFolder);
    return result;
}

QStringList collectionFindings(const QString& path, const OpenCollectionResult& result) {
    QStringList findings;
    if (!result.accepted) return findings;
    if (result.parseResult != ParseResult::Ok)
        findings << QStringLiteral("result %1: %2")
                        .arg(result.parseResult)
                        .arg(collectionResultMessage(result.parseResult));
    if (collectionMayBeCutShort(result.fileSize, result.lastAddress))
        findings << collectionCutShortMessage(QDir::toNativeSeparators(path), result.fileSize,
                                              result.lastAddress);
    if (const QString repaired = repairedStartTimesMessage(result.repaired); !repaired.isEmpty())
        findings << repaired;
    return findings;
}

bool saveCollectionFile(const QString& baseFolder, const QString& destination) {
    QFile source(tempCollectionPath(baseFolder));
    if (!source.open(QIODevice::ReadOnly)) return false;
    const QByteArray bytes = source.readAll();
    if (source.error() != QFileDevice::NoError) return false;
    source.close();
    return saveFileAtomically(destination, bytes.constData(), bytes.size());
}

}  // namespace kl516
