#pragma once

#include <QAbstractTableModel>
#include <QIODevice>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <vector>

#include "files/FileProgress.h"

namespace kl516 {

// The tabular list's content: a text file shown as a table of 7 columns. Column 0 is the line
// number, columns 1 .. 6 the fields of the line ("Date", "Time", "Value" and three untitled
// ones; "SPL" and "Leq" for columns 3 and 4 when the first line has a fourth field). Model row
// r is the file's line r + 1. Cells are read-only. The text is kept compactly (one buffer and
// field offsets per line), so a million lines fit in well under 300 MB.
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
    void beginAppend();
    void endAppend();
    void clear();

    QString title(int column) const;
    void setTitle(int column, const QString& title);
    // The column titles rule after reading: "SPL" and "Leq" for columns 3 and 4 when the first
    // row has a fourth field; otherwise "Value" stays.
    void applyTitleRule();
    // The column that holds the level to graph: 4 when its title is "Leq", otherwise 3.
    int levelColumn() const;

  private:
    // Compact storage; the implementation may change it.
    std::vector<QString> titles_;
    std::vector<QChar> text_;           // every field's text, one after another
    std::vector<quint32> lineStart_;    // index in text_ of each row's first field
    std::vector<quint8> fieldLengths_;  // per row: kColumns - 1 lengths (a line holds <= 179)
    int pendingFrom_ = -1;
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
    qint64 lines = 0;      // lines stored in the list
    qint64 fileLine = 0;   // the number of the line at which reading stopped (1-based), if any
};

inline constexpr int kMaxListLine = 179;

// Fills the list from a point or table text file: one row per line up to the first line
// without the separator, each line cut after 179 characters (and reading ends after such a
// line), fields split at the separator, an empty rest after the last separator being no field.
// Text is read in the local 8-bit encoding; CR LF and LF end a line. progress, when given,
// gets the line count and can cancel (the line being read is then not stored). Applies the
// title rule at the end.
ListReadResult readTextIntoList(QIODevice& in, QChar separator, ListTableModel& list,
                                FileProgress* progress = nullptr);
ListReadResult readTextIntoList(const QString& path, QChar separator, ListTableModel& list,
                                FileProgress* progress = nullptr);

// The one message for a read that stopped before the end of the file (empty otherwise): how
// many lines were read and why the rest was not.
QString listReadMessage(const ListReadResult& result);

// The separator of a text file by its name: a comma for ".csv" (any case), otherwise a tab.
QChar textFileSeparator(const QString& path);

// The points "Output Tabular to graph" makes of a list: one point per row, X the row's date
// and time, Y the level column read as a number in the locale (or with a point). A row whose
// date and time cannot be read is skipped (its point keeps the set-up's X, no level); a row
// whose level cannot be read keeps its X and no level (a gap).
struct ListGraphPoints {
    QString error;               // first or last row's date and time unreadable: the message
    double first = 0, last = 0;  // TDateTime of the first and the last row
    std::vector<double> x;       // per row; NaN when the row's date and time cannot be read
    std::vector<float> y;        // per row; NaN when there is no level
};

// Reads a date-time as the point text and LEQ files write it: the locale's short date (or ISO
// yyyy-MM-dd), a blank, then hh:mm:ss with an optional decimal fraction of the second
// (".0", ".045", ".45" = 450 ms) or the locale's long time. False when it cannot be read.
bool readListDateTime(const QString& date, const QString& time, const QLocale& locale,
                      double& result);

// The first and last rows only (to set the graph up), then every row; progress gets the row
// number and can stop the loop early (the rest keep NaN).
ListGraphPoints listGraphPoints(const ListTableModel& list, const QLocale& locale,
                                FileProgress* progress = nullptr);

}  // namespace kl516
