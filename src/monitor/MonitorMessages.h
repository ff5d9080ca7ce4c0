#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdint>
#include <utility>
#include <vector>

#include "assessment/ExceedanceDetector.h"
#include "monitor/LevelAggregator.h"

namespace kl516 {

// The payloads the monitor publishes, as compact JSON.

// Milliseconds since 1970-01-01 00:00 UTC (the aggregator's time), and the local time of one.
int64_t instantMs(const QDateTime& t);
QDateTime localTimeAt(int64_t ms);
// ISO 8601 with milliseconds and the UTC offset: 2026-12-10T15:04:05.000+01:00.
QString isoTime(const QDateTime& local);

// <prefix>/summary: start, end, leq, lmax, lmin, l10, l50, l90 (null without a level),
// samples, coverage (percent, one decimal), sequence, dropped (spooled messages lost over the
// spool's limit since the previous summary), partial.
QByteArray summaryPayload(const PeriodSummary& summary, int64_t sequence, int64_t dropped);

// <prefix>/event: start, end, duration (s), lmax, leq, threshold, samples, sequence.
QByteArray eventPayload(const ExceedanceEvent& event, double threshold, int64_t sequence);

// The meter a discovery config names.
struct DiscoveredDevice {
    QString serial;  // the USB serial number, or empty when the meter did not give one
    QString model;
    QString name;
};

// Home Assistant MQTT discovery: one retained config per sensor (level, leq, lmax, l90) under
// homeassistant/sensor/<id>/<field>/config, each with unit dB, device class sound_pressure,
// state class measurement, the device and the availability topic.
std::vector<std::pair<QByteArray, QByteArray>> discoveryConfigs(const QString& topicPrefix,
                                                                const DiscoveredDevice& device);

// The discovery id of a device: "kl516_" and its serial (or "meter") with every character that
// is no letter, digit, '_' or '-' as '_'.
QString discoveryId(const QString& serial);

}  // namespace kl516
