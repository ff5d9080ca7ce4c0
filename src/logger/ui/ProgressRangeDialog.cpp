#include "logger/ui/ProgressRangeDialog.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

#include "workspace/ui/Dialogs.h"

namespace kl516 {

ProgressRangeDialog::ProgressRangeDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("progressRangeDialog"));
    setWindowTitle(QStringLiteral("Print Range"));
    setMinimumWidth(320);

    auto named = [](QWidget* w, const char* name) {
        w->setObjectName(QLatin1String(name));
        w->hide();
        return w;
    };
    progressTextLabel = new QLabel(QStringLiteral("bytes received"), this);
    totalBytesTextLabel = new QLabel(QStringLiteral("total bytes"), this);
    bytesReceivedLabel = new QLabel(this);
    totalBytesLabel = new QLabel(this);
    progressBar = new QProgressBar(this);
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    named(progressTextLabel, "progressTextLabel");
    named(totalBytesTextLabel, "totalBytesTextLabel");
    named(bytesReceivedLabel, "bytesReceivedLabel");
    named(totalBytesLabel, "totalBytesLabel");
    named(progressBar, "progressBar");

    rangeGroup = new QGroupBox(this);
    named(rangeGroup, "rangeGroup");
    rangeAllRadio = new QRadioButton(QStringLiteral("&All"), rangeGroup);
    rangeSelectRadio = new QRadioButton(QStringLiteral("&Select"), rangeGroup);
    rangeFromLabel = new QLabel(QStringLiteral("&from"), rangeGroup);
    rangeFrom = new QLineEdit(rangeGroup);
    rangeToLabel = new QLabel(QStringLiteral("&to"), rangeGroup);
    rangeTo = new QLineEdit(rangeGroup);
    rangeAllRadio->setObjectName(QStringLiteral("rangeAllRadio"));
    rangeSelectRadio->setObjectName(QStringLiteral("rangeSelectRadio"));
    rangeFromLabel->setObjectName(QStringLiteral("rangeFromLabel"));
    rangeFrom->setObjectName(QStringLiteral("rangeFrom"));
    rangeToLabel->setObjectName(QStringLiteral("rangeToLabel"));
    rangeTo->setObjectName(QStringLiteral("rangeTo"));
    rangeFromLabel->setBuddy(rangeFrom);
    rangeToLabel->setBuddy(rangeTo);
    rangeAllRadio->setChecked(true);
    auto* range = new QGridLayout(rangeGroup);
    range->addWidget(rangeAllRadio, 0, 0, 1, 4);
    range->addWidget(rangeSelectRadio, 1, 0);
    range->addWidget(rangeFromLabel, 1, 1);
    range->addWidget(rangeFrom, 1, 2);
    range->addWidget(rangeToLabel, 1, 3);
    range->addWidget(rangeTo, 1, 4);

    okButton = new QPushButton(QStringLiteral("OK"), this);
    cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    named(okButton, "okButton");
    named(cancelButton, "cancelButton");
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* counts = new QGridLayout;
    counts->addWidget(bytesReceivedLabel, 0, 0, Qt::AlignRight);
    counts->addWidget(progressTextLabel, 0, 1);
    counts->addWidget(totalBytesLabel, 1, 0, Qt::AlignRight);
    counts->addWidget(totalBytesTextLabel, 1, 1);
    counts->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(counts);
    layout->addWidget(progressBar);
    layout->addWidget(rangeGroup);
    layout->addLayout(buttons);
}

void ProgressRangeDialog::showDownload(int32_t total) {
    setWindowTitle(QStringLiteral("Data Retriving Progress"));
    if (!windowFlags().testFlag(Qt::WindowStaysOnTopHint))
        setWindowFlag(Qt::WindowStaysOnTopHint, true);
    // Another user may have left its range choice or buttons shown.
    for (QWidget* w : {static_cast<QWidget*>(rangeGroup), static_cast<QWidget*>(okButton),
                       static_cast<QWidget*>(cancelButton)})
        w->hide();
    for (QWidget* w :
         {static_cast<QWidget*>(progressBar), static_cast<QWidget*>(totalBytesLabel),
          static_cast<QWidget*>(bytesReceivedLabel), static_cast<QWidget*>(progressTextLabel),
          static_cast<QWidget*>(totalBytesTextLabel)})
        w->show();
    progressTextLabel->setText(QStringLiteral("bytes received"));
    progressBar->setRange(0, total);
    progressBar->setValue(0);
    totalBytesLabel->setText(QString::number(total));
    bytesReceivedLabel->setText(QStringLiteral("0"));
    adjustSize();
    show();
    if (parentWidget()) parentWidget()->repaint();
}

void ProgressRangeDialog::setReceived(int32_t count) {
    bytesReceivedLabel->setText(QString::number(count));
    progressBar->setValue(count);
    QCoreApplication::processEvents();
}

void ProgressRangeDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnScreen(*this);
}

}  // namespace kl516
