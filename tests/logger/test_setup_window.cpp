#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTemporaryDir>
#include <QPointer>
#include <QTest>
#include <functional>
#include <memory>
#include <optional>

#include "app/ui/TfrmMain.h"
#include "link/MeterLink.h"
#include "logger/ui/TfrmSetup.h"
#include "simulator/SimulatedMeter.h"
#include "support/MainWindowStart.h"
#include "support/Controls.h"
#include "support/ScriptedPrompts.h"

using namespace kl516;

namespace {

// Passes every call on to the simulated meter; onWrite runs before a command frame goes out.
struct WatchedMeter final : DeviceLibrary {
    explicit WatchedMeter(SimulatedMeter& meter) : inner(meter) {}
    SimulatedMeter& inner;
    std::function<void(const uint8_t*)> onWrite;
    int32_t close() override { return inner.close(); }
    int32_t open(uint16_t v, uint16_t p) override { return inner.open(v, p); }
    int32_t setTimeouts(int32_t r, int32_t w) override { return inner.setTimeouts(r, w); }
    int32_t write(int32_t length, const uint8_t* bytes) override {
        if (onWrite) onWrite(bytes);
        return inner.write(length, bytes);
    }
    int32_t prepareRead() override { return inner.prepareRead(); }
    int32_t read(int32_t length, uint8_t* buffer) override { return inner.read(length, buffer); }
    int32_t writeBlock(int32_t length, const uint8_t* bytes) override {
        return inner.writeBlock(length, bytes);
    }
    int32_t readString(int32_t index, char* buffer, int32_t size) override {
        return inner.readString(index, buffer, size);
    }
};

// The main window against the simulated meter (with its demonstration logger) on a manual
// clock, connected, with the setup window open.
struct SetupWindowTest : ::testing::Test {
    QTemporaryDir dir;
    ManualClock clock;
    test::ScriptedPrompts prompts;
    IdleLinkHost idle;
    SimulatedMeter::Options options;
    std::optional<SimulatedMeter> meter;
    std::optional<WatchedMeter> watched;
    std::unique_ptr<MeterLink> link;
    std::unique_ptr<TfrmMain> window;
    TfrmSetup* setup = nullptr;

    void SetUp() override {
        options.demoLogger = true;
        meter.emplace(clock, options);
        watched.emplace(*meter);
        link = std::make_unique<MeterLink>(*watched, clock, idle);
        window = test::startMainWindow(*link, prompts, clock, dir, QLocale::c());
        window->MainTimerTimer();  // identification: connected
        ASSERT_TRUE(window->connected());
        test::action(*window, "Setup1")->trigger();
        setup = window->setupWindow();
        ASSERT_NE(setup, nullptr);
        // Every message comes after the hourglass, with the poll running again.
        prompts.onShown = [this](const test::ScriptedPrompts::Shown&) {
            EXPECT_EQ(QApplication::overrideCursor(), nullptr);
            EXPECT_TRUE(window->connection().pollTimerActive());
        };
    }
    void TearDown() override { window.reset(); }

    // Clicks a button of the setup window; returns the messages it showed.
    QStringList click(QPushButton* button) {
        prompts.clear();
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_FALSE(window->connection().linkLent());
        return prompts.messages();
    }
};

}  // namespace

TEST_F(SetupWindowTest, ControlsCaptionsAndInitialTexts) {
    EXPECT_EQ(setup->windowTitle(), QStringLiteral("Data Logger Setup"));
    EXPECT_EQ(roleOf(setup), WindowRole::Service);
    EXPECT_TRUE(setup->isVisible());
    const std::pair<const char*, const char*> buttons[] = {
        {"Button1", "Adjust Meter Time To Computer Time"},
        {"Button2", "Adjust Meter Recording Interval "},
        {"Button3", "Erase Meter Memory"},
        {"Button4", "Read  "},
        {"Button6", "Write EEProm"},
        {"Button7", "Read EEProm"}};
    for (const auto& [name, caption] : buttons)
        EXPECT_EQ(test::control<QPushButton>(*setup, name)->text(), QLatin1String(caption)) << name;
    EXPECT_EQ(setup->GroupBox1->title(), QStringLiteral("Meter Recording Interval "));
    EXPECT_EQ(setup->GroupBox2->title(), QStringLiteral("Meter DataLogger Information"));
    const std::pair<const char*, const char*> labels[] = {
        {"Label1", "Meter Time:"},        {"Label2", "mm:ss(00:01~01:00)"},
        {"Label3", "Recording Interval:"}, {"Label4", "Memory Available:"},
        {"Label5", "Data Sets In Memory:"}, {"Label6", "FirmWare Version:"},
        {"Label7", "SN:"},                {"Label8", "MM/DD/YY   hh:mm:ss"},
        {"Label10", "94dB cali:"},        {"Label11", "70dB cali"},
        {"Label12", "60dB cali"},         {"Label13", "40dB cali"},
        {"Label14", "30dB cali"}};
    for (const auto& [name, caption] : labels)
        EXPECT_EQ(test::control<QLabel>(*setup, name)->text(), QLatin1String(caption)) << name;
    EXPECT_EQ(setup->edtInt1->text(), QStringLiteral("00"));
    EXPECT_EQ(setup->edtInt2->text(), QStringLiteral("02"));
    for (const char* name : {"edtPassword", "txtWAddress", "txtWData", "txtRAddress", "txtRData"})
        EXPECT_EQ(test::lineEdit(*setup, name)->text(), QStringLiteral("0")) << name;
    for (const char* name : {"txtMeterTime", "txtInt", "txtMemoryAvailable", "txtDataSets", "txtVer",
                             "txtSN", "txt94dB", "txt70dB", "txt60dB", "txt40dB", "txt30dB"})
        EXPECT_EQ(test::lineEdit(*setup, name)->text(), QLatin1String(name));
}

TEST_F(SetupWindowTest, EntryPointsHiddenUnlessServiceAndOneInstance) {
    // The main window's own Button1 (the setup window has one too).
    QPushButton* setupButton = nullptr;
    for (QPushButton* b : window->findChildren<QPushButton*>(QStringLiteral("Button1")))
        if (!qobject_cast<TfrmSetup*>(b->parentWidget())) setupButton = b;
    ASSERT_NE(setupButton, nullptr);
    EXPECT_FALSE(test::action(*window, "Setup1")->isVisible());
    EXPECT_FALSE(setupButton->isVisible());
    window->setServiceEntriesVisible(true);
    EXPECT_TRUE(test::action(*window, "Setup1")->isVisible());
    EXPECT_TRUE(setupButton->isVisible());

    // Opening again restores the open window.
    auto* sub = qobject_cast<QMdiSubWindow*>(setup->parentWidget());
    ASSERT_NE(sub, nullptr);
    sub->showMinimized();
    QCoreApplication::processEvents();  // the status bar places the button
    QTest::mouseClick(setupButton, Qt::LeftButton);
    EXPECT_EQ(window->setupWindow(), setup);
    EXPECT_FALSE(sub->isMinimized());
    EXPECT_EQ(window->findChildren<TfrmSetup*>().size(), 1);

    // Closing destroys it; the next Setup makes a new one.
    QPointer<TfrmSetup> closed = setup;
    sub->close();
    EXPECT_EQ(window->setupWindow(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(closed.isNull());
    test::action(*window, "Setup1")->trigger();
    ASSERT_NE(window->setupWindow(), nullptr);
    EXPECT_EQ(window->findChildren<TfrmSetup*>().size(), 1);
}

TEST_F(SetupWindowTest, ReadInformationUnderTheHourglassWithThePollStopped) {
    // Every frame of the transaction goes out under the hourglass, with the poll stopped.
    int frames = 0, underHourglass = 0, pollStopped = 0;
    watched->onWrite = [&](const uint8_t*) {
        ++frames;
        const QCursor* cursor = QApplication::overrideCursor();
        underHourglass += cursor && cursor->shape() == Qt::WaitCursor;
        pollStopped += !window->connection().pollTimerActive();
    };
    EXPECT_EQ(click(setup->Button4), QStringList{QStringLiteral("read data successfully")});
    EXPECT_GT(frames, 1);  // the presence poll and the 'Y'
    EXPECT_EQ(underHourglass, frames);
    EXPECT_EQ(pollStopped, frames);
    watched->onWrite = nullptr;
    EXPECT_EQ(setup->txtDataSets->text(), QString::number(meter->setCount()));
    EXPECT_EQ(setup->txtVer->text(), QStringLiteral("1.56"));
    EXPECT_EQ(setup->txtMemoryAvailable->text(),
              QString::number((128256 - int(meter->lastAddress())) / 2));
    EXPECT_TRUE(setup->txtSN->text().startsWith(QStringLiteral("KL516-")));
    EXPECT_TRUE(setup->txt70dB->text().contains(QStringLiteral("  (")));
    EXPECT_TRUE(window->connection().pollTimerActive());

    // A failed read empties the fields but keeps the 60, 40 and 30 dB texts.
    const QString cal60 = setup->txt60dB->text(), cal40 = setup->txt40dB->text(),
                  cal30 = setup->txt30dB->text();
    meter->options().readFailure = {0, -1, 'Y'};
    EXPECT_EQ(click(setup->Button4), QStringList{QStringLiteral("fail to read")});
    for (QLineEdit* e : {setup->txtMeterTime, setup->txtInt, setup->txtMemoryAvailable,
                         setup->txtDataSets, setup->txtVer, setup->txtSN, setup->txt70dB,
                         setup->txt94dB})
        EXPECT_TRUE(e->text().isEmpty()) << e->objectName().toStdString();
    EXPECT_EQ(setup->txt60dB->text(), cal60);
    EXPECT_EQ(setup->txt40dB->text(), cal40);
    EXPECT_EQ(setup->txt30dB->text(), cal30);

    // A meter that does not answer: nothing is shown.
    meter->options().readFailure = {};
    meter->unplug();
    EXPECT_TRUE(click(setup->Button4).isEmpty());
}

TEST_F(SetupWindowTest, IntervalClockAndErase) {
    setup->edtInt1->setText(QStringLiteral("00"));
    setup->edtInt2->setText(QStringLiteral("45"));
    EXPECT_EQ(click(setup->Button2),
              QStringList{QStringLiteral("Recording Interval Setup Successfully, turn off and turn "
                                         "on the meter to effective ")});
    EXPECT_EQ(meter->configByte(0x0F), 45);

    const int sent = meter->exchangeCount();
    for (const auto& [m, s] : {std::pair{"01", "01"}, {"05", "00"}, {"", "30"}, {"0", ""}}) {
        setup->edtInt1->setText(QLatin1String(m));
        setup->edtInt2->setText(QLatin1String(s));
        EXPECT_EQ(click(setup->Button2), QStringList{QStringLiteral("Invalid Input")}) << m << s;
    }
    // The masked fields take two digits only.
    setup->edtInt2->clear();
    QTest::keyClicks(setup->edtInt2, QStringLiteral("a7x99"));
    EXPECT_EQ(setup->edtInt2->text(), QStringLiteral("79"));
    EXPECT_EQ(meter->exchangeCount(), sent);

    EXPECT_EQ(click(setup->Button1), QStringList{QStringLiteral("Meter time updated successfully \n")});
    EXPECT_FALSE(meter->blocksWritten().empty());

    // Erase runs at once: no question here.
    ASSERT_GT(meter->setCount(), 0);
    EXPECT_EQ(click(setup->Button3), QStringList{QStringLiteral("erase memory successfully")});
    EXPECT_TRUE(prompts.questions().isEmpty());
    EXPECT_EQ(meter->setCount(), 0);

    meter->unplug();
    EXPECT_EQ(click(setup->Button1), QStringList{QStringLiteral("Meter time updated fail")});
}

TEST_F(SetupWindowTest, ConfigurationBytes) {
    // Wrong code: the message, nothing sent, the poll untouched.
    const int sent = meter->exchangeCount();
    prompts.onShown = [this](const test::ScriptedPrompts::Shown&) {
        EXPECT_FALSE(window->connection().linkLent());
    };
    setup->txtWAddress->setText(QStringLiteral("70000"));
    setup->txtWData->setText(QStringLiteral("7"));
    EXPECT_EQ(click(setup->Button6), QStringList{QStringLiteral("Password error !!")});

    setup->edtPassword->setText(QStringLiteral("9282"));
    const std::pair<const char*, const char*> refused[] = {
        {"abc", "7"}, {"16777216", "7"}, {"70000", "256"}, {"70000", "x"}, {"-5", "1"}};
    for (const auto& [address, data] : refused) {
        setup->txtWAddress->setText(QLatin1String(address));
        setup->txtWData->setText(QLatin1String(data));
        const QStringList shown = click(setup->Button6);
        ASSERT_EQ(shown.size(), 1);
        EXPECT_NE(shown.front(), QStringLiteral("Write EEProm successfully"));
    }
    setup->txtWAddress->setText(QStringLiteral("abc"));
    EXPECT_EQ(click(setup->Button6), QStringList{QStringLiteral("'abc' is not a valid integer value")});
    setup->txtRAddress->setText(QStringLiteral("1e3"));
    EXPECT_EQ(click(setup->Button7), QStringList{QStringLiteral("'1e3' is not a valid integer value")});
    EXPECT_TRUE(setup->txtRData->text().isEmpty());
    EXPECT_EQ(meter->exchangeCount(), sent);

    setup->txtWAddress->setText(QStringLiteral("70000"));
    setup->txtWData->setText(QStringLiteral("7"));
    EXPECT_EQ(click(setup->Button6), QStringList{QStringLiteral("Write EEProm successfully")});
    EXPECT_EQ(meter->configByte(70000), 7);
    setup->txtRAddress->setText(QStringLiteral("70000"));
    EXPECT_EQ(click(setup->Button7), QStringList{QStringLiteral("Read EEProm successfully")});
    EXPECT_EQ(setup->txtRData->text(), QStringLiteral("7"));

    meter->options().wrongEcho = {0, -1, 'r'};
    EXPECT_EQ(click(setup->Button7), QStringList{QStringLiteral("data error")});
    EXPECT_TRUE(setup->txtRData->text().isEmpty());
}

TEST_F(SetupWindowTest, RefusedWhileAnotherCommandHoldsTheLink) {
    const LinkLease other = window->connection().borrow(QStringLiteral("Load Data"));
    ASSERT_TRUE(other);
    prompts.onShown = nullptr;
    const int sent = meter->exchangeCount();
    for (QPushButton* b : {setup->Button1, setup->Button4, setup->Button7}) {
        prompts.clear();
        QTest::mouseClick(b, Qt::LeftButton);
        EXPECT_EQ(prompts.messages(),
                  QStringList{MeterConnection::busyMessage(QStringLiteral("Load Data"))});
    }
    EXPECT_EQ(meter->exchangeCount(), sent);
    EXPECT_EQ(setup->txtVer->text(), QStringLiteral("txtVer"));  // not emptied by a refusal
}
