// libFuzzer target: graph files (count and state block), from a file-like and from a stream
// device.
#include <QBuffer>
#include <QtEndian>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "graph/GraphFile.h"

namespace {

// The bytes as a stream: the reader cannot ask for their size.
class Stream final : public QIODevice {
  public:
    explicit Stream(const QByteArray& bytes) : bytes_(bytes) {}
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override {
        return bytes_.size() - pos_ + QIODevice::bytesAvailable();
    }

  protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const qint64 n = std::min<qint64>(maxSize, bytes_.size() - pos_);
        if (n <= 0) return -1;  // the end of the stream
        std::memcpy(data, bytes_.constData() + pos_, size_t(n));
        pos_ += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

  private:
    QByteArray bytes_;
    qint64 pos_ = 0;
};

void check(const QByteArray& bytes, QIODevice& device) {
    device.open(QIODevice::ReadOnly);
    kl516::GraphState state;
    state.mainTitle = QStringLiteral("before");
    const kl516::GraphState before = state;
    const kl516::GraphFileRead read =
        kl516::readGraphFile(device, QStringLiteral("fuzz.ghf"), state);
    if (!read.ok) {
        // A rejected file leaves the graph alone and says why.
        if (!(state == before) || read.error.isEmpty()) std::abort();
        return;
    }
    // An accepted file held exactly the count's bytes of a canonical block.
    const quint32 count = qFromLittleEndian<quint32>(bytes.constData());
    if (kl516::saveGraphState(state) != bytes.mid(4, count)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer file;
    file.setData(bytes);
    check(bytes, file);
    Stream stream(bytes);
    check(bytes, stream);
    return 0;
}
