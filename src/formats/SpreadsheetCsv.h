#pragma once

#include <QIODevice>
#include <QString>
#include <QStringList>
#include <functional>
#include <span>
#include <vector>

#include "dataset/SerialDateTime.h"
#include "dataset/WallClock.h"
#include "formats/FileProgress.h"

namespace kl516 {

// CSV for spreadsheets (TextDialect::SpreadsheetCsv), a format of its own beside the point and
// table text files: a header row, then one row per record; commas between fields and a point as decimal separator in
// every locale; times in ISO 8601 local time with milliseconds and the UTC offset in force at
// that instant ("2024-04-13T09:20:31.000+02:00"); an empty field for "no level". A field
// holding a comma, a double quote or a line break is quoted, its quotes doubled. UTF-8, CR LF.

// The file dialogs' entry (FileFilter::spreadsheetCsv) as one entry of Qt's file dialogs: "CSV
// for spreadsheets (*.csv)".
QString spreadsheetCsvDialogFilter();
// Whether the entry chosen in a file dialog ("description (patterns)") is that one.
bool isSpreadsheetCsvFilter(const QString& chosenFilter);

// The times of one series as written, one after the other: each local time becomes the
// instant it names that is not before the previous one's, written with the local time zone's
// offset at that instant, so that the written instants never run backwards where the clocks
// change. A wall-clock time the zone skips (the hour lost when daylight-saving time starts) is
// the instant the gap ends; the hour it repeats (gained when it ends) is read as its second
// pass once the series steps back into it. A time that really runs backwards is written as the
// first instant it names. Empty for a point without a time (0).
class SpreadsheetTimes {
  public:
    SpreadsheetTimes() : instants_(clock_) {}
    explicit SpreadsheetTimes(const LocalClock& clock) : clock_(clock), instants_(clock_) {}
    SpreadsheetTimes(const SpreadsheetTimes&) = delete;
    SpreadsheetTimes& operator=(const SpreadsheetTimes&) = delete;
    QString operator()(SerialDateTime t);

  private:
    LocalClock clock_;  // the system's zone by default
    InstantSequence instants_;
};
// The time of t as written on its own: the first instant a repeated time names, the end of
// the gap for a skipped one.
QString spreadsheetTime(SerialDateTime t);
// A level with one decimal and a point; empty for no level (the null value, NaN).
QString spreadsheetLevel(double level);
// The field as written: quoted when it must be.
QString spreadsheetField(const QString& text);

// Writes the header and rows 0 .. rowCount - 1, each given by fieldsOf(row). afterLine, when
// given, is called with the number of rows written and stops the writing when it returns false.
// Returns the rows written (without the header), or -1 when a write failed.
qint64 writeSpreadsheetCsv(QIODevice& out, const QStringList& header, qint64 rowCount,
                           const std::function<QStringList(qint64)>& fieldsOf,
                           const std::function<bool(qint64)>& afterLine = {});

// The same into a file that replaces the one at path when whole; progress as for the other
// text files.
FileWriteResult writeSpreadsheetCsvFile(const QString& path, const QStringList& header,
                                        qint64 rowCount,
                                        const std::function<QStringList(qint64)>& fieldsOf,
                                        FileProgress* progress = nullptr);

// The header of a graph's columns: "time", then "level_dB" for the first series and for each
// further one its label in lower case ("leq_dB" for "Leq"), or "levelN_dB" when it has none.
QStringList seriesSpreadsheetHeader(int seriesCount, const QStringList& labels);

// The points of series that share times: one row per point up to the last that holds a time
// (rows without one before it are left out, as in point text), the time, then each series'
// level. Every series must be as long as times.
FileWriteResult writeSeriesSpreadsheetCsvFile(const QString& path, std::span<const double> times,
                                              const std::vector<std::span<const float>>& series,
                                              const QStringList& header,
                                              FileProgress* progress = nullptr);

}  // namespace kl516
