#pragma once

#include <QString>

namespace kl516 {

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
