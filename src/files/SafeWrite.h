#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>

namespace kl516 {

// Commits a save file only when every byte written reached the file: QSaveFile alone accepts
// a file whose last buffered write came up short (a full disk, a size limit). On failure the
// previous file stays as it was.
bool commitFully(QSaveFile& file);

// Replaces the file at path with data, all or nothing.
bool saveFileAtomically(const QString& path, const char* data, qint64 size);
inline bool saveFileAtomically(const QString& path, const QByteArray& data) {
    return saveFileAtomically(path, data.constData(), data.size());
}

}  // namespace kl516
