#include "graph/StatisticText.h"

#include <QStringList>

namespace kl516 {

QString statisticText(const StatisticFields& f) {
    const QString at = QStringLiteral("@");
    const QStringList lines = {
        QStringLiteral("Start Time:") + f.startTime,
        QStringLiteral("Sampling Rate:") + f.samplingRate,
        QStringLiteral("DataNo:") + f.dataNo,
        QStringLiteral("Avg.:") + f.avgAll,
        QStringLiteral("Maximum:") + f.max + at + f.maxTime,
        QStringLiteral("Minimum:") + f.min + at + f.minTime,
        QStringLiteral("Cursor A:") + f.cursorA + at + f.cursorATime,
        QStringLiteral("Cursor B:") + f.cursorB + at + f.cursorBTime,
        QStringLiteral("Max.Between A and B:") + f.maxAB + at + f.maxABTime,
        QStringLiteral("Min.Between A and B:") + f.minAB + at + f.minABTime,
        QStringLiteral("Avg. Between A and B:") + f.avgAB,
        QStringLiteral("Leq Between A and B:") + f.leqAB,
        QStringLiteral("L10 Between A and B:") + f.l10AB,
        QStringLiteral("L50 Between A and B:") + f.l50AB,
        QStringLiteral("L90 Between A and B:") + f.l90AB,
    };
    QString text;
    for (const QString& line : lines) text += line + QLatin1Char('\n');
    return text;
}

}  // namespace kl516
