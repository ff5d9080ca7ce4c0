#pragma once

#include <QList>
#include <QRect>
#include <QSize>

namespace kl516 {

// One child window as the arrangement sees it.
struct ArrangedWindow {
    QSize minimum;           // the smallest size at which it stays usable
    bool fixedSize = false;  // keeps its size (the control panel)
    QSize current;           // its size now (kept when fixed)
};

// Tiles the windows in a square grid over the workspace `area`, filled row by row (two windows
// side by side, four in two rows of two); a last row that is not full shares the whole width.
// Each cell is at least as large as the largest minimum size, so no window is squeezed below
// its minimum; the grid then extends past the area and the workspace scrolls. Fixed-size
// windows keep their size at their cell's corner.
QList<QRect> tileRects(const QList<ArrangedWindow>& windows, const QRect& area);

// Cascades the windows from the area's top left, each `step` pixels right of and below the one
// before, and as large as the area leaves beside that offset but never below its minimum.
// Offsets restart at the top left when the next one would leave less than the minimum.
QList<QRect> cascadeRects(const QList<ArrangedWindow>& windows, const QRect& area, int step);

}  // namespace kl516
