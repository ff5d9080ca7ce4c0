#include "graph/ui/TimeAxisTicker.h"

#include <QDateTime>
#include <QFontMetricsF>
#include <algorithm>

namespace kl516 {

TimeAxisTicker::TimeAxisTicker(QCPAxis* axis) : axis_(axis) {}

double TimeAxisTicker::axisPixels() const {
    if (!axis_ || !axis_->axisRect()) return 0;
    QCPAxisRect* rect = axis_->axisRect();
    const bool horizontal = axis_->orientation() == Qt::Horizontal;
    // The viewport is already the new one, the axis rectangle's margins are those of the last
    // layout.
    const QRect viewport = axis_->parentPlot()->viewport();
    const double margins = horizontal ? rect->outerRect().width() - rect->width()
                                      : rect->outerRect().height() - rect->height();
    const double length = (horizontal ? viewport.width() : viewport.height()) - margins;
    return length > 0 ? length : (horizontal ? rect->width() : rect->height());
}

TimeLabelRoom TimeAxisTicker::labelRoom(bool spansDays) const {
    const QFontMetricsF fm(axis_ ? axis_->tickLabelFont() : QFont());
    // A wide label of each unit: two-digit hours, eights, a two-digit day and month.
    const double sample =
        double(
            QDateTime(QDate(2000, 12, 28), QTime(10, 58, 58, 800), Qt::UTC).toMSecsSinceEpoch()) /
        1000;
    TimeLabelRoom room{};
    for (int unit = 0; unit < 4; ++unit) {
        double width = 0;
        const QStringList lines =
            timeTickLabel(sample, TimeLabelUnit(unit), spansDays, labels_).split(QLatin1Char('\n'));
        for (const QString& line : lines) width = std::max(width, fm.horizontalAdvance(line));
        room[size_t(unit)] = width + fm.height();  // about a character's gap between labels
    }
    return room;
}

void TimeAxisTicker::generate(const QCPRange& range, const QLocale& locale, QChar formatChar,
                              int precision, QVector<double>& ticks, QVector<double>* subTicks,
                              QVector<QString>* tickLabels) {
    spansDays_ = spansDays(range.lower, range.upper);
    pixelsUsed_ = axisPixels();
    step_ = chooseTimeTickStep(range.size(), pixelsUsed_, labelRoom(spansDays_));
    QCPAxisTicker::generate(range, locale, formatChar, precision, ticks, subTicks, tickLabels);
}

double TimeAxisTicker::getTickStep(const QCPRange&) {
    return step_;
}

int TimeAxisTicker::getSubTickCount(double tickStep) {
    return timeSubTickCount(tickStep);
}

QString TimeAxisTicker::getTickLabel(double tick, const QLocale&, QChar, int) {
    return timeTickLabel(tick, timeLabelUnit(step_), spansDays_, labels_);
}

QVector<double> TimeAxisTicker::createTickVector(double tickStep, const QCPRange& range) {
    // One tick beyond each end, for the minor ticks there; the base class trims the rest.
    const std::vector<double> ticks =
        timeTicks(range.lower - tickStep, range.upper + tickStep, tickStep);
    return QVector<double>(ticks.begin(), ticks.end());
}

}  // namespace kl516
