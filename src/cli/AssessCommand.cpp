#include "cli/AssessCommand.h"

#include "cli/FileCommands.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>
#include <optional>

#include "assessment/AssessmentTables.h"
#include "assessment/NoiseAssessment.h"
#include "dataset/SerialDateTime.h"
#include "dataset/WallClock.h"
#include "formats/ListTable.h"
#include "formats/PointText.h"
#include "formats/SeriesReader.h"
#include "graph/GraphFile.h"
#include "graph/GraphSeries.h"
#include "graph/GraphState.h"
#include "levels/LevelArithmetic.h"
#include "levels/LevelFigures.h"

namespace kl516 {

int textSeriesStatus(const TextSeriesRead& read, const QString& in, QTextStream& err,
                     const QString& refused) {
    switch (read.problem) {
        case TextSeriesProblem::None:
            return 0;
        case TextSeriesProblem::CannotOpen:
            err << "error: cannot read " << in << ": " << readFailureReason(in) << "\n";
            return 1;
        case TextSeriesProblem::NotToItsEnd:
            err << "error: " << read.message << "\n";
            return 1;
        case TextSeriesProblem::NoTime:
            err << "error: " << read.message;
            if (!refused.isEmpty()) err << "; " << refused;
            err << "\n";
            return kCliWrongUse;
    }
    return 1;
}

int readMeasuredSeries(const QString& in, FileKind kind, int set,
                       const ReadCollectionSeries& readCollectionSeries, const LocalClock& clock,
                       MeasuredSeries& series, QTextStream& err, const QString& refused) {
    switch (kind) {
        case FileKind::Collection: {
            std::vector<double> times;
            std::vector<float> levels;
            if (const int status = readCollectionSeries(in, set, times, levels); status != 0)
                return status;
            series = measuredSeriesOfSerials(times, levels, kNullLevel, clock);
            break;
        }
        case FileKind::Text: {
            TextSeriesRead read;
            series = readTextMeasuredSeries(in, QLocale::system(), clock, read);
            if (const int status = textSeriesStatus(read, in, err, refused); status != 0)
                return status;
            break;
        }
        case FileKind::Graph: {
            GraphState state;
            const GraphFileRead read = readGraphFile(in, state);
            if (!read.ok) {
                err << "error: " << read.error << "\n";
                return 1;
            }
            series = graphMeasuredSeries(state, clock);
            // A graph of two series shows a level and its running Leq.
            if (state.subsets == 2) series.levelColumn = kSplColumn.toString();
            break;
        }
    }
    if (!series.ok()) {
        err << "error: " << series.error;
        if (!refused.isEmpty()) err << "; " << refused;
        err << "\n";
        return kCliWrongUse;
    }
    return 0;
}

QString levelColumnNote(const MeasuredSeries& series) {
    if (series.levelColumn.isEmpty()) return {};
    return QStringLiteral("level: %1 column (the Leq column is a running Leq)")
        .arg(series.levelColumn);
}

namespace {

enum class Format { Text, Csv, Json };

// What the options ask for, read and checked.
struct Request {
    AssessmentOptions options;
    Format format = Format::Text;
    AssessmentTable table = AssessmentTable::Intervals;
    int set = 0;  // collection files only
};

// ---- reading the options

// The options, checked; the message of the first wrong one otherwise.
std::optional<Request> readRequest(const CliArguments& a, bool collection, QString& fault) {
    Request r;
    if (collection && !a.isSet("set")) {
        fault = QStringLiteral("assess needs --set N for a collection file");
        return std::nullopt;
    }
    if (!collection && a.isSet("set")) {
        fault = QStringLiteral("--set applies to collection files only");
        return std::nullopt;
    }
    if (collection) {
        bool ok = false;
        r.set = a.value("set").toInt(&ok);
        if (!ok) {
            fault = QStringLiteral("--set needs a number, not ") + a.value("set");
            return std::nullopt;
        }
    }
    if (a.isSet("interval")) {
        const std::optional<int> seconds = parseInterval(a.value("interval"));
        if (!seconds) {
            fault = QStringLiteral("--interval takes %1, not %2")
                        .arg(offeredIntervalNames(), a.value("interval"));
            return std::nullopt;
        }
        r.options.intervalSeconds = *seconds;
    }
    if (a.isSet("threshold")) {
        bool ok = false;
        const double t = a.value("threshold").toDouble(&ok);
        if (!ok || !std::isfinite(t)) {
            fault = QStringLiteral("--threshold needs a level in dB, not ") + a.value("threshold");
            return std::nullopt;
        }
        r.options.threshold = t;
    }
    if (a.isSet("min-duration")) {
        const std::optional<double> seconds = parseDuration(a.value("min-duration"));
        if (!seconds || checkMinDuration(*seconds)) {
            fault = QStringLiteral(
                        "--min-duration needs a duration up to 24 h such as 10s or 2m, "
                        "not ") +
                    a.value("min-duration");
            return std::nullopt;
        }
        r.options.minDurationSeconds = *seconds;
    }
    const struct {
        const char* option;
        int* target;
    } starts[] = {{"day-start", &r.options.periods.dayStart},
                  {"evening-start", &r.options.periods.eveningStart},
                  {"night-start", &r.options.periods.nightStart}};
    for (const auto& s : starts) {
        if (!a.isSet(s.option)) continue;
        const std::optional<int> t = parseTimeOfDay(a.value(s.option));
        if (!t) {
            fault = QStringLiteral("--%1 needs a time of day hh:mm, not %2")
                        .arg(QLatin1String(s.option), a.value(s.option));
            return std::nullopt;
        }
        *s.target = *t;
    }
    if (a.isSet("format")) {
        const QString f = a.value("format");
        if (f == QLatin1String("text")) {
            r.format = Format::Text;
        } else if (f == QLatin1String("csv")) {
            r.format = Format::Csv;
        } else if (f == QLatin1String("json")) {
            r.format = Format::Json;
        } else {
            fault = QStringLiteral("--format takes text, csv or json, not ") + f;
            return std::nullopt;
        }
    }
    if (a.isSet("table")) {
        const QString t = a.value("table");
        if (r.format != Format::Csv) {
            fault = QStringLiteral("--table applies to --format csv only");
            return std::nullopt;
        }
        if (t == QLatin1String("intervals")) {
            r.table = AssessmentTable::Intervals;
        } else if (t == QLatin1String("periods")) {
            r.table = AssessmentTable::Periods;
        } else if (t == QLatin1String("events")) {
            r.table = AssessmentTable::Events;
        } else {
            fault = QStringLiteral("--table takes intervals, periods or events, not ") + t;
            return std::nullopt;
        }
    }
    return r;
}

// ---- writing the tables

// The cells of a table as this output writes them: times local ISO 8601 with the offset in
// force (which tells the two passes of the hour the clocks go back apart), levels and figures
// with a point, `none` for no figure.
std::vector<QStringList> tableTexts(const Assessment& result, AssessmentTable table,
                                    const LocalClock& clock, const QString& none) {
    const CellFormat format{[&clock](double t) { return isoInstantText(t, clock); }, QLocale::c(),
                            none};
    std::vector<QStringList> rows;
    for (const AssessmentCells& cells : tableCells(result, table))
        rows.push_back(cellTexts(cells, format));
    return rows;
}

// A table in aligned columns: times and the status to the left, the figures to the right.
void writeColumns(QTextStream& out, AssessmentTable table, const std::vector<QStringList>& rows) {
    const std::vector<AssessmentColumn>& columns = assessmentColumns(table);
    std::vector<qsizetype> widths(columns.size());
    for (size_t c = 0; c < columns.size(); ++c) {
        widths[c] = columns[c].title.size();
        for (const QStringList& row : rows)
            widths[c] = std::max(widths[c], row[qsizetype(c)].size());
    }
    const auto line = [&](const QStringList& cells) {
        QString text;
        for (size_t c = 0; c < columns.size(); ++c) {
            const int w = int(widths[c]);
            const QString& cell = cells[qsizetype(c)];
            const CellKind kind = columns[c].kind;
            if (c > 0) text += QStringLiteral("  ");
            text += kind == CellKind::Time || kind == CellKind::Status ? cell.leftJustified(w)
                                                                       : cell.rightJustified(w);
        }
        out << text.trimmed() << "\n";
    };
    line(columnTitles(table));
    for (const QStringList& row : rows) line(row);
}

void writeText(QTextStream& out, const Assessment& result, const AssessmentOptions& options,
               const LocalClock& clock) {
    const QString none = QStringLiteral("-");
    out << "Intervals of " << intervalName(result.intervalSeconds) << " (typical spacing "
        << secondsText(result.typicalSpacing) << " s)\n";
    writeColumns(out, AssessmentTable::Intervals,
                 tableTexts(result, AssessmentTable::Intervals, clock, none));

    const DayPeriods& p = options.periods;
    out << "\nDay, evening and night levels (day " << timeOfDayText(p.dayStart) << "-"
        << timeOfDayText(p.eveningStart) << ", evening " << timeOfDayText(p.eveningStart) << "-"
        << timeOfDayText(p.nightStart) << ", night " << timeOfDayText(p.nightStart) << "-"
        << timeOfDayText(p.dayStart) << "; Ldn night from " << timeOfDayText(p.ldnNightStart)
        << ")\n";
    writeColumns(out, AssessmentTable::Periods,
                 tableTexts(result, AssessmentTable::Periods, clock, none));

    const ExceedanceResult& x = result.exceedances;
    const QString threshold = levelText(options.threshold);
    out << "\nExceedances of " << threshold << " dB lasting at least "
        << secondsText(options.minDurationSeconds) << " s\n";
    writeColumns(out, AssessmentTable::Events,
                 tableTexts(result, AssessmentTable::Events, clock, none));
    out << x.events.size() << (x.events.size() == 1 ? " event, " : " events, ")
        << secondsText(x.secondsAbove) << " s above " << threshold
        << " dB: " << percentText(x.percentAbove) << " % of " << secondsText(x.measuredSeconds)
        << " s measured\n";
}

void writeCsv(QTextStream& out, const Assessment& result, AssessmentTable table,
              const LocalClock& clock) {
    out << columnCsvNames(table).join(QLatin1Char(',')) << "\n";
    for (const QStringList& row : tableTexts(result, table, clock, QString()))
        out << row.join(QLatin1Char(',')) << "\n";
}

// The table's rows as JSON objects under its columns' keys: numbers as the text output rounds
// them, null for no figure, the status as "complete": true or false.
QJsonArray jsonRows(const Assessment& result, AssessmentTable table, const LocalClock& clock) {
    const std::vector<AssessmentColumn>& columns = assessmentColumns(table);
    const CellFormat format{[&clock](double t) { return isoInstantText(t, clock); }, QLocale::c(),
                            QString()};
    QJsonArray rows;
    for (const AssessmentCells& cells : tableCells(result, table)) {
        QJsonObject o;
        for (size_t c = 0; c < columns.size(); ++c) {
            const AssessmentCell& cell = cells[c];
            QJsonValue v;
            if (!cell.value)
                v = QJsonValue(QJsonValue::Null);
            else if (cell.kind == CellKind::Time)
                v = cellText(cell, format);
            else if (cell.kind == CellKind::Status)
                v = *cell.value != 0;
            else if (cell.kind == CellKind::Count)
                v = qint64(*cell.value);
            else
                v = cellText(cell, format).toDouble();
            o.insert(columns[c].jsonKey, v);
        }
        rows.append(o);
    }
    return rows;
}

void writeJson(QTextStream& out, const Assessment& result, const AssessmentOptions& options,
               const LocalClock& clock) {
    QJsonObject totals = jsonRows(result, AssessmentTable::Totals, clock).first().toObject();
    totals.insert(QStringLiteral("threshold"),
                  roundedLevel(options.threshold));
    totals.insert(QStringLiteral("minDuration"),
                  secondsText(options.minDurationSeconds).toDouble());
    const QJsonObject all{{"intervalSeconds", result.intervalSeconds},
                          {"typicalSpacing", secondsText(result.typicalSpacing).toDouble()},
                          {"intervals", jsonRows(result, AssessmentTable::Intervals, clock)},
                          {"periods", jsonRows(result, AssessmentTable::Periods, clock)},
                          {"events", jsonRows(result, AssessmentTable::Events, clock)},
                          {"totals", totals}};
    out << QString::fromUtf8(QJsonDocument(all).toJson(QJsonDocument::Indented));
}

}  // namespace

int runAssessCommand(const CliArguments& a, QTextStream& out, QTextStream& err,
                     const ReadCollectionSeries& readCollectionSeries) {
    const CliCommand& command = *a.command;
    const QString in = a.positional.front();
    const std::optional<FileKind> kind = fileKindOf(in);
    if (!kind)
        return cliWrongUse(
            err, command, QStringLiteral("assess reads .rec, .txt, .csv or .ghf files, not ") + in);
    const bool collection = kind == FileKind::Collection;
    QString fault;
    const std::optional<Request> request = readRequest(a, collection, fault);
    if (!request) return cliWrongUse(err, command, fault);

    const LocalClock clock;
    MeasuredSeries measured;
    if (const int status =
            readMeasuredSeries(in, *kind, request->set, readCollectionSeries, clock, measured, err,
                               QStringLiteral("nothing was assessed"));
        status != 0)
        return status;
    // Which column was taken, where the file had more than one: on the text output, or beside
    // the table that csv and json write.
    if (const QString note = levelColumnNote(measured); !note.isEmpty()) {
        if (request->format == Format::Text)
            out << note << "\n";
        else
            err << "note: " << note << "\n";
    }
    AssessmentSeries series;
    series.times = std::move(measured.times);
    series.levels = std::move(measured.levels);
    series.clock = &clock;

    const AssessmentOutcome outcome = assessNoise(series, request->options);
    if (!outcome.assessment) {
        err << "error: "
            << (outcome.error ? outcome.error->message : QStringLiteral("the series was refused"))
            << "\n";
        return kCliWrongUse;
    }
    switch (request->format) {
        case Format::Text:
            writeText(out, *outcome.assessment, request->options, clock);
            break;
        case Format::Csv:
            writeCsv(out, *outcome.assessment, request->table, clock);
            break;
        case Format::Json:
            writeJson(out, *outcome.assessment, request->options, clock);
            break;
    }
    return 0;
}

}  // namespace kl516
