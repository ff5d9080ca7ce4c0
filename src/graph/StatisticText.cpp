#include "graph/StatisticText.h"

#include <QStringList>

namespace kl516 {

QString pointTimeText(SerialDateTime t, const QLocale& locale, bool tenths) {
    const QTime time = timeOf(t);
    if (!tenths || !time.isValid()) return formatLongTime(t, locale);
    // The tenth goes, quoted, after the last seconds field outside quoted text.
    QString format = longTimeFormatWithoutZone(locale);
    qsizetype after = -1;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format[i] == u'\'')
            quoted = !quoted;
        else if (!quoted && format[i] == u's')
            after = i + 1;
    }
    if (after < 0) return formatLongTime(t, locale);
    const QString tenth = QLatin1Char('\'') + locale.decimalPoint() +
                          QString::number(time.msec() / 100) + QLatin1Char('\'');
    format.insert(after, tenth);
    return locale.toString(time, format);
}

QString pointDateTimeText(SerialDateTime t, const QLocale& locale, bool tenths) {
    return formatShortDate(t, locale) + QLatin1Char(' ') + pointTimeText(t, locale, tenths);
}

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
