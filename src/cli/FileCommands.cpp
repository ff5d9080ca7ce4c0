#include "cli/FileCommands.h"

#include "cli/CommandLine.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "dataset/SerialDateTime.h"
#include "formats/FileProgress.h"
#include "formats/ListTable.h"
#include "formats/PointText.h"
#include "formats/SafeWrite.h"
#include "formats/SeriesReader.h"
#include "formats/TableText.h"
#include "formats/TextDialect.h"
#include "graph/GraphFile.h"
#include "graph/GraphSeries.h"
#include "graph/GraphState.h"
#include "platform/AppPaths.h"

namespace kl516 {

namespace {

QString separatorName(QChar separator) {
    return separator == QLatin1Char(',') ? QStringLiteral("comma") : QStringLiteral("tab");
}

// Replaces path with what write puts into it, all or nothing; write returns -1 when it failed.
// False, with the reason on err, when the file could not be written.
bool writeWhole(const QString& path, const std::function<qint64(QIODevice&)>& write,
                QTextStream& err) {
    QSaveFile file(path);
    QString reason;
    if (!file.open(QIODevice::WriteOnly)) {
        reason = file.errorString();
    } else if (write(file) < 0) {
        reason = file.errorString();
        file.cancelWriting();
        file.commit();
    } else if (commitFully(file, &reason)) {
        return true;
    }
    err << "error: " << fileWriteError(path, reason) << "\n";
    return false;
}

// Bytes of the file being written, passed on in large blocks. After a failed open or write
// the rest is dropped, so that the conversion still meets (and reports first) a line it cannot
// convert, as it would before writing anything.
class ConvertedText {
  public:
    explicit ConvertedText(const QString& path)
        : file_(path), bytes_(std::make_unique_for_overwrite<char[]>(size_t(kBlock))) {}

    void append(const char* data, qsizetype size) {
        if (used_ + size > kBlock) flush();
        if (size > kBlock) {  // more than a block: written as it is
            write(data, size);
            return;
        }
        std::memcpy(bytes_.get() + used_, data, size_t(size));
        used_ += size;
    }
    void append(char c) {
        if (used_ == kBlock) flush();
        bytes_[size_t(used_++)] = c;
    }
    // Text in the local 8-bit encoding; ASCII as it is.
    void append(QStringView text) {
        if (used_ + text.size() > kBlock) flush();
        if (text.size() <= kBlock) {
            char* out = bytes_.get() + used_;
            qsizetype i = 0;
            while (i < text.size() && text[i].unicode() < 0x80) {
                out[i] = char(text[i].unicode());
                ++i;
            }
            if (i == text.size()) {
                used_ += i;
                return;
            }
        }
        const QByteArray encoded = text.toLocal8Bit();
        append(encoded.constData(), encoded.size());
    }
    void endLine() { append(kTextLineEnd, qsizetype(sizeof kTextLineEnd - 1)); }

    // Drops the new file; the earlier one stays.
    void discard() {
        if (file_.isOpen()) {
            file_.cancelWriting();
            file_.commit();
        }
    }

    // Writes the rest and replaces the file; false with the reason when that failed.
    bool commit(QString& reason) {
        flush();
        if (!failed_) {
            if (commitFully(file_, &reason)) return true;
        } else {
            reason = reason_;
            discard();
        }
        return false;
    }

  private:
    static constexpr qsizetype kBlock = 256 * 1024;

    void flush() {
        write(bytes_.get(), used_);
        used_ = 0;
    }
    void write(const char* data, qsizetype size) {
        if (!failed_ && !file_.isOpen() && !file_.open(QIODevice::WriteOnly)) fail();
        if (!failed_ && file_.write(data, size) != size) fail();
    }
    void fail() {
        failed_ = true;
        reason_ = file_.errorString();
    }

    QSaveFile file_;
    std::unique_ptr<char[]> bytes_;
    qsizetype used_ = 0;
    bool failed_ = false;
    QString reason_;
};

// A line's fields as the list keeps them: empty ones are kept where a later one follows; empty
// rests are no fields, but the first always counts.
qsizetype keptFields(std::span<const QStringView> fields) {
    qsizetype last = qsizetype(fields.size());
    while (last > 1 && fields[size_t(last - 1)].isEmpty()) --last;
    return std::max<qsizetype>(last, 1);
}

// A fixed-point number (sign, digits, the decimal mark of the input or a point, digits) with
// the output's decimal mark; anything else stays as it is. The writers put no group separators
// in levels.
void appendWithDecimals(ConvertedText& out, QStringView field, QStringView inDecimal,
                        const QByteArray& outDecimal, QString* converted) {
    qsizetype pos = 0;
    if (pos < field.size() && (field[pos] == u'+' || field[pos] == u'-')) ++pos;
    const qsizetype digitsAt = pos;
    while (pos < field.size() && field[pos] >= u'0' && field[pos] <= u'9') ++pos;
    const qsizetype markAt = pos;
    qsizetype mark = 0;
    if (pos > digitsAt && pos < field.size()) {
        if (!inDecimal.isEmpty() && field.sliced(pos).startsWith(inDecimal))
            mark = inDecimal.size();
        else if (field[pos] == u'.')
            mark = 1;
    }
    pos += mark;
    while (pos < field.size() && field[pos] >= u'0' && field[pos] <= u'9') ++pos;
    if (mark == 0 || pos != field.size()) {
        out.append(field);
        if (converted) *converted = field.toString();
        return;
    }
    out.append(field.first(markAt));
    out.append(outDecimal.constData(), outDecimal.size());
    out.append(field.sliced(markAt + mark));
    if (converted)
        *converted = field.first(markAt).toString() + QString::fromLocal8Bit(outDecimal) +
                     field.sliced(markAt + mark).toString();
}

// "yyyy-MM-dd" of a day; the text of the last day is kept, as rows mostly share their day.
class IsoDates {
  public:
    QByteArrayView text(QDate day) {
        if (day != day_ || text_.isEmpty()) {
            day_ = day;
            int y = 0, m = 0, d = 0;
            day.getDate(&y, &m, &d);
            if (y < 1000 || y > 9999) {
                text_ = day.toString(QStringLiteral("yyyy-MM-dd")).toLocal8Bit();
            } else {
                char digits[] = "0000-00-00";
                digits[0] = char('0' + y / 1000);
                digits[1] = char('0' + y / 100 % 10);
                digits[2] = char('0' + y / 10 % 10);
                digits[3] = char('0' + y % 10);
                digits[5] = char('0' + m / 10);
                digits[6] = char('0' + m % 10);
                digits[8] = char('0' + d / 10);
                digits[9] = char('0' + d % 10);
                text_ = QByteArray(digits, 10);
            }
        }
        return text_;
    }

  private:
    QDate day_;
    QByteArray text_;
};

// How every line is written: as a table text line (every cell followed by the separator) when
// all lines end with the separator (a point text file's line ends with it only where its last
// level is missing), and padded to the widest line's fields.
struct TextShape {
    bool table = true;
    qsizetype columns = 0;
    bool operator==(const TextShape&) const = default;
};

// What one pass over the file met: the lines the list takes and where reading stopped, their
// shape, the first line with more fields than the list's columns (0: none), and the first line
// that cannot be converted (its message; the file is then not written).
struct ConvertPass {
    ListReadResult read;
    TextShape shape;
    TextShape written;  // the shape the lines were written in
    qint64 wideLine = 0;
    QString lineError;
};

// Converts the lines of in into text, written in the given shape, or in the shape of the first
// line when none is given (right unless a later line is wider or a table line is followed by
// a point line). After a line that cannot be converted the rest is only looked at for a wide
// line, which is reported first.
ConvertPass convertLines(QIODevice& in, const QString& source, QChar inSeparator,
                         QChar outSeparator, bool iso, std::optional<TextShape> given,
                         ConvertedText& text) {
    // Files are written in the system locale, or with points (--iso, the LEQ command).
    const QLocale system = QLocale::system();
    const QString inDecimal = system.decimalPoint();
    const QByteArray outDecimal = iso ? QByteArray(".") : inDecimal.toLocal8Bit();
    const bool decimalHoldsSeparator =
        decimalsSplitFields(outSeparator, QString::fromLocal8Bit(outDecimal));
    const char separator = char(outSeparator.unicode());  // a tab or a comma
    const ListDateTimeReader dates(system);
    IsoDates isoDates;
    QString converted;
    ConvertPass pass;
    // A spreadsheet CSV comes with its times as the program's date and time fields.
    const LocalClock clock;
    TextRowReader reader(in, inSeparator, system, clock);
    const bool spreadsheet = reader.dialect() == TextDialect::SpreadsheetCsv;
    while (reader.next()) {
        const qint64 r = pass.read.lines++;
        const std::span<const QStringView> fields = reader.fields();
        const qsizetype kept = keptFields(fields);
        // A line cut short says nothing of how it ended.
        QStringView line = reader.line();
        while (line.endsWith(u'\r')) line.chop(1);
        const bool tableLine = !spreadsheet && (reader.cut() || line.endsWith(inSeparator));
        pass.shape.table = pass.shape.table && tableLine;
        pass.shape.columns = std::max(pass.shape.columns, kept);
        if (reader.fieldCount() > ListTableModel::kColumns - 1) {
            pass.wideLine = reader.lineNumber();
            text.discard();
            return pass;
        }
        if (r == 0) pass.written = given ? *given : TextShape{tableLine, kept};
        const TextShape& shape = pass.written;
        if (!pass.lineError.isEmpty()) continue;

        const auto field = [&](qsizetype c) {
            return c < qsizetype(fields.size()) ? fields[size_t(c)] : QStringView();
        };
        const auto refuse = [&](qsizetype c, const QString& shown) {
            pass.lineError =
                separatorInFieldMessage(c + 1, reader.lineNumber(), source, shown, outSeparator);
            text.discard();
        };
        qsizetype c = 0;
        if (iso) {
            QDate day;
            int ms = 0;
            if (kept < 2 || !dates.read(field(0), field(1), day, ms)) {
                pass.lineError =
                    QStringLiteral(
                        "line %1 of %2 has no readable date and time: \"%3\"; nothing "
                        "was written")
                        .arg(QString::number(reader.lineNumber()), source,
                             kept < 2 ? field(0).toString()
                                      : field(0).toString() + u' ' + field(1).toString());
                text.discard();
                continue;
            }
            const QByteArrayView date = isoDates.text(day);
            text.append(date.data(), date.size());
            text.append(separator);
            char time[12];
            text.append(time, pointTextTime(ms, time));
            c = 2;
        }
        for (; c < kept && pass.lineError.isEmpty(); ++c) {
            if (c > 0) text.append(separator);
            const QStringView f = field(c);
            if (c < 2) {
                if (f.contains(outSeparator))
                    refuse(c, f.toString());
                else
                    text.append(f);
                continue;
            }
            // Only a field that may split is looked at as text.
            const bool check = decimalHoldsSeparator || f.contains(outSeparator);
            appendWithDecimals(text, f, inDecimal, outDecimal, check ? &converted : nullptr);
            if (check && converted.contains(outSeparator)) refuse(c, converted);
        }
        if (!pass.lineError.isEmpty()) continue;
        // Every row gets the widest row's columns: a table's cells each followed by the
        // separator, a point's missing levels as empty fields.
        for (; c < shape.columns; ++c) text.append(separator);
        if (shape.table) text.append(separator);
        text.endLine();
    }
    pass.read.stop = reader.stop();
    pass.read.fileLine = reader.stopLine();
    if (pass.read.lines == 0) pass.shape.table = false;
    return pass;
}

// Streams the file into the new one, holding no more than a block of either. The lines are
// written in the shape of the first; a file whose later lines differ is converted once more in
// the shape of all.
int convertText(const QString& in, const QString& target, bool iso, QTextStream& out,
                QTextStream& err) {
    const QChar inSeparator = textFileSeparator(in);
    const QChar outSeparator = textFileSeparator(target);
    QFile file(in);
    if (!file.open(QIODevice::ReadOnly)) {
        err << "error: cannot read " << in << ": " << readFailureReason(in) << "\n";
        return 1;
    }
    auto text = std::make_unique<ConvertedText>(target);
    ConvertPass pass = convertLines(file, in, inSeparator, outSeparator, iso, std::nullopt, *text);
    const ListReadResult& read = pass.read;
    const QString readProblem = listReadMessage(read);
    if (read.lines == 0) {
        err << "error: " << in << " holds no line with a " << separatorName(inSeparator)
            << ": nothing to convert\n";
        if (!readProblem.isEmpty()) err << readProblem << "\n";
        return 1;
    }
    if (pass.wideLine > 0) {
        err << "error: line " << pass.wideLine << " of " << in << " has more than "
            << ListTableModel::kColumns - 1
            << " fields, and convert keeps no more; nothing was written\n";
        return 1;
    }
    if (!pass.lineError.isEmpty()) {
        err << "error: " << pass.lineError << "\n";
        return 1;
    }
    if (!(pass.written == pass.shape)) {
        text->discard();
        text = std::make_unique<ConvertedText>(target);
        QFile again(in);
        if (!again.open(QIODevice::ReadOnly)) {
            err << "error: cannot read " << in << ": " << readFailureReason(in) << "\n";
            return 1;
        }
        convertLines(again, in, inSeparator, outSeparator, iso, pass.shape, *text);
    }
    QString reason;
    if (!text->commit(reason)) {
        err << "error: " << fileWriteError(target, reason) << "\n";
        return 1;
    }
    out << "wrote " << read.lines << (read.lines == 1 ? " line\n" : " lines\n");
    if (!readProblem.isEmpty()) {
        err << "error: " << in << " was not read to its end: " << readProblem << "\n";
        return 1;
    }
    return 0;
}

int convertGraph(const QString& in, const QString& target, bool iso, QTextStream& out,
                 QTextStream& err) {
    GraphState state;
    const GraphFileRead read = readGraphFile(in, state);
    if (!read.ok) {
        err << "error: " << read.error << "\n";
        return 1;
    }
    // The series as long as the graph's point count says.
    const size_t points = size_t(graphSeriesLength(state));
    const auto clip = [&](const auto& v) {
        return std::span(v.data(), std::min(v.size(), points));
    };
    const std::span<const double> times =
        state.x.empty() ? std::span<const double>() : clip(state.x[0]);
    const std::span<const float> levels =
        state.y.empty() ? std::span<const float>() : clip(state.y[0]);
    const std::span<const float> levels2 =
        state.subsets == 2 && state.y.size() >= 2 ? clip(state.y[1]) : std::span<const float>();
    const QLocale locale = iso ? QLocale::c() : QLocale::system();
    qint64 lines = 0;
    const bool written = writeWhole(
        target,
        [&](QIODevice& file) {
            lines = writePointText(file, times, levels, textFileSeparator(target), locale,
                                   iso ? PointDateStyle::Iso : PointDateStyle::Locale, levels2);
            return lines;
        },
        err);
    if (!written) return 1;
    out << "wrote " << lines << (lines == 1 ? " point" : " points")
        << (levels2.empty() ? "\n" : " of two series\n");
    return 0;
}

}  // namespace

bool csvCanHoldDecimals(const QString& path, bool iso, const QLocale& locale, QTextStream& err,
                        const QString& remedy) {
    if (iso || !decimalCommaClash(path, locale.decimalPoint())) return true;
    err << "error: the system's decimal separator is a comma (" << locale.name()
        << "), and a comma-separated file cannot hold comma decimals: " << remedy
        << "; nothing was written\n";
    return false;
}

bool outputWritable(const QString& path, QTextStream& err) {
    // The writers replace files through QSaveFile: opening one, without committing, meets
    // every refusal the write would meet (no folder, a folder that takes no new file, a
    // read-only file, a folder of that name) and leaves the file as it was.
    QSaveFile probe(path);
    if (probe.open(QIODevice::WriteOnly)) {
        probe.cancelWriting();
        return true;
    }
    err << "error: " << fileWriteError(path, probe.errorString()) << "\n";
    return false;
}

QString readFailureReason(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir()) return QStringLiteral("it is a folder");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return file.errorString();
    char byte = 0;
    if (file.read(&byte, 1) < 0) return file.errorString();
    return QStringLiteral("read error");
}

int runConvertCommand(const QString& in, const QString& target, const QString& set, bool iso,
                      QTextStream& out, QTextStream& err, const ExportCollectionSet& exportSet) {
    const CliCommand& convert = *findCliCommand(QStringLiteral("convert"));
    const std::optional<FileKind> kind = fileKindOf(in);
    if (!kind)
        return cliWrongUse(
            err, convert,
            QStringLiteral("convert reads .rec, .txt, .csv or .ghf files, not ") + in);
    if (fileKindOf(target) != FileKind::Text)
        return cliWrongUse(err, convert,
                           QStringLiteral("convert writes .txt or .csv files, not ") + target);
    if (kind == FileKind::Collection && set.isEmpty())
        return cliWrongUse(err, convert,
                           QStringLiteral("convert needs --set N for a collection file"));
    if (kind != FileKind::Collection && !set.isEmpty())
        return cliWrongUse(err, convert, QStringLiteral("--set applies to collection files only"));
    if (!csvCanHoldDecimals(target, iso, QLocale::system(), err)) return kCliWrongUse;
    // Read first, then replace: IN may be OUT.
    switch (*kind) {
        case FileKind::Collection:
            return exportSet(in, target);
        case FileKind::Text:
            return convertText(in, target, iso, out, err);
        case FileKind::Graph:
            return convertGraph(in, target, iso, out, err);
    }
    return kCliWrongUse;
}

int runPathsCommand(QTextStream& out) {
    for (const QString& line : AppPaths::forRunningProgram().describe()) out << line << "\n";
    return 0;
}

}  // namespace kl516
