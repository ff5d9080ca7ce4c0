#include "formats/FileProgress.h"

#include <QDir>

namespace kl516 {

QString fileWriteError(const QString& path, const QString& reason) {
    // One multi-argument arg(): a "%1" inside the path or the reason stays as it is.
    return QStringLiteral("Cannot write \"%1\": %2").arg(QDir::toNativeSeparators(path), reason);
}

QString cancelledWriteMessage(const QString& path, const FileWriteResult& result) {
    const QString name = QDir::toNativeSeparators(path);
    if (result.keptEarlier)
        return QStringLiteral("Saving was cancelled: \"%1\" was left as it was.").arg(name);
    return QStringLiteral("Saving was cancelled: \"%1\" holds the first %2 %3 only.")
        .arg(name)
        .arg(result.lines)
        .arg(result.lines == 1 ? QStringLiteral("line") : QStringLiteral("lines"));
}

}  // namespace kl516
