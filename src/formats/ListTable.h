#pragma once

#include <QAbstractTableModel>
#include <QDate>
#include <QIODevice>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <array>
#include <memory>
#include <span>
#include <vector>

#include "formats/FileProgress.h"
#include "formats/TextDialect.h"

namespace kl516 {

class LocalClock;

// The tabular list's content: a text file shown as a table of 7 columns. Column 0 is the line
// number, columns 1 .. 6 the fields of the line ("Date", "Time", "Value" and three untitled
// ones; "SPL" and "Leq" for columns 3 and 4 when a line has a non-empty fourth field). Model row
// r is the file's line r + 1. Cells are read-only. The text is kept compactly (chunks of
// characters and each line's field lengths), so a million lines fit in well under 300 MB.
class ListTableModel final : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr int kColumns = 7;

    explicit ListTableModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The text of a cell: column 0 the line number, columns 1 .. 6 the fields; empty beyond
    // a line's fields or the rows.
    QString cell(int row, int column) const;
    // Adds a line's fields (at most kColumns - 1 are kept). Views learn of new rows only at
    // endAppend(), so that reading does not repaint per line.
    void appendRow(const QStringList& fields);
    // The same from views into a line (no copies); a field longer than 255 characters is cut.
    void appendFields(std::span<const QStringView> fields);
    void beginAppend();
    void endAppend();
    void clear();

    QString title(int column) const;
    void setTitle(int column, const QString& title);
    // The column titles rule after reading: "SPL" and "Leq" for columns 3 and 4 when any row
    // has a non-empty fourth field (a first row without a level has it empty); otherwise
    // "Value" stays.
    void applyTitleRule();
    // The column of the measured level: 3, "Value" or "SPL". Column 4 of an LEQ table is its
    // running Leq, never taken for a level.
    static constexpr int kLevelColumn = 3;
    // Whether column 4 holds a running Leq (its title is "Leq").
    bool hasLeqColumn() const;

  private:
    static constexpr int kFields = kColumns - 1;
    // Text lives in chunks that never move or grow (no doubling copies), from 8 KB for small
    // lists up to 2 MB; a row's fields sit together in one chunk, one character apart, in one
    // byte per character when they are all Latin-1 (the usual case), otherwise in two.
    static constexpr qsizetype kFirstChunkBytes = qsizetype(1) << 13;
    static constexpr qsizetype kMaxChunkBytes = qsizetype(1) << 21;
    static constexpr int kMaxFieldChars = 255;  // a field's length is kept in one byte
    static constexpr quint64 kWideRow = quint64(1) << 63;  // in rowStart_: two bytes a character

    int storedRows() const { return int(rowStart_.size()); }
    void showStoredRows();  // tells the views of the rows stored since they last looked

    std::vector<QString> titles_;
    std::vector<std::unique_ptr<char[]>> chunks_;
    qsizetype chunkSize_ = 0;                                // bytes in the last chunk
    qsizetype chunkUsed_ = 0;                                // of them used
    std::vector<quint64> rowStart_;  // kWideRow if so | chunk << 32 | offset in bytes
    std::vector<std::array<quint8, kFields>> fieldLengths_;  // per row; 0 beyond its fields
    int visibleRows_ = 0;                                    // rows the views know of
    bool appending_ = false;
};

// Why reading a text file into the list stopped.
enum class ListReadStop {
    EndOfFile,    // every line was read
    NoSeparator,  // a line without the separator (an empty line, a single field) ended it
    LongLine,     // a line longer than 179 characters: its first 179 were kept, nothing after
    Cancelled,    // the user pressed Cancel
    CannotOpen,   // the file could not be opened: nothing read
};

struct ListReadResult {
    ListReadStop stop = ListReadStop::CannotOpen;
    qint64 lines = 0;     // lines stored in the list
    qint64 fileLine = 0;  // the number of the line at which reading stopped (1-based), if any
};

inline constexpr int kMaxListLine = 179;

// Reads a point or table text file line by line as the list takes it: each line decoded in the
// local 8-bit encoding (CR LF and LF end a line), cut after 179 characters, and split at the
// separator into at most kColumns - 1 fields, an empty rest after the last separator being no
// field. Reading ends at the first line without the separator (blank lines that only end the
// file are no stop) and after a line that was cut. The file is read in large blocks and nothing
// of it is kept beyond the current line, whose views stay valid until the next call of next().
class ListLineReader {
  public:
    ListLineReader(QIODevice& in, QChar separator);
    ~ListLineReader();
    ListLineReader(const ListLineReader&) = delete;
    ListLineReader& operator=(const ListLineReader&) = delete;

    // Moves to the next line; false when reading has ended, with stop() and stopLine() saying
    // why (EndOfFile, NoSeparator, or LongLine after a line that was cut).
    bool next();
    QStringView line() const;                     // at most 179 characters, no line end
    std::span<const QStringView> fields() const;  // at most kColumns - 1 of them
    qsizetype fieldCount() const;                 // all fields of line(), those beyond included
    bool cut() const;                             // the line was longer than 179 characters
    qint64 lineNumber() const;                    // of line() in the file, from 1
    ListReadStop stop() const;
    qint64 stopLine() const;  // the line that ended reading (NoSeparator, LongLine), else 0

  private:
    struct State;
    std::unique_ptr<State> d_;
};

// Fills the list from a point or table text file, replacing what it held: one row per line up
// to the first line without the separator, each line cut after 179 characters (and reading
// ends after such a line), fields split at the separator, an empty rest after the last
// separator being no field. Blank lines that only end the file do not count as a stop. Text is
// read in the local 8-bit encoding; CR LF and LF end a line. A spreadsheet CSV is known by its
// header, which is no row; its times show as date and time on the local wall clock of `clock`
// (the system's zone when null). progress, when given, gets the line count at most every 30 ms
// and at the end, and is asked about Cancel before every line is stored (the line being read
// is then not stored). Applies the title rule at the end.
ListReadResult readTextIntoList(QIODevice& in, QChar separator, ListTableModel& list,
                                FileProgress* progress = nullptr,
                                const LocalClock* clock = nullptr);
ListReadResult readTextIntoList(const QString& path, QChar separator, ListTableModel& list,
                                FileProgress* progress = nullptr,
                                const LocalClock* clock = nullptr);

// The one message for a read that stopped before the end of the file: how many lines were
// read and why the rest was not. Empty when the whole file was read or the user cancelled;
// a short notice for CannotOpen.
QString listReadMessage(const ListReadResult& result);

// The points "Output Tabular to graph" makes of a list: one point per row, X the row's date
// and time, Y the level column (column 3) read as a number in the locale (or with a point); a
// list with a Leq column (an LEQ table) gives its running Leq as a second series, as a running
// Leq window shows it. A row whose date and time cannot be read is skipped (its point keeps the
// set-up's X, no level); a row whose level cannot be read keeps its X and no level (a gap). The
// graph spans the first to the last row that has a readable date and time.
struct ListGraphPoints {
    // "No data to graph !", or, when no row has a readable date and time, which row holds what
    // and the forms that were expected.
    QString error;
    int readable = 0;            // rows with a readable date and time
    double first = 0, last = 0;  // SerialDateTime of the first and the last of them
    std::vector<double> x;       // per row; NaN when the row's date and time cannot be read
    std::vector<float> y;        // per row; NaN when there is no level
    std::vector<float> leq;      // per row when the list has a Leq column, else empty
};

// Reads a date-time as the point text and LEQ files write it, trying the user's locale first,
// then ISO 8601 and the C locale: the date in the locale's short format (with a two- or
// four-digit year), yyyy-MM-dd or the C locale's "13 Apr 2024"; a blank; then hh:mm:ss with
// optional milliseconds (".0", ".45" = 45 ms, ".045" = 45 ms, ".100" = 100 ms; four or more
// digits a decimal fraction) or the locale's long time. A two-digit year is the year within 80
// years before and 19 after currentYear. False when it cannot be read.
bool readListDateTime(const QString& date, const QString& time, const QLocale& locale,
                      double& result, int currentYear = QDate::currentDate().year());

// A level cell of the list: in the locale's form or with a point; group separators are not
// accepted, so that a point is never taken for one ("72.4" in a German list is 72.4).
class ListLevelReader {
  public:
    explicit ListLevelReader(const QLocale& locale);
    bool read(QStringView text, float& level) const;

  private:
    QLocale locale_;
    QLocale c_;
    char16_t decimal_ = 0;  // the locale's decimal mark where it writes ASCII digits
};

// The same reading with the locale's forms taken apart once, for many rows.
class ListDateTimeReader {
  public:
    explicit ListDateTimeReader(const QLocale& locale,
                                int currentYear = QDate::currentDate().year());
    ~ListDateTimeReader();
    ListDateTimeReader(const ListDateTimeReader&) = delete;
    ListDateTimeReader& operator=(const ListDateTimeReader&) = delete;

    bool read(QStringView date, QStringView time, double& result) const;
    // The day and the milliseconds into it (0 .. 86 399 999), a time that rounds up to midnight
    // carried into the next day.
    bool read(QStringView date, QStringView time, QDate& day, int& msOfDay) const;
    // The forms read, as examples: "a date such as "31.12.2024", "2024-12-31" or ...".
    QString expectedForms() const;

  private:
    struct Forms;
    std::unique_ptr<Forms> forms_;
};

// Every row's point; progress gets the row number (at most every 30 ms and at the end) and can
// stop the loop early (the rest keep NaN).
ListGraphPoints listGraphPoints(const ListTableModel& list, const QLocale& locale,
                                FileProgress* progress = nullptr,
                                int currentYear = QDate::currentDate().year());

}  // namespace kl516
