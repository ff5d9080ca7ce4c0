#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>
#include <optional>
#include <tuple>

#include "app/ui/MainWindow.h"
#include "link/MeterLink.h"
#include "logger/SetupOperations.h"
#include "logger/ui/LoggerSetupWindow.h"
#include "simulator/SimulatedMeter.h"
#include "support/Controls.h"
#include "support/MainWindowStart.h"
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
    std::unique_ptr<MainWindow> window;
    LoggerSetupWindow* setup = nullptr;

    void SetUp() override {
        options.demoLogger = true;
        meter.emplace(clock, options);
        watched.emplace(*meter);
        link = std::make_unique<MeterLink>(*watched, clock, idle);
        window = test::startMainWindow(*link, prompts, clock, dir, QLocale::c());
        window->pollTick();  // identification: connected
        ASSERT_TRUE(window->connected());
        test::action(*window, "loggerSetupAction")->trigger();
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
        {"adjustMeterTimeButton", "Adjust Meter Time To Computer Time"},
        {"adjustIntervalButton", "Adjust Meter Recording Interval "},
        {"eraseMemoryButton", "Erase Meter Memory"},
        {"readInformationButton", "Read  "},
        {"writeConfigByteButton", "Write EEProm"},
        {"readConfigByteButton", "Read EEProm"}};
    for (const auto& [name, caption] : buttons)
        EXPECT_EQ(test::control<QPushButton>(*setup, name)->text(), QLatin1String(caption)) << name;
    EXPECT_EQ(setup->recordingIntervalGroup->title(), QStringLiteral("Meter Recording Interval "));
    EXPECT_EQ(setup->loggerInformationGroup->title(),
              QStringLiteral("Meter DataLogger Information"));
    const std::pair<const char*, const char*> labels[] = {
        {"meterTimeLabel", "Meter Time:"},
        {"intervalFormatLabel", "mm:ss, 00:00 to 01:00"},
        {"recordingIntervalLabel", "Recording Interval:"},
        {"memoryAvailableLabel", "Memory Available:"},
        {"dataSetCountLabel", "Data Sets In Memory:"},
        {"firmwareVersionLabel", "FirmWare Version:"},
        {"serialNumberLabel", "SN:"},
        {"meterTimeFormatLabel", "MM/DD/YYYY   hh:mm:ss"},
        {"calibration94dBLabel", "94dB cali:"},
        {"calibration70dBLabel", "70dB cali"},
        {"calibration60dBLabel", "60dB cali"},
        {"calibration40dBLabel", "40dB cali"},
        {"calibration30dBLabel", "30dB cali"}};
    for (const auto& [name, caption] : labels)
        EXPECT_EQ(test::control<QLabel>(*setup, name)->text(), QLatin1String(caption)) << name;
    EXPECT_EQ(setup->intervalMinutes->text(), QStringLiteral("00"));
    EXPECT_EQ(setup->intervalSeconds->text(), QStringLiteral("02"));

    // Every field has a visible label naming it (its buddy, which screen readers read out).
    // The access code starts empty; the information fields stay empty until the first read.
    struct Field {
        const char* edit;
        const char* label;
        const char* caption;
        const char* text;
    };
    const Field fields[] = {
        {"meterTime", "meterTimeLabel", "Meter Time:", ""},
        {"recordingInterval", "recordingIntervalLabel", nullptr, ""},
        {"memoryAvailable", "memoryAvailableLabel", nullptr, ""},
        {"dataSetCount", "dataSetCountLabel", nullptr, ""},
        {"firmwareVersion", "firmwareVersionLabel", nullptr, ""},
        {"serialNumber", "serialNumberLabel", nullptr, ""},
        {"calibration94dB", "calibration94dBLabel", nullptr, ""},
        {"calibration70dB", "calibration70dBLabel", nullptr, ""},
        {"calibration60dB", "calibration60dBLabel", nullptr, ""},
        {"calibration40dB", "calibration40dBLabel", nullptr, ""},
        {"calibration30dB", "calibration30dBLabel", nullptr, ""},
        {"intervalMinutes", "intervalFormatLabel", nullptr, "00"},
        {"accessCode", "accessCodeLabel", "Access code:", ""},
        {"configWriteAddress", "configWriteAddressLabel", "Write address:", "0"},
        {"configWriteValue", "configWriteValueLabel", "Data:", "0"},
        {"configReadAddress", "configReadAddressLabel", "Read address:", "0"},
        {"configReadValue", "configReadValueLabel", "Data:", "0"}};
    for (const Field& f : fields) {
        SCOPED_TRACE(f.edit);
        QLineEdit* edit = test::lineEdit(*setup, f.edit);
        auto* label = test::control<QLabel>(*setup, f.label);
        EXPECT_EQ(edit->text(), QLatin1String(f.text));
        EXPECT_EQ(label->buddy(), edit);
        EXPECT_TRUE(label->isVisible());
        EXPECT_FALSE(label->text().isEmpty());
        if (f.caption) {
            EXPECT_EQ(label->text(), QLatin1String(f.caption));
        }
    }
    EXPECT_EQ(setup->accessCode->echoMode(), QLineEdit::Password);
}

TEST_F(SetupWindowTest, EntryPointsHiddenUnlessServiceAndOneInstance) {
    // The main window's own setup button.
    QPushButton* setupButton = nullptr;
    for (QPushButton* b : window->findChildren<QPushButton*>(QStringLiteral("loggerSetupButton")))
        if (!qobject_cast<LoggerSetupWindow*>(b->parentWidget())) setupButton = b;
    ASSERT_NE(setupButton, nullptr);
    EXPECT_FALSE(test::action(*window, "loggerSetupAction")->isVisible());
    EXPECT_FALSE(setupButton->isVisible());
    window->setServiceEntriesVisible(true);
    EXPECT_TRUE(test::action(*window, "loggerSetupAction")->isVisible());
    EXPECT_TRUE(setupButton->isVisible());

    // Opening again restores the open window.
    auto* sub = qobject_cast<QMdiSubWindow*>(setup->parentWidget());
    ASSERT_NE(sub, nullptr);
    sub->showMinimized();
    QCoreApplication::processEvents();  // the status bar places the button
    QTest::mouseClick(setupButton, Qt::LeftButton);
    EXPECT_EQ(window->setupWindow(), setup);
    EXPECT_FALSE(sub->isMinimized());
    EXPECT_EQ(window->findChildren<LoggerSetupWindow*>().size(), 1);

    // Closing destroys it; the next Setup makes a new one.
    QPointer<LoggerSetupWindow> closed = setup;
    sub->close();
    EXPECT_EQ(window->setupWindow(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(closed.isNull());
    test::action(*window, "loggerSetupAction")->trigger();
    ASSERT_NE(window->setupWindow(), nullptr);
    EXPECT_EQ(window->findChildren<LoggerSetupWindow*>().size(), 1);
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
    EXPECT_EQ(click(setup->readInformationButton),
              QStringList{QStringLiteral("read data successfully")});
    EXPECT_GT(frames, 1);  // the presence poll and the 'Y'
    EXPECT_EQ(underHourglass, frames);
    EXPECT_EQ(pollStopped, frames);
    watched->onWrite = nullptr;
    EXPECT_EQ(setup->dataSetCount->text(), QString::number(meter->setCount()));
    EXPECT_EQ(setup->firmwareVersion->text(), QStringLiteral("1.56"));
    EXPECT_EQ(setup->memoryAvailable->text(),
              QString::number((128256 - int(meter->lastAddress())) / 2));
    EXPECT_TRUE(setup->serialNumber->text().startsWith(QStringLiteral("KL516-")));
    EXPECT_TRUE(setup->calibration70dB->text().contains(QStringLiteral("  (")));
    EXPECT_TRUE(window->connection().pollTimerActive());

    // A failed read empties the fields but keeps the 60, 40 and 30 dB texts.
    const QString cal60 = setup->calibration60dB->text(), cal40 = setup->calibration40dB->text(),
                  cal30 = setup->calibration30dB->text();
    meter->options().readFailure = {0, -1, 'Y'};
    EXPECT_EQ(click(setup->readInformationButton), QStringList{QStringLiteral("fail to read")});
    for (QLineEdit* e : {setup->meterTime, setup->recordingInterval, setup->memoryAvailable,
                         setup->dataSetCount, setup->firmwareVersion, setup->serialNumber,
                         setup->calibration70dB, setup->calibration94dB})
        EXPECT_TRUE(e->text().isEmpty()) << e->objectName().toStdString();
    EXPECT_EQ(setup->calibration60dB->text(), cal60);
    EXPECT_EQ(setup->calibration40dB->text(), cal40);
    EXPECT_EQ(setup->calibration30dB->text(), cal30);
}

TEST_F(SetupWindowTest, MeterTimeReadsInTheOrderItsFormatLabelStates) {
    // Day and month told apart (09 and 12), and a year whose two digits are not a day or month.
    clock.setNow(QDateTime(QDate(2031, 12, 9), QTime(7, 8, 5)));
    ASSERT_EQ(click(setup->adjustMeterTimeButton),
              QStringList{QStringLiteral("Meter time updated successfully \n")});
    ASSERT_EQ(click(setup->readInformationButton),
              QStringList{QStringLiteral("read data successfully")});
    // The label's fields in Qt's spelling: MM month, DD day, YYYY year, hh:mm:ss the time.
    QString format = setup->meterTimeFormatLabel->text();
    format.replace(QStringLiteral("DD"), QStringLiteral("dd"))
        .replace(QStringLiteral("YYYY"), QStringLiteral("yyyy"));
    const QDateTime shown = QDateTime::fromString(setup->meterTime->text(), format);
    ASSERT_TRUE(shown.isValid()) << setup->meterTime->text().toStdString() << " vs "
                                 << format.toStdString();
    EXPECT_EQ(setup->meterTime->text().size(), setup->meterTimeFormatLabel->text().size());
    EXPECT_EQ(shown.date(), QDate(2031, 12, 9));
    EXPECT_LE(std::abs(shown.secsTo(meter->meterTime())), 2);
}

TEST_F(SetupWindowTest, AMeterThatDoesNotAnswerIsSaidSo) {
    setup->accessCode->setText(QStringLiteral("9282"));
    meter->unplug();
    const QString noAnswer = SetupText::NoAnswer;
    const std::pair<QPushButton*, QStringList> cases[] = {
        {setup->readInformationButton, {noAnswer}},
        {setup->adjustIntervalButton, {noAnswer}},
        {setup->writeConfigByteButton, {noAnswer}},
        {setup->readConfigByteButton, {noAnswer}},
        {setup->eraseMemoryButton, {noAnswer}},
        // The clock keeps its failure text and adds the reason.
        {setup->adjustMeterTimeButton, {QStringLiteral("Meter time updated fail\n") + noAnswer}}};
    for (const auto& [button, shown] : cases)
        EXPECT_EQ(click(button), shown) << button->objectName().toStdString();
    EXPECT_TRUE(noAnswer.contains(QStringLiteral("did not answer")));
}

TEST_F(SetupWindowTest, IntervalClockAndErase) {
    // The ends the hint names are both accepted; 00:00 is written as 0.
    const QString hint = setup->intervalFormatLabel->text();
    for (const auto& [m, s, seconds] :
         {std::tuple{"00", "45", 45}, {"00", "00", 0}, {"01", "00", 60}, {"00", "60", 60}}) {
        setup->intervalMinutes->setText(QLatin1String(m));
        setup->intervalSeconds->setText(QLatin1String(s));
        EXPECT_EQ(click(setup->adjustIntervalButton),
                  QStringList{QStringLiteral("Recording Interval Setup Successfully, turn off and "
                                             "turn on the meter to effective ")})
            << m << s;
        EXPECT_EQ(meter->configByte(0x0F), seconds) << m << s;
    }
    EXPECT_TRUE(hint.contains(QStringLiteral("00:00 to 01:00"))) << hint.toStdString();

    const int sent = meter->exchangeCount();
    for (const auto& [m, s] : {std::pair{"01", "01"}, {"05", "00"}, {"", "30"}, {"0", ""}}) {
        setup->intervalMinutes->setText(QLatin1String(m));
        setup->intervalSeconds->setText(QLatin1String(s));
        EXPECT_EQ(click(setup->adjustIntervalButton), QStringList{QStringLiteral("Invalid Input")})
            << m << s;
    }
    // The masked fields take two digits only.
    setup->intervalSeconds->clear();
    QTest::keyClicks(setup->intervalSeconds, QStringLiteral("a7x99"));
    EXPECT_EQ(setup->intervalSeconds->text(), QStringLiteral("79"));
    EXPECT_EQ(meter->exchangeCount(), sent);

    EXPECT_EQ(click(setup->adjustMeterTimeButton),
              QStringList{QStringLiteral("Meter time updated successfully \n")});
    EXPECT_FALSE(meter->blocksWritten().empty());

    // Erase runs at once: no question here.
    ASSERT_GT(meter->setCount(), 0);
    EXPECT_EQ(click(setup->eraseMemoryButton),
              QStringList{QStringLiteral("erase memory successfully")});
    EXPECT_TRUE(prompts.questions().isEmpty());
    EXPECT_EQ(meter->setCount(), 0);

    meter->options().writeFailure = {0, -1, 't'};
    EXPECT_EQ(click(setup->adjustMeterTimeButton),
              QStringList{QStringLiteral("Meter time updated fail")});
}

TEST_F(SetupWindowTest, ConfigurationBytes) {
    // Wrong code: the message, nothing sent, the poll untouched.
    const int sent = meter->exchangeCount();
    prompts.onShown = [this](const test::ScriptedPrompts::Shown&) {
        EXPECT_FALSE(window->connection().linkLent());
    };
    setup->configWriteAddress->setText(QStringLiteral("70000"));
    setup->configWriteValue->setText(QStringLiteral("7"));
    EXPECT_EQ(click(setup->writeConfigByteButton),
              QStringList{QStringLiteral("Password error !!")});

    setup->accessCode->setText(QStringLiteral("9282"));
    const std::pair<const char*, const char*> refused[] = {
        {"abc", "7"}, {"16777216", "7"}, {"70000", "256"}, {"70000", "x"}, {"-5", "1"}};
    for (const auto& [address, data] : refused) {
        SCOPED_TRACE(std::string(address) + " <- " + data);
        setup->configWriteAddress->setText(QLatin1String(address));
        setup->configWriteValue->setText(QLatin1String(data));
        const QStringList shown = click(setup->writeConfigByteButton);
        ASSERT_EQ(shown.size(), 1);
        EXPECT_NE(shown.front(), QStringLiteral("Write EEProm successfully"));
    }
    setup->configWriteAddress->setText(QStringLiteral("abc"));
    EXPECT_EQ(click(setup->writeConfigByteButton),
              QStringList{QStringLiteral("'abc' is not a valid integer value")});
    setup->configReadAddress->setText(QStringLiteral("1e3"));
    EXPECT_EQ(click(setup->readConfigByteButton),
              QStringList{QStringLiteral("'1e3' is not a valid integer value")});
    EXPECT_TRUE(setup->configReadValue->text().isEmpty());
    EXPECT_EQ(meter->exchangeCount(), sent);

    setup->configWriteAddress->setText(QStringLiteral("70000"));
    setup->configWriteValue->setText(QStringLiteral("7"));
    EXPECT_EQ(click(setup->writeConfigByteButton),
              QStringList{QStringLiteral("Write EEProm successfully")});
    EXPECT_EQ(meter->configByte(70000), 7);
    setup->configReadAddress->setText(QStringLiteral("70000"));
    EXPECT_EQ(click(setup->readConfigByteButton),
              QStringList{QStringLiteral("Read EEProm successfully")});
    EXPECT_EQ(setup->configReadValue->text(), QStringLiteral("7"));

    meter->options().wrongEcho = {0, -1, 'r'};
    EXPECT_EQ(click(setup->readConfigByteButton), QStringList{QStringLiteral("data error")});
    EXPECT_TRUE(setup->configReadValue->text().isEmpty());
}

TEST_F(SetupWindowTest, RefusedWhileAnotherCommandHoldsTheLink) {
    ASSERT_EQ(click(setup->readInformationButton),
              QStringList{QStringLiteral("read data successfully")});
    const QString version = setup->firmwareVersion->text();
    ASSERT_FALSE(version.isEmpty());
    const LinkLease other = window->connection().borrow(QStringLiteral("Load Data"));
    ASSERT_TRUE(other);
    prompts.onShown = nullptr;
    const int sent = meter->exchangeCount();
    for (QPushButton* b : {setup->adjustMeterTimeButton, setup->readInformationButton,
                           setup->readConfigByteButton, setup->eraseMemoryButton}) {
        prompts.clear();
        QTest::mouseClick(b, Qt::LeftButton);
        EXPECT_EQ(prompts.messages(),
                  QStringList{MeterConnection::busyMessage(QStringLiteral("Load Data"))});
    }
    EXPECT_EQ(meter->exchangeCount(), sent);
    EXPECT_EQ(setup->firmwareVersion->text(), version);  // not emptied by a refusal
}
