#include "app/ui/AboutDialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "kl516/version.h"

namespace kl516 {

AboutDialog::AboutDialog(bool asSplash, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowTitle(QStringLiteral("About KL516"));
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

    auto* title = new QLabel(QStringLiteral("Sound Level Meter Software"), this);
    title->setObjectName(QStringLiteral("titleLabel"));
    QFont f = title->font();
    f.setBold(true);
    f.setItalic(true);
    f.setPointSizeF(f.pointSizeF() * 1.5);
    title->setFont(f);
    title->setStyleSheet(QStringLiteral("color: blue;"));

    auto* versionCaption = new QLabel(QStringLiteral("Version:"), this);
    versionCaption->setObjectName(QStringLiteral("versionCaptionLabel"));
    // The version is embedded at build time; the same string the command-line tool prints.
    versionLabel = new QLabel(QString::fromLatin1(kVersion), this);
    versionLabel->setObjectName(QStringLiteral("versionLabel"));
    splashMessageLabel = new QLabel(QString(), this);
    splashMessageLabel->setObjectName(QStringLiteral("splashMessageLabel"));
    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setObjectName(QStringLiteral("okButton"));
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(24, 20, 24, 16);
    grid->addWidget(title, 0, 0, 1, 2, Qt::AlignCenter);
    grid->addWidget(versionCaption, 1, 0, Qt::AlignRight);
    grid->addWidget(versionLabel, 1, 1, Qt::AlignLeft);
    grid->addWidget(splashMessageLabel, 2, 0, 1, 2);
    grid->addWidget(okButton, 3, 0, 1, 2, Qt::AlignCenter);
    if (asSplash) okButton->hide();
    grid->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace kl516
