#include "realtime/RealTimeRateSetting.h"

#include <QtEndian>
#include <cstring>

#include "realtime/SamplingRate.h"

namespace kl516 {

namespace {
const QString kRateKey = QStringLiteral("SOFTWARE/KL500/RealTimeRate");
}

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

}  // namespace kl516
