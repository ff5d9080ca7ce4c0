#pragma once

#include <QDate>
#include <QIODevice>
#include <QLocale>
#include <QString>
#include <functional>
#include <limits>
#include <memory>
#include <span>

#include "dataset/MeasuredSeries.h"
#include "dataset/WallClock.h"
#include "formats/ListTable.h"
#include "formats/TextDialect.h"

namespace kl516 {

// Reading the text the program writes, in either dialect, row by row and straight from the
// file: the list, "convert" and the readers of a series all take their rows from here.

// The rows of a point or table text file or of a spreadsheet CSV, one at a time. Lines are
// read as the list takes them (ListLineReader: 179 characters at most, reading ends at a line
// without the separator). A spreadsheet CSV is known by its header, whatever the file's name:
// the header is no row, its rows are separated by commas, and each row's ISO time is shown as
// the program's own date and time fields of the local wall clock ("2024-04-13", "09:20:31.0"),
// so that every reader finds the date in field 0, the time in field 1 and the levels from
// field 2 on.
class TextRowReader {
  public:
    // separator: the one the file's name gives (textFileSeparator); a spreadsheet CSV is read
    // with commas whatever it is. Dates and times of the program's text are read in `locale`
    // (see ListDateTimeReader); times with an offset are placed on `clock`.
    TextRowReader(QIODevice& in, QChar separator, const QLocale& locale, const LocalClock& clock,
                  int currentYear = QDate::currentDate().year());
    ~TextRowReader();
    TextRowReader(const TextRowReader&) = delete;
    TextRowReader& operator=(const TextRowReader&) = delete;

    TextDialect dialect() const;
    // Moves to the next row; false when reading has ended (stop() says why).
    bool next();
    // The row's fields: date, time, then the levels (at most ListTableModel::kColumns - 1).
    std::span<const QStringView> fields() const;
    qsizetype fieldCount() const;  // all fields of the row, those beyond included
    QStringView line() const;      // the line as read
    bool cut() const;
    qint64 lineNumber() const;  // in the file, from 1
    ListReadStop stop() const;
    qint64 stopLine() const;

    // The row's time: wall seconds, or an instant (exact) when it was written with its offset.
    // False when the row has no readable date and time.
    bool time(double& seconds, bool& exact) const;
    // The row's date and time as the list shows them: the text of fields 0 and 1, joined.
    QString timeText() const;

  private:
    struct State;
    std::unique_ptr<State> d_;
};

// Why reading a text file's series stopped short; a file that could be read gives None.
enum class TextSeriesProblem {
    None,
    CannotOpen,   // nothing could be read
    NotToItsEnd,  // a line without the separator or a long line ended reading early
    NoTime,       // a row has no readable date and time
};

// What reading a series from a text file met besides its points.
struct TextSeriesRead {
    TextSeriesProblem problem = TextSeriesProblem::None;
    // Why, naming the line and `source`, as the command-line tool prints it; empty for None.
    QString message;
    ListReadResult read;  // the rows read and where reading stopped
    TextDialect dialect = TextDialect::ProgramText;
    // Some row has a fourth field: the file has SPL and Leq columns (an LEQ table, or the
    // point text of a running Leq's two series).
    bool leqColumn = false;
};

// One row of a text file as a point of a series.
struct TextPoint {
    qint64 line = 0;      // in the file, from 1
    std::size_t row = 0;  // rows before it, header not counted: its row in a list
    double seconds = 0;   // wall seconds, or an instant when exact
    bool exact = false;
    float level = std::numeric_limits<float>::quiet_NaN();  // column 3 ("Value" or "SPL")
    float leq = std::numeric_limits<float>::quiet_NaN();    // column 4 (a running Leq), if any
};

// Reads the rows of a text file as points, in order, and passes on each that has a readable
// date and time. The level is always the third field, the measured level; a fourth field is
// the running Leq of an LEQ table and never taken for the level. An empty or unreadable level
// is NaN (no level). Levels are read in `locale` or with a point (ListLevelReader). `source`
// names the file in the messages.
TextSeriesRead readTextPoints(QIODevice& in, const QString& source, QChar separator,
                              const QLocale& locale, const LocalClock& clock,
                              const std::function<void(const TextPoint&)>& take,
                              int currentYear = QDate::currentDate().year());

// The measured series of a text file: its points on instants (see MeasuredSeriesBuilder), the
// SPL column named in levelColumn where the file also has a Leq column. A file that could not
// be read to its end or holds a row without a readable date and time gives no series (its
// error is read.message); nothing is taken from part of a file. Point i is row i (the header
// not counted), so sourceIndex stays empty.
MeasuredSeries readTextMeasuredSeries(QIODevice& in, const QString& source, QChar separator,
                                      const QLocale& locale, const LocalClock& clock,
                                      TextSeriesRead& read,
                                      int currentYear = QDate::currentDate().year());
MeasuredSeries readTextMeasuredSeries(const QString& path, const QLocale& locale,
                                      const LocalClock& clock, TextSeriesRead& read,
                                      int currentYear = QDate::currentDate().year());

// The name of the level column where the file has more than one: the running Leq of an LEQ
// table is never a measured level.
inline constexpr QStringView kSplColumn = u"SPL";

}  // namespace kl516
