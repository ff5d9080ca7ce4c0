// Reads any bytes as a collection file, parses what the reader accepts, and checks that the
// reader and the writer's length rule agree with the bytes they were given.
#include <algorithm>
#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <cstdint>
#include <cstdlib>

#include "dataset/DataSetTable.h"
#include "logger/CollectionFile.h"
#include "logger/MemoryParser.h"

using namespace kl516;

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QDateTime now(QDate(2024, 6, 1), QTime(12, 30, 45));
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    LoggerImage image;
    int32_t lastAddress = -7;
    const CollectionStatus status = readCollectionBytes(bytes, image, lastAddress);
    if (status != CollectionStatus::Ok) {
        require(image.empty() && lastAddress == -7);
        require(size == 0 ? status == CollectionStatus::Empty : true);
        return 0;
    }
    require(image.size() == size && std::equal(image.begin(), image.end(), data));
    require(lastAddress == imageLastAddress(image));
    const qsizetype length = collectionLength(image);
    // The length never exceeds the image and never cuts below lastAddress + 257 (it may run past
    // that to the end of the last record the parse reads).
    require(length >= 14 && length <= qsizetype(size) &&
            length >= std::min<qsizetype>(qsizetype(size), qsizetype(lastAddress) + 257));

    // A file written from the image and read back gives the same image, up to its length.
    LoggerImage again;
    int32_t lastAgain = 0;
    require(readCollectionBytes(bytes.left(length), again, lastAgain) == CollectionStatus::Ok);
    require(lastAgain == lastAddress && collectionLength(again) == length);

    DataSetTable table;
    const int32_t result = parseImage(image, lastAddress, now, table, nullptr, QLocale::c());
    require(parseInstalledTable(result) == (table.setCount() > 0));
    return 0;
}
