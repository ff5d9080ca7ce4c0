#include "monitor/MonitorMessages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

#include "dataset/WallClock.h"
#include "levels/LevelFigures.h"

namespace kl516 {

namespace {

// A level as every level is shown (roundedLevel); null when there is none.
QJsonValue level(const std::optional<double>& value) {
    if (!value || !std::isfinite(*value)) return QJsonValue::Null;
    return roundedLevel(*value);
}

// A percentage with one decimal.
QJsonValue tenths(double value) {
    if (!std::isfinite(value)) return QJsonValue::Null;
    return std::round(value * 10.0) / 10.0;
}

QByteArray compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

}  // namespace

int64_t instantMs(const QDateTime& t) {
    return t.toMSecsSinceEpoch();
}

QDateTime localTimeAt(int64_t ms) {
    return QDateTime::fromMSecsSinceEpoch(ms);
}

QString isoTime(const QDateTime& local) {
    return isoInstantText(double(local.toMSecsSinceEpoch()) / 1000, LocalClock(local.timeZone()),
                          true);
}

QByteArray summaryPayload(const PeriodSummary& s, int64_t sequence, int64_t dropped) {
    QJsonObject o;
    o[QStringLiteral("start")] = isoTime(localTimeAt(s.startMs));
    o[QStringLiteral("end")] = isoTime(localTimeAt(s.endMs));
    o[QStringLiteral("leq")] = level(s.leq);
    o[QStringLiteral("lmax")] = level(s.lmax);
    o[QStringLiteral("lmin")] = level(s.lmin);
    o[QStringLiteral("l10")] = level(s.l10);
    o[QStringLiteral("l50")] = level(s.l50);
    o[QStringLiteral("l90")] = level(s.l90);
    o[QStringLiteral("samples")] = qint64(s.samples);
    o[QStringLiteral("coverage")] = tenths(s.coverage);
    o[QStringLiteral("sequence")] = qint64(sequence);
    o[QStringLiteral("dropped")] = qint64(dropped);
    o[QStringLiteral("partial")] = s.partial;
    return compact(o);
}

QByteArray eventPayload(const ExceedanceEvent& event, double threshold, int64_t sequence) {
    QJsonObject o;
    // The event's times are UTC seconds to the millisecond.
    const int64_t startMs = std::llround(event.start * 1000);
    o[QStringLiteral("start")] = isoTime(localTimeAt(startMs));
    o[QStringLiteral("end")] = isoTime(localTimeAt(startMs + std::llround(event.duration * 1000)));
    o[QStringLiteral("duration")] = std::round(event.duration * 1000) / 1000;
    o[QStringLiteral("lmax")] = level(event.lmax);
    o[QStringLiteral("leq")] = level(event.leq);
    o[QStringLiteral("threshold")] = threshold;
    o[QStringLiteral("samples")] = qint64(event.samples);
    o[QStringLiteral("sequence")] = qint64(sequence);
    return compact(o);
}

QString discoveryId(const QString& serial) {
    QString id = QStringLiteral("kl516_") + (serial.isEmpty() ? QStringLiteral("meter") : serial);
    for (QChar& c : id)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('_') &&
            c != QLatin1Char('-'))
            c = QLatin1Char('_');
    return id;
}

std::vector<std::pair<QByteArray, QByteArray>> discoveryConfigs(const QString& prefix,
                                                                const DiscoveredDevice& device) {
    struct Sensor {
        const char* field;
        const char* name;
        const char* topic;
    };
    static const Sensor kSensors[] = {{"level", "Level", "level"},
                                      {"leq", "Leq", "summary"},
                                      {"lmax", "Lmax", "summary"},
                                      {"l90", "L90", "summary"}};
    const QString id = discoveryId(device.serial);
    QJsonObject dev;
    dev[QStringLiteral("identifiers")] = QJsonArray{id};
    dev[QStringLiteral("name")] = device.name;
    dev[QStringLiteral("model")] = device.model;
    if (!device.serial.isEmpty()) dev[QStringLiteral("serial_number")] = device.serial;
    std::vector<std::pair<QByteArray, QByteArray>> configs;
    for (const Sensor& s : kSensors) {
        const QString field = QLatin1String(s.field);
        QJsonObject o;
        o[QStringLiteral("name")] = QLatin1String(s.name);
        o[QStringLiteral("unique_id")] = id + QLatin1Char('_') + field;
        o[QStringLiteral("state_topic")] = prefix + QLatin1Char('/') + QLatin1String(s.topic);
        o[QStringLiteral("value_template")] = QStringLiteral("{{ value_json.%1 }}").arg(field);
        o[QStringLiteral("unit_of_measurement")] = QStringLiteral("dB");
        o[QStringLiteral("device_class")] = QStringLiteral("sound_pressure");
        o[QStringLiteral("state_class")] = QStringLiteral("measurement");
        o[QStringLiteral("availability_topic")] = prefix + QStringLiteral("/availability");
        o[QStringLiteral("device")] = dev;
        configs.emplace_back(
            QStringLiteral("homeassistant/sensor/%1/%2/config").arg(id, field).toUtf8(),
            compact(o));
    }
    return configs;
}

}  // namespace kl516
