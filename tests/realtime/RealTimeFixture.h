#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <memory>

#include "app/ui/MainWindow.h"
#include "dataset/SerialDateTime.h"
#include "graph/ui/GraphWindow.h"
#include "link/Clock.h"
#include "link/MeterLink.h"
#include "realtime/ui/RealTimeRecorder.h"
#include "realtime/ui/RealTimeSetupDialog.h"
#include "simulator/SimulatedMeter.h"
#include "support/Controls.h"
#include "support/MainWindowStart.h"
#include "support/ScriptedPrompts.h"

namespace kl516::test {

// The main window against a simulated meter on a manual clock, with scripted prompts, a
// settings file of its own and a scripted setup dialog. The tests run the poll ticks themselves,
// advancing the clock by the poll interval before each.
struct RealTimeFixture : ::testing::Test {
    // What the setup dialog is given by the user, and what it showed when it opened.
    struct DialogScript {
        QString rate;       // empty: keep the preset
        QString count;      // null: keep " 2000"
        bool start = true;  // Start or Cancel
        int shown = 0;
        QString presetRate, presetPeriod, periodAfterEdit;
    };

    QTemporaryDir dir;
    ManualClock clock;
    ScriptedPrompts prompts;
    IdleLinkHost idle;
    SimulatedMeter::Options options;
    std::unique_ptr<SimulatedMeter> meter;
    std::unique_ptr<MeterLink> link;
    std::unique_ptr<MainWindow> window;
    QLocale locale{QLocale::English, QLocale::UnitedStates};
    DialogScript dialog;

    // Creates and shows the main window, then connects to the meter.
    void start() {
        if (!meter) meter = std::make_unique<SimulatedMeter>(clock, options);
        link = std::make_unique<MeterLink>(*meter, clock, idle);
        window = startMainWindow(*link, prompts, clock, dir, locale);
        window->connection().stopPolling();  // the tests run the ticks themselves
        recorder().execSetupDialog = [this](RealTimeSetupDialog& d) {
            ++dialog.shown;
            dialog.presetRate = d.samplingRateBox->currentText();
            dialog.presetPeriod = d.recordingPeriodEdit->text();
            if (!dialog.rate.isEmpty()) d.samplingRateBox->setEditText(dialog.rate);
            if (!dialog.count.isNull()) d.sampleCountEdit->setText(dialog.count);
            dialog.periodAfterEdit = d.recordingPeriodEdit->text();
            if (!dialog.start) return false;
            d.accept();  // Start: the dialog checks the rate and may stay open
            return d.result() == QDialog::Accepted;
        };
        tick();
        ASSERT_TRUE(window->connected());
    }

    // Closes the main window as at exit and starts it again.
    void restart() {
        window->close();
        window.reset();
        start();
    }

    RealTimeRecorder& recorder() { return window->realTimeRecorder(); }
    GraphWindow* graph() { return window->realTimeWindow(); }
    GraphView* pes() { return graph()->graphView; }
    const GraphState& state() { return std::as_const(*pes()).state(); }
    SerialDateTime now() const { return toSerialDateTime(clock.now()); }

    void tick() {
        clock.advance(window->connection().pollIntervalMs());
        window->pollTick();
    }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) tick();
    }
    // Ticks until the run holds `count` samples (or has stopped); false when that takes more
    // than `limit` ticks.
    bool ticksUntil(int count, int limit = 1000000) {
        for (int i = 0; i < limit; ++i) {
            if (recorder().sampleCount() >= count || !window->runActive()) return true;
            tick();
        }
        return false;
    }

    void run(const QString& rate = {}, const QString& count = QString()) {
        dialog.rate = rate;
        dialog.count = count;
        test::button(*window, "runButton")->click();
    }

    bool runEnabled() const { return test::commandEnabled(*window, "runButton", "runAction"); }
    bool stopEnabled() const { return test::commandEnabled(*window, "stopButton", "stopAction"); }
};

}  // namespace kl516::test
