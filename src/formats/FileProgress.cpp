#include "formats/FileProgress.h"

#include <QDir>

namespace kl516 {

QString fileWriteError(const QString& path, const QString& reason) {
    // One multi-argument arg(): a "%1" inside the path or the reason stays as it is.
    return QStringLiteral("Cannot write \"%1\": %2").arg(QDir::toNativeSeparators(path), reason);
}

}  // namespace kl516
