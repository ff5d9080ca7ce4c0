#include "app/WindowArrangement.h"

#include <algorithm>
#include <cmath>

namespace kl516 {

QList<QRect> tileRects(const QList<ArrangedWindow>& windows, const QRect& area) {
    QList<QRect> out;
    const int n = int(windows.size());
    if (n == 0) return out;
    QSize cellMinimum(1, 1);
    for (const ArrangedWindow& w : windows)
        cellMinimum = cellMinimum.expandedTo(w.fixedSize ? w.current : w.minimum);
    // A square grid, side by side before one above the other: 2 windows share a row, 3 and 4
    // take two rows of two. A cell never gets narrower or lower than the largest minimum; the
    // grid then extends past the area and the workspace scrolls.
    const int columns = int(std::ceil(std::sqrt(double(n))));
    const int rows = (n + columns - 1) / columns;
    const int cellHeight = std::max(area.height() / rows, cellMinimum.height());
    for (int i = 0; i < n; ++i) {
        const int row = i / columns;
        // The last row's windows share the whole width when it is not full.
        const int inRow = row == rows - 1 ? n - row * columns : columns;
        const int cellWidth = std::max(area.width() / inRow, cellMinimum.width());
        const QPoint corner(area.left() + (i % columns) * cellWidth, area.top() + row * cellHeight);
        const ArrangedWindow& w = windows[i];
        out.append(QRect(corner, w.fixedSize ? w.current : QSize(cellWidth, cellHeight)));
    }
    return out;
}

QList<QRect> cascadeRects(const QList<ArrangedWindow>& windows, const QRect& area, int step) {
    QList<QRect> out;
    int offset = 0;
    for (const ArrangedWindow& w : windows) {
        if (w.fixedSize) {
            out.append(QRect(area.topLeft() + QPoint(offset, offset), w.current));
        } else {
            QSize size(area.width() - offset, area.height() - offset);
            if ((size.width() < w.minimum.width() || size.height() < w.minimum.height()) &&
                offset > 0) {
                offset = 0;
                size = area.size();
            }
            out.append(QRect(area.topLeft() + QPoint(offset, offset), size.expandedTo(w.minimum)));
        }
        offset += step;
    }
    return out;
}

}  // namespace kl516
