#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <memory>

#include "app/ui/TfrmMain.h"
#include "dataset/TDateTime.h"
#include "graph/ui/TfrmGraph.h"
#include "link/Clock.h"
#include "link/MeterLink.h"
#include "realtime/ui/RealTimeRecorder.h"
#include "realtime/ui/TfrmSetupRealTime.h"
#include "simulator/SimulatedMeter.h"
#include "support/MainWindowStart.h"
#include "support/Controls.h"
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
    std::unique_ptr<TfrmMain> window;
    QLocale locale{QLocale::English, QLocale::UnitedStates};
    DialogScript dialog;

    // Creates and shows the main window, then connects to the meter.
    void start() {
        if (!meter) meter = std::make_unique<SimulatedMeter>(clock, options);
        link = std::make_unique<MeterLink>(*meter, clock, idle);
        window = startMainWindow(*link, prompts, clock, dir, locale);
        window->connection().stopPolling();  // the tests run the ticks themselves
        recorder().execSetupDialog = [this](TfrmSetupRealTime& d) {
            ++dialog.shown;
            dialog.presetRate = d.txtRate->currentText();
            dialog.presetPeriod = d.edtPeriod->text();
            if (!dialog.rate.isEmpty()) d.txtRate->setEditText(dialog.rate);
            if (!dialog.count.isNull()) d.edtRealTimeNo->setText(dialog.count);
            dialog.periodAfterEdit = d.edtPeriod->text();
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
    TfrmGraph* graph() { return window->realTimeWindow(); }
    PESGraph* pes() { return graph()->PESGraph1; }
    const GraphState& state() { return std::as_const(*pes()).state(); }
    TDateTime now() const { return toTDateTime(clock.now()); }

    void tick() {
        clock.advance(window->connection().pollIntervalMs());
        window->MainTimerTimer();
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
        test::button(*window, "btnRun")->click();
    }

    bool runEnabled() const { return test::button(*window, "btnRun")->isEnabled() && test::action(*window, "Run1")->isEnabled(); }
    bool stopEnabled() const { return test::button(*window, "btnStop")->isEnabled() && test::action(*window, "Stop1")->isEnabled(); }
};

}  // namespace kl516::test
