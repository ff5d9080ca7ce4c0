#include "graph/ui/AnnotationTextDialog.h"

#include <QHBoxLayout>
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
    QHBoxLayout* buttons =
        makeDialogButtons(*this, QStringLiteral("OK"), acceptButton, cancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(annotationText);
    layout->addLayout(buttons);
}

void AnnotationTextDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnScreen(*this);
    annotationText->setFocus();
}

}  // namespace kl516
