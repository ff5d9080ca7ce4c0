#include "platform/Settings.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace kl516 {

QSettings::Format settingsFormat() {
    return QSettings::IniFormat;
}

std::unique_ptr<QSettings> openSettings(const QString& file) {
    if (!file.isEmpty()) return std::make_unique<QSettings>(file, settingsFormat());
    return std::make_unique<QSettings>(settingsFormat(), QSettings::UserScope,
                                       QStringLiteral("KL516"), QStringLiteral("KL516"));
}

QString settingsPath() {
    return openSettings()->fileName();
}

QString dataFolderFor(const QString& documentsFolder) {
    if (documentsFolder.isEmpty()) return {};
    QString docs = QDir::cleanPath(documentsFolder);
    const QString folder = docs + QStringLiteral("/KL516/");
    QFileInfo info(folder);
    if (info.isDir() || QDir().mkpath(folder)) {
        if (QFileInfo(folder).isDir()) return folder;
    }
    return docs;
}

QString dataFolder() {
    return dataFolderFor(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
}

}  // namespace kl516
