#include "logger/CollectionFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include "formats/SafeWrite.h"

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

OpenCollectionResult openCollectionFile(const QString& path, const QString& baseFolder,
                                        const QDateTime& now, DataSetTable& table,
                                        QList<QStringList>* rows, const QLocale& locale) {
    OpenCollectionResult result;
    LoggerImage image;
    int32_t lastAddress = 0;
    result.status = readCollectionFile(path, image, lastAddress);
    if (result.status != CollectionStatus::Ok) return result;
    result.parseResult = parseImage(image, lastAddress, now, table, rows, locale);
    result.accepted = parseInstalledTable(result.parseResult);
    if (result.accepted) result.error = writeTempCollectionFile(image, table, baseFolder);
    return result;
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
