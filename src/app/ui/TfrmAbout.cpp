#include "app/ui/TfrmAbout.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "kl516/version.h"

namespace kl516 {

TfrmAbout::TfrmAbout(bool asSplash, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Acoustrel For Sound Level Meter"));
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

    auto* title = new QLabel(QStringLiteral("Sound Level Meter Software"), this);
    title->setObjectName(QStringLiteral("Label3"));
    QFont f = title->font();
    f.setBold(true);
    f.setItalic(true);
    f.setPointSizeF(f.pointSizeF() * 1.5);
    title->setFont(f);
    title->setStyleSheet(QStringLiteral("color: blue;"));

    auto* versionCaption = new QLabel(QStringLiteral("Version:"), this);
    versionCaption->setObjectName(QStringLiteral("Label1"));
    // The version is embedded at build time; the same string the command-line tool prints.
    Label2 = new QLabel(QString::fromLatin1(kVersion), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label4 = new QLabel(QString(), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(24, 20, 24, 16);
    grid->addWidget(title, 0, 0, 1, 2, Qt::AlignCenter);
    grid->addWidget(versionCaption, 1, 0, Qt::AlignRight);
    grid->addWidget(Label2, 1, 1, Qt::AlignLeft);
    grid->addWidget(Label4, 2, 0, 1, 2);
    grid->addWidget(BitBtn1, 3, 0, 1, 2, Qt::AlignCenter);
    if (asSplash) BitBtn1->hide();
    grid->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace kl516
