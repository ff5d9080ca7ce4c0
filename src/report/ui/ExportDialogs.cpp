#include "report/ui/ExportDialogs.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace kl516 {

ExportDialog::ExportDialog(const QString& title, const QString& filter, const QString& path,
                           QWidget* parent)
    : QDialog(parent), filter_(filter) {
    setWindowTitle(title);
    auto* form = new QFormLayout(this);
    auto* row = new QHBoxLayout;
    pathEdit = new QLineEdit(path, this);
    pathEdit->setObjectName(QStringLiteral("exportPathEdit"));
    pathEdit->setMinimumWidth(320);
    auto* browse = new QPushButton(QStringLiteral("&Browse..."), this);
    browse->setObjectName(QStringLiteral("exportBrowseButton"));
    row->addWidget(pathEdit);
    row->addWidget(browse);
    auto* label = new QLabel(QStringLiteral("&File:"), this);
    label->setBuddy(pathEdit);
    form->addRow(label, row);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString chosen =
            QFileDialog::getSaveFileName(this, windowTitle(), pathEdit->text(), filter_);
        if (!chosen.isEmpty()) pathEdit->setText(chosen);
    });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("exportButtons"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

QString ExportDialog::path() const {
    return pathEdit->text().trimmed();
}

void ExportDialog::addField(const QString& label, QWidget* field) {
    auto* form = static_cast<QFormLayout*>(layout());
    form->insertRow(form->rowCount() - 1, label, field);
}

void ExportDialog::accept() {
    // No file, no export: the dialog stays for one to be given.
    if (path().isEmpty()) {
        pathEdit->setFocus();
        return;
    }
    QDialog::accept();
}

GraphImageDialog::GraphImageDialog(const GraphImageChoice& choice, QWidget* parent)
    : ExportDialog(QStringLiteral("Export Graph"),
                   QStringLiteral("PNG picture (*.png);;SVG drawing (*.svg);;PDF document (*.pdf)"),
                   choice.path, parent) {
    setObjectName(QStringLiteral("exportGraphDialog"));
    auto makeBox = [this](const char* name, int value) {
        auto* box = new QSpinBox(this);
        box->setObjectName(QLatin1String(name));
        box->setRange(16, 20000);
        box->setSuffix(QStringLiteral(" px"));
        box->setValue(value);
        return box;
    };
    widthBox = makeBox("exportWidthBox", choice.size.width());
    heightBox = makeBox("exportHeightBox", choice.size.height());
    addField(QStringLiteral("&Width:"), widthBox);
    addField(QStringLiteral("&Height:"), heightBox);
}

GraphImageChoice GraphImageDialog::choice() const {
    return {path(), QSize(widthBox->value(), heightBox->value())};
}

ReportDialog::ReportDialog(const ReportChoice& choice, QWidget* parent)
    : ExportDialog(QStringLiteral("Export Report"), QStringLiteral("PDF document (*.pdf)"),
                   choice.path, parent) {
    setObjectName(QStringLiteral("exportReportDialog"));
    includeSamplesBox = new QCheckBox(QStringLiteral("Include the &samples"), this);
    includeSamplesBox->setObjectName(QStringLiteral("includeSamplesBox"));
    includeSamplesBox->setChecked(choice.includeSamples);
    addField(QString(), includeSamplesBox);
}

ReportChoice ReportDialog::choice() const {
    return {path(), includeSamplesBox->isChecked()};
}

}  // namespace kl516
