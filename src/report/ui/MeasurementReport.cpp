#include "report/ui/MeasurementReport.h"

#include <qcustomplot.h>
#include <QFileInfo>

#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTimeZone>
#include <algorithm>
#include <cmath>

#include "dataset/SerialDateTime.h"
#include "formats/PointText.h"
#include "graph/Statistics.h"
#include "graph/ui/GraphView.h"
#include "levels/LevelArithmetic.h"
#include "report/ui/GraphRender.h"
#include "report/ui/PageWriter.h"

namespace kl516 {

namespace {

constexpr double kBodyPt = 9;
constexpr double kSerialOf1970 = 25569;

RangeFigures rangeFigures(const GraphState& s, int n, int a, int b, double rate) {
    const double* x = s.x[0].data();
    const float* y = s.y[0].data();
    const CursorStatistics st = cursorStatistics(x, y, n, a, b, s.nullDataValueY);
    const CursorLevels lv = cursorLevels(y, n, a, b, s.nullDataValueY);
    RangeFigures r;
    r.lo = st.lo;
    r.hi = st.hi;
    r.levels = st.levels;
    if (st.levels == 0) return r;
    r.lmax = st.maximum;
    r.lmin = st.minimum;
    r.lmaxTime = st.maximumTime;
    r.lminTime = st.minimumTime;
    r.leq = lv.leq;
    r.l10 = lv.l10;
    r.l50 = lv.l50;
    r.l90 = lv.l90;
    r.sel = soundExposureLevel(lv.leq, int(std::lround(lv.count * rate)));
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

QString wallText(double wall) {
    return QDateTime::fromMSecsSinceEpoch(qint64(std::llround(wall * 1000)), QTimeZone::utc())
        .toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

// "minute", "15 minutes", "hour", "24 hours".
QString intervalName(int seconds) {
    if (seconds % 3600 == 0)
        return seconds == 3600 ? QStringLiteral("hour")
                               : QStringLiteral("%1 hours").arg(seconds / 3600);
    return seconds == 60 ? QStringLiteral("minute")
                         : QStringLiteral("%1 minutes").arg(seconds / 60);
}

// The series as the noise assessment takes it: local wall-clock seconds to the millisecond.
AssessmentSeries assessmentSeries(const GraphState& s, int n) {
    AssessmentSeries a;
    a.times.reserve(size_t(n));
    a.levels.reserve(size_t(n));
    for (int i = 0; i < n; ++i) {
        a.times.push_back(std::round((s.x[0][size_t(i)] - kSerialOf1970) * 86400.0 * 1000.0) /
                          1000.0);
        const float v = s.y[0][size_t(i)];
        a.levels.push_back(hasLevel(v, s.nullDataValueY) ? v : std::nanf(""));
    }
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
    ReportFigures f;
    int n = s.x.empty() || s.y.empty()
                ? 0
                : int(std::min({size_t(std::max(s.points, 0)), s.x[0].size(), s.y[0].size()}));
    // A real-time graph holds the points of its whole run from the start; those not yet
    // measured have no time and are no part of the series.
    while (n > 0 && !hasPointTime(s.x[0][size_t(n - 1)])) --n;
    f.samples = n;
    if (n == 0) return f;
    const SeriesStatistics st = seriesStatistics(s.x[0].data(), s.y[0].data(), n, s.nullDataValueY);
    f.missing = st.count - st.levels;
    f.first = st.first;
    f.last = st.last;
    f.samplingRate = st.samplingRate;
    f.whole = rangeFigures(s, n, 0, n - 1, st.samplingRate);
    if (a >= 0 && b >= 0) {
        const int lo = std::clamp(std::min(a, b), 0, n - 1),
                  hi = std::clamp(std::max(a, b), 0, n - 1);
        if (lo != 0 || hi != n - 1) f.cursors = rangeFigures(s, n, lo, hi, st.samplingRate);
    }
    return f;
}

QString writeMeasurementReport(GraphView& view, const ReportRequest& request, const QString& path) {
    const GraphState& s = std::as_const(view).state();
    Content c;
    c.figures = reportFigures(s, request.cursorA, request.cursorB);
    const ReportFigures& f = c.figures;
    const int n = f.samples;
    const bool tenths = f.samplingRate > 0 && f.samplingRate < 1;
    const QLocale& loc = request.locale;
    auto level = [&](double v) { return formatLevel(v, loc); };

    c.info << QStringLiteral("Source: ") + request.source;
    if (n > 0) {
        c.info << QStringLiteral("Start: ") + timeText(f.first, tenths)
               << QStringLiteral("End: ") + timeText(f.last, tenths)
               << QStringLiteral("Duration: ") + durationText((f.last - f.first) * 86400.0);
    }
    c.info << QStringLiteral("Sampling rate: ") +
                  (n >= 2 ? level(f.samplingRate) + QStringLiteral(" s") : QStringLiteral("-"))
           << QStringLiteral("Samples: %1, of which missing: %2").arg(n).arg(f.missing);

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
                return level(r.sel) + QStringLiteral(" dB");
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

    if (n >= 2) {
        AssessmentOutcome outcome = assessNoise(assessmentSeries(s, n), request.assessment);
        if (outcome.assessment) {
            c.assessment = std::move(outcome.assessment);
            auto fig = [&](const std::optional<double>& v) {
                return v ? level(*v) : QStringLiteral("-");
            };
            for (const IntervalRow& r : c.assessment->intervals) {
                c.intervals.push_back({wallText(r.start), wallText(r.end), fig(r.figures.leq),
                                       fig(r.figures.lmax), fig(r.figures.lmin), fig(r.figures.l10),
                                       fig(r.figures.l50), fig(r.figures.l90),
                                       level(r.coveragePercent)});
            }
            for (const PeriodRow& r : c.assessment->periods) {
                c.periods.push_back(
                    {wallText(r.start), fig(r.day.leq), fig(r.evening.leq), fig(r.night.leq),
                     fig(r.lden), fig(r.ldn),
                     r.complete ? QStringLiteral("complete") : QStringLiteral("incomplete")});
            }
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
    const QStringList intervalHeader{
        QStringLiteral("Start"), QStringLiteral("End"),  QStringLiteral("Leq"),
        QStringLiteral("Lmax"),  QStringLiteral("Lmin"), QStringLiteral("L10"),
        QStringLiteral("L50"),   QStringLiteral("L90"),  QStringLiteral("Coverage %")};
    const TableLayout intervalLayout =
        layOutTable(pdf, tableFont, intervalHeader, c.intervals, width);
    const QStringList periodHeader{QStringLiteral("Day from"), QStringLiteral("Lday"),
                                   QStringLiteral("Levening"), QStringLiteral("Lnight"),
                                   QStringLiteral("Lden"),     QStringLiteral("Ldn"),
                                   QStringLiteral("Status")};
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
            w.table(QStringLiteral("Noise assessment: levels per ") +
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

QString writeMeasurementReport(const GraphState& state, const ReportRequest& request,
                               const QString& path) {
    QString error;
    withOffscreenGraph(
        state, [&](GraphView& view) { error = writeMeasurementReport(view, request, path); });
    return error;
}

}  // namespace kl516
