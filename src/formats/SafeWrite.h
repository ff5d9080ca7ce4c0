#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>

namespace kl516 {

// Commits a save file only when every byte written reached the file: QSaveFile alone accepts
// a file whose last buffered write came up short (a full disk, a size limit). On failure the
// previous file stays as it was and reason, when given, gets the system's reason.
bool commitFully(QSaveFile& file, QString* reason = nullptr);

// Replaces the file at path with data, all or nothing; reason as for commitFully.
bool saveFileAtomically(const QString& path, const char* data, qint64 size,
                        QString* reason = nullptr);
inline bool saveFileAtomically(const QString& path, const QByteArray& data,
                               QString* reason = nullptr) {
    return saveFileAtomically(path, data.constData(), data.size(), reason);
}

}  // namespace kl516
