#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <span>
#include <vector>

#include "dataset/DataSetTable.h"
#include "logger/LoggerImage.h"

namespace kl516 {

// A collection file (".rec") is the logger image itself, byte for byte: its first L bytes (see
// collectionLength).

// The largest file the reader takes: lastAddress is a 24-bit field, so no image that a writer of
// this format produces is longer than 0xFFFFFF + 257 bytes.
inline constexpr qint64 kMaxCollectionFileSize = 0xFFFFFF + 257;

// The folder that holds the temporary collection file's "temp" folder: the data folder when it
// is not empty, otherwise the program's folder; either with a trailing separator.
QString collectionBaseFolder(const QString& dataFolder, const QString& programFolder);
// The same for the running program (its folder from QCoreApplication).
QString collectionBaseFolder(const QString& dataFolder);

// baseFolder + "temp/DataSetsTemp.tmp".
QString tempCollectionPath(const QString& baseFolder);

// L: the number of image bytes a collection file holds, never more than the image: at least
// lastAddress + 257, and every byte up to the end of the last record of `parsed`, the table
// that parseImage installed for this image. A record that ends beyond lastAddress keeps its
// stored count, so its samples can lie further on, as they do in a whole memory downloaded for
// a lastAddress below 255; the file keeps them, so that it parses to the same table as the
// image. An image shorter than 14 bytes (no lastAddress field) is written whole.
qsizetype collectionLength(std::span<const uint8_t> image, const DataSetTable& parsed);
// The same without the table: parses the image to find its records.
qsizetype collectionLength(std::span<const uint8_t> image);

// Writes the first L bytes of image to the temporary collection file, replacing an earlier one
// only once the new one is complete. Returns an error text, the "temp" folder's path, when that
// folder is missing and cannot be created; otherwise an empty text, also when the file could not
// be written (that is skipped silently; *written tells). `parsed`, when given, is the table that
// parseImage installed for this image; without it the image is parsed again.
QString writeTempCollectionFile(std::span<const uint8_t> image, const DataSetTable& parsed,
                                const QString& baseFolder, bool* written = nullptr);
QString writeTempCollectionFile(std::span<const uint8_t> image, const QString& baseFolder,
                                bool* written = nullptr);

enum class CollectionStatus {
    Ok,
    Unreadable,  // the file cannot be opened or read
    Empty,       // no byte
    TooShort,    // 1 to 13 bytes: no lastAddress field
    TooLarge,    // longer than kMaxCollectionFileSize: not a logger image
};

// The image and lastAddress of a collection file's bytes. On anything but Ok, image and
// lastAddress are left as they were.
CollectionStatus readCollectionBytes(const QByteArray& bytes, LoggerImage& image,
                                     int32_t& lastAddress);
// Reads a whole collection file (never more than kMaxCollectionFileSize + 1 bytes of it).
CollectionStatus readCollectionFile(const QString& path, LoggerImage& image, int32_t& lastAddress);

// What a collection file's parse result means for the user (31 .. 35); empty for 0 and for
// codes the parser does not give.
QString collectionResultMessage(int32_t result);

// Whether a file of `size` bytes may be cut short: a download holds at least lastAddress + 1
// bytes (no more than the whole memory), so a shorter file has lost its end.
bool collectionMayBeCutShort(qint64 size, int32_t lastAddress);
// "<path> holds 300 bytes, fewer than its last address 347 needs: it may be cut short".
QString collectionCutShortMessage(const QString& path, qint64 size, int32_t lastAddress);

// For each set of the table parsed from image, whether the parser had to make up its start
// time: record bytes 3..8 (year, month, day, hour, minute, second in BCD) are missing, not BCD
// or not a real date and time, and the current date and time stood in.
std::vector<bool> repairedStartTimes(std::span<const uint8_t> image, const DataSetTable& table);
// Set numbers (from 1) of the marked sets as runs: "2, 5-9".
QString dataSetRuns(const std::vector<bool>& marked);
// "the start times of data sets 3-4 are not a valid date and time in the file; the current date
// and time stand in"; empty when no set is marked.
QString repairedStartTimesMessage(const std::vector<bool>& repaired);

struct OpenCollectionResult {
    CollectionStatus status = CollectionStatus::Unreadable;
    int32_t parseResult = -1;  // the parser's result, -1 when the parser did not run
    bool accepted = false;     // the parser installed a new table (0, 33, 34, 35)
    qint64 fileSize = 0;       // bytes read from the file
    int32_t lastAddress = 0;   // the image's own field
    std::vector<bool> repaired;  // per set: its start time was made up (see repairedStartTimes)
    // Set when the "temp" folder could not be created: the message to show. The new table is
    // installed, but set 0 is not to be shown.
    QString error;
    // True when the caller should now show set 0: accepted and no error.
    bool showFirstSet() const { return accepted && error.isEmpty(); }
};

// What the user should know about an accepted file that did not parse cleanly: the parse
// result with its meaning, that the file may be cut short, which start times were made up.
// One text per finding, none for a clean file.
QStringList collectionFindings(const QString& path, const OpenCollectionResult& result);

// Opens a collection file: reads it, parses it into table and rows, and when the parser accepts
// the image writes it to the temporary collection file. Unreadable, empty, too short or too
// large files and images the parser rejects change nothing.
OpenCollectionResult openCollectionFile(const QString& path, const QString& baseFolder,
                                        const QDateTime& now, DataSetTable& table,
                                        QList<QStringList>* rows, const QLocale& locale);

// Copies the temporary collection file to destination, replacing it only once the copy is
// complete. False, silently, when there is no temporary file or the copy fails.
bool saveCollectionFile(const QString& baseFolder, const QString& destination);

}  // namespace kl516
