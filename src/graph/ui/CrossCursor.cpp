#include "graph/ui/CrossCursor.h"

#include <QPainter>
#include <QPixmap>

namespace kl516 {

QCursor crossCursor() {
    QPixmap image(kCrossCursorSize, kCrossCursorSize);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        constexpr int c = kCrossCursorCentre, arm = 7;
        // A light outline under a dark X keeps it visible on any background.
        for (const auto& [colour, width] : {std::pair{QColor(Qt::white), 3}, {QColor(Qt::black), 1}}) {
            p.setPen(QPen(colour, width, Qt::SolidLine, Qt::SquareCap));
            p.drawLine(c - arm, c - arm, c + arm, c + arm);
            p.drawLine(c - arm, c + arm, c + arm, c - arm);
        }
    }
    return QCursor(image, 0, 0);
}

}  // namespace kl516
