#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kl516 {

enum class SetupOperation;
class AppContext;
class LoggerCommands;
class MeterConnection;
class MeterLink;

// The logger service window "Data Logger Setup": the meter's clock, recording interval, erase,
// logger information and calibration values, and single configuration bytes (the write behind
// an access code). Each operation borrows the meter link for its whole transaction, under the
// hourglass, and ends with its message; the poll resumes when the link is given back.
class LoggerSetupWindow : public QWidget {
    Q_OBJECT
  public:
    LoggerSetupWindow(AppContext& app, MeterConnection& connection, LoggerCommands& logger,
                      QWidget* parent = nullptr);

    // Handlers
    void adjustMeterTime();          // meter clock from the computer's clock
    void adjustRecordingInterval();  // recording interval
    void eraseMeterMemory();         // erase, without a question
    void readMeterInformation();     // information
    void writeConfigurationByte();   // write one configuration byte
    void readConfigurationByte();    // read one configuration byte

    QPushButton *adjustMeterTimeButton, *adjustIntervalButton, *eraseMemoryButton,
        *readInformationButton, *writeConfigByteButton, *readConfigByteButton;
    QGroupBox *recordingIntervalGroup, *loggerInformationGroup;
    QLabel *meterTimeLabel, *intervalFormatLabel, *recordingIntervalLabel, *memoryAvailableLabel,
        *dataSetCountLabel, *firmwareVersionLabel, *serialNumberLabel, *meterTimeFormatLabel,
        *calibration94dBLabel, *calibration70dBLabel, *calibration60dBLabel, *calibration40dBLabel,
        *calibration30dBLabel, *accessCodeLabel, *configWriteAddressLabel, *configWriteValueLabel,
        *configReadAddressLabel, *configReadValueLabel;
    QLineEdit *intervalMinutes, *intervalSeconds;
    QLineEdit *meterTime, *recordingInterval, *memoryAvailable, *dataSetCount, *firmwareVersion,
        *serialNumber, *calibration94dB, *calibration70dB, *calibration60dB, *calibration40dB,
        *calibration30dB;
    QLineEdit *accessCode, *configWriteAddress, *configWriteValue, *configReadAddress,
        *configReadValue;

  signals:
    // The window is closing and is destroyed next.
    void closed();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    // Borrows the link for `purpose` and runs the transaction under the hourglass. False when
    // the link was refused (the refusal has been shown).
    bool runTransaction(const QString& purpose, const std::function<int32_t(MeterLink&)>& run,
                        int32_t* result);
    void showMessage(const QString& text);
    // The message that ends `operation` with `result`, including one for a meter that does not
    // answer.
    void showResult(SetupOperation operation, int32_t result);

    AppContext& app_;
    MeterConnection& connection_;
    LoggerCommands& logger_;
};

}  // namespace kl516
