#include "files/ui/OpenSaveChoiceDialog.h"

#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "workspace/ui/Dialogs.h"

namespace kl516 {

OpenSaveChoiceDialog::OpenSaveChoiceDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("openSaveChoiceDialog"));
    auto button = [this](const char* name, const QString& caption, int result) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, result] { done(result); });
        return b;
    };
    allSetsButton =
        button("allSetsButton",
               QStringLiteral("Save all data sets to a data set collection file(*.set)"), Ok);
    singleFileButton =
        button("singleFileButton", QStringLiteral("Save single selected data set to a file"), No);
    cancelButton = button("cancelButton", QStringLiteral("Cancel"), Cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(allSetsButton);
    layout->addWidget(singleFileButton);
    layout->addWidget(cancelButton);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void OpenSaveChoiceDialog::setUpForOpen(bool commaDecimal) {
    setWindowTitle(QStringLiteral("Open File"));
    allSetsButton->setText(QStringLiteral("Open a data set collection file(*.rec)"));
    singleFileButton->setText(commaDecimal
                                  ? QStringLiteral("Open single data file(*.TXT,*.GHF)")
                                  : QStringLiteral("Open single data file(*.TXT,*.CSV,*.GHF)"));
}

void OpenSaveChoiceDialog::setUpForSave() {
    setWindowTitle(QStringLiteral("Save File"));
}

void OpenSaveChoiceDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnScreen(*this);
}

}  // namespace kl516
