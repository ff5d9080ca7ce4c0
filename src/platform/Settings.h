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

// The data folder: documentsFolder + "/KL516/", created when missing; the documents folder
// itself (without a trailing separator) when it cannot be created; empty without a documents
// folder.
QString dataFolderFor(const QString& documentsFolder);
// The data folder for the user's documents folder.
QString dataFolder();

}  // namespace kl516
