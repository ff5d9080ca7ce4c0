#pragma once

#include <QSettings>
#include <QString>
#include <memory>

namespace kl516 {

// The user's settings store of the application.
QSettings::Format settingsFormat();
QString settingsPath();
// The settings store in file, or the user's store when file is empty.
std::unique_ptr<QSettings> openSettings(const QString& file = {});

// The remembered choices of the noise assessment: the interval (seconds, 0: the assessment's
// own default), the threshold (dB) and minimum duration (seconds) of an exceedance, and the
// starts of the day periods as seconds after midnight (day, evening and night for Lden, night
// for Ldn). The starts are kept as "hh:mm" texts that the user may edit in the store.
struct AssessmentChoices {
    int intervalSeconds = 0;
    double threshold = 70;
    double minDurationSeconds = 0;
    int dayStart = 7 * 3600;
    int eveningStart = 19 * 3600;
    int nightStart = 23 * 3600;
    int ldnNightStart = 22 * 3600;
};
// A value missing or out of range (an interval that does not divide a day, a threshold outside
// 0 .. 200 dB, a negative duration, a time that is no time of day) reads as its default.
AssessmentChoices readAssessmentChoices(const QSettings& store);
void writeAssessmentChoices(QSettings& store, const AssessmentChoices& choices);

// The data folder: documentsFolder + "/KL516/", created when missing; the documents folder
// itself (without a trailing separator) when it cannot be created; empty without a documents
// folder.
QString dataFolderFor(const QString& documentsFolder);
// The data folder for the user's documents folder.
QString dataFolder();

}  // namespace kl516
