#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

#include "app/ui/MainWindow.h"
#include "leq/ui/LeqCommands.h"
#include "leq/ui/LeqWindow.h"
#include "link/MeterLink.h"
#include "simulator/SimulatedMeter.h"
#include "support/Controls.h"
#include "support/MainWindowStart.h"
#include "support/ScriptedPrompts.h"

namespace kl516::test {

// The main window against the simulated meter on a manual clock, connected; the LEQ log goes
// where the window's paths put it, inside the temporary folder. The tests run the poll and LEQ
// ticks themselves.
struct LeqFixture : ::testing::Test {
    QTemporaryDir dir;
    ManualClock clock;
    ScriptedPrompts prompts;
    IdleLinkHost idle;
    SimulatedMeter::Options options;
    std::unique_ptr<DeviceLibrary> meter;
    std::unique_ptr<MeterLink> link;
    std::unique_ptr<MainWindow> window;
    const QLocale locale{QLocale::English, QLocale::UnitedKingdom};

    // Against the simulated meter, or against `library` when one is given.
    void start(std::unique_ptr<DeviceLibrary> library = nullptr) {
        meter = library ? std::move(library) : std::make_unique<SimulatedMeter>(clock, options);
        link = std::make_unique<MeterLink>(*meter, clock, idle);
        window = startMainWindow(*link, prompts, clock, dir, locale);
        window->pollTick();  // identification: connected
        ASSERT_TRUE(window->connected());
    }

    QString logPath() const { return window->paths().leqLog(); }
    LeqCommands& leq() { return window->leqCommands(); }
    LeqWindow* leqWindow() { return leq().window(); }
    bool pollRunning() { return window->connection().pollTimerActive(); }

    void openLeq() {
        action(*window, "leqAction")->trigger();
        ASSERT_NE(leqWindow(), nullptr);
    }
    void startRun(int item) {
        leqWindow()->durationBox->setCurrentIndex(item);
        leqWindow()->startRunButton->click();
    }
    // Runs LEQ ticks 40 ms apart until the run ends or maxTicks have passed; returns the ticks.
    int tickUntilIdle(int maxTicks) {
        int ticks = 0;
        while (leq().timer()->isActive() && ticks < maxTicks) {
            clock.advance(LeqCommands::kTickMs);
            leq().runTick();
            ++ticks;
        }
        return ticks;
    }
};

}  // namespace kl516::test
