#pragma once

#include <QSettings>
#include <QString>
#include <memory>

namespace kl516 {

// The one persisted value: the real-time sampling interval in seconds, kept under the key path
// "SOFTWARE/KL500" as "RealTimeRate", an 8-byte IEEE-754 double.
inline constexpr double kDefaultRealTimeRate = 0.2;

// The user's settings store of the application.
QSettings::Format settingsFormat();
QString settingsPath();
// The settings store in file, or the user's store when file is empty.
std::unique_ptr<QSettings> openSettings(const QString& file = {});

// Reads the rate; 0.2 when the value is missing, not binary, not 8 bytes long, or not an
// interval a run accepts (0.1 to 30 s).
double readRealTimeRate(const QSettings& store);
// Writes the rate; failures are ignored.
void writeRealTimeRate(QSettings& store, double seconds);

// The data folder: documentsFolder + "/KL516/", created when missing; the documents folder
// itself (without a trailing separator) when it cannot be created; empty without a documents
// folder.
QString dataFolderFor(const QString& documentsFolder);
// The data folder for the user's documents folder.
QString dataFolder();

}  // namespace kl516
