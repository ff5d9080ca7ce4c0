#include "files/ui/TfrmList.h"

#include <QHeaderView>
#include <QTableView>
#include <QVBoxLayout>
#include <cmath>

namespace kl516 {

TfrmList::TfrmList(const QString& caption, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("frmList"));
    setWindowTitle(caption);
    resize(640, 420);

    model_ = new ListTableModel(this);
    Grid1 = new QTableView(this);
    Grid1->setObjectName(QStringLiteral("Grid1"));
    Grid1->setModel(model_);
    // Column 0 holds the line number; the row header would repeat it.
    Grid1->verticalHeader()->hide();
    // One fixed height for every row keeps a table of a million lines as quick as a short one.
    const int rowHeight = int(std::lround(kRowHeight * logicalDpiY() / 96.0));
    Grid1->verticalHeader()->setMinimumSectionSize(1);
    Grid1->verticalHeader()->setDefaultSectionSize(rowHeight);
    Grid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    Grid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    Grid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Grid1->setSelectionBehavior(QAbstractItemView::SelectItems);
    Grid1->setWordWrap(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Grid1);
}

}  // namespace kl516
