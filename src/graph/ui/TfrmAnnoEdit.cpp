#include "graph/ui/TfrmAnnoEdit.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "workspace/ui/Dialogs.h"

namespace kl516 {

TfrmAnnoEdit::TfrmAnnoEdit(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("frmAnnoEdit"));
    setWindowTitle(QString());
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setMinimumWidth(260);
    QHBoxLayout* buttons = makeDialogButtons(*this, QStringLiteral("OK"), BitBtn1, BitBtn2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Edit1);
    layout->addLayout(buttons);
}

void TfrmAnnoEdit::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnScreen(*this);
    Edit1->setFocus();
}

}  // namespace kl516
