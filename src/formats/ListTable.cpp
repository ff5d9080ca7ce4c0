#include "formats/ListTable.h"

#include <QFile>
#include <QStringDecoder>
#include <QTime>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

#include "dataset/SerialDateTime.h"
#include "dataset/WallClock.h"
#include "formats/ProgressPacer.h"
#include "formats/SeriesReader.h"

namespace kl516 {

namespace {

const QStringList& defaultTitles() {
    static const QStringList titles{QStringLiteral("No"),
                                    QStringLiteral("Date"),
                                    QStringLiteral("Time"),
                                    QStringLiteral("Value"),
                                    QString(),
                                    QString(),
                                    QString()};
    return titles;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The model

ListTableModel::ListTableModel(QObject* parent)
    : QAbstractTableModel(parent), titles_(defaultTitles().begin(), defaultTitles().end()) {}

int ListTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : visibleRows_;
}

int ListTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant ListTableModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= visibleRows_) return {};
    return cell(index.row(), index.column());
}

QVariant ListTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
    return title(section);
}

QString ListTableModel::cell(int row, int column) const {
    if (row < 0 || row >= storedRows() || column < 0 || column >= kColumns) return {};
    if (column == 0) return QString::number(row + 1);
    const auto& lengths = fieldLengths_[size_t(row)];
    const quint64 start = rowStart_[size_t(row)];
    qsizetype at = 0;                                                   // characters into the row
    for (int f = 0; f < column - 1; ++f) at += lengths[size_t(f)] + 1;  // and its gap
    const qsizetype length = lengths[size_t(column - 1)];
    const char* text = chunks_[size_t((start & ~kWideRow) >> 32)].get() + (start & 0xFFFFFFFFu);
    if (!(start & kWideRow)) return QString::fromLatin1(text + at, length);
    QString cell(length, Qt::Uninitialized);
    std::memcpy(cell.data(), text + at * 2, size_t(length) * 2);
    return cell;
}

void ListTableModel::appendRow(const QStringList& fields) {
    std::array<QStringView, kFields> views;
    const size_t n = std::min<size_t>(size_t(fields.size()), kFields);
    for (size_t i = 0; i < n; ++i) views[i] = fields[qsizetype(i)];
    appendFields(std::span<const QStringView>(views.data(), n));
}

void ListTableModel::appendFields(std::span<const QStringView> fields) {
    if (storedRows() == INT_MAX) return;  // rows are counted in int
    std::array<quint8, kFields> lengths{};
    const size_t n = std::min<size_t>(fields.size(), kFields);
    // A row's fields are stored one after the other with one character between them, so that
    // the fields of a line (views into it, apart by one separator) are copied in one piece.
    qsizetype total = n > 0 ? qsizetype(n) - 1 : 0;
    bool oneLine = true;
    for (size_t i = 0; i < n; ++i) {
        lengths[i] = quint8(std::min<qsizetype>(fields[i].size(), kMaxFieldChars));
        total += lengths[i];
        if (lengths[i] != fields[i].size() ||
            (i > 0 && fields[i].utf16() != fields[i - 1].utf16() + fields[i - 1].size() + 1))
            oneLine = false;
    }
    char16_t wider = 0;
    for (size_t i = 0; i < n; ++i)
        for (qsizetype k = 0; k < lengths[i]; ++k) wider |= fields[i].utf16()[k] & 0xFF00;
    const bool wide = wider != 0;
    const qsizetype bytes = wide ? total * 2 : total;
    if (wide) chunkUsed_ += chunkUsed_ & 1;  // two-byte characters at even offsets
    // Every row, also one of empty fields only, points into a chunk.
    if (chunks_.empty() || chunkUsed_ + bytes > chunkSize_) {
        chunkSize_ = chunks_.empty() ? kFirstChunkBytes : std::min(chunkSize_ * 2, kMaxChunkBytes);
        chunks_.push_back(std::make_unique_for_overwrite<char[]>(size_t(chunkSize_)));
        chunkUsed_ = 0;
    }
    char* out = chunks_.back().get() + chunkUsed_;
    const auto copy = [&](const char16_t* from, qsizetype count) {
        if (wide) {
            std::memcpy(out, from, size_t(count) * 2);
            out += count * 2;
        } else {
            for (qsizetype k = 0; k < count; ++k) out[k] = char(from[k]);
            out += count;
        }
    };
    if (oneLine && n > 0) {
        copy(fields[0].utf16(), total);
    } else {
        const char16_t gap = u'\t';
        for (size_t i = 0; i < n; ++i) {
            if (i > 0) copy(&gap, 1);
            copy(fields[i].utf16(), lengths[i]);
        }
    }
    rowStart_.push_back((wide ? kWideRow : 0) | quint64(chunks_.size() - 1) << 32 |
                        quint64(chunkUsed_));
    fieldLengths_.push_back(lengths);
    chunkUsed_ += bytes;
    if (!appending_) showStoredRows();
}

void ListTableModel::showStoredRows() {
    beginInsertRows({}, visibleRows_, storedRows() - 1);
    visibleRows_ = storedRows();
    endInsertRows();
}

void ListTableModel::beginAppend() {
    appending_ = true;
}

void ListTableModel::endAppend() {
    appending_ = false;
    if (storedRows() > visibleRows_) showStoredRows();
}

void ListTableModel::clear() {
    beginResetModel();
    chunks_.clear();
    chunkSize_ = 0;
    chunkUsed_ = 0;
    rowStart_.clear();
    rowStart_.shrink_to_fit();
    fieldLengths_.clear();
    fieldLengths_.shrink_to_fit();
    visibleRows_ = 0;
    appending_ = false;
    titles_.assign(defaultTitles().begin(), defaultTitles().end());
    endResetModel();
    emit headerDataChanged(Qt::Horizontal, 0, kColumns - 1);
}

QString ListTableModel::title(int column) const {
    return column >= 0 && column < kColumns ? titles_[size_t(column)] : QString();
}

void ListTableModel::setTitle(int column, const QString& title) {
    if (column < 0 || column >= kColumns || titles_[size_t(column)] == title) return;
    titles_[size_t(column)] = title;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

void ListTableModel::applyTitleRule() {
    // Rows without a level have empty level fields, so any row may be the first to show that
    // the file has a fourth column: an LEQ table, or a point file of two series.
    const bool fourthColumn = std::any_of(fieldLengths_.begin(), fieldLengths_.end(),
                                          [](const auto& lengths) { return lengths[3] > 0; });
    if (!fourthColumn) return;
    setTitle(3, QStringLiteral("SPL"));
    setTitle(4, QStringLiteral("Leq"));
}

bool ListTableModel::hasLeqColumn() const {
    return title(4) == QLatin1String("Leq");
}

// ---------------------------------------------------------------------------------------------
// Reading a text file

namespace {

// A line's bytes are looked at only up to this many: enough for 180 characters in any 8-bit or
// multibyte local encoding, so a longer line is known to be long without reading it whole (a
// file without line ends takes no more memory than this).
constexpr qsizetype kLineWindow = (kMaxListLine + 1) * 4;

// Splits a device into lines at LF, dropping a CR before it; reads in large blocks.
class LineReader {
  public:
    explicit LineReader(QIODevice& in) : in_(in) {}

    // The next line's bytes, at most kLineWindow of them (long: the line had more). False at
    // the end of the data.
    bool next(QByteArrayView& line, bool& longLine) {
        longLine = false;
        for (;;) {
            const char* begin = buffer_.constData() + pos_;
            const qsizetype available = buffer_.size() - pos_;
            const void* lf = std::memchr(begin, '\n', size_t(available));
            if (lf) {
                qsizetype length = static_cast<const char*>(lf) - begin;
                pos_ += length + 1;
                if (length > 0 && begin[length - 1] == '\r') --length;
                return take(begin, length, line, longLine);
            }
            if (available > kLineWindow) {
                // Reading ends after a long line, so its rest is never needed.
                pos_ = buffer_.size();
                return take(begin, available, line, longLine);
            }
            if (!fill()) {
                if (available == 0) return false;
                qsizetype length = available;
                pos_ = buffer_.size();
                if (begin[length - 1] == '\r') --length;
                return take(begin, length, line, longLine);
            }
        }
    }

    // Whether everything after the current line is line ends only.
    bool restIsBlank() {
        for (;;) {
            for (; pos_ < buffer_.size(); ++pos_) {
                const char c = buffer_[pos_];
                if (c != '\r' && c != '\n') return false;
            }
            if (!fill()) return true;
        }
    }

  private:
    static bool take(const char* begin, qsizetype length, QByteArrayView& line, bool& longLine) {
        longLine = length > kLineWindow;
        line = QByteArrayView(begin, std::min(length, kLineWindow));
        return true;
    }

    // Keeps the unread bytes and appends the next block; false when the device has no more.
    bool fill() {
        constexpr qsizetype kBlock = 256 * 1024;
        buffer_.remove(0, pos_);
        pos_ = 0;
        const qsizetype kept = buffer_.size();
        buffer_.resize(kept + kBlock);
        const qint64 got = in_.read(buffer_.data() + kept, kBlock);
        buffer_.resize(kept + std::max<qint64>(got, 0));
        return got > 0;
    }

    QIODevice& in_;
    QByteArray buffer_;
    qsizetype pos_ = 0;
};

}  // namespace

struct ListLineReader::State {
    State(QIODevice& device, QChar sep) : lines(device), separator(sep) {}

    LineReader lines;
    QChar separator;
    // Stateless: every line is decoded on its own, a broken character never spills over.
    QStringDecoder decoder{QStringDecoder::System, QStringDecoder::Flag::Stateless};
    std::vector<char16_t> text = std::vector<char16_t>(size_t(decoder.requiredSpace(kLineWindow)));
    qsizetype length = 0;
    std::array<QStringView, ListTableModel::kColumns - 1> fields;
    size_t count = 0;
    qsizetype allFields = 0;
    bool cut = false;
    bool ended = false;
    qint64 number = 0;
    ListReadStop stop = ListReadStop::EndOfFile;
    qint64 stopLine = 0;

    // The line's characters into text: ASCII bytes are widened as they are (in every local
    // encoding they are themselves), anything else goes through the decoder. Only the first
    // 180 characters matter.
    void decode(QByteArrayView bytes) {
        const qsizetype n = std::min<qsizetype>(bytes.size(), kMaxListLine + 1);
        const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
        char16_t* out = text.data();
        unsigned char high = 0;
        for (qsizetype i = 0; i < n; ++i) {
            high |= b[i];
            out[i] = b[i];
        }
        if (high < 0x80) {
            length = bytes.size();
            return;
        }
        const QChar* end = decoder.appendToBuffer(reinterpret_cast<QChar*>(out), bytes);
        length = end - reinterpret_cast<const QChar*>(out);
    }
};

ListLineReader::ListLineReader(QIODevice& in, QChar separator)
    : d_(std::make_unique<State>(in, separator)) {}

ListLineReader::~ListLineReader() = default;

bool ListLineReader::next() {
    State& d = *d_;
    if (d.ended) return false;
    if (d.cut) {  // reading ends after a line that was cut
        d.ended = true;
        d.stop = ListReadStop::LongLine;
        d.stopLine = d.number;
        return false;
    }
    QByteArrayView bytes;
    bool longLine = false;
    if (!d.lines.next(bytes, longLine)) {
        d.ended = true;
        return false;
    }
    ++d.number;
    d.decode(bytes);
    if (d.length > kMaxListLine) {
        longLine = true;
        qsizetype cut = kMaxListLine;
        if (QChar::isHighSurrogate(d.text[size_t(cut - 1)])) --cut;  // keep characters whole
        d.length = cut;
    }
    d.cut = longLine;

    // One pass: the fields up to the last column, and how many there are in all.
    const char16_t separator = d.separator.unicode();
    const char16_t* text = d.text.data();
    d.count = 0;
    d.allFields = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i < d.length; ++i) {
        if (text[i] != separator) continue;
        if (d.count < d.fields.size()) d.fields[d.count++] = QStringView(text + start, i - start);
        ++d.allFields;
        start = i + 1;
    }
    if (d.allFields == 0) {
        const bool trailingBlank = d.length == 0 && !longLine && d.lines.restIsBlank();
        if (!trailingBlank) {
            d.stop = ListReadStop::NoSeparator;
            d.stopLine = d.number;
        }
        d.ended = true;
        return false;
    }
    if (start < d.length) {  // an empty rest after the last separator is no field
        if (d.count < d.fields.size())
            d.fields[d.count++] = QStringView(text + start, d.length - start);
        ++d.allFields;
    }
    return true;
}

QStringView ListLineReader::line() const {
    return QStringView(d_->text.data(), d_->length);
}

std::span<const QStringView> ListLineReader::fields() const {
    return std::span<const QStringView>(d_->fields.data(), d_->count);
}

qsizetype ListLineReader::fieldCount() const {
    return d_->allFields;
}

bool ListLineReader::cut() const {
    return d_->cut;
}

qint64 ListLineReader::lineNumber() const {
    return d_->number;
}

ListReadStop ListLineReader::stop() const {
    return d_->stop;
}

qint64 ListLineReader::stopLine() const {
    return d_->stopLine;
}

ListReadResult readTextIntoList(QIODevice& in, QChar separator, ListTableModel& list,
                                FileProgress* progress, const LocalClock* clock) {
    ListReadResult result;
    if (!in.isOpen() && !in.open(QIODevice::ReadOnly)) return result;
    if (!in.isReadable()) return result;
    list.clear();
    result.stop = ListReadStop::EndOfFile;

    const LocalClock systemClock;
    TextRowReader reader(in, separator, QLocale::c(), clock ? *clock : systemClock);
    ProgressPacer pacer(progress);
    bool cancelled = false;
    list.beginAppend();
    while (reader.next()) {
        if (pacer.cancelled()) {  // this line is not stored
            result.stop = ListReadStop::Cancelled;
            result.fileLine = reader.lineNumber();
            cancelled = true;
            break;
        }
        pacer.lines(result.lines + 1);
        list.appendFields(reader.fields());
        ++result.lines;
    }
    if (!cancelled) {
        result.stop = reader.stop();
        result.fileLine = reader.stopLine();
    }
    list.endAppend();
    list.applyTitleRule();
    pacer.finish(result.lines);
    return result;
}

ListReadResult readTextIntoList(const QString& path, QChar separator, ListTableModel& list,
                                FileProgress* progress, const LocalClock* clock) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return ListReadResult{};
    return readTextIntoList(file, separator, list, progress, clock);
}

QString listReadMessage(const ListReadResult& result) {
    const QString read = result.lines == 1 ? QStringLiteral("1 line was read")
                                           : QStringLiteral("%1 lines were read").arg(result.lines);
    switch (result.stop) {
        case ListReadStop::EndOfFile:
        case ListReadStop::Cancelled:
            return {};
        case ListReadStop::CannotOpen:
            return QStringLiteral("The file could not be opened; nothing was read.");
        case ListReadStop::NoSeparator:
            return QStringLiteral(
                       "%1. Line %2 is empty or has no field separator, so it and "
                       "the rest of the file were not read.")
                .arg(read)
                .arg(result.fileLine);
        case ListReadStop::LongLine:
            return QStringLiteral(
                       "%1. Line %2 is longer than %3 characters: only its first %3 "
                       "were kept, and the rest of the file was not read.")
                .arg(read)
                .arg(result.fileLine)
                .arg(kMaxListLine);
    }
    return {};
}

// ---------------------------------------------------------------------------------------------
// Dates, times and levels of a list

namespace {

constexpr int kMsPerDay = 86400000;

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Up to maxDigits decimal digits at pos (at least one).
bool readNumber(QStringView text, qsizetype& pos, int maxDigits, int& value) {
    value = 0;
    int digits = 0;
    while (pos < text.size() && digits < maxDigits && isDigit(text[pos])) {
        value = value * 10 + (text[pos].unicode() - u'0');
        ++pos;
        ++digits;
    }
    return digits > 0;
}

// One written form of dates: a date format of a locale (day, month or month name, year and
// literals), taken apart once so that a list of many rows is read quickly. A year of one or two
// digits is placed within 80 years before and 19 after the current year.
class DateForm {
  public:
    DateForm(const QLocale& locale, const QString& format, int currentYear)
        : locale_(locale), format_(format), currentYear_(currentYear) {
        parse();
        const bool names = std::any_of(tokens_.begin(), tokens_.end(),
                                       [](const Token& t) { return t.kind == Token::MonthName; });
        if (tokensOk_ && names) {
            for (int m = 1; m <= 12; ++m) {
                for (const QString& name :
                     {locale_.monthName(m, QLocale::ShortFormat), locale_.monthName(m),
                      locale_.standaloneMonthName(m, QLocale::ShortFormat),
                      locale_.standaloneMonthName(m)})
                    monthNames_.push_back({name, m});
            }
        }
    }

    bool read(QStringView text, QDate& date) const {
        return tokensOk_ ? readTokens(text, date) : readQt(text, date);
    }

  private:
    struct Token {
        enum Kind { Day, Month, MonthName, Year, Literal } kind;
        QString text;  // Literal
    };

    // d, dd, M, MM, MMM, MMMM, yy, yyyy and quoted or plain literals; anything else (day names,
    // odd year widths) leaves the parse to QLocale.
    void parse() {
        const QString& f = format_;
        for (qsizetype i = 0; i < f.size();) {
            const QChar c = f[i];
            if (c == u'\'') {
                QString literal;
                ++i;
                while (i < f.size()) {
                    if (f[i] == u'\'') {
                        if (i + 1 < f.size() && f[i + 1] == u'\'') {
                            literal += u'\'';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    literal += f[i++];
                }
                if (literal.isEmpty()) literal = QStringLiteral("'");
                tokens_.push_back({Token::Literal, literal});
                continue;
            }
            qsizetype run = 1;
            while (i + run < f.size() && f[i + run] == c) ++run;
            if (c == u'd' && run <= 2) {
                tokens_.push_back({Token::Day, {}});
            } else if (c == u'M' && run <= 2) {
                tokens_.push_back({Token::Month, {}});
            } else if (c == u'M' && run <= 4) {
                tokens_.push_back({Token::MonthName, {}});
            } else if (c == u'y' && (run == 2 || run == 4)) {
                tokens_.push_back({Token::Year, {}});
            } else if (c.isLetter()) {
                tokensOk_ = false;
                return;
            } else {
                tokens_.push_back({Token::Literal, QString(run, c)});
            }
            i += run;
        }
    }

    bool readTokens(QStringView text, QDate& date) const {
        int y = -1, m = -1, d = -1;
        bool shortYear = false;
        qsizetype pos = 0;
        for (const Token& t : tokens_) {
            switch (t.kind) {
                case Token::Day:
                    if (!readNumber(text, pos, 2, d)) return false;
                    break;
                case Token::Month:
                    if (!readNumber(text, pos, 2, m)) return false;
                    break;
                case Token::Year: {
                    const qsizetype from = pos;
                    if (!readNumber(text, pos, 4, y)) return false;
                    shortYear = pos - from <= 2;
                    break;
                }
                case Token::MonthName:
                    if (!readMonthName(text, pos, m)) return false;
                    break;
                case Token::Literal:
                    if (!text.sliced(pos).startsWith(t.text)) return false;
                    pos += t.text.size();
                    break;
            }
        }
        if (pos != text.size() || y < 0 || m < 0 || d < 0) return false;
        if (shortYear) y = yearOfTwoDigits(y, currentYear_);
        date = QDate(y, m, d);
        return date.isValid();
    }

    // The longest of the month's names (short, long, standalone) that the text starts with.
    bool readMonthName(QStringView text, qsizetype& pos, int& month) const {
        qsizetype best = 0;
        const QStringView rest = text.sliced(pos);
        for (const MonthName& name : monthNames_) {
            if (name.text.size() > best && rest.startsWith(name.text, Qt::CaseInsensitive)) {
                best = name.text.size();
                month = name.month;
            }
        }
        pos += best;
        return best > 0;
    }

    bool readQt(QStringView text, QDate& date) const {
        date = locale_.toDate(text.toString(), format_);
        if (!date.isValid()) return false;
        // QLocale reads "yy" as 19yy.
        if (!format_.contains(QStringLiteral("yyyy")) && format_.contains(QStringLiteral("yy")))
            date =
                QDate(yearOfTwoDigits(date.year() % 100, currentYear_), date.month(), date.day());
        return date.isValid();
    }

    struct MonthName {
        QString text;
        int month;
    };

    QLocale locale_;
    QString format_;
    int currentYear_;
    std::vector<Token> tokens_;
    bool tokensOk_ = true;
    std::vector<MonthName> monthNames_;  // the locale's, looked up once
};

// Reads the list's dates and times: the user's locale first (its short date, its long time),
// then ISO 8601 (yyyy-MM-dd) and the C locale's forms ("13 Apr 2024", 24-hour times), so that
// a file written in another session's locale still reads.
class DateTimeForms {
  public:
    DateTimeForms(const QLocale& locale, int currentYear)
        : locale_(locale), timeFormat_(longTimeFormatWithoutZone(locale)) {
        const QLocale c = QLocale::c();
        dates_.emplace_back(locale, locale.dateFormat(QLocale::ShortFormat), currentYear);
        dates_.emplace_back(c, QStringLiteral("yyyy-MM-dd"), currentYear);
        dates_.emplace_back(c, c.dateFormat(QLocale::ShortFormat), currentYear);
        dates_.emplace_back(c, c.dateFormat(QLocale::LongFormat), currentYear);
    }

    bool read(QStringView date, QStringView time, QDate& day, int& ms) const {
        ms = 0;
        if (!readDate(date.trimmed(), day) || !readTime(time.trimmed(), ms)) return false;
        if (ms >= kMsPerDay) {  // a fraction that rounded up to the next midnight
            day = day.addDays(1);
            ms -= kMsPerDay;
        }
        return day.isValid();
    }

    bool read(QStringView date, QStringView time, double& result) const {
        QDate day;
        int ms = 0;
        if (!read(date, time, day, ms)) return false;
        result = toSerialDateTime(day, QTime::fromMSecsSinceStartOfDay(ms));
        return true;
    }

    // The forms this reader takes, as examples: "31.12.2024, 2024-12-31 or 31 Dec 2024" and
    // "14:03:07 or 14:03:07.045" (or the locale's own time form).
    QString expectedForms() const {
        const QDate date(2024, 12, 31);
        const QTime time(14, 3, 7);
        QStringList dates{locale_.toString(date, shortDateFormat(locale_)),
                          date.toString(QStringLiteral("yyyy-MM-dd")),
                          QLocale::c().toString(date, QLocale::ShortFormat)};
        dates.removeDuplicates();
        QStringList times{locale_.toString(time, timeFormat_), QStringLiteral("14:03:07.045")};
        times.removeDuplicates();
        const auto alternatives = [](const QStringList& forms) {
            QStringList quoted;
            for (const QString& f : forms) quoted << u'"' + f + u'"';
            return quoted.size() < 2 ? quoted.join(QString())
                                     : quoted.mid(0, quoted.size() - 1).join(QStringLiteral(", ")) +
                                           QStringLiteral(" or ") + quoted.last();
        };
        return QStringLiteral("a date such as %1 and a time such as %2")
            .arg(alternatives(dates), alternatives(times));
    }

  private:
    // Rows mostly share their day: the last date read is kept with its text.
    bool readDate(QStringView text, QDate& date) const {
        if (!lastDateText_.isNull() && text == lastDateText_) {
            date = lastDate_;
            return true;
        }
        for (const DateForm& form : dates_) {
            if (form.read(text, date)) {
                lastDateText_ = text.toString();
                lastDate_ = date;
                return true;
            }
        }
        return false;
    }

    // hh:mm:ss with an optional fraction of the second, or the locale's long time.
    bool readTime(QStringView text, int& ms) const {
        if (readPlainTime(text, ms)) return true;
        QTime t = locale_.toTime(text.toString(), timeFormat_);
        if (!t.isValid()) {
            // Some locales put narrow or no-break blanks before AM/PM; files edited by hand or
            // written in an 8-bit encoding carry plain ones.
            QString format = timeFormat_;
            QString plain = text.toString();
            for (QChar blank : {QChar(0x202F), QChar(0x00A0)}) {
                format.replace(blank, u' ');
                plain.replace(blank, u' ');
            }
            t = locale_.toTime(plain, format);
        }
        if (!t.isValid()) return false;
        ms = t.msecsSinceStartOfDay();
        return true;
    }

    // hh:mm:ss, then optionally "." (or ",") and the milliseconds. The point text files write
    // the milliseconds as a whole number, "0" for a whole second and three digits otherwise,
    // and older files without leading zeros; so one to three digits are whole milliseconds
    // (".45" is 45 ms, ".045" too, ".100" is 100 ms). Four or more digits can only be a
    // decimal fraction of the second, rounded to the millisecond.
    static bool readPlainTime(QStringView text, int& ms) {
        qsizetype pos = 0;
        int h, m, s;
        if (!readNumber(text, pos, 2, h) || pos >= text.size() || text[pos] != u':') return false;
        const qsizetype minuteAt = ++pos;
        if (!readNumber(text, pos, 2, m) || pos != minuteAt + 2) return false;
        if (pos >= text.size() || text[pos] != u':') return false;
        const qsizetype secondAt = ++pos;
        if (!readNumber(text, pos, 2, s) || pos != secondAt + 2) return false;
        if (h > 23 || m > 59 || s > 59) return false;
        int milliseconds = 0;
        if (pos < text.size()) {
            if (text[pos] != u'.' && text[pos] != u',') return false;
            ++pos;
            int digits = 0;
            int tenthOfMs = 0;
            for (; pos < text.size() && isDigit(text[pos]); ++pos, ++digits) {
                const int digit = text[pos].unicode() - u'0';
                if (digits < 3)
                    milliseconds = milliseconds * 10 + digit;
                else if (digits == 3)
                    tenthOfMs = digit;
            }
            if (digits == 0 || pos != text.size()) return false;
            if (digits > 3 && tenthOfMs >= 5) ++milliseconds;
        }
        ms = ((h * 60 + m) * 60 + s) * 1000 + milliseconds;
        return true;
    }

    QLocale locale_;
    QString timeFormat_;
    std::vector<DateForm> dates_;
    mutable QString lastDateText_;
    mutable QDate lastDate_;
};

}  // namespace

ListLevelReader::ListLevelReader(const QLocale& locale) : locale_(locale), c_(QLocale::c()) {
    locale_.setNumberOptions(locale_.numberOptions() | QLocale::RejectGroupSeparator);
    c_.setNumberOptions(c_.numberOptions() | QLocale::RejectGroupSeparator);
    const QString decimal = locale_.decimalPoint();
    if (locale_.zeroDigit() == QLatin1String("0") && decimal.size() == 1)
        decimal_ = decimal[0].unicode();
}

namespace {

// A level written as the program writes it, "-12.5", "72,4" or "80": an optional minus, digits
// and at most one decimal mark (a point, or the locale's) followed by digits. Read exactly as the
// locale reads it (the nearest double, then a float): with at most 15 digits both the digits and
// the power of ten are exact doubles, and their quotient is the nearest double. Files hold
// millions of levels; any other form is left to the locale.
bool readPlainLevel(QStringView text, char16_t decimal, float& level) {
    constexpr int kMaxDigits = 15;
    static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    qsizetype i = 0;
    const bool negative = text[0] == u'-';
    if (negative) ++i;
    int64_t digits = 0;
    int count = 0;
    // The digits from i on, into `digits`; how many, or -1 beyond kMaxDigits in all.
    const auto readDigits = [&]() {
        const int before = count;
        for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
            if (++count > kMaxDigits) return -1;
            digits = digits * 10 + (text[i].unicode() - u'0');
        }
        return count - before;
    };
    if (readDigits() <= 0) return false;
    int fraction = 0;
    if (i < text.size() && (text[i] == u'.' || (decimal && text[i] == decimal))) {
        ++i;
        fraction = readDigits();
        if (fraction <= 0) return false;
    }
    if (i != text.size()) return false;
    const double v = double(digits) / kPowers[fraction];
    level = float(negative ? -v : v);
    return true;
}

}  // namespace

bool ListLevelReader::read(QStringView text, float& level) const {
    text = text.trimmed();
    if (text.isEmpty()) return false;
    if (readPlainLevel(text, decimal_, level)) return true;
    bool ok = false;
    float v = locale_.toFloat(text, &ok);
    if (!ok) v = c_.toFloat(text, &ok);
    if (!ok || !std::isfinite(v)) return false;
    level = v;
    return true;
}

struct ListDateTimeReader::Forms : DateTimeForms {
    using DateTimeForms::DateTimeForms;
};

ListDateTimeReader::ListDateTimeReader(const QLocale& locale, int currentYear)
    : forms_(std::make_unique<Forms>(locale, currentYear)) {}

ListDateTimeReader::~ListDateTimeReader() = default;

bool ListDateTimeReader::read(QStringView date, QStringView time, double& result) const {
    return forms_->read(date, time, result);
}

bool ListDateTimeReader::read(QStringView date, QStringView time, QDate& day, int& msOfDay) const {
    return forms_->read(date, time, day, msOfDay);
}

QString ListDateTimeReader::expectedForms() const {
    return forms_->expectedForms();
}

bool readListDateTime(const QString& date, const QString& time, const QLocale& locale,
                      double& result, int currentYear) {
    return ListDateTimeReader(locale, currentYear).read(date, time, result);
}

ListGraphPoints listGraphPoints(const ListTableModel& list, const QLocale& locale,
                                FileProgress* progress, int currentYear) {
    ListGraphPoints points;
    const int rows = list.rowCount();
    if (rows == 0 || list.cell(0, 1).isEmpty()) {
        points.error = QStringLiteral("No data to graph !");
        return points;
    }
    const ListDateTimeReader dates(locale, currentYear);
    constexpr double kNoTime = std::numeric_limits<double>::quiet_NaN();
    constexpr float kNoLevel = std::numeric_limits<float>::quiet_NaN();
    points.x.assign(size_t(rows), kNoTime);
    points.y.assign(size_t(rows), kNoLevel);
    const bool withLeq = list.hasLeqColumn();
    if (withLeq) points.leq.assign(size_t(rows), kNoLevel);
    const ListLevelReader levels(locale);
    ProgressPacer pacer(progress);
    int done = 0;
    for (int r = 0; r < rows; ++r) {
        if (pacer.cancelled()) break;
        pacer.lines(r + 1);
        done = r + 1;
        double t;
        if (!dates.read(list.cell(r, 1), list.cell(r, 2), t)) continue;
        if (points.readable++ == 0) points.first = t;
        points.last = t;
        points.x[size_t(r)] = t;
        float level;
        if (levels.read(list.cell(r, ListTableModel::kLevelColumn), level))
            points.y[size_t(r)] = level;
        if (withLeq && levels.read(list.cell(r, ListTableModel::kLevelColumn + 1), level))
            points.leq[size_t(r)] = level;
    }
    pacer.finish(done);
    if (points.readable == 0 && done == rows) {
        points.error = QStringLiteral(
                           "No row has a readable date and time, so there is nothing to graph. "
                           "Row 1 holds \"%1 %2\"; expected %3.")
                           .arg(list.cell(0, 1), list.cell(0, 2), dates.expectedForms());
    }
    return points;
}

}  // namespace kl516
