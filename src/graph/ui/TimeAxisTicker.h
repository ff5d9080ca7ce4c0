#pragma once

#include <qcustomplot.h>

#include <QPointer>

#include "graph/TimeTicks.h"

namespace kl516 {

// Ticks of a date-time axis (keys: wall-clock seconds since 1970) at whole multiples of a step
// the labels can state exactly, as many as the axis has room for; the labels follow the step
// (seconds, minutes or days) and carry the date when the axis spans days.
class TimeAxisTicker : public QCPAxisTicker {
  public:
    // The axis whose length and tick label font decide how many labels fit.
    explicit TimeAxisTicker(QCPAxis* axis);

    // The step of the last ticks made, in seconds; 0 before the first.
    double step() const { return step_; }
    // The axis length in pixels the last ticks were made for. Ticks are made before the layout
    // of a replot, from the margins of the layout before: when the layout then gives the axis
    // another length, the ticks are to be made again.
    double pixelsUsed() const { return pixelsUsed_; }

    void generate(const QCPRange& range, const QLocale& locale, QChar formatChar, int precision,
                  QVector<double>& ticks, QVector<double>* subTicks,
                  QVector<QString>* tickLabels) override;

  protected:
    double getTickStep(const QCPRange& range) override;
    int getSubTickCount(double tickStep) override;
    QString getTickLabel(double tick, const QLocale& locale, QChar formatChar,
                         int precision) override;
    QVector<double> createTickVector(double tickStep, const QCPRange& range) override;

  private:
    double axisPixels() const;
    TimeLabelRoom labelRoom(bool spansDays) const;

    QPointer<QCPAxis> axis_;
    QLocale labels_ = QLocale::system();
    double step_ = 0;
    double pixelsUsed_ = 0;
    bool spansDays_ = false;
};

}  // namespace kl516
