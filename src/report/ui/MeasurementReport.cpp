#include "report/ui/MeasurementReport.h"

#include <qcustomplot.h>
#include <QFileInfo>

#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <algorithm>
#include <cmath>

#include "assessment/AssessmentTables.h"
#include "dataset/SerialDateTime.h"
#include "dataset/WallClock.h"
#include "formats/PointText.h"
#include "graph/GraphSeries.h"
#include "graph/Statistics.h"
#include "graph/ui/GraphView.h"
#include "levels/LevelArithmetic.h"
#include "levels/LevelFigures.h"
#include "report/ui/GraphRender.h"
#include "report/ui/PageWriter.h"

namespace kl516 {

namespace {

constexpr double kBodyPt = 9;

// The figures of the graph points lo .. hi: levelFigures of the measured series' points among
// them, weighed as in the whole series; the times of the extremes are the graph's.
RangeFigures rangeFigures(const GraphState& s, const MeasuredSeries& m, double typical, int lo,
                          int hi) {
    RangeFigures r;
    r.lo = lo;
    r.hi = hi;
    const auto begin = std::lower_bound(m.sourceIndex.begin(), m.sourceIndex.end(), size_t(lo));
    const auto end = std::upper_bound(begin, m.sourceIndex.end(), size_t(hi));
    const LevelFigures f =
        levelFigures(m.times, m.levels, typical, size_t(begin - m.sourceIndex.begin()),
                     size_t(end - m.sourceIndex.begin()));
    r.levels = int(f.samples);
    if (!f.leq) return r;
    r.lmax = float(*f.lmax);
    r.lmin = float(*f.lmin);
    r.lmaxTime = s.x[0][m.sourceIndex[f.lmaxIndex]];
    r.lminTime = s.x[0][m.sourceIndex[f.lminIndex]];
    r.leq = *f.leq;
    r.l10 = float(*f.l10);
    r.l50 = float(*f.l50);
    r.l90 = float(*f.l90);
    r.sel = f.sel;
    return r;
}

// Times to the second, or to the tenth when the points come faster than one a second.
QString timeText(double serial, bool tenths) {
    const QDateTime t = fromSerialDateTime(serial);
    return t.toString(tenths ? QStringLiteral("yyyy-MM-dd HH:mm:ss.z")
                             : QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString durationText(double seconds) {
    const qint64 s = qint64(std::llround(seconds));
    const qint64 days = s / 86400;
    const QString hms = QStringLiteral("%1:%2:%3")
                            .arg((s % 86400) / 3600, 2, 10, QLatin1Char('0'))
                            .arg((s % 3600) / 60, 2, 10, QLatin1Char('0'))
                            .arg(s % 60, 2, 10, QLatin1Char('0'));
    return days > 0 ? QStringLiteral("%1 d %2").arg(days).arg(hms) : hms;
}

// An instant as the local date and time to the minute.
QString wallText(double instant, const LocalClock& clock) {
    const WallDate w = wallDateOf(clock.wallOf(instant));
    return w.date.toString(QStringLiteral("yyyy-MM-dd ")) + timeOfDayText(w.msOfDay / 60000 * 60);
}

// The measured series as the noise assessment takes it.
AssessmentSeries assessmentSeries(MeasuredSeries&& series) {
    AssessmentSeries a;
    a.times = std::move(series.times);
    a.levels = std::move(series.levels);
    return a;
}

struct Content {
    ReportFigures figures;
    QStringList info;
    QStringList figureHeader;
    std::vector<QStringList> figureRows;
    std::vector<QStringList> notes;
    std::optional<Assessment> assessment;
    QString assessmentError;
    std::vector<QStringList> intervals, periods, samples;
};

}  // namespace

ReportFigures reportFigures(const GraphState& s, int a, int b) {
    return reportFigures(s, graphMeasuredSeries(s, LocalClock()), a, b);
}

ReportFigures reportFigures(const GraphState& s, const MeasuredSeries& series, int a, int b) {
    ReportFigures f;
    // A real-time graph holds the points of its whole run from the start; those not yet
    // measured have no time and are no part of the series.
    const int n = graphSeriesLength(s);
    f.samples = n;
    if (n == 0) return f;
    const SeriesStatistics st = seriesStatistics(s.x[0].data(), s.y[0].data(), n, s.nullDataValueY);
    f.missing = st.count - st.levels;
    f.first = st.first;
    f.last = st.last;
    const LocalClock clock;
    const bool timed = series.ok();
    const MeasuredSeries untimed =
        timed ? MeasuredSeries{}
              : figureSeries(s.x[0].data(), s.y[0].data(), n, s.nullDataValueY, clock);
    const MeasuredSeries& m = timed ? series : untimed;
    const double typical = typicalSpacing(m.times);
    // The typical spacing, not the span over the points: a gap does not stretch it. Where the
    // times give none to weigh by, the span is all there is.
    f.samplingRate = timed ? typical : st.samplingRate;
    f.whole = rangeFigures(s, m, typical, 0, n - 1);
    if (a >= 0 && b >= 0) {
        const int lo = std::clamp(std::min(a, b), 0, n - 1),
                  hi = std::clamp(std::max(a, b), 0, n - 1);
        if (lo != 0 || hi != n - 1) f.cursors = rangeFigures(s, m, typical, lo, hi);
    }
    return f;
}

QString writeMeasurementReport(GraphView& view, const ReportRequest& request, const QString& path) {
    const GraphState& s = std::as_const(view).state();
    Content c;
    // The measured series, made once for the figures and the assessment: its points with a time.
    const LocalClock clock;
    MeasuredSeries series = graphMeasuredSeries(s, clock);
    c.figures = reportFigures(s, series, request.cursorA, request.cursorB);
    const ReportFigures& f = c.figures;
    const int n = f.samples;
    const bool tenths = f.samplingRate > 0 && f.samplingRate < 1;
    const QLocale& loc = request.locale;
    auto level = [&](double v) { return levelText(v, loc); };

    c.info << QStringLiteral("Source: ") + request.source;
    if (n > 0) {
        c.info << QStringLiteral("Start: ") + timeText(f.first, tenths)
               << QStringLiteral("End: ") + timeText(f.last, tenths)
               << QStringLiteral("Duration: ") + durationText((f.last - f.first) * 86400.0);
    }
    c.info << QStringLiteral("Sampling rate: ") +
                  (n >= 2 ? oneDecimalText(f.samplingRate, loc) + QStringLiteral(" s")
                          : QStringLiteral("-"))
           << QStringLiteral("Samples: %1, of which missing: %2").arg(n).arg(f.missing);
    // A graph of two series shows a level and its running Leq: every figure is the level's.
    if (s.subsets == 2)
        c.info << QStringLiteral("Level: the %1 series (the %2 series is a running Leq)")
                      .arg(s.subsetLabels.value(0, QStringLiteral("first")),
                           s.subsetLabels.value(1, QStringLiteral("second")));

    c.figureHeader = {QStringLiteral("Figure"), QStringLiteral("Whole series")};
    if (f.cursors)
        c.figureHeader << QStringLiteral("Between cursors (%1 to %2)")
                              .arg(timeText(s.x[0][size_t(f.cursors->lo)], tenths),
                                   timeText(s.x[0][size_t(f.cursors->hi)], tenths));
    auto cell = [&](const RangeFigures& r, int which) -> QString {
        if (r.levels == 0) return QStringLiteral("-");
        switch (which) {
            case 0:
                return level(r.lmax) + QStringLiteral(" dB at ") + timeText(r.lmaxTime, tenths);
            case 1:
                return level(r.lmin) + QStringLiteral(" dB at ") + timeText(r.lminTime, tenths);
            case 2:
                return level(r.leq) + QStringLiteral(" dB");
            case 3:
                return level(r.l10) + QStringLiteral(" dB");
            case 4:
                return level(r.l50) + QStringLiteral(" dB");
            case 5:
                return level(r.l90) + QStringLiteral(" dB");
            default:
                return r.sel ? level(*r.sel) + QStringLiteral(" dB") : QStringLiteral("-");
        }
    };
    const char* names[] = {"Lmax", "Lmin", "Leq", "L10", "L50", "L90", "SEL"};
    for (int i = 0; i < 7; ++i) {
        QStringList row{QLatin1String(names[i]), cell(f.whole, i)};
        if (f.cursors) row << cell(*f.cursors, i);
        c.figureRows.push_back(row);
    }
    for (const GraphAnnotation& a : s.annotations) {
        const QString text = QString(a.text).replace(QLatin1Char('\n'), QLatin1Char(' ')).trimmed();
        c.notes.push_back(
            {timeText(a.x, tenths), level(a.y) + QStringLiteral(" dB"),
             a.type == 2 ? (text.isEmpty() ? QStringLiteral("(cross)") : text) : text});
    }

    if (!series.ok()) {
        c.assessmentError = series.error;
    } else if (series.size() >= 2) {
        // The series is not needed after this: the assessment takes it over.
        AssessmentSeries assessed = assessmentSeries(std::move(series));
        assessed.clock = &clock;
        AssessmentOutcome outcome = assessNoise(assessed, request.assessment);
        if (outcome.assessment) {
            c.assessment = std::move(outcome.assessment);
            // The assessment's tables as the window shows them, times to the minute.
            const CellFormat format{[&clock](double t) { return wallText(t, clock); }, loc,
                                    QStringLiteral("-")};
            for (const AssessmentCells& cells :
                 tableCells(*c.assessment, AssessmentTable::Intervals))
                c.intervals.push_back(cellTexts(cells, format));
            for (const AssessmentCells& cells : tableCells(*c.assessment, AssessmentTable::Periods))
                c.periods.push_back(cellTexts(cells, format));
        } else if (outcome.error) {
            c.assessmentError = outcome.error->message;
        }
    }
    if (request.includeSamples) {
        c.samples.reserve(size_t(n));
        for (int i = 0; i < n; ++i) {
            const float v = s.y[0][size_t(i)];
            c.samples.push_back({QString::number(i + 1), timeText(s.x[0][size_t(i)], tenths),
                                 hasLevel(v, s.nullDataValueY) ? level(v) : QString()});
        }
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    QPdfWriter pdf(&file);
    pdf.setResolution(kScreenDpi);  // the graph lays out its text in screen pixels
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageOrientation(QPageLayout::Portrait);
    pdf.setPageMargins(QMarginsF(15, 12, 15, 12), QPageLayout::Millimeter);
    pdf.setTitle(request.title);
    pdf.setCreator(QStringLiteral("KL516"));

    const QFont body = PageWriter::textFont(kBodyPt);
    const QFont tableFont = PageWriter::textFont(kBodyPt);
    const double width = pdf.width();
    const TableLayout figureLayout =
        layOutTable(pdf, tableFont, c.figureHeader, c.figureRows, width);
    const QStringList noteHeader{QStringLiteral("Time"), QStringLiteral("Level"),
                                 QStringLiteral("Note")};
    const TableLayout noteLayout = layOutTable(pdf, tableFont, noteHeader, c.notes, width);
    const QStringList intervalHeader = columnTitles(AssessmentTable::Intervals);
    const TableLayout intervalLayout =
        layOutTable(pdf, tableFont, intervalHeader, c.intervals, width);
    const QStringList periodHeader = columnTitles(AssessmentTable::Periods);
    const TableLayout periodLayout = layOutTable(pdf, tableFont, periodHeader, c.periods, width);
    const QStringList sampleHeader{QStringLiteral("No"), QStringLiteral("Time"),
                                   QStringLiteral("Level")};
    const TableLayout sampleLayout =
        request.includeSamples ? layOutTable(pdf, tableFont, sampleHeader, c.samples, width)
                               : TableLayout{};

    const QString printed = printedDateTime(request.printedAt);
    // The same calls twice: first only counting the pages, then drawing them numbered.
    auto compose = [&](QCPPainter* painter, int total) {
        PageWriter w(painter, pdf, request.title, printed, total);
        w.line(PageWriter::textFont(16, true), request.title);
        w.advance(w.points(4));
        for (const QString& line : c.info) w.line(body, line);
        w.advance(w.points(6));
        // The graph at the page's width, in the proportions of a graph window.
        const double graphHeight = std::min(w.body().width() * 0.56, w.body().height() * 0.45);
        w.ensure(graphHeight);
        if (painter)
            drawGraph(view, *painter,
                      QRectF(w.body().left(), w.y(), w.body().width(), graphHeight));
        w.advance(graphHeight + w.points(8));
        w.table(QStringLiteral("Levels"), figureLayout, c.figureHeader, c.figureRows);
        if (!c.notes.empty()) w.table(QStringLiteral("Notes"), noteLayout, noteHeader, c.notes);
        if (c.assessment) {
            w.newPage();
            w.table(QStringLiteral("Noise assessment: levels in intervals of ") +
                        intervalName(c.assessment->intervalSeconds),
                    intervalLayout, intervalHeader, c.intervals);
            if (!c.periods.empty())
                w.table(QStringLiteral("Day, evening and night levels"), periodLayout, periodHeader,
                        c.periods);
        } else if (!c.assessmentError.isEmpty()) {
            w.line(body, QStringLiteral("No noise assessment: ") + c.assessmentError);
        }
        if (request.includeSamples) {
            w.newPage();
            w.table(QStringLiteral("Samples"), sampleLayout, sampleHeader, c.samples);
        }
        return w.finish();
    };
    const int total = compose(nullptr, 0);
    QCPPainter painter;
    if (!painter.begin(&pdf)) {
        file.cancelWriting();
        return QStringLiteral("cannot write the PDF %1").arg(path);
    }
    compose(&painter, total);
    if (!painter.end() || !file.commit())
        return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    return QString();
}

QString writeMeasurementReport(GraphState state, const ReportRequest& request,
                               const QString& path) {
    QString error;
    withOffscreenGraph(std::move(state), [&](GraphView& view) {
        error = writeMeasurementReport(view, request, path);
    });
    return error;
}

}  // namespace kl516
