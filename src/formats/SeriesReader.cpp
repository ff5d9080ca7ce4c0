#include "formats/SeriesReader.h"

#include <QFile>
#include <array>
#include <cmath>

#include "formats/PointText.h"

namespace kl516 {

// ---------------------------------------------------------------------------------------------
// Rows

struct TextRowReader::State {
    State(QIODevice& in, QChar separator, const QLocale& locale, const LocalClock& c, int year)
        : dialect(textDialectOf(in)),
          lines(in, dialect == TextDialect::SpreadsheetCsv ? kSpreadsheetSeparator : separator),
          dates(locale, year),
          clock(c) {}

    TextDialect dialect;
    ListLineReader lines;
    ListDateTimeReader dates;
    const LocalClock& clock;
    // Rows mostly share their day: the wall milliseconds of its midnight are kept.
    mutable QDate lastDay;
    mutable qint64 lastMidnightMs = 0;

    // A spreadsheet row: its time as read, and its fields with that time as date and time.
    std::optional<IsoTime> iso;
    mutable bool shown = false;
    mutable std::array<QStringView, ListTableModel::kColumns - 1> fields;
    mutable size_t count = 0;
    mutable std::array<char16_t, 10> dateText{};
    mutable std::array<char16_t, 12> timeText{};

    void showSpreadsheetRow() const {
        if (shown) return;
        shown = true;
        const std::span<const QStringView> raw = lines.fields();
        count = 0;
        if (iso) {
            const double wall = iso->hasOffset ? clock.wallOf(iso->seconds) : iso->seconds;
            const WallDate day = wallDateOf(wall);
            const QByteArray date = day.date.toString(QStringLiteral("yyyy-MM-dd")).toLatin1();
            const qsizetype dateLength = std::min<qsizetype>(date.size(), dateText.size());
            for (qsizetype i = 0; i < dateLength; ++i) dateText[size_t(i)] = char16_t(date[i]);
            char time[12];
            const int timeLength = pointTextTime(day.msOfDay, time);
            for (int i = 0; i < timeLength; ++i) timeText[size_t(i)] = char16_t(time[i]);
            fields[count++] = QStringView(dateText.data(), dateLength);
            fields[count++] = QStringView(timeText.data(), timeLength);
        } else {
            // Kept as it stands, in the date's place: no reader takes it for a time.
            fields[count++] = raw.empty() ? QStringView() : raw[0];
            fields[count++] = QStringView();
        }
        for (size_t i = 1; i < raw.size() && count < fields.size(); ++i) fields[count++] = raw[i];
    }
};

TextRowReader::TextRowReader(QIODevice& in, QChar separator, const QLocale& locale,
                             const LocalClock& clock, int currentYear)
    : d_(std::make_unique<State>(in, separator, locale, clock, currentYear)) {}

TextRowReader::~TextRowReader() = default;

TextDialect TextRowReader::dialect() const {
    return d_->dialect;
}

bool TextRowReader::next() {
    State& d = *d_;
    if (!d.lines.next()) return false;
    if (d.dialect != TextDialect::SpreadsheetCsv) return true;
    if (d.lines.lineNumber() == 1 && !d.lines.next()) return false;  // the header
    const std::span<const QStringView> raw = d.lines.fields();
    d.iso = raw.empty() ? std::nullopt : parseIsoTime(raw[0]);
    d.shown = false;
    return true;
}

std::span<const QStringView> TextRowReader::fields() const {
    if (d_->dialect != TextDialect::SpreadsheetCsv) return d_->lines.fields();
    d_->showSpreadsheetRow();
    return std::span<const QStringView>(d_->fields.data(), d_->count);
}

qsizetype TextRowReader::fieldCount() const {
    return d_->lines.fieldCount() + (d_->dialect == TextDialect::SpreadsheetCsv ? 1 : 0);
}

QStringView TextRowReader::line() const {
    return d_->lines.line();
}

bool TextRowReader::cut() const {
    return d_->lines.cut();
}

qint64 TextRowReader::lineNumber() const {
    return d_->lines.lineNumber();
}

ListReadStop TextRowReader::stop() const {
    return d_->lines.stop();
}

qint64 TextRowReader::stopLine() const {
    return d_->lines.stopLine();
}

bool TextRowReader::time(double& seconds, bool& exact) const {
    const State& d = *d_;
    if (d.dialect == TextDialect::SpreadsheetCsv) {
        if (!d.iso) return false;
        seconds = d.iso->seconds;
        exact = d.iso->hasOffset;
        return true;
    }
    const std::span<const QStringView> f = d.lines.fields();
    QDate day;
    int ms = 0;
    if (f.size() < 2 || !d.dates.read(f[0], f[1], day, ms)) return false;
    if (day != d.lastDay) {
        d.lastDay = day;
        d.lastMidnightMs = qint64(std::llround(wallSecondsOf(day, 0) * 1000));
    }
    // The same seconds as wallSecondsOf(day, ms), without its date arithmetic for every row.
    seconds = double(d.lastMidnightMs + ms) / 1000.0;
    exact = false;
    return true;
}

QString TextRowReader::timeText() const {
    const std::span<const QStringView> f = fields();
    if (f.empty()) return {};
    // A spreadsheet time that cannot be read is shown as it stands.
    if (f.size() < 2 || (d_->dialect == TextDialect::SpreadsheetCsv && !d_->iso))
        return f[0].toString();
    return f[0].toString() + u' ' + f[1].toString();
}

// ---------------------------------------------------------------------------------------------
// Series

TextSeriesRead readTextPoints(QIODevice& in, const QString& source, QChar separator,
                              const QLocale& locale, const LocalClock& clock,
                              const std::function<void(const TextPoint&)>& take, int currentYear) {
    TextSeriesRead result;
    if ((!in.isOpen() && !in.open(QIODevice::ReadOnly)) || !in.isReadable()) {
        result.problem = TextSeriesProblem::CannotOpen;
        result.message = QStringLiteral("cannot read %1").arg(source);
        return result;
    }
    result.read.stop = ListReadStop::EndOfFile;
    TextRowReader rows(in, separator, locale, clock, currentYear);
    result.dialect = rows.dialect();
    const ListLevelReader levels(locale);
    TextPoint point;
    while (rows.next()) {
        point.line = rows.lineNumber();
        point.row = size_t(result.read.lines++);
        const std::span<const QStringView> f = rows.fields();
        if (f.size() > 3 && !f[3].isEmpty()) result.leqColumn = true;
        // After a row without a time the rest is only read to its end.
        if (result.problem != TextSeriesProblem::None) continue;
        if (!rows.time(point.seconds, point.exact)) {
            result.problem = TextSeriesProblem::NoTime;
            result.message = QStringLiteral("line %1 of %2 has no readable date and time: \"%3\"")
                                 .arg(QString::number(point.line), source, rows.timeText());
            continue;
        }
        point.level = point.leq = std::numeric_limits<float>::quiet_NaN();
        if (f.size() > 2) levels.read(f[2], point.level);
        if (f.size() > 3) levels.read(f[3], point.leq);
        take(point);
    }
    result.read.stop = rows.stop();
    result.read.fileLine = rows.stopLine();
    // Nothing is taken from part of a file: that it was not read to its end comes first.
    if (const QString problem = listReadMessage(result.read); !problem.isEmpty()) {
        result.problem = TextSeriesProblem::NotToItsEnd;
        result.message = QStringLiteral("%1 was not read to its end: %2").arg(source, problem);
    }
    return result;
}

MeasuredSeries readTextMeasuredSeries(QIODevice& in, const QString& source, QChar separator,
                                      const QLocale& locale, const LocalClock& clock,
                                      TextSeriesRead& read, int currentYear) {
    // Every row is a point (a row without a time refuses the series): no sourceIndex is kept.
    MeasuredSeriesBuilder builder(clock, false);
    // A file's size tells roughly how many rows it holds (a point line is some 25 bytes).
    if (const qint64 size = in.size(); size > 0) builder.reserve(size_t(size / 24 + 1));
    read = readTextPoints(
        in, source, separator, locale, clock,
        [&](const TextPoint& p) {
            if (p.exact)
                builder.addInstant(p.seconds, p.level, p.row, p.line);
            else
                builder.addWall(p.seconds, p.level, p.row, p.line);
        },
        currentYear);
    MeasuredSeries series = builder.take();
    if (read.problem != TextSeriesProblem::None) {
        series = MeasuredSeries{};
        series.error = read.message;
        return series;
    }
    if (read.leqColumn) series.levelColumn = kSplColumn.toString();
    return series;
}

MeasuredSeries readTextMeasuredSeries(const QString& path, const QLocale& locale,
                                      const LocalClock& clock, TextSeriesRead& read,
                                      int currentYear) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        read = TextSeriesRead{};
        read.problem = TextSeriesProblem::CannotOpen;
        read.message = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        MeasuredSeries series;
        series.error = read.message;
        return series;
    }
    return readTextMeasuredSeries(file, path, textFileSeparator(path), locale, clock, read,
                                  currentYear);
}

}  // namespace kl516
