#include "files/ui/TabularListWindow.h"

#include <QHeaderView>
#include <QTableView>
#include <QVBoxLayout>
#include <cmath>

namespace kl516 {

TabularListWindow::TabularListWindow(const QString& caption, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("tabularListWindow"));
    setWindowTitle(caption);
    resize(640, 420);

    model_ = new ListTableModel(this);
    listTable = new QTableView(this);
    listTable->setObjectName(QStringLiteral("listTable"));
    listTable->setAccessibleName(caption);
    listTable->setModel(model_);
    // Column 0 holds the line number; the row header would repeat it.
    listTable->verticalHeader()->hide();
    // One fixed height for every row keeps a table of a million lines as quick as a short one.
    const int rowHeight = int(std::lround(kRowHeight * logicalDpiY() / 96.0));
    listTable->verticalHeader()->setMinimumSectionSize(1);
    listTable->verticalHeader()->setDefaultSectionSize(rowHeight);
    listTable->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    listTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    listTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    listTable->setSelectionMode(QAbstractItemView::ExtendedSelection);
    listTable->setSelectionBehavior(QAbstractItemView::SelectItems);
    listTable->setWordWrap(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(listTable);
}

}  // namespace kl516
