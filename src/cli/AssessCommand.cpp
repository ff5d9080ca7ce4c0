#include "cli/AssessCommand.h"

#include "cli/FileCommands.h"

#include <QDate>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTime>
#include <algorithm>
#include <cmath>
#include <optional>

#include "dataset/SerialDateTime.h"
#include "formats/ListTable.h"
#include "formats/PointText.h"
#include "graph/GraphFile.h"
#include "graph/GraphState.h"
#include "levels/LevelArithmetic.h"
#include "assessment/NoiseAssessment.h"

namespace kl516 {

std::optional<SeriesFileKind> seriesFileKind(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("rec")) return SeriesFileKind::Collection;
    if (suffix == QLatin1String("txt") || suffix == QLatin1String("csv"))
        return SeriesFileKind::Text;
    if (suffix == QLatin1String("ghf")) return SeriesFileKind::Graph;
    return std::nullopt;
}

int readTextFileSeries(const QString& in, std::vector<double>& times, std::vector<float>& levels,
                       QTextStream& err, const QString& refused) {
    ListTableModel list;
    const ListReadResult read = readTextIntoList(in, textFileSeparator(in), list);
    if (read.stop == ListReadStop::CannotOpen) {
        err << "error: cannot read " << in << ": " << readFailureReason(in) << "\n";
        return 1;
    }
    // Nothing is taken from part of a file.
    if (const QString problem = listReadMessage(read); !problem.isEmpty()) {
        err << "error: " << in << " was not read to its end: " << problem << "\n";
        return 1;
    }
    ListGraphPoints points = listGraphPoints(list, QLocale::system());
    for (size_t r = 0; r < points.x.size(); ++r) {
        if (!std::isfinite(points.x[r])) {
            // One row without a time refuses the whole series.
            err << "error: line " << r + 1 << " of " << in << " has no readable date and time: \""
                << list.cell(int(r), 1) << ' ' << list.cell(int(r), 2) << '"';
            if (!refused.isEmpty()) err << "; " << refused;
            err << "\n";
            return kCliWrongUse;
        }
    }
    times = std::move(points.x);
    levels = std::move(points.y);
    return 0;
}

namespace {

enum class Format { Text, Csv, Json };
enum class Table { Intervals, Periods, Events };

// What the options ask for, read and checked.
struct Request {
    AssessmentOptions options;
    Format format = Format::Text;
    Table table = Table::Intervals;
    int set = 0;  // collection files only
};

// ---- reading the options

// "10s", "2m", "1.5h", "90" (seconds): the seconds, or nothing.
std::optional<double> parseDuration(const QString& text) {
    static const QRegularExpression pattern(QStringLiteral("^([0-9]+(?:\\.[0-9]+)?)(s|m|min|h)?$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = pattern.match(text.trimmed());
    if (!m.hasMatch()) return std::nullopt;
    const double value = m.captured(1).toDouble();
    const QString unit = m.captured(2).toLower();
    if (unit == QLatin1String("h")) return value * 3600;
    if (unit == QLatin1String("m") || unit == QLatin1String("min")) return value * 60;
    return value;
}

// "07:00" or "07:00:00": seconds after midnight, or nothing.
std::optional<int> parseTimeOfDay(const QString& text) {
    static const QRegularExpression pattern(
        QStringLiteral("^([0-9]{1,2}):([0-9]{2})(?::([0-9]{2}))?$"));
    const QRegularExpressionMatch m = pattern.match(text.trimmed());
    if (!m.hasMatch()) return std::nullopt;
    const int h = m.captured(1).toInt(), min = m.captured(2).toInt(), s = m.captured(3).toInt();
    if (h > 23 || min > 59 || s > 59) return std::nullopt;
    return h * 3600 + min * 60 + s;
}

QString intervalName(int seconds) {
    return seconds % 3600 == 0 ? QStringLiteral("%1h").arg(seconds / 3600)
                               : QStringLiteral("%1m").arg(seconds / 60);
}

QString offeredIntervals() {
    QStringList names;
    for (int s : assessmentIntervals()) names << intervalName(s);
    const QString last = names.takeLast();
    return names.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

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
        const std::optional<double> seconds = parseDuration(a.value("interval"));
        const auto& offered = assessmentIntervals();
        if (!seconds || std::find(offered.begin(), offered.end(), *seconds) == offered.end()) {
            fault = QStringLiteral("--interval takes %1, not %2")
                        .arg(offeredIntervals(), a.value("interval"));
            return std::nullopt;
        }
        r.options.intervalSeconds = int(*seconds);
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
        if (!seconds) {
            fault = QStringLiteral("--min-duration needs a duration such as 10s or 2m, not ") +
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
            r.table = Table::Intervals;
        } else if (t == QLatin1String("periods")) {
            r.table = Table::Periods;
        } else if (t == QLatin1String("events")) {
            r.table = Table::Events;
        } else {
            fault = QStringLiteral("--table takes intervals, periods or events, not ") + t;
            return std::nullopt;
        }
    }
    return r;
}

// ---- reading the series

// A series as the files hold it: SerialDateTime times and levels.
struct FileSeries {
    std::vector<double> times;
    std::vector<float> levels;
};

int readTextSeries(const QString& in, FileSeries& series, QTextStream& err) {
    return readTextFileSeries(in, series.times, series.levels, err,
                              QStringLiteral("nothing was assessed"));
}

int readGraphSeries(const QString& in, FileSeries& series, QTextStream& err) {
    GraphState state;
    const GraphFileRead read = readGraphFile(in, state);
    if (!read.ok) {
        err << "error: " << read.error << "\n";
        return 1;
    }
    // The first series, as long as the graph's point count says. Points without a time
    // (unfilled, time 0) are left out, as convert leaves them out.
    const size_t points = size_t(std::max(state.points, 0));
    if (state.x.empty() || state.y.empty()) return 0;
    const size_t n = std::min({points, state.x[0].size(), state.y[0].size()});
    for (size_t i = 0; i < n; ++i) {
        if (!hasPointTime(state.x[0][i])) continue;
        const float level = state.y[0][i];
        series.times.push_back(state.x[0][i]);
        series.levels.push_back(hasLevel(level, state.nullDataValueY) ? level : std::nanf(""));
    }
    return 0;
}

// The assessment's times: local wall-clock seconds, to the millisecond that stored times carry,
// so that a sample on the hour lands in the interval that starts there.
double wallSeconds(SerialDateTime t) {
    constexpr double kSerialOf1970 = 25569;
    return std::round((t - kSerialOf1970) * 86400.0 * 1000.0) / 1000.0;
}

// ---- writing the tables

QString isoTime(double wall) {
    const int64_t ms = int64_t(std::llround(wall * 1000));
    const int64_t dayMs = 86400 * int64_t(1000);
    const int64_t days = ms >= 0 ? ms / dayMs : -((-ms + dayMs - 1) / dayMs);
    const int msOfDay = int(ms - days * dayMs);
    const QDate date = QDate(1970, 1, 1).addDays(days);
    const QTime time = QTime::fromMSecsSinceStartOfDay(msOfDay);
    return date.toString(Qt::ISODate) + QLatin1Char('T') +
           time.toString(msOfDay % 1000 ? QStringLiteral("HH:mm:ss.zzz")
                                        : QStringLiteral("HH:mm:ss"));
}

QString timeOfDay(int seconds) {
    return QTime::fromMSecsSinceStartOfDay(seconds * 1000)
        .toString(seconds % 60 ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm"));
}

QString level(double v) {
    return QString::number(v, 'f', 1);
}

// Seconds to the millisecond, without trailing zeros beyond the first decimal: "60.0", "0.25".
QString seconds(double v) {
    QString s = QString::number(std::round(v * 1000) / 1000, 'f', 3);
    while (s.endsWith(QLatin1Char('0')) && !s.endsWith(QLatin1String(".0"))) s.chop(1);
    return s;
}

// How a figure without a value is written in each format.
QString figure(const std::optional<double>& v, const QString& none) {
    return v ? level(*v) : none;
}

QJsonValue jsonNumber(const QString& text) {
    return QJsonValue(text.toDouble());
}

QJsonValue jsonLevel(const std::optional<double>& v) {
    return v ? jsonNumber(level(*v)) : QJsonValue(QJsonValue::Null);
}

// The cells of each table's rows; `none` stands for a figure without a value.
QStringList intervalHeader() {
    return {QStringLiteral("start"),     QStringLiteral("end"),  QStringLiteral("Leq"),
            QStringLiteral("Lmax"),      QStringLiteral("Lmin"), QStringLiteral("L10"),
            QStringLiteral("L50"),       QStringLiteral("L90"),  QStringLiteral("samples"),
            QStringLiteral("coverage %")};
}

QStringList intervalCells(const IntervalRow& row, const QString& none) {
    const LevelFigures& f = row.figures;
    return {isoTime(row.start),        isoTime(row.end),     figure(f.leq, none),
            figure(f.lmax, none),      figure(f.lmin, none), figure(f.l10, none),
            figure(f.l50, none),       figure(f.l90, none),  QString::number(f.samples),
            level(row.coveragePercent)};
}

QStringList periodHeader() {
    return {QStringLiteral("start"),  QStringLiteral("Lday"),      QStringLiteral("Levening"),
            QStringLiteral("Lnight"), QStringLiteral("Lden"),      QStringLiteral("Ldn"),
            QStringLiteral("day %"),  QStringLiteral("evening %"), QStringLiteral("night %"),
            QStringLiteral("status")};
}

QStringList periodCells(const PeriodRow& row, const QString& none) {
    return {isoTime(row.start),
            figure(row.day.leq, none),
            figure(row.evening.leq, none),
            figure(row.night.leq, none),
            figure(row.lden, none),
            figure(row.ldn, none),
            level(row.dayCoverage),
            level(row.eveningCoverage),
            level(row.nightCoverage),
            row.complete ? QStringLiteral("complete") : QStringLiteral("incomplete")};
}

QStringList eventHeader() {
    return {QStringLiteral("start"), QStringLiteral("duration s"), QStringLiteral("Lmax"),
            QStringLiteral("Leq")};
}

QStringList eventCells(const ExceedanceEvent& e) {
    return {isoTime(e.start), seconds(e.duration), level(e.lmax), level(e.leq)};
}

// A table in aligned columns: times and the status to the left, the figures to the right.
void writeColumns(QTextStream& out, const QStringList& header,
                  const std::vector<QStringList>& rows) {
    std::vector<qsizetype> widths(size_t(header.size()));
    std::vector<bool> left(size_t(header.size()));
    for (qsizetype c = 0; c < header.size(); ++c) {
        left[size_t(c)] = header[c] == QLatin1String("start") ||
                          header[c] == QLatin1String("end") || header[c] == QLatin1String("status");
        widths[size_t(c)] = header[c].size();
        for (const QStringList& row : rows)
            widths[size_t(c)] = std::max(widths[size_t(c)], row[c].size());
    }
    const auto line = [&](const QStringList& cells) {
        QString text;
        for (qsizetype c = 0; c < cells.size(); ++c) {
            const int w = int(widths[size_t(c)]);
            if (c > 0) text += QStringLiteral("  ");
            text += left[size_t(c)] ? cells[c].leftJustified(w) : cells[c].rightJustified(w);
        }
        out << text.trimmed() << "\n";
    };
    line(header);
    for (const QStringList& row : rows) line(row);
}

void writeText(QTextStream& out, const Assessment& result, const AssessmentOptions& options) {
    const QString none = QStringLiteral("-");
    out << "Intervals of " << intervalName(result.intervalSeconds) << " (typical spacing "
        << seconds(result.typicalSpacing) << " s)\n";
    std::vector<QStringList> rows;
    for (const IntervalRow& row : result.intervals) rows.push_back(intervalCells(row, none));
    writeColumns(out, intervalHeader(), rows);

    const DayPeriods& p = options.periods;
    out << "\nDay, evening and night levels (day " << timeOfDay(p.dayStart) << "-"
        << timeOfDay(p.eveningStart) << ", evening " << timeOfDay(p.eveningStart) << "-"
        << timeOfDay(p.nightStart) << ", night " << timeOfDay(p.nightStart) << "-"
        << timeOfDay(p.dayStart) << "; Ldn night from " << timeOfDay(p.ldnNightStart) << ")\n";
    rows.clear();
    for (const PeriodRow& row : result.periods) rows.push_back(periodCells(row, none));
    writeColumns(out, periodHeader(), rows);

    const ExceedanceResult& x = result.exceedances;
    out << "\nExceedances of " << level(options.threshold) << " dB lasting at least "
        << seconds(options.minDurationSeconds) << " s\n";
    rows.clear();
    for (const ExceedanceEvent& e : x.events) rows.push_back(eventCells(e));
    writeColumns(out, eventHeader(), rows);
    out << x.events.size() << (x.events.size() == 1 ? " event, " : " events, ")
        << seconds(x.secondsAbove) << " s above " << level(options.threshold)
        << " dB: " << level(x.percentAbove) << " % of " << seconds(x.measuredSeconds)
        << " s measured\n";
}

void writeCsv(QTextStream& out, const Assessment& result, Table table) {
    const QString none;
    const auto line = [&](const QStringList& cells) {
        out << cells.join(QLatin1Char(',')) << "\n";
    };
    switch (table) {
        case Table::Intervals: {
            QStringList header = intervalHeader();
            header.last() = QStringLiteral("coverage");
            line(header);
            for (const IntervalRow& row : result.intervals) line(intervalCells(row, none));
            return;
        }
        case Table::Periods: {
            line({QStringLiteral("start"), QStringLiteral("Lday"), QStringLiteral("Levening"),
                  QStringLiteral("Lnight"), QStringLiteral("Lden"), QStringLiteral("Ldn"),
                  QStringLiteral("day_coverage"), QStringLiteral("evening_coverage"),
                  QStringLiteral("night_coverage"), QStringLiteral("status")});
            for (const PeriodRow& row : result.periods) line(periodCells(row, none));
            return;
        }
        case Table::Events:
            line({QStringLiteral("start"), QStringLiteral("duration"), QStringLiteral("Lmax"),
                  QStringLiteral("Leq")});
            for (const ExceedanceEvent& e : result.exceedances.events) line(eventCells(e));
            return;
    }
}

void writeJson(QTextStream& out, const Assessment& result, const AssessmentOptions& options) {
    QJsonArray intervals;
    for (const IntervalRow& row : result.intervals) {
        const LevelFigures& f = row.figures;
        intervals.append(QJsonObject{{"start", isoTime(row.start)},
                                     {"end", isoTime(row.end)},
                                     {"leq", jsonLevel(f.leq)},
                                     {"lmax", jsonLevel(f.lmax)},
                                     {"lmin", jsonLevel(f.lmin)},
                                     {"l10", jsonLevel(f.l10)},
                                     {"l50", jsonLevel(f.l50)},
                                     {"l90", jsonLevel(f.l90)},
                                     {"samples", qint64(f.samples)},
                                     {"coverage", jsonNumber(level(row.coveragePercent))}});
    }
    QJsonArray periods;
    for (const PeriodRow& row : result.periods) {
        periods.append(QJsonObject{{"start", isoTime(row.start)},
                                   {"lday", jsonLevel(row.day.leq)},
                                   {"levening", jsonLevel(row.evening.leq)},
                                   {"lnight", jsonLevel(row.night.leq)},
                                   {"lden", jsonLevel(row.lden)},
                                   {"ldn", jsonLevel(row.ldn)},
                                   {"dayCoverage", jsonNumber(level(row.dayCoverage))},
                                   {"eveningCoverage", jsonNumber(level(row.eveningCoverage))},
                                   {"nightCoverage", jsonNumber(level(row.nightCoverage))},
                                   {"complete", row.complete}});
    }
    const ExceedanceResult& x = result.exceedances;
    QJsonArray events;
    for (const ExceedanceEvent& e : x.events) {
        events.append(QJsonObject{{"start", isoTime(e.start)},
                                  {"duration", jsonNumber(seconds(e.duration))},
                                  {"lmax", jsonNumber(level(e.lmax))},
                                  {"leq", jsonNumber(level(e.leq))}});
    }
    const QJsonObject totals{{"events", qint64(x.events.size())},
                             {"secondsAbove", jsonNumber(seconds(x.secondsAbove))},
                             {"measuredSeconds", jsonNumber(seconds(x.measuredSeconds))},
                             {"percentAbove", jsonNumber(level(x.percentAbove))},
                             {"threshold", jsonNumber(level(options.threshold))},
                             {"minDuration", jsonNumber(seconds(options.minDurationSeconds))}};
    const QJsonObject all{{"intervalSeconds", result.intervalSeconds},
                          {"typicalSpacing", jsonNumber(seconds(result.typicalSpacing))},
                          {"intervals", intervals},
                          {"periods", periods},
                          {"events", events},
                          {"totals", totals}};
    out << QString::fromUtf8(QJsonDocument(all).toJson(QJsonDocument::Indented));
}

}  // namespace

int runAssessCommand(const CliArguments& a, QTextStream& out, QTextStream& err,
                     const ReadCollectionSeries& readCollectionSeries) {
    const CliCommand& command = *a.command;
    const QString in = a.positional.front();
    const std::optional<SeriesFileKind> kind = seriesFileKind(in);
    if (!kind)
        return cliWrongUse(
            err, command, QStringLiteral("assess reads .rec, .txt, .csv or .ghf files, not ") + in);
    const bool collection = kind == SeriesFileKind::Collection;
    QString fault;
    const std::optional<Request> request = readRequest(a, collection, fault);
    if (!request) return cliWrongUse(err, command, fault);

    FileSeries file;
    int status = 0;
    if (collection) {
        status = readCollectionSeries(in, request->set, file.times, file.levels);
    } else if (kind == SeriesFileKind::Text) {
        status = readTextSeries(in, file, err);
    } else {
        status = readGraphSeries(in, file, err);
    }
    if (status != 0) return status;

    AssessmentSeries series;
    series.times.reserve(file.times.size());
    for (double t : file.times) series.times.push_back(wallSeconds(t));
    series.levels = std::move(file.levels);

    const AssessmentOutcome outcome = assessNoise(series, request->options);
    if (!outcome.assessment) {
        err << "error: "
            << (outcome.error ? outcome.error->message : QStringLiteral("the series was refused"))
            << "\n";
        return kCliWrongUse;
    }
    switch (request->format) {
        case Format::Text:
            writeText(out, *outcome.assessment, request->options);
            break;
        case Format::Csv:
            writeCsv(out, *outcome.assessment, request->table);
            break;
        case Format::Json:
            writeJson(out, *outcome.assessment, request->options);
            break;
    }
    return 0;
}

}  // namespace kl516
