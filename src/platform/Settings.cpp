#include "platform/Settings.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTime>
#include <cmath>

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

namespace {

const QString kIntervalKey = QStringLiteral("Assessment/Interval");
const QString kThresholdKey = QStringLiteral("Assessment/Threshold");
const QString kMinDurationKey = QStringLiteral("Assessment/MinimumDuration");
const QString kDayStartKey = QStringLiteral("Assessment/DayStart");
const QString kEveningStartKey = QStringLiteral("Assessment/EveningStart");
const QString kNightStartKey = QStringLiteral("Assessment/NightStart");
const QString kLdnNightStartKey = QStringLiteral("Assessment/LdnNightStart");

double numberOr(const QSettings& store, const QString& key, double fallback) {
    bool ok = false;
    const double v = store.value(key).toString().toDouble(&ok);
    return ok && std::isfinite(v) ? v : fallback;
}

// "hh:mm" or "hh:mm:ss", as seconds after midnight.
int timeOfDayOr(const QSettings& store, const QString& key, int fallback) {
    const QString text = store.value(key).toString().trimmed();
    for (const QString& format : {QStringLiteral("H:mm"), QStringLiteral("H:mm:ss")}) {
        const QTime t = QTime::fromString(text, format);
        if (t.isValid()) return t.msecsSinceStartOfDay() / 1000;
    }
    return fallback;
}

QString timeOfDayText(int seconds) {
    const QTime t = QTime(0, 0).addSecs(seconds);
    return t.toString(seconds % 60 ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm"));
}

}  // namespace

AssessmentChoices readAssessmentChoices(const QSettings& store) {
    const AssessmentChoices defaults;
    AssessmentChoices c;
    const double interval = numberOr(store, kIntervalKey, defaults.intervalSeconds);
    // Whole seconds from one minute to a day that divide the day; 0 is the automatic choice.
    const bool intervalOk =
        interval == 0 || (interval >= 60 && interval <= 86400 && interval == std::floor(interval) &&
                          86400 % int(interval) == 0);
    c.intervalSeconds = intervalOk ? int(interval) : defaults.intervalSeconds;
    const double threshold = numberOr(store, kThresholdKey, defaults.threshold);
    c.threshold = threshold >= 0 && threshold <= 200 ? threshold : defaults.threshold;
    const double duration = numberOr(store, kMinDurationKey, defaults.minDurationSeconds);
    c.minDurationSeconds =
        duration >= 0 && duration <= 86400 ? duration : defaults.minDurationSeconds;
    c.dayStart = timeOfDayOr(store, kDayStartKey, defaults.dayStart);
    c.eveningStart = timeOfDayOr(store, kEveningStartKey, defaults.eveningStart);
    c.nightStart = timeOfDayOr(store, kNightStartKey, defaults.nightStart);
    c.ldnNightStart = timeOfDayOr(store, kLdnNightStartKey, defaults.ldnNightStart);
    return c;
}

void writeAssessmentChoices(QSettings& store, const AssessmentChoices& c) {
    store.setValue(kIntervalKey, QString::number(c.intervalSeconds));
    store.setValue(kThresholdKey, QString::number(c.threshold));
    store.setValue(kMinDurationKey, QString::number(c.minDurationSeconds));
    store.setValue(kDayStartKey, timeOfDayText(c.dayStart));
    store.setValue(kEveningStartKey, timeOfDayText(c.eveningStart));
    store.setValue(kNightStartKey, timeOfDayText(c.nightStart));
    store.setValue(kLdnNightStartKey, timeOfDayText(c.ldnNightStart));
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
