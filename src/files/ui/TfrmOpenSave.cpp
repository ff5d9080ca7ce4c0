#include "files/ui/TfrmOpenSave.h"

#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "workspace/ui/Dialogs.h"

namespace kl516 {

TfrmOpenSave::TfrmOpenSave(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("frmOpenSave"));
    auto button = [this](const char* name, const QString& caption, int result) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, result] { done(result); });
        return b;
    };
    btnOpenSets =
        button("btnOpenSets",
               QStringLiteral("Save all data sets to a data set collection file(*.set)"), Ok);
    btnOpenSingleSet =
        button("btnOpenSingleSet", QStringLiteral("Save single selected  data set to a  file"), No);
    Button1 = button("Button1", QStringLiteral("Cancel"), Cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(btnOpenSets);
    layout->addWidget(btnOpenSingleSet);
    layout->addWidget(Button1);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TfrmOpenSave::setUpForOpen(bool commaDecimal) {
    setWindowTitle(QStringLiteral("Open File"));
    btnOpenSets->setText(QStringLiteral("Open a data set collection file(*.rec)"));
    btnOpenSingleSet->setText(commaDecimal
                                  ? QStringLiteral("Open single data file(*.TXT,*.GHF)")
                                  : QStringLiteral("Open single data file(*.TXT,*.CSV,*.GHF)"));
}

void TfrmOpenSave::setUpForSave() {
    setWindowTitle(QStringLiteral("Save File"));
}

void TfrmOpenSave::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnScreen(*this);
}

}  // namespace kl516
