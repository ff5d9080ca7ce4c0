#include "assessment/AssessmentChoices.h"

#include <cmath>

#include "dataset/WallClock.h"

namespace kl516 {

namespace {

const QString kIntervalKey = QStringLiteral("Assessment/Interval");
const QString kThresholdKey = QStringLiteral("Assessment/Threshold");
const QString kMinDurationKey = QStringLiteral("Assessment/MinimumDuration");
const QString kDayStartKey = QStringLiteral("Assessment/DayStart");
const QString kEveningStartKey = QStringLiteral("Assessment/EveningStart");
const QString kNightStartKey = QStringLiteral("Assessment/NightStart");
const QString kLdnNightStartKey = QStringLiteral("Assessment/LdnNightStart");

std::optional<double> numberAt(const QSettings& store, const QString& key) {
    bool ok = false;
    const double v = store.value(key).toString().toDouble(&ok);
    if (!ok) return std::nullopt;
    return v;
}

int timeOfDayOr(const QSettings& store, const QString& key, int fallback) {
    return parseTimeOfDay(store.value(key).toString()).value_or(fallback);
}

}  // namespace

AssessmentOptions readAssessmentChoices(const QSettings& store) {
    const AssessmentOptions defaults;
    AssessmentOptions c;
    const std::optional<double> interval = numberAt(store, kIntervalKey);
    if (interval && *interval == std::floor(*interval) && std::abs(*interval) <= 86400 &&
        !checkChosenInterval(int(*interval)))
        c.intervalSeconds = int(*interval);
    const std::optional<double> threshold = numberAt(store, kThresholdKey);
    if (threshold && !checkThreshold(*threshold)) c.threshold = *threshold;
    const std::optional<double> duration = numberAt(store, kMinDurationKey);
    if (duration && !checkMinDuration(*duration)) c.minDurationSeconds = *duration;
    c.periods.dayStart = timeOfDayOr(store, kDayStartKey, defaults.periods.dayStart);
    c.periods.eveningStart = timeOfDayOr(store, kEveningStartKey, defaults.periods.eveningStart);
    c.periods.nightStart = timeOfDayOr(store, kNightStartKey, defaults.periods.nightStart);
    c.periods.ldnNightStart = timeOfDayOr(store, kLdnNightStartKey, defaults.periods.ldnNightStart);
    if (checkDayPeriods(c.periods)) c.periods = defaults.periods;
    return c;
}

void writeAssessmentChoices(QSettings& store, const AssessmentOptions& c) {
    store.setValue(kIntervalKey, QString::number(c.intervalSeconds));
    store.setValue(kThresholdKey, QString::number(c.threshold));
    store.setValue(kMinDurationKey, QString::number(c.minDurationSeconds));
    store.setValue(kDayStartKey, timeOfDayText(c.periods.dayStart));
    store.setValue(kEveningStartKey, timeOfDayText(c.periods.eveningStart));
    store.setValue(kNightStartKey, timeOfDayText(c.periods.nightStart));
    store.setValue(kLdnNightStartKey, timeOfDayText(c.periods.ldnNightStart));
    store.sync();
}

}  // namespace kl516
