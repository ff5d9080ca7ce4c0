#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kl516 {

class AppContext;
class LoggerCommands;
class MeterConnection;
class MeterLink;

// The logger service window "Data Logger Setup": the meter's clock, recording interval, erase,
// logger information and calibration values, and single configuration bytes (the write behind
// an access code). Each operation borrows the meter link for its whole transaction, under the
// hourglass, and ends with its message; the poll resumes when the link is given back.
class TfrmSetup : public QWidget {
    Q_OBJECT
  public:
    TfrmSetup(AppContext& app, MeterConnection& connection, LoggerCommands& logger,
              QWidget* parent = nullptr);

    // Handlers
    void Button1Click();  // meter clock from the computer's clock
    void Button2Click();  // recording interval
    void Button3Click();  // erase, without a question
    void Button4Click();  // information
    void Button6Click();  // write one configuration byte
    void Button7Click();  // read one configuration byte

    QPushButton *Button1, *Button2, *Button3, *Button4, *Button6, *Button7;
    QGroupBox *GroupBox1, *GroupBox2;
    QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6, *Label7, *Label8, *Label10,
        *Label11, *Label12, *Label13, *Label14;
    QLineEdit *edtInt1, *edtInt2;
    QLineEdit *txtMeterTime, *txtInt, *txtMemoryAvailable, *txtDataSets, *txtVer, *txtSN, *txt94dB,
        *txt70dB, *txt60dB, *txt40dB, *txt30dB;
    QLineEdit *edtPassword, *txtWAddress, *txtWData, *txtRAddress, *txtRData;

  signals:
    // FormClose: the window is closing and is destroyed next.
    void closed();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    // Borrows the link for `purpose` and runs the transaction under the hourglass. False when
    // the link was refused (the refusal has been shown).
    bool runTransaction(const QString& purpose, const std::function<int32_t(MeterLink&)>& run,
                        int32_t* result);
    void showMessage(const QString& text);

    AppContext& app_;
    MeterConnection& connection_;
    LoggerCommands& logger_;
};

}  // namespace kl516
