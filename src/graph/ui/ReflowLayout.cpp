#include "graph/ui/ReflowLayout.h"

#include <QWidget>
#include <algorithm>

namespace kl516 {

ReflowLayout::ReflowLayout(int columns, int horizontalSpacing, int verticalSpacing, QWidget* parent)
    : QLayout(parent),
      columns_(std::max(1, columns)),
      horizontalSpacing_(horizontalSpacing),
      verticalSpacing_(verticalSpacing) {}

ReflowLayout::~ReflowLayout() {
    while (QLayoutItem* item = takeAt(0)) delete item;
}

void ReflowLayout::addItem(QLayoutItem* item) {
    items_.append(item);
    invalidate();
}

int ReflowLayout::count() const {
    return int(items_.size());
}

QLayoutItem* ReflowLayout::itemAt(int index) const {
    return index >= 0 && index < items_.size() ? items_[index] : nullptr;
}

QLayoutItem* ReflowLayout::takeAt(int index) {
    if (index < 0 || index >= items_.size()) return nullptr;
    QLayoutItem* item = items_.takeAt(index);
    invalidate();
    return item;
}

QList<QLayoutItem*> ReflowLayout::visibleItems() const {
    QList<QLayoutItem*> shown;
    for (QLayoutItem* item : items_)
        if (!item->isEmpty()) shown.append(item);
    return shown;
}

QList<int> ReflowLayout::columnWidths(int columns) const {
    QList<int> widths(columns, 0);
    const QList<QLayoutItem*> shown = visibleItems();
    for (qsizetype i = 0; i < shown.size(); ++i)
        widths[i % columns] = std::max(widths[i % columns], shown[i]->sizeHint().width());
    return widths;
}

int ReflowLayout::widthFor(int columns) const {
    const QMargins m = contentsMargins();
    int width = m.left() + m.right() + (columns - 1) * horizontalSpacing_;
    for (int w : columnWidths(columns)) width += w;
    return width;
}

int ReflowLayout::heightFor(int columns) const {
    const QMargins m = contentsMargins();
    const QList<QLayoutItem*> shown = visibleItems();
    int height = m.top() + m.bottom();
    for (qsizetype start = 0; start < shown.size(); start += columns) {
        int row = 0;
        for (qsizetype i = start; i < std::min(shown.size(), start + columns); ++i)
            row = std::max(row, shown[i]->sizeHint().height());
        height += row + (start > 0 ? verticalSpacing_ : 0);
    }
    return height;
}

int ReflowLayout::columnsAt(int width) const {
    for (int c = columns_; c > 1; --c)
        if (widthFor(c) <= width) return c;
    return 1;
}

int ReflowLayout::currentColumns() const {
    return width_ < 0 ? columns_ : columnsAt(width_);
}

QSize ReflowLayout::sizeHint() const {
    return {widthFor(columns_), heightFor(currentColumns())};
}

QSize ReflowLayout::minimumSize() const {
    return {widthFor(1), heightFor(currentColumns())};
}

void ReflowLayout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    const int before = currentColumns();
    width_ = rect.width();
    const int columns = currentColumns();
    const QList<int> widths = columnWidths(columns);
    const QList<QLayoutItem*> shown = visibleItems();
    const QRect inner = rect.marginsRemoved(contentsMargins());
    int y = inner.top();
    for (qsizetype start = 0; start < shown.size(); start += columns) {
        const qsizetype end = std::min(shown.size(), start + columns);
        int rowHeight = 0;
        for (qsizetype i = start; i < end; ++i)
            rowHeight = std::max(rowHeight, shown[i]->sizeHint().height());
        int x = inner.left();
        for (qsizetype i = start; i < end; ++i) {
            const QSize hint = shown[i]->sizeHint();
            const int w = std::min(hint.width(), widths[i - start]);
            shown[i]->setGeometry(QRect(x, y + (rowHeight - hint.height()) / 2, w, hint.height()));
            x += widths[i - start] + horizontalSpacing_;
        }
        y += rowHeight + verticalSpacing_;
    }
    // Another number of rows needs another height: the layouts above ask again.
    if (columns != before) {
        invalidate();
        if (QWidget* owner = parentWidget()) owner->updateGeometry();
    }
}

}  // namespace kl516
