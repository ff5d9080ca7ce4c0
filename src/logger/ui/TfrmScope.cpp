#include "logger/ui/TfrmScope.h"

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

TfrmScope::TfrmScope(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("frmScope"));
    setWindowTitle(QStringLiteral("Print Range"));
    setMinimumWidth(320);

    auto named = [](QWidget* w, const char* name) {
        w->setObjectName(QLatin1String(name));
        w->hide();
        return w;
    };
    SText1 = new QLabel(QStringLiteral("bytes received"), this);
    SText2 = new QLabel(QStringLiteral("total bytes"), this);
    lblBytesReceived = new QLabel(this);
    lblTotalBytes = new QLabel(this);
    Progress1 = new QProgressBar(this);
    Progress1->setRange(0, 100);
    Progress1->setValue(0);
    named(SText1, "SText1");
    named(SText2, "SText2");
    named(lblBytesReceived, "lblBytesReceived");
    named(lblTotalBytes, "lblTotalBytes");
    named(Progress1, "Progress1");

    GroupBox1 = new QGroupBox(this);
    named(GroupBox1, "GroupBox1");
    radAll = new QRadioButton(QStringLiteral("&All"), GroupBox1);
    radNo = new QRadioButton(QStringLiteral("&Select"), GroupBox1);
    Label1 = new QLabel(QStringLiteral("&from"), GroupBox1);
    edtSelFrom = new QLineEdit(GroupBox1);
    Label2 = new QLabel(QStringLiteral("&to"), GroupBox1);
    edtSelTo = new QLineEdit(GroupBox1);
    radAll->setObjectName(QStringLiteral("radAll"));
    radNo->setObjectName(QStringLiteral("radNo"));
    Label1->setObjectName(QStringLiteral("Label1"));
    edtSelFrom->setObjectName(QStringLiteral("edtSelFrom"));
    Label2->setObjectName(QStringLiteral("Label2"));
    edtSelTo->setObjectName(QStringLiteral("edtSelTo"));
    Label1->setBuddy(edtSelFrom);
    Label2->setBuddy(edtSelTo);
    radAll->setChecked(true);
    auto* range = new QGridLayout(GroupBox1);
    range->addWidget(radAll, 0, 0, 1, 4);
    range->addWidget(radNo, 1, 0);
    range->addWidget(Label1, 1, 1);
    range->addWidget(edtSelFrom, 1, 2);
    range->addWidget(Label2, 1, 3);
    range->addWidget(edtSelTo, 1, 4);

    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn2 = new QPushButton(QStringLiteral("Cancel"), this);
    named(BitBtn1, "BitBtn1");
    named(BitBtn2, "BitBtn2");
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);

    auto* counts = new QGridLayout;
    counts->addWidget(lblBytesReceived, 0, 0, Qt::AlignRight);
    counts->addWidget(SText1, 0, 1);
    counts->addWidget(lblTotalBytes, 1, 0, Qt::AlignRight);
    counts->addWidget(SText2, 1, 1);
    counts->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(counts);
    layout->addWidget(Progress1);
    layout->addWidget(GroupBox1);
    layout->addLayout(buttons);
}

void TfrmScope::showDownload(int32_t total) {
    setWindowTitle(QStringLiteral("Data Retriving Progress"));
    if (!windowFlags().testFlag(Qt::WindowStaysOnTopHint))
        setWindowFlag(Qt::WindowStaysOnTopHint, true);
    // Another user may have left its range choice or buttons shown.
    for (QWidget* w : {static_cast<QWidget*>(GroupBox1), static_cast<QWidget*>(BitBtn1),
                       static_cast<QWidget*>(BitBtn2)})
        w->hide();
    for (QWidget* w : {static_cast<QWidget*>(Progress1), static_cast<QWidget*>(lblTotalBytes),
                       static_cast<QWidget*>(lblBytesReceived), static_cast<QWidget*>(SText1),
                       static_cast<QWidget*>(SText2)})
        w->show();
    SText1->setText(QStringLiteral("bytes received"));
    Progress1->setRange(0, total);
    Progress1->setValue(0);
    lblTotalBytes->setText(QString::number(total));
    lblBytesReceived->setText(QStringLiteral("0"));
    adjustSize();
    show();
    if (parentWidget()) parentWidget()->repaint();
}

void TfrmScope::setReceived(int32_t count) {
    lblBytesReceived->setText(QString::number(count));
    Progress1->setValue(count);
    QCoreApplication::processEvents();
}

void TfrmScope::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnScreen(*this);
}

}  // namespace kl516
