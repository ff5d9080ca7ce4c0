#include "files/SafeWrite.h"

namespace kl516 {

bool commitFully(QSaveFile& file) {
    if (file.error() != QFileDevice::NoError || !file.flush()) {
        file.cancelWriting();
        file.commit();  // discards the partial file
        return false;
    }
    return file.commit();
}

bool saveFileAtomically(const QString& path, const char* data, qint64 size) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (file.write(data, size) != size) {
        file.cancelWriting();
        file.commit();
        return false;
    }
    return commitFully(file);
}

}  // namespace kl516
