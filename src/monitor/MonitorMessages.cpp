#include "monitor/MonitorMessages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace kl516 {

namespace {

// A level or percentage with one decimal, as the meter shows it; null when there is none.
QJsonValue tenths(const std::optional<double>& value) {
    if (!value || !std::isfinite(*value)) return QJsonValue::Null;
    return std::round(*value * 10.0) / 10.0;
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
    const int offset = local.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz")) +
           QLatin1Char(offset < 0 ? '-' : '+') +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QByteArray summaryPayload(const PeriodSummary& s, int64_t sequence, int64_t dropped) {
    QJsonObject o;
    o[QStringLiteral("start")] = isoTime(localTimeAt(s.startMs));
    o[QStringLiteral("end")] = isoTime(localTimeAt(s.endMs));
    o[QStringLiteral("leq")] = tenths(s.leq);
    o[QStringLiteral("lmax")] = tenths(s.lmax);
    o[QStringLiteral("lmin")] = tenths(s.lmin);
    o[QStringLiteral("l10")] = tenths(s.l10);
    o[QStringLiteral("l50")] = tenths(s.l50);
    o[QStringLiteral("l90")] = tenths(s.l90);
    o[QStringLiteral("samples")] = qint64(s.samples);
    o[QStringLiteral("coverage")] = tenths(s.coverage);
    o[QStringLiteral("sequence")] = qint64(sequence);
    o[QStringLiteral("dropped")] = qint64(dropped);
    o[QStringLiteral("partial")] = s.partial;
    return compact(o);
}

QByteArray eventPayload(const ExceedanceRun& run, double threshold, int64_t sequence) {
    QJsonObject o;
    o[QStringLiteral("start")] = isoTime(localTimeAt(run.startMs));
    o[QStringLiteral("end")] =
        isoTime(localTimeAt(run.startMs + std::llround(run.durationS * 1000)));
    o[QStringLiteral("duration")] = std::round(run.durationS * 1000) / 1000;
    o[QStringLiteral("lmax")] = tenths(run.lmax);
    o[QStringLiteral("leq")] = tenths(run.leq);
    o[QStringLiteral("threshold")] = threshold;
    o[QStringLiteral("samples")] = qint64(run.samples);
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
