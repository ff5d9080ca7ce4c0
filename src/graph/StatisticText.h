#pragma once

#include <QLocale>
#include <QString>

#include "dataset/SerialDateTime.h"

namespace kl516 {

// The time of a point as the statistics fields and cursor labels show it: the locale's long
// time, or with `tenths` the tenth of a second right after the seconds ("02:26:42.3"), so that
// the points of a run sampled faster than once a second do not share their texts. The tenth is
// cut, not rounded, as the seconds are.
QString pointTimeText(SerialDateTime t, const QLocale& locale, bool tenths);
// The short date, a blank and pointTimeText.
QString pointDateTimeText(SerialDateTime t, const QLocale& locale, bool tenths);

// The texts of the graph window's statistics fields, exactly as displayed.
struct StatisticFields {
    QString startTime, samplingRate, dataNo, avgAll;
    QString max, maxTime, min, minTime;
    QString cursorA, cursorATime, cursorB, cursorBTime;
    QString maxAB, maxABTime, minAB, minABTime, avgAB;
    // The energy mean and the percentile levels between the cursors.
    QString leqAB, l10AB, l50AB, l90AB;
};

// The statistic as clipboard text: the eleven lines of the upper and the cursor panel ("Start
// Time:", ..., "Avg. Between A and B:"), then the Leq and the L10, L50 and L90 between the
// cursors, one line each. Every line ends with a line feed alone; no units are added.
QString statisticText(const StatisticFields& f);

}  // namespace kl516
