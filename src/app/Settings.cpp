#include "app/Settings.h"

#include "realtime/SamplingRate.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QtEndian>
#include <cmath>
#include <cstring>

namespace kl516 {

namespace {
const QString kRateKey = QStringLiteral("SOFTWARE/KL500/RealTimeRate");
}

QSettings::Format settingsFormat() { return QSettings::IniFormat; }

std::unique_ptr<QSettings> openSettings(const QString& file) {
    if (!file.isEmpty()) return std::make_unique<QSettings>(file, settingsFormat());
    return std::make_unique<QSettings>(settingsFormat(), QSettings::UserScope,
                                       QStringLiteral("KL516"), QStringLiteral("KL516"));
}

QString settingsPath() { return openSettings()->fileName(); }

double readRealTimeRate(const QSettings& store) {
    const QVariant v = store.value(kRateKey);
    if (v.typeId() != QMetaType::QByteArray) return kDefaultRealTimeRate;
    const QByteArray bytes = v.toByteArray();
    if (bytes.size() != 8) return kDefaultRealTimeRate;
    // Stored little-endian, as the value has always been laid out.
    const quint64 bits = qFromLittleEndian<quint64>(bytes.constData());
    double seconds;
    std::memcpy(&seconds, &bits, sizeof seconds);
    if (!isSamplingRateInRange(seconds)) return kDefaultRealTimeRate;
    return seconds;
}

void writeRealTimeRate(QSettings& store, double seconds) {
    quint64 bits;
    std::memcpy(&bits, &seconds, sizeof bits);
    QByteArray bytes(8, '\0');
    qToLittleEndian<quint64>(bits, bytes.data());
    store.setValue(kRateKey, bytes);
    store.sync();
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
