#pragma once

#include <QCursor>

namespace kl516 {

// The "CROSS" pointer of cross mode: 32 x 32 pixels, an X whose lines cross 15 pixels right of
// and 15 below the hot spot, which is the top-left corner. A click's cross goes where the
// lines cross.
QCursor crossCursor();
inline constexpr int kCrossCursorSize = 32;
inline constexpr int kCrossCursorCentre = 15;

}  // namespace kl516
