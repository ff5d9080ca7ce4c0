#include "dataset/ui/DateColumn.h"

#include <QDate>
#include <algorithm>

namespace kl516 {

int widestShortDate(const QFontMetrics& metrics, const QLocale& locale) {
    int width = 0;
    for (int month = 1; month <= 12; ++month)
        width = std::max(width, metrics.horizontalAdvance(
                                    locale.toString(QDate(2088, month, 28), QLocale::ShortFormat)));
    return width;
}

}  // namespace kl516
