#include "graph/ui/TfrmDelAnno.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "workspace/ui/Dialogs.h"
#include "dataset/TDateTime.h"

namespace kl516 {

TfrmDelAnno::TfrmDelAnno(const std::vector<AnnotationRow>& rows, const QLocale& locale,
                         QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint), rows_(rows) {
    setObjectName(QStringLiteral("frmDelAnno"));
    setWindowTitle(QStringLiteral("Erase Annotation"));
    StringGrid1 = new QTableWidget(int(rows_.size()), 3, this);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setHorizontalHeaderLabels(
        {QStringLiteral("NO"), QStringLiteral("Time"), QStringLiteral("Contents")});
    const int widths[3] = {50, 120, 200};
    for (int c = 0; c < 3; ++c) StringGrid1->setColumnWidth(c, widths[c]);
    StringGrid1->verticalHeader()->hide();
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGrid1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int r = 0; r < int(rows_.size()); ++r) {
        const AnnotationRow& row = rows_[size_t(r)];
        StringGrid1->setItem(r, 0, new QTableWidgetItem(QString::number(r + 1)));
        StringGrid1->setItem(r, 1, new QTableWidgetItem(formatDateTime(row.x, locale)));
        StringGrid1->setItem(r, 2, new QTableWidgetItem(row.contents));
    }
    StringGrid1->setMinimumWidth(50 + 120 + 200 + 24);

    QHBoxLayout* buttons = makeDialogButtons(*this, QStringLiteral("Delete"), BitBtn1, BitBtn2);
    BitBtn1->setDefault(false);
    BitBtn1->setEnabled(!rows_.empty());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(StringGrid1);
    layout->addLayout(buttons);
}

std::vector<int> TfrmDelAnno::selectedAnnotations() const {
    std::vector<int> rowNumbers;
    for (const QModelIndex& index : StringGrid1->selectionModel()->selectedRows())
        rowNumbers.push_back(index.row());
    std::sort(rowNumbers.begin(), rowNumbers.end());
    std::vector<int> indexes;
    for (int r : rowNumbers)
        if (r >= 0 && size_t(r) < rows_.size()) indexes.push_back(rows_[size_t(r)].index);
    return indexes;
}

void TfrmDelAnno::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnScreen(*this);
}

}  // namespace kl516
