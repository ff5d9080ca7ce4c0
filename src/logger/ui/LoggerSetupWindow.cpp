#include "logger/ui/LoggerSetupWindow.h"

#include "workspace/ui/Hourglass.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <tuple>

#include "link/LinkResult.h"
#include "link/MeterLink.h"
#include "logger/SetupOperations.h"
#include "logger/ui/LoggerCommands.h"
#include "session/MeterConnection.h"
#include "workspace/Prompts.h"
#include "workspace/ui/AppContext.h"

namespace kl516 {

namespace {

template <class T>
T* named(T* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

}  // namespace

LoggerSetupWindow::LoggerSetupWindow(AppContext& app, MeterConnection& connection,
                                     LoggerCommands& logger, QWidget* parent)
    : QWidget(parent), app_(app), connection_(connection), logger_(logger) {
    setObjectName(QStringLiteral("loggerSetupWindow"));
    setWindowTitle(QStringLiteral("Data Logger Setup"));

    auto button = [this](const char* name, const QString& caption) {
        return named(new QPushButton(caption, this), name);
    };
    auto label = [this](const char* name, const QString& caption) {
        return named(new QLabel(caption, this), name);
    };
    auto edit = [this](const char* name, const QString& text) {
        return named(new QLineEdit(text, this), name);
    };

    adjustMeterTimeButton =
        button("adjustMeterTimeButton", QStringLiteral("Adjust Meter Time To Computer Time"));
    eraseMemoryButton = button("eraseMemoryButton", QStringLiteral("Erase Meter Memory"));

    recordingIntervalGroup = named(new QGroupBox(QStringLiteral("Meter Recording Interval "), this),
                                   "recordingIntervalGroup");
    // The range recordingIntervalFrom accepts: 0 to 60 seconds.
    intervalFormatLabel = label("intervalFormatLabel", QStringLiteral("mm:ss, 00:00 to 01:00"));
    intervalMinutes = edit("intervalMinutes", QString());
    intervalSeconds = edit("intervalSeconds", QString());
    intervalFormatLabel->setBuddy(intervalMinutes);
    intervalMinutes->setAccessibleName(QStringLiteral("Recording interval minutes"));
    intervalSeconds->setAccessibleName(QStringLiteral("Recording interval seconds"));
    for (QLineEdit* e : {intervalMinutes, intervalSeconds}) {
        e->setInputMask(QStringLiteral("00;_"));
        e->setMaxLength(2);
        e->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("000")) + 12);
    }
    intervalMinutes->setText(QStringLiteral("00"));
    intervalSeconds->setText(QStringLiteral("02"));
    adjustIntervalButton =
        button("adjustIntervalButton", QStringLiteral("Adjust Meter Recording Interval "));
    auto* intervalRow = new QHBoxLayout(recordingIntervalGroup);
    intervalRow->addWidget(intervalFormatLabel);
    intervalRow->addWidget(intervalMinutes);
    intervalRow->addWidget(intervalSeconds);
    intervalRow->addStretch();
    intervalRow->addWidget(adjustIntervalButton);

    loggerInformationGroup =
        named(new QGroupBox(QStringLiteral("Meter DataLogger Information"), this),
              "loggerInformationGroup");
    meterTimeLabel = label("meterTimeLabel", QStringLiteral("Meter Time:"));
    // The order and digits of the meter time text: month, day, four-digit year, time.
    meterTimeFormatLabel = label("meterTimeFormatLabel", QStringLiteral("MM/DD/YYYY   hh:mm:ss"));
    recordingIntervalLabel = label("recordingIntervalLabel", QStringLiteral("Recording Interval:"));
    memoryAvailableLabel = label("memoryAvailableLabel", QStringLiteral("Memory Available:"));
    dataSetCountLabel = label("dataSetCountLabel", QStringLiteral("Data Sets In Memory:"));
    firmwareVersionLabel = label("firmwareVersionLabel", QStringLiteral("FirmWare Version:"));
    serialNumberLabel = label("serialNumberLabel", QStringLiteral("SN:"));
    calibration94dBLabel = label("calibration94dBLabel", QStringLiteral("94dB cali:"));
    calibration70dBLabel = label("calibration70dBLabel", QStringLiteral("70dB cali"));
    calibration60dBLabel = label("calibration60dBLabel", QStringLiteral("60dB cali"));
    calibration40dBLabel = label("calibration40dBLabel", QStringLiteral("40dB cali"));
    calibration30dBLabel = label("calibration30dBLabel", QStringLiteral("30dB cali"));
    // The information fields stay empty until the first read.
    meterTime = edit("meterTime", QString());
    recordingInterval = edit("recordingInterval", QString());
    memoryAvailable = edit("memoryAvailable", QString());
    dataSetCount = edit("dataSetCount", QString());
    firmwareVersion = edit("firmwareVersion", QString());
    serialNumber = edit("serialNumber", QString());
    calibration94dB = edit("calibration94dB", QString());
    calibration70dB = edit("calibration70dB", QString());
    calibration60dB = edit("calibration60dB", QString());
    calibration40dB = edit("calibration40dB", QString());
    calibration30dB = edit("calibration30dB", QString());
    readInformationButton = button("readInformationButton", QStringLiteral("Read  "));
    auto* info = new QGridLayout(loggerInformationGroup);
    const std::pair<QLabel*, QLineEdit*> left[] = {{meterTimeLabel, meterTime},
                                                   {recordingIntervalLabel, recordingInterval},
                                                   {memoryAvailableLabel, memoryAvailable},
                                                   {dataSetCountLabel, dataSetCount},
                                                   {firmwareVersionLabel, firmwareVersion},
                                                   {serialNumberLabel, serialNumber}};
    const std::pair<QLabel*, QLineEdit*> right[] = {{calibration94dBLabel, calibration94dB},
                                                    {calibration70dBLabel, calibration70dB},
                                                    {calibration60dBLabel, calibration60dB},
                                                    {calibration40dBLabel, calibration40dB},
                                                    {calibration30dBLabel, calibration30dB}};
    int row = 0;
    for (const auto& [l, e] : left) {
        l->setBuddy(e);
        info->addWidget(l, row, 0);
        info->addWidget(e, row++, 1);
    }
    info->addWidget(meterTimeFormatLabel, 0, 2);
    row = 1;
    for (const auto& [l, e] : right) {
        l->setBuddy(e);
        info->addWidget(l, row, 3);
        info->addWidget(e, row++, 4);
    }
    info->addWidget(readInformationButton, row, 4);
    for (QLineEdit* e : {meterTime, recordingInterval, memoryAvailable, dataSetCount,
                         firmwareVersion, serialNumber, calibration94dB, calibration70dB,
                         calibration60dB, calibration40dB, calibration30dB}) {
        e->setReadOnly(true);
        e->setMinimumWidth(
            fontMetrics().horizontalAdvance(QStringLiteral("00/00/2000   00:00:00")) + 12);
    }

    accessCode = edit("accessCode", QString());
    configWriteAddress = edit("configWriteAddress", QStringLiteral("0"));
    configWriteValue = edit("configWriteValue", QStringLiteral("0"));
    writeConfigByteButton = button("writeConfigByteButton", QStringLiteral("Write EEProm"));
    configReadAddress = edit("configReadAddress", QStringLiteral("0"));
    configReadValue = edit("configReadValue", QStringLiteral("0"));
    readConfigByteButton = button("readConfigByteButton", QStringLiteral("Read EEProm"));
    accessCode->setEchoMode(QLineEdit::Password);
    configWriteAddress->setToolTip(QStringLiteral("Address (0 to 16777215, or $hex / 0xhex)"));
    configWriteValue->setToolTip(QStringLiteral("Byte to write (0 to 255)"));
    configReadAddress->setToolTip(QStringLiteral("Address (0 to 16777215, or $hex / 0xhex)"));
    configReadValue->setToolTip(QStringLiteral("Byte read"));
    configReadValue->setReadOnly(true);
    // Both labels read "Data:"; a screen reader tells the two fields apart by these names.
    configWriteValue->setAccessibleName(QStringLiteral("Data to write"));
    configReadValue->setAccessibleName(QStringLiteral("Data read"));
    accessCodeLabel = label("accessCodeLabel", QStringLiteral("Access code:"));
    configWriteAddressLabel = label("configWriteAddressLabel", QStringLiteral("Write address:"));
    configWriteValueLabel = label("configWriteValueLabel", QStringLiteral("Data:"));
    configReadAddressLabel = label("configReadAddressLabel", QStringLiteral("Read address:"));
    configReadValueLabel = label("configReadValueLabel", QStringLiteral("Data:"));
    // Each field after its label: row 0 writes one byte behind the code, row 1 reads one.
    const std::tuple<QLabel*, QLineEdit*, int, int> configFields[] = {
        {accessCodeLabel, accessCode, 0, 0},
        {configWriteAddressLabel, configWriteAddress, 0, 2},
        {configWriteValueLabel, configWriteValue, 0, 4},
        {configReadAddressLabel, configReadAddress, 1, 2},
        {configReadValueLabel, configReadValue, 1, 4}};
    auto* config = new QGridLayout;
    for (const auto& [l, e, r, c] : configFields) {
        l->setBuddy(e);
        config->addWidget(l, r, c, Qt::AlignRight);
        config->addWidget(e, r, c + 1);
    }
    config->addWidget(writeConfigByteButton, 0, 6);
    config->addWidget(readConfigByteButton, 1, 6);

    auto* top = new QHBoxLayout;
    top->addWidget(adjustMeterTimeButton);
    top->addStretch();
    top->addWidget(eraseMemoryButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(recordingIntervalGroup);
    layout->addWidget(loggerInformationGroup);
    layout->addLayout(config);
    layout->addStretch();

    connect(adjustMeterTimeButton, &QPushButton::clicked, this,
            &LoggerSetupWindow::adjustMeterTime);
    connect(adjustIntervalButton, &QPushButton::clicked, this,
            &LoggerSetupWindow::adjustRecordingInterval);
    connect(eraseMemoryButton, &QPushButton::clicked, this, &LoggerSetupWindow::eraseMeterMemory);
    connect(readInformationButton, &QPushButton::clicked, this,
            &LoggerSetupWindow::readMeterInformation);
    connect(writeConfigByteButton, &QPushButton::clicked, this,
            &LoggerSetupWindow::writeConfigurationByte);
    connect(readConfigByteButton, &QPushButton::clicked, this,
            &LoggerSetupWindow::readConfigurationByte);
}

bool LoggerSetupWindow::runTransaction(const QString& purpose,
                                       const std::function<int32_t(MeterLink&)>& run,
                                       int32_t* result) {
    const LinkLease lease = connection_.borrow(purpose);
    if (!lease) {
        showMessage(lease.refusal());
        return false;
    }
    // The hourglass goes first, then the lease: the poll runs again before the message shows.
    const Hourglass hourglass;
    *result = run(lease.link());
    return true;
}

void LoggerSetupWindow::showMessage(const QString& text) {
    if (!text.isEmpty()) app_.prompts().message(text);
}

void LoggerSetupWindow::showResult(SetupOperation operation, int32_t result) {
    QString text = setupMessage(operation, result);
    // A meter that does not answer is said so; a failed clock setting keeps its own first line.
    if (result == LinkResult::NoAnswer)
        text = operation == SetupOperation::SetClock
                   ? text + QLatin1Char('\n') + SetupText::NoAnswer
                   : SetupText::NoAnswer;
    else if (text.isEmpty() && result != LinkResult::Success)
        text = QStringLiteral("The operation failed (error %1).").arg(result);
    if (result == LinkResult::Success && !text.isEmpty())
        app_.prompts().information(text);
    else
        showMessage(text);
}

void LoggerSetupWindow::adjustMeterTime() {
    int32_t result = 0;
    if (!runTransaction(
            QStringLiteral("Set Meter Clock"), [](MeterLink& link) { return link.setMeterClock(); },
            &result))
        return;
    showResult(SetupOperation::SetClock, result);
}

void LoggerSetupWindow::adjustRecordingInterval() {
    const std::optional<int> interval =
        recordingIntervalFrom(intervalMinutes->text(), intervalSeconds->text());
    int32_t result = LinkResult::InvalidInput;  // nothing is sent for an invalid interval
    if (interval &&
        !runTransaction(
            QStringLiteral("Set Recording Interval"),
            [&](MeterLink& link) { return writeRecordingInterval(link, *interval); }, &result))
        return;
    showResult(SetupOperation::SetInterval, result);
}

void LoggerSetupWindow::eraseMeterMemory() {
    // The erase of the Data Logger menu, without its question; it shows its own messages.
    logger_.eraseMemory();
}

void LoggerSetupWindow::readMeterInformation() {
    LoggerInformation info;
    int32_t result = 0;
    if (!runTransaction(
            QStringLiteral("Read Information"),
            [&](MeterLink& link) {
                // The 60, 40 and 30 dB fields keep their texts until a read succeeds.
                for (QLineEdit* e :
                     {memoryAvailable, meterTime, recordingInterval, dataSetCount, firmwareVersion,
                      serialNumber, calibration70dB, calibration94dB})
                    e->clear();
                return readLoggerInformation(link, app_.locale(), &info);
            },
            &result))
        return;
    if (result == LinkResult::Success) {
        firmwareVersion->setText(info.version);
        meterTime->setText(info.meterTime);
        recordingInterval->setText(info.interval);
        dataSetCount->setText(info.dataSets);
        memoryAvailable->setText(info.memoryAvailable);
        calibration70dB->setText(info.cal70dB);
        calibration60dB->setText(info.cal60dB);
        calibration40dB->setText(info.cal40dB);
        calibration30dB->setText(info.cal30dB);
        calibration94dB->setText(info.cal94dB);
        serialNumber->setText(info.serial);
    }
    showResult(SetupOperation::ReadInformation, result);
}

void LoggerSetupWindow::writeConfigurationByte() {
    if (!accessCodeAccepted(accessCode->text())) {
        showMessage(SetupText::PasswordError);
        return;
    }
    const ConfigField address = configAddressFrom(configWriteAddress->text());
    if (!address.ok()) return showMessage(address.error);
    const ConfigField data = configDataFrom(configWriteValue->text());
    if (!data.ok()) return showMessage(data.error);
    int32_t result = 0;
    if (!runTransaction(
            QStringLiteral("Write EEProm"),
            [&](MeterLink& link) {
                return link.writeConfigByte(address.value, static_cast<uint8_t>(data.value),
                                            MeterLink::Echo::AddressDataBytes);
            },
            &result))
        return;
    showResult(SetupOperation::WriteConfig, result);
}

void LoggerSetupWindow::readConfigurationByte() {
    configReadValue->clear();
    const ConfigField address = configAddressFrom(configReadAddress->text());
    if (!address.ok()) return showMessage(address.error);
    uint8_t value = 0;
    int32_t result = 0;
    if (!runTransaction(
            QStringLiteral("Read EEProm"),
            [&](MeterLink& link) { return link.readConfigByte(address.value, &value); }, &result))
        return;
    if (result == LinkResult::Success) configReadValue->setText(QString::number(value));
    showResult(SetupOperation::ReadConfig, result);
}

void LoggerSetupWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    emit closed();
}

}  // namespace kl516
