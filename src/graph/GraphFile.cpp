#include "graph/GraphFile.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QtEndian>
#include <algorithm>

#include "formats/SafeWrite.h"

namespace kl516 {

namespace {

QString readError(const QString& name, const QString& reason) {
    return QStringLiteral("Cannot read the graph file \"%1\": %2")
        .arg(QDir::toNativeSeparators(name), reason);
}

GraphFileRead failed(const QString& name, const QString& reason) {
    return GraphFileRead{false, readError(name, reason)};
}

}  // namespace

FileWriteResult writeGraphFile(const GraphState& state, const QString& path) {
    FileWriteResult result;
    const QByteArray block = saveGraphState(state);
    if (quint64(block.size()) > kMaxGraphBlock) {
        // The reader would refuse it; better to say so now than to leave an unreadable file.
        result.error = fileWriteError(path, QStringLiteral("the graph holds too much data"));
        return result;
    }
    QByteArray bytes(4, Qt::Uninitialized);
    qToLittleEndian(quint32(block.size()), bytes.data());
    bytes += block;
    QString reason;
    if (!saveFileAtomically(path, bytes, &reason)) {
        result.error = fileWriteError(path, reason);
        return result;
    }
    result.status = FileWriteResult::Status::Written;
    return result;
}

GraphFileRead readGraphFile(QIODevice& in, const QString& name, GraphState& state) {
    char countBytes[4];
    if (in.read(countBytes, 4) != 4)
        return failed(name, QStringLiteral("it is too short to be a graph file."));
    const quint32 count = qFromLittleEndian<quint32>(countBytes);
    if (count > kMaxGraphBlock) {
        return failed(name, QStringLiteral("its length field announces %1 bytes, more than a "
                                           "graph file can hold; the file is damaged.")
                                .arg(count));
    }
    // A file says how much it holds; only a stream has to be read to find out. Either way the
    // buffer grows with the bytes actually there, never with the count alone.
    if (!in.isSequential()) {
        const qint64 rest = std::max<qint64>(in.size() - in.pos(), 0);
        if (qint64(count) > rest) {
            return failed(name, QStringLiteral("its length field announces %1 bytes of graph "
                                               "data, but only %2 follow; the file is damaged.")
                                    .arg(count)
                                    .arg(rest));
        }
    }
    QByteArray block;
    if (!in.isSequential()) {
        block.resize(qsizetype(count));
        block.resize(qsizetype(std::max<qint64>(in.read(block.data(), count), 0)));
    } else {
        constexpr qint64 kChunk = 1 << 20;
        while (block.size() < qint64(count)) {
            const qint64 have = block.size();
            const qint64 want = std::min<qint64>(kChunk, qint64(count) - have);
            block.resize(qsizetype(have + want));
            const qint64 got = in.read(block.data() + have, want);
            block.resize(qsizetype(have + std::max<qint64>(got, 0)));
            if (got <= 0) break;
        }
    }
    if (block.size() != qint64(count)) {
        return failed(name, QStringLiteral("its length field announces %1 bytes of graph data, "
                                           "but only %2 follow; the file is damaged.")
                                .arg(count)
                                .arg(block.size()));
    }
    if (!loadGraphState(block, state)) {
        return failed(name, QStringLiteral("it is not a graph file of this program, or it is "
                                           "damaged."));
    }
    return GraphFileRead{true, QString()};
}

GraphFileRead readGraphFile(const QString& path, GraphState& state) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return failed(path, file.errorString());
    return readGraphFile(file, path, state);
}

}  // namespace kl516
