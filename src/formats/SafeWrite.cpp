#include "formats/SafeWrite.h"

namespace kl516 {

namespace {

// Drops the temporary file; the reason is taken first, as cancelWriting() replaces it.
bool discard(QSaveFile& file, QString* reason) {
    if (reason) *reason = file.errorString();
    file.cancelWriting();
    file.commit();
    return false;
}

}  // namespace

bool commitFully(QSaveFile& file, QString* reason) {
    if (file.error() != QFileDevice::NoError || !file.flush()) return discard(file, reason);
    if (!file.commit()) {
        if (reason) *reason = file.errorString();
        return false;
    }
    return true;
}

bool saveFileAtomically(const QString& path, const char* data, qint64 size, QString* reason) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (reason) *reason = file.errorString();
        return false;
    }
    if (file.write(data, size) != size) return discard(file, reason);
    return commitFully(file, reason);
}

}  // namespace kl516
