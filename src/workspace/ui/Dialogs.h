#pragma once

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QString>

namespace kl516 {

// The accept and reject buttons of the program's small dialogs, named acceptButton and cancelButton
// like their other controls, at the right of a row the caller adds to its layout. The first is the
// default button.
inline QHBoxLayout* makeDialogButtons(QDialog& dialog, const QString& acceptText,
                                      QPushButton*& accept, QPushButton*& reject) {
    accept = new QPushButton(acceptText, &dialog);
    accept->setObjectName(QStringLiteral("acceptButton"));
    accept->setDefault(true);
    reject = new QPushButton(QStringLiteral("Cancel"), &dialog);
    reject->setObjectName(QStringLiteral("cancelButton"));
    QObject::connect(accept, &QPushButton::clicked, &dialog, &QDialog::accept);
    QObject::connect(reject, &QPushButton::clicked, &dialog, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(accept);
    row->addWidget(reject);
    return row;
}

// Centres a window, frame included, on the screen it is on (the program's dialogs open in the
// middle of the screen).
inline void centreOnScreen(QWidget& window) {
    if (const QScreen* s = window.screen()) {
        QRect frame = window.frameGeometry();
        frame.moveCenter(s->availableGeometry().center());
        window.move(frame.topLeft());
    }
}

}  // namespace kl516
