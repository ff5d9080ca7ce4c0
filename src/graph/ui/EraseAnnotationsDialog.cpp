#include "graph/ui/EraseAnnotationsDialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "dataset/SerialDateTime.h"
#include "workspace/ui/Dialogs.h"

namespace kl516 {

EraseAnnotationsDialog::EraseAnnotationsDialog(const std::vector<AnnotationRow>& rows,
                                               const QLocale& locale, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint), rows_(rows) {
    setObjectName(QStringLiteral("eraseAnnotationsDialog"));
    setWindowTitle(QStringLiteral("Erase Annotation"));
    annotationTable = new QTableWidget(int(rows_.size()), 3, this);
    annotationTable->setObjectName(QStringLiteral("annotationTable"));
    annotationTable->setAccessibleName(QStringLiteral("Annotations"));
    annotationTable->setHorizontalHeaderLabels(
        {QStringLiteral("NO"), QStringLiteral("Time"), QStringLiteral("Contents")});
    const int widths[3] = {50, 120, 200};
    for (int c = 0; c < 3; ++c) annotationTable->setColumnWidth(c, widths[c]);
    annotationTable->verticalHeader()->hide();
    annotationTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    annotationTable->setSelectionMode(QAbstractItemView::ExtendedSelection);
    annotationTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int r = 0; r < int(rows_.size()); ++r) {
        const AnnotationRow& row = rows_[size_t(r)];
        annotationTable->setItem(r, 0, new QTableWidgetItem(QString::number(r + 1)));
        annotationTable->setItem(r, 1, new QTableWidgetItem(formatDateTime(row.x, locale)));
        annotationTable->setItem(r, 2, new QTableWidgetItem(row.contents));
    }
    annotationTable->setMinimumWidth(50 + 120 + 200 + 24);

    QHBoxLayout* buttons =
        makeDialogButtons(*this, QStringLiteral("Delete"), acceptButton, cancelButton);
    acceptButton->setDefault(false);
    acceptButton->setEnabled(!rows_.empty());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(annotationTable);
    layout->addLayout(buttons);
}

std::vector<int> EraseAnnotationsDialog::selectedAnnotations() const {
    std::vector<int> rowNumbers;
    for (const QModelIndex& index : annotationTable->selectionModel()->selectedRows())
        rowNumbers.push_back(index.row());
    std::sort(rowNumbers.begin(), rowNumbers.end());
    std::vector<int> indexes;
    for (int r : rowNumbers)
        if (r >= 0 && size_t(r) < rows_.size()) indexes.push_back(rows_[size_t(r)].index);
    return indexes;
}

void EraseAnnotationsDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnScreen(*this);
}

}  // namespace kl516
