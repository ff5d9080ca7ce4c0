#include "graph/ui/AnnotationTextDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "workspace/ui/Dialogs.h"

namespace kl516 {

AnnotationTextDialog::AnnotationTextDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("annotationTextDialog"));
    setWindowTitle(QString());
    annotationText = new QLineEdit(this);
    annotationText->setObjectName(QStringLiteral("annotationText"));
    annotationText->setMinimumWidth(260);
    // The dialog has no title: the prompt says what the box is for.
    promptLabel = new QLabel(QStringLiteral("Note text:"), this);
    promptLabel->setObjectName(QStringLiteral("promptLabel"));
    promptLabel->setBuddy(annotationText);
    QHBoxLayout* buttons =
        makeDialogButtons(*this, QStringLiteral("OK"), acceptButton, cancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(promptLabel);
    layout->addWidget(annotationText);
    layout->addLayout(buttons);
}

void AnnotationTextDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnScreen(*this);
    annotationText->setFocus();
}

}  // namespace kl516
