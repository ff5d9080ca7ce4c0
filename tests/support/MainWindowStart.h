#pragma once

#include <QLocale>
#include <QTemporaryDir>
#include <memory>
#include <optional>

#include "app/ui/MainWindow.h"

namespace kl516::test {

// The main window's settings file, documents folder, program folder and per-user folder inside
// a scratch folder: nothing a test does reaches the real home folder.
inline MainWindow::Environment scratchEnvironment(const QTemporaryDir& dir) {
    return {dir.filePath(QStringLiteral("kl516.ini")), dir.filePath(QStringLiteral("docs")),
            dir.path(), dir.filePath(QStringLiteral("user"))};
}

// The main window as start-up leaves it: created in the scratch folder (with a fixed locale
// when one is given), shown at 1280 x 900 and through completeStartUp. The poll timer is running.
inline std::unique_ptr<MainWindow> startMainWindow(MeterLink& link, Prompts& prompts, Clock& clock,
                                                   const QTemporaryDir& dir,
                                                   std::optional<QLocale> locale = std::nullopt) {
    auto window = std::make_unique<MainWindow>(link, prompts, clock, scratchEnvironment(dir));
    if (locale) window->setLocale(*locale);
    window->resize(1280, 900);
    window->show();
    window->completeStartUp();
    return window;
}

}  // namespace kl516::test
