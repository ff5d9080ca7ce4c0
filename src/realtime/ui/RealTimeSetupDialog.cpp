#include "realtime/ui/RealTimeSetupDialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "dataset/SerialDateTime.h"
#include "realtime/RecordingPeriod.h"
#include "realtime/SamplingRate.h"
#include "workspace/Prompts.h"
#include "workspace/ui/Dialogs.h"

namespace kl516 {

namespace {

const double kRates[9] = {0.1, 0.2, 0.5, 1, 2, 5, 10, 20, 30};

QLabel* label(QWidget* parent, const char* name, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    return l;
}

}  // namespace

RealTimeSetupDialog::RealTimeSetupDialog(Prompts& prompts, const QLocale& locale, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint),
      prompts_(prompts),
      locale_(locale) {
    setObjectName(QStringLiteral("realTimeSetupDialog"));
    setWindowTitle(QStringLiteral("Real-Time Setup"));
    setModal(true);

    sampleCountLabel =
        label(this, "sampleCountLabel", QStringLiteral("Real-Time data no to be recorded"));
    sampleCountHintLabel = label(this, "sampleCountHintLabel",
                                 QStringLiteral("(Adjust the number to meet your need)"));
    sampleCountEdit = new QLineEdit(this);
    sampleCountEdit->setObjectName(QStringLiteral("sampleCountEdit"));
    // Up to five digits, blanks shown as "_".
    sampleCountEdit->setInputMask(QStringLiteral("00000;_"));
    sampleCountEdit->setMaxLength(5);
    sampleCountEdit->setAlignment(Qt::AlignRight);
    sampleCountEdit->setText(QStringLiteral(" 2000"));
    sampleCountEdit->setFixedWidth(80);

    samplingRateLabel = label(this, "samplingRateLabel", QStringLiteral("Real-Time Sampling Rate"));
    samplingRateBox = new QComboBox(this);
    samplingRateBox->setObjectName(QStringLiteral("samplingRateBox"));
    samplingRateBox->setEditable(true);
    samplingRateBox->setInsertPolicy(QComboBox::NoInsert);
    // The list is a choice, not a completer: what is typed is the rate ("3" is 3 s, not 30).
    samplingRateBox->setCompleter(nullptr);
    for (double r : kRates) samplingRateBox->addItem(QString::number(r, 'f', 1));
    samplingRateBox->setEditText(QStringLiteral("0.5"));
    samplingRateBox->setFixedWidth(80);
    rateUnitLabel = label(this, "rateUnitLabel", QStringLiteral("second"));

    recordingPeriodLabel = label(this, "recordingPeriodLabel", QStringLiteral("Recording Period"));
    recordingPeriodPanel = new QWidget(this);
    recordingPeriodPanel->setObjectName(QStringLiteral("recordingPeriodPanel"));
    auto* periodLayout = new QHBoxLayout(recordingPeriodPanel);
    periodLayout->setContentsMargins(0, 0, 0, 0);
    recordingPeriodEdit = new QLineEdit(recordingPeriodPanel);
    recordingPeriodEdit->setObjectName(QStringLiteral("recordingPeriodEdit"));
    recordingPeriodEdit->setReadOnly(true);
    recordingPeriodEdit->setFixedWidth(100);
    periodLayout->addWidget(recordingPeriodEdit);
    recordingPeriodPanel->setEnabled(false);
    periodFormatLabel = label(this, "periodFormatLabel", QStringLiteral("HH:MM:SS"));

    startButton = new QPushButton(QStringLiteral("Start"), this);
    startButton->setObjectName(QStringLiteral("startButton"));
    startButton->setDefault(true);
    cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(sampleCountLabel, 0, 0, 1, 3);
    grid->addWidget(sampleCountHintLabel, 1, 0, 1, 2);
    grid->addWidget(sampleCountEdit, 1, 2);
    grid->addWidget(samplingRateLabel, 2, 0);
    grid->addWidget(samplingRateBox, 2, 1);
    grid->addWidget(rateUnitLabel, 2, 2);
    grid->addWidget(recordingPeriodLabel, 3, 0);
    grid->addWidget(recordingPeriodPanel, 3, 1);
    grid->addWidget(periodFormatLabel, 3, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(startButton);
    buttons->addWidget(cancelButton);
    grid->addLayout(buttons, 4, 0, 1, 3);
    // Screen readers: the box is labelled by its label; the fields by their labels' texts.
    samplingRateLabel->setBuddy(samplingRateBox);
    samplingRateBox->lineEdit()->setAccessibleName(samplingRateLabel->text());
    sampleCountEdit->setAccessibleName(sampleCountLabel->text());
    recordingPeriodEdit->setAccessibleName(recordingPeriodLabel->text());

    connect(startButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(sampleCountEdit, &QLineEdit::textChanged, this, &RealTimeSetupDialog::recomputePeriod);
    connect(samplingRateBox, &QComboBox::editTextChanged, this,
            &RealTimeSetupDialog::recomputePeriod);
}

void RealTimeSetupDialog::localiseRateItems() {
    const QString current = samplingRateBox->currentText();
    const bool blocked = samplingRateBox->blockSignals(true);
    for (int i = 0; i < 9; ++i) samplingRateBox->setItemText(i, oneDecimalText(kRates[i], locale_));
    samplingRateBox->setEditText(current);
    samplingRateBox->blockSignals(blocked);
}

void RealTimeSetupDialog::recomputePeriod() {
    const QString rateText = samplingRateBox->currentText();
    const std::optional<QString> period =
        recomputedPeriodText(rateText, sampleCountEdit->text(), locale_);
    // While the rate is being typed it may be no number for a moment: the period then keeps
    // its text, and Start says what is wrong.
    if (period) recordingPeriodEdit->setText(*period);
}

void RealTimeSetupDialog::accept() {
    const QString rateText = samplingRateBox->currentText();
    const std::optional<double> rate = parseRate(rateText, locale_);
    if (!rate) {
        prompts_.message(notANumberMessage(rateText));
        samplingRateBox->setFocus();
        return;
    }
    if (!isSamplingRateInRange(*rate)) {
        prompts_.message(samplingRateRangeMessage());
        samplingRateBox->setFocus();
        return;
    }
    QDialog::accept();
}

void RealTimeSetupDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (shownOnce_) return;
    shownOnce_ = true;
    localiseRateItems();
    centreOnScreen(*this);
}

}  // namespace kl516
