#include "assessment/AssessmentTables.h"

#include <cmath>

#include "levels/LevelFigures.h"

namespace kl516 {

namespace {

AssessmentColumn column(const char* title, const char* csvName, const char* jsonKey,
                        CellKind kind) {
    return {QString::fromUtf8(title), QString::fromUtf8(csvName), QString::fromUtf8(jsonKey), kind};
}

AssessmentCell time(double t) {
    return {CellKind::Time, t};
}
AssessmentCell level(const std::optional<double>& l) {
    return {CellKind::Level, l};
}
AssessmentCell count(int64_t n) {
    return {CellKind::Count, double(n)};
}
AssessmentCell percent(double p) {
    return {CellKind::Percent, p};
}
AssessmentCell seconds(double s) {
    return {CellKind::Seconds, s};
}

QLocale plain(const QLocale& locale) {
    QLocale l = locale;
    l.setNumberOptions(l.numberOptions() | QLocale::OmitGroupSeparator);
    return l;
}

}  // namespace

const std::vector<AssessmentColumn>& assessmentColumns(AssessmentTable table) {
    using K = CellKind;
    static const std::vector<AssessmentColumn> intervals{
        column("Start", "start_time", "start", K::Time),
        column("End", "end_time", "end", K::Time),
        column("Leq", "leq_dB", "leq", K::Level),
        column("Lmax", "lmax_dB", "lmax", K::Level),
        column("Lmin", "lmin_dB", "lmin", K::Level),
        column("L10", "l10_dB", "l10", K::Level),
        column("L50", "l50_dB", "l50", K::Level),
        column("L90", "l90_dB", "l90", K::Level),
        column("Samples", "samples", "samples", K::Count),
        column("Coverage %", "coverage_percent", "coverage", K::Percent),
    };
    static const std::vector<AssessmentColumn> periods{
        column("Day start", "start_time", "start", K::Time),
        column("Lday", "lday_dB", "lday", K::Level),
        column("Levening", "levening_dB", "levening", K::Level),
        column("Lnight", "lnight_dB", "lnight", K::Level),
        column("Lden", "lden_dB", "lden", K::Level),
        column("Ldn", "ldn_dB", "ldn", K::Level),
        column("Day %", "day_coverage_percent", "dayCoverage", K::Percent),
        column("Evening %", "evening_coverage_percent", "eveningCoverage", K::Percent),
        column("Night %", "night_coverage_percent", "nightCoverage", K::Percent),
        column("Status", "status", "complete", K::Status),
    };
    static const std::vector<AssessmentColumn> events{
        column("Start", "start_time", "start", K::Time),
        column("Duration (s)", "duration_s", "duration", K::Seconds),
        column("Lmax", "lmax_dB", "lmax", K::Level),
        column("Leq", "leq_dB", "leq", K::Level),
    };
    static const std::vector<AssessmentColumn> totals{
        column("Events", "events", "events", K::Count),
        column("Time above (s)", "seconds_above", "secondsAbove", K::Seconds),
        column("Above %", "above_percent", "percentAbove", K::Percent),
        column("Measured (s)", "measured_seconds", "measuredSeconds", K::Seconds),
    };
    switch (table) {
        case AssessmentTable::Intervals:
            return intervals;
        case AssessmentTable::Periods:
            return periods;
        case AssessmentTable::Events:
            return events;
        case AssessmentTable::Totals:
            break;
    }
    return totals;
}

QStringList columnTitles(AssessmentTable table) {
    QStringList titles;
    for (const AssessmentColumn& c : assessmentColumns(table)) titles << c.title;
    return titles;
}

QStringList columnCsvNames(AssessmentTable table) {
    QStringList names;
    for (const AssessmentColumn& c : assessmentColumns(table)) names << c.csvName;
    return names;
}

AssessmentCells intervalCells(const IntervalRow& row) {
    const LevelFigures& f = row.figures;
    return {time(row.start),  time(row.end),
            level(f.leq),     level(f.lmax),
            level(f.lmin),    level(f.l10),
            level(f.l50),     level(f.l90),
            count(f.samples), percent(row.coveragePercent)};
}

AssessmentCells periodCells(const PeriodRow& row) {
    return {time(row.start),
            level(row.day.leq),
            level(row.evening.leq),
            level(row.night.leq),
            level(row.lden),
            level(row.ldn),
            percent(row.dayCoverage),
            percent(row.eveningCoverage),
            percent(row.nightCoverage),
            {CellKind::Status, row.complete ? 1.0 : 0.0}};
}

AssessmentCells eventCells(const ExceedanceEvent& e) {
    return {time(e.start), seconds(e.duration), level(e.lmax), level(e.leq)};
}

AssessmentCells totalsCells(const ExceedanceResult& x) {
    return {count(int64_t(x.events.size())), seconds(x.secondsAbove), percent(x.percentAbove),
            seconds(x.measuredSeconds)};
}

std::vector<AssessmentCells> tableCells(const Assessment& a, AssessmentTable table) {
    std::vector<AssessmentCells> rows;
    switch (table) {
        case AssessmentTable::Intervals:
            rows.reserve(a.intervals.size());
            for (const IntervalRow& r : a.intervals) rows.push_back(intervalCells(r));
            break;
        case AssessmentTable::Periods:
            rows.reserve(a.periods.size());
            for (const PeriodRow& r : a.periods) rows.push_back(periodCells(r));
            break;
        case AssessmentTable::Events:
            rows.reserve(a.exceedances.events.size());
            for (const ExceedanceEvent& e : a.exceedances.events) rows.push_back(eventCells(e));
            break;
        case AssessmentTable::Totals:
            rows.push_back(totalsCells(a.exceedances));
            break;
    }
    return rows;
}

QString statusText(bool complete) {
    return complete ? QStringLiteral("complete") : QStringLiteral("incomplete");
}

QString percentText(double p, const QLocale& locale) {
    return plain(locale).toString(p, 'f', 1);
}

QString secondsText(double s, const QLocale& locale) {
    QString text = plain(locale).toString(std::round(s * 1000) / 1000, 'f', 3);
    // "60.000" -> "60.0", "0.250" -> "0.25": the first decimal stays.
    const qsizetype point = text.size() - 4;
    qsizetype keep = text.size();
    while (keep > point + 2 && text[keep - 1] == QLatin1Char('0')) --keep;
    text.truncate(keep);
    return text;
}

QString cellText(const AssessmentCell& cell, const CellFormat& format) {
    if (!cell.value) return format.none;
    const double v = *cell.value;
    switch (cell.kind) {
        case CellKind::Time:
            return format.time ? format.time(v) : QString::number(v, 'f', 3);
        case CellKind::Level:
            return levelText(v, format.locale);
        case CellKind::Count:
            return QString::number(int64_t(v));
        case CellKind::Percent:
            return percentText(v, format.locale);
        case CellKind::Seconds:
            return secondsText(v, format.locale);
        case CellKind::Status:
            return statusText(v != 0);
    }
    return format.none;
}

QStringList cellTexts(const AssessmentCells& cells, const CellFormat& format) {
    QStringList texts;
    texts.reserve(qsizetype(cells.size()));
    for (const AssessmentCell& c : cells) texts << cellText(c, format);
    return texts;
}

}  // namespace kl516
