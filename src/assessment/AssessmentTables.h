#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

#include "assessment/NoiseAssessment.h"

namespace kl516 {

// The tables of a noise assessment as every output shows them: the window, its saved files,
// the measurement report and `kl516-cli assess` in text, CSV and JSON. Their columns and the
// value of each cell are decided here once; an output only chooses how a time and a missing
// figure are written.

enum class AssessmentTable { Intervals, Periods, Events, Totals };

// What a cell holds, which decides how it is written.
enum class CellKind {
    Time,     // a row's time (seconds, as the assessment's times)
    Level,    // dB, one decimal by the one rounding of levels
    Count,    // a whole number
    Percent,  // one decimal
    Seconds,  // a duration, to the millisecond
    Status,   // a day period complete (1) or not (0)
};

struct AssessmentColumn {
    QString title;    // in windows, printouts, text output and table text: "Coverage %"
    QString csvName;  // the CSV header: "coverage_percent"
    QString jsonKey;  // the JSON member: "coverage"
    CellKind kind;
};

const std::vector<AssessmentColumn>& assessmentColumns(AssessmentTable table);
QStringList columnTitles(AssessmentTable table);
QStringList columnCsvNames(AssessmentTable table);

struct AssessmentCell {
    CellKind kind = CellKind::Level;
    std::optional<double> value;  // empty: no figure
};
using AssessmentCells = std::vector<AssessmentCell>;

// The cells of one row, in the order of the table's columns.
AssessmentCells intervalCells(const IntervalRow& row);
AssessmentCells periodCells(const PeriodRow& row);
AssessmentCells eventCells(const ExceedanceEvent& event);
AssessmentCells totalsCells(const ExceedanceResult& exceedances);
// Every row of a table (Totals: one).
std::vector<AssessmentCells> tableCells(const Assessment& assessment, AssessmentTable table);

// How an output writes cells: times by its own clock and form, numbers in a locale's decimal
// separator (levels by the one rounding of levels), `none` for a missing figure.
struct CellFormat {
    std::function<QString(double)> time;
    QLocale locale = QLocale::c();
    QString none;
};
QString cellText(const AssessmentCell& cell, const CellFormat& format);
QStringList cellTexts(const AssessmentCells& cells, const CellFormat& format);

// The texts of a status, a percentage and a duration: "complete" or "incomplete"; "66.7";
// seconds to the millisecond, without zeros after the first decimal ("60.0", "0.25").
QString statusText(bool complete);
QString percentText(double percent, const QLocale& locale = QLocale::c());
QString secondsText(double seconds, const QLocale& locale = QLocale::c());

}  // namespace kl516
