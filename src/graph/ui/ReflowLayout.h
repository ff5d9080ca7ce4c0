#pragma once

#include <QLayout>
#include <QList>

namespace kl516 {

// A grid that reflows: its items go in reading order into rows of as many columns as the width
// allows, at most `columns`; each column is as wide as its widest item, each row as high as its
// highest. Its minimum width is that of one column, so a narrow window stacks the items rather
// than cutting them off; its height is that of the arrangement its width gives.
class ReflowLayout : public QLayout {
  public:
    ReflowLayout(int columns, int horizontalSpacing, int verticalSpacing,
                 QWidget* parent = nullptr);
    ~ReflowLayout() override;

    void addItem(QLayoutItem* item) override;
    int count() const override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    Qt::Orientations expandingDirections() const override { return {}; }
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;

    // The columns used at `width` (margins included).
    int columnsAt(int width) const;
    // The width that `columns` columns need (margins included).
    int widthFor(int columns) const;

  private:
    QList<QLayoutItem*> visibleItems() const;
    QList<int> columnWidths(int columns) const;
    int heightFor(int columns) const;
    int currentColumns() const;

    QList<QLayoutItem*> items_;
    int columns_;
    int horizontalSpacing_, verticalSpacing_;
    int width_ = -1;  // the width last laid out; -1 before the first
};

}  // namespace kl516
