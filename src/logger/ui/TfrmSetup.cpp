#include "logger/ui/TfrmSetup.h"

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

#include "session/MeterConnection.h"
#include "workspace/Prompts.h"
#include "workspace/ui/AppContext.h"
#include "link/LinkResult.h"
#include "link/MeterLink.h"
#include "logger/SetupOperations.h"
#include "logger/ui/LoggerCommands.h"

namespace kl516 {

namespace {

template <class T>
T* named(T* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}


}  // namespace

TfrmSetup::TfrmSetup(AppContext& app, MeterConnection& connection, LoggerCommands& logger,
                     QWidget* parent)
    : QWidget(parent), app_(app), connection_(connection), logger_(logger) {
    setObjectName(QStringLiteral("frmSetup"));
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

    Button1 = button("Button1", QStringLiteral("Adjust Meter Time To Computer Time"));
    Button3 = button("Button3", QStringLiteral("Erase Meter Memory"));

    GroupBox1 = named(new QGroupBox(QStringLiteral("Meter Recording Interval "), this), "GroupBox1");
    Label2 = label("Label2", QStringLiteral("mm:ss(00:01~01:00)"));
    edtInt1 = edit("edtInt1", QString());
    edtInt2 = edit("edtInt2", QString());
    for (QLineEdit* e : {edtInt1, edtInt2}) {
        e->setInputMask(QStringLiteral("00;_"));
        e->setMaxLength(2);
        e->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("000")) + 12);
    }
    edtInt1->setText(QStringLiteral("00"));
    edtInt2->setText(QStringLiteral("02"));
    Button2 = button("Button2", QStringLiteral("Adjust Meter Recording Interval "));
    auto* intervalRow = new QHBoxLayout(GroupBox1);
    intervalRow->addWidget(Label2);
    intervalRow->addWidget(edtInt1);
    intervalRow->addWidget(edtInt2);
    intervalRow->addStretch();
    intervalRow->addWidget(Button2);

    GroupBox2 = named(new QGroupBox(QStringLiteral("Meter DataLogger Information"), this), "GroupBox2");
    Label1 = label("Label1", QStringLiteral("Meter Time:"));
    Label8 = label("Label8", QStringLiteral("MM/DD/YY   hh:mm:ss"));
    Label3 = label("Label3", QStringLiteral("Recording Interval:"));
    Label4 = label("Label4", QStringLiteral("Memory Available:"));
    Label5 = label("Label5", QStringLiteral("Data Sets In Memory:"));
    Label6 = label("Label6", QStringLiteral("FirmWare Version:"));
    Label7 = label("Label7", QStringLiteral("SN:"));
    Label10 = label("Label10", QStringLiteral("94dB cali:"));
    Label11 = label("Label11", QStringLiteral("70dB cali"));
    Label12 = label("Label12", QStringLiteral("60dB cali"));
    Label13 = label("Label13", QStringLiteral("40dB cali"));
    Label14 = label("Label14", QStringLiteral("30dB cali"));
    // The information fields show their own names until the first read.
    txtMeterTime = edit("txtMeterTime", QStringLiteral("txtMeterTime"));
    txtInt = edit("txtInt", QStringLiteral("txtInt"));
    txtMemoryAvailable = edit("txtMemoryAvailable", QStringLiteral("txtMemoryAvailable"));
    txtDataSets = edit("txtDataSets", QStringLiteral("txtDataSets"));
    txtVer = edit("txtVer", QStringLiteral("txtVer"));
    txtSN = edit("txtSN", QStringLiteral("txtSN"));
    txt94dB = edit("txt94dB", QStringLiteral("txt94dB"));
    txt70dB = edit("txt70dB", QStringLiteral("txt70dB"));
    txt60dB = edit("txt60dB", QStringLiteral("txt60dB"));
    txt40dB = edit("txt40dB", QStringLiteral("txt40dB"));
    txt30dB = edit("txt30dB", QStringLiteral("txt30dB"));
    Button4 = button("Button4", QStringLiteral("Read  "));
    auto* info = new QGridLayout(GroupBox2);
    const std::pair<QLabel*, QLineEdit*> left[] = {{Label1, txtMeterTime}, {Label3, txtInt},
                                                   {Label4, txtMemoryAvailable},
                                                   {Label5, txtDataSets}, {Label6, txtVer},
                                                   {Label7, txtSN}};
    const std::pair<QLabel*, QLineEdit*> right[] = {
        {Label10, txt94dB}, {Label11, txt70dB}, {Label12, txt60dB}, {Label13, txt40dB},
        {Label14, txt30dB}};
    int row = 0;
    for (const auto& [l, e] : left) {
        info->addWidget(l, row, 0);
        info->addWidget(e, row++, 1);
    }
    info->addWidget(Label8, 0, 2);
    row = 1;
    for (const auto& [l, e] : right) {
        info->addWidget(l, row, 3);
        info->addWidget(e, row++, 4);
    }
    info->addWidget(Button4, row, 4);
    for (QLineEdit* e : {txtMeterTime, txtInt, txtMemoryAvailable, txtDataSets, txtVer, txtSN,
                         txt94dB, txt70dB, txt60dB, txt40dB, txt30dB}) {
        e->setReadOnly(true);
        e->setMinimumWidth(
            fontMetrics().horizontalAdvance(QStringLiteral("00/00/2000   00:00:00")) + 12);
    }

    edtPassword = edit("edtPassword", QStringLiteral("0"));
    txtWAddress = edit("txtWAddress", QStringLiteral("0"));
    txtWData = edit("txtWData", QStringLiteral("0"));
    Button6 = button("Button6", QStringLiteral("Write EEProm"));
    txtRAddress = edit("txtRAddress", QStringLiteral("0"));
    txtRData = edit("txtRData", QStringLiteral("0"));
    Button7 = button("Button7", QStringLiteral("Read EEProm"));
    edtPassword->setEchoMode(QLineEdit::Password);
    edtPassword->setToolTip(QStringLiteral("Access code"));
    txtWAddress->setToolTip(QStringLiteral("Address (0 to 16777215, or $hex / 0xhex)"));
    txtWData->setToolTip(QStringLiteral("Byte to write (0 to 255)"));
    txtRAddress->setToolTip(QStringLiteral("Address (0 to 16777215, or $hex / 0xhex)"));
    txtRData->setToolTip(QStringLiteral("Byte read"));
    txtRData->setReadOnly(true);
    auto* config = new QGridLayout;
    config->addWidget(edtPassword, 0, 0);
    config->addWidget(txtWAddress, 0, 1);
    config->addWidget(txtWData, 0, 2);
    config->addWidget(Button6, 0, 3);
    config->addWidget(txtRAddress, 1, 1);
    config->addWidget(txtRData, 1, 2);
    config->addWidget(Button7, 1, 3);

    auto* top = new QHBoxLayout;
    top->addWidget(Button1);
    top->addStretch();
    top->addWidget(Button3);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(GroupBox1);
    layout->addWidget(GroupBox2);
    layout->addLayout(config);
    layout->addStretch();

    connect(Button1, &QPushButton::clicked, this, &TfrmSetup::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TfrmSetup::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TfrmSetup::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TfrmSetup::Button4Click);
    connect(Button6, &QPushButton::clicked, this, &TfrmSetup::Button6Click);
    connect(Button7, &QPushButton::clicked, this, &TfrmSetup::Button7Click);
}

bool TfrmSetup::runTransaction(const QString& purpose,
                               const std::function<int32_t(MeterLink&)>& run, int32_t* result) {
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

void TfrmSetup::showMessage(const QString& text) {
    if (!text.isEmpty()) app_.prompts().message(text);
}

void TfrmSetup::Button1Click() {
    int32_t result = 0;
    if (!runTransaction(QStringLiteral("Set Meter Clock"),
                        [](MeterLink& link) { return link.setMeterClock(); }, &result))
        return;
    showMessage(setupMessage(SetupOperation::SetClock, result));
}

void TfrmSetup::Button2Click() {
    const std::optional<int> interval = recordingIntervalFrom(edtInt1->text(), edtInt2->text());
    int32_t result = LinkResult::InvalidInput;  // nothing is sent for an invalid interval
    if (interval &&
        !runTransaction(QStringLiteral("Set Recording Interval"),
                        [&](MeterLink& link) { return writeRecordingInterval(link, *interval); },
                        &result))
        return;
    showMessage(setupMessage(SetupOperation::SetInterval, result));
}

void TfrmSetup::Button3Click() {
    // The erase of the Data Logger menu, without its question; it shows its own messages.
    logger_.eraseMemory();
}

void TfrmSetup::Button4Click() {
    LoggerInformation info;
    int32_t result = 0;
    if (!runTransaction(
            QStringLiteral("Read Information"),
            [&](MeterLink& link) {
                // The 60, 40 and 30 dB fields keep their texts until a read succeeds.
                for (QLineEdit* e : {txtMemoryAvailable, txtMeterTime, txtInt, txtDataSets,
                                     txtVer, txtSN, txt70dB, txt94dB})
                    e->clear();
                return readLoggerInformation(link, app_.locale(), &info);
            },
            &result))
        return;
    if (result == LinkResult::Success) {
        txtVer->setText(info.version);
        txtMeterTime->setText(info.meterTime);
        txtInt->setText(info.interval);
        txtDataSets->setText(info.dataSets);
        txtMemoryAvailable->setText(info.memoryAvailable);
        txt70dB->setText(info.cal70dB);
        txt60dB->setText(info.cal60dB);
        txt40dB->setText(info.cal40dB);
        txt30dB->setText(info.cal30dB);
        txt94dB->setText(info.cal94dB);
        txtSN->setText(info.serial);
    }
    showMessage(setupMessage(SetupOperation::ReadInformation, result));
}

void TfrmSetup::Button6Click() {
    if (!accessCodeAccepted(edtPassword->text())) {
        showMessage(SetupText::PasswordError);
        return;
    }
    const ConfigField address = configAddressFrom(txtWAddress->text());
    if (!address.ok()) return showMessage(address.error);
    const ConfigField data = configDataFrom(txtWData->text());
    if (!data.ok()) return showMessage(data.error);
    int32_t result = 0;
    if (!runTransaction(QStringLiteral("Write EEProm"),
                        [&](MeterLink& link) {
                            return link.writeConfigByte(address.value,
                                                        static_cast<uint8_t>(data.value),
                                                        MeterLink::Echo::AddressDataBytes);
                        },
                        &result))
        return;
    showMessage(setupMessage(SetupOperation::WriteConfig, result));
}

void TfrmSetup::Button7Click() {
    txtRData->clear();
    const ConfigField address = configAddressFrom(txtRAddress->text());
    if (!address.ok()) return showMessage(address.error);
    uint8_t value = 0;
    int32_t result = 0;
    if (!runTransaction(QStringLiteral("Read EEProm"),
                        [&](MeterLink& link) { return link.readConfigByte(address.value, &value); },
                        &result))
        return;
    if (result == LinkResult::Success) txtRData->setText(QString::number(value));
    showMessage(setupMessage(SetupOperation::ReadConfig, result));
}

void TfrmSetup::closeEvent(QCloseEvent* event) {
    event->accept();
    emit closed();
}

}  // namespace kl516
