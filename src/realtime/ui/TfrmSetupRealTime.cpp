#include "realtime/ui/TfrmSetupRealTime.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "workspace/ui/Dialogs.h"
#include "workspace/Prompts.h"
#include "dataset/TDateTime.h"
#include "realtime/RecordingPeriod.h"
#include "realtime/SamplingRate.h"

namespace kl516 {

namespace {

const double kRates[9] = {0.1, 0.2, 0.5, 1, 2, 5, 10, 20, 30};

QLabel* label(QWidget* parent, const char* name, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    return l;
}

}  // namespace

TfrmSetupRealTime::TfrmSetupRealTime(Prompts& prompts, const QLocale& locale, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint),
      prompts_(prompts),
      locale_(locale) {
    setObjectName(QStringLiteral("frmSetupRealTime"));
    setWindowTitle(QStringLiteral("Real-Time Setup"));
    setModal(true);

    Label1 = label(this, "Label1", QStringLiteral("Real-Time data no to be recorded"));
    Label2 = label(this, "Label2", QStringLiteral("(Adjust the number to meet your need)"));
    edtRealTimeNo = new QLineEdit(this);
    edtRealTimeNo->setObjectName(QStringLiteral("edtRealTimeNo"));
    // Up to five digits, blanks shown as "_".
    edtRealTimeNo->setInputMask(QStringLiteral("00000;_"));
    edtRealTimeNo->setMaxLength(5);
    edtRealTimeNo->setAlignment(Qt::AlignRight);
    edtRealTimeNo->setText(QStringLiteral(" 2000"));
    edtRealTimeNo->setFixedWidth(80);

    Label3 = label(this, "Label3", QStringLiteral("Real -Time Sampling Rate"));
    txtRate = new QComboBox(this);
    txtRate->setObjectName(QStringLiteral("txtRate"));
    txtRate->setEditable(true);
    txtRate->setInsertPolicy(QComboBox::NoInsert);
    for (double r : kRates) txtRate->addItem(QString::number(r, 'f', 1));
    txtRate->setEditText(QStringLiteral("0.5"));
    txtRate->setFixedWidth(80);
    Label6 = label(this, "Label6", QStringLiteral("second"));

    Label4 = label(this, "Label4", QStringLiteral("Recording Period"));
    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    auto* periodLayout = new QHBoxLayout(Panel1);
    periodLayout->setContentsMargins(0, 0, 0, 0);
    edtPeriod = new QLineEdit(Panel1);
    edtPeriod->setObjectName(QStringLiteral("edtPeriod"));
    edtPeriod->setReadOnly(true);
    edtPeriod->setFixedWidth(100);
    periodLayout->addWidget(edtPeriod);
    Panel1->setEnabled(false);
    Label5 = label(this, "Label5", QStringLiteral("HH:MM:SS"));

    btnOpenSingleSet = new QPushButton(QStringLiteral("Start"), this);
    btnOpenSingleSet->setObjectName(QStringLiteral("btnOpenSingleSet"));
    btnOpenSingleSet->setDefault(true);
    Button1 = new QPushButton(QStringLiteral("Cancel"), this);
    Button1->setObjectName(QStringLiteral("Button1"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(Label1, 0, 0, 1, 3);
    grid->addWidget(Label2, 1, 0, 1, 2);
    grid->addWidget(edtRealTimeNo, 1, 2);
    grid->addWidget(Label3, 2, 0);
    grid->addWidget(txtRate, 2, 1);
    grid->addWidget(Label6, 2, 2);
    grid->addWidget(Label4, 3, 0);
    grid->addWidget(Panel1, 3, 1);
    grid->addWidget(Label5, 3, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOpenSingleSet);
    buttons->addWidget(Button1);
    grid->addLayout(buttons, 4, 0, 1, 3);

    connect(btnOpenSingleSet, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button1, &QPushButton::clicked, this, &QDialog::reject);
    connect(edtRealTimeNo, &QLineEdit::textChanged, this, &TfrmSetupRealTime::edtRealTimeNoChange);
    connect(txtRate, &QComboBox::editTextChanged, this, &TfrmSetupRealTime::edtRealTimeNoChange);
}

void TfrmSetupRealTime::FormShow() {
    const QString current = txtRate->currentText();
    const bool blocked = txtRate->blockSignals(true);
    for (int i = 0; i < 9; ++i) txtRate->setItemText(i, formatLevel(kRates[i], locale_));
    txtRate->setEditText(current);
    txtRate->blockSignals(blocked);
}

void TfrmSetupRealTime::edtRealTimeNoChange() {
    const QString rateText = txtRate->currentText();
    const std::optional<QString> period =
        recomputedPeriodText(rateText, edtRealTimeNo->text(), locale_);
    // While the rate is being typed it may be no number for a moment: the period then keeps
    // its text, and Start says what is wrong.
    if (period) edtPeriod->setText(*period);
}

void TfrmSetupRealTime::accept() {
    const QString rateText = txtRate->currentText();
    const std::optional<double> rate = parseRate(rateText, locale_);
    if (!rate) {
        prompts_.message(notANumberMessage(rateText));
        txtRate->setFocus();
        return;
    }
    if (!isSamplingRateInRange(*rate)) {
        prompts_.message(samplingRateRangeMessage());
        txtRate->setFocus();
        return;
    }
    QDialog::accept();
}

void TfrmSetupRealTime::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (shownOnce_) return;
    shownOnce_ = true;
    FormShow();
    centreOnScreen(*this);
}

}  // namespace kl516
