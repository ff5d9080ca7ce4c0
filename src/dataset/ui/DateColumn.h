#pragma once

#include <QFontMetrics>
#include <QLocale>

namespace kl516 {

// The width of the widest date in the user's short format. A format may name the month, and
// digits are equally wide, so the 28th of each month stands for every date: measuring every row
// of a long table would cost more than the table itself.
int widestShortDate(const QFontMetrics& metrics, const QLocale& locale);

}  // namespace kl516
