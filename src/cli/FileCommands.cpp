#include "cli/FileCommands.h"

#include "cli/CommandLine.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <algorithm>
#include <span>
#include <vector>

#include "dataset/SerialDateTime.h"
#include "formats/FileProgress.h"
#include "formats/ListTable.h"
#include "formats/PointText.h"
#include "formats/SafeWrite.h"
#include "formats/TableText.h"
#include "graph/GraphFile.h"
#include "graph/GraphState.h"
#include "platform/AppPaths.h"

namespace kl516 {

namespace {

enum class InputKind { Collection, Text, Graph, Unknown };

QString suffixOf(const QString& path) {
    return QFileInfo(path).suffix().toLower();
}

InputKind inputKind(const QString& path) {
    const QString s = suffixOf(path);
    if (s == QLatin1String("rec")) return InputKind::Collection;
    if (s == QLatin1String("txt") || s == QLatin1String("csv")) return InputKind::Text;
    if (s == QLatin1String("ghf")) return InputKind::Graph;
    return InputKind::Unknown;
}

bool isTextName(const QString& path) {
    const QString s = suffixOf(path);
    return s == QLatin1String("txt") || s == QLatin1String("csv");
}

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

// What the list does not keep of a text file's lines: whether they all end with the separator
// (a table text file, whose every cell is followed by it; a point text file's line ends with it
// only where its last level is missing), and the first of the lines read with more fields than
// the list's columns (0: none).
struct TextShape {
    bool table = false;
    qint64 wideLine = 0;
};

TextShape textShape(const QString& path, QChar separator, qint64 lines) {
    TextShape shape;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return shape;
    shape.table = lines > 0;
    for (qint64 n = 1; n <= lines && !file.atEnd(); ++n) {
        QString line = QString::fromLocal8Bit(file.readLine());
        while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r'))) line.chop(1);
        // A line cut short says nothing of how it ended.
        if (line.size() <= kMaxListLine && !line.endsWith(separator)) shape.table = false;
        line.truncate(kMaxListLine);
        const qsizetype fields = line.count(separator) + (line.endsWith(separator) ? 0 : 1);
        if (fields > ListTableModel::kColumns - 1) {
            shape.wideLine = n;
            break;
        }
    }
    return shape;
}

// Rewrites a fixed-point number in the decimals of the output; anything else stays as it is.
// The writers put no group separators in levels, so a number is digits, one decimal mark and
// digits.
QString convertDecimals(const QString& field, const QRegularExpression& number,
                        const QString& decimal) {
    const QRegularExpressionMatch m = number.match(field);
    if (!m.hasMatch() || m.capturedLength(2) == 0) return field;
    return m.captured(1) + decimal + m.captured(3);
}

int convertText(const QString& in, const QString& target, bool iso, QTextStream& out,
                QTextStream& err) {
    const QChar inSeparator = textFileSeparator(in);
    const QChar outSeparator = pointTextSeparator(target);
    ListTableModel list;
    const ListReadResult read = readTextIntoList(in, inSeparator, list);
    if (read.stop == ListReadStop::CannotOpen) {
        err << "error: cannot read " << in << ": " << readFailureReason(in) << "\n";
        return 1;
    }
    const QString readProblem = listReadMessage(read);
    if (read.lines == 0) {
        err << "error: " << in << " holds no line with a " << separatorName(inSeparator)
            << ": nothing to convert\n";
        if (!readProblem.isEmpty()) err << readProblem << "\n";
        return 1;
    }

    const TextShape shape = textShape(in, inSeparator, read.lines);
    if (shape.wideLine > 0) {
        err << "error: line " << shape.wideLine << " of " << in << " has more than "
            << ListTableModel::kColumns - 1
            << " fields, and convert keeps no more; nothing was written\n";
        return 1;
    }

    // Files are written in the system locale, or with points (--iso, the LEQ command).
    const QLocale system = QLocale::system();
    const QString inDecimal = system.decimalPoint();
    const QString outDecimal = iso ? QStringLiteral(".") : inDecimal;
    const QRegularExpression number(QStringLiteral("^([+-]?[0-9]+)(%1|\\.)?([0-9]*)$")
                                        .arg(QRegularExpression::escape(inDecimal)));

    std::vector<QStringList> rows;
    rows.reserve(size_t(list.rowCount()));
    qsizetype columns = 0;
    for (int r = 0; r < list.rowCount(); ++r) {
        // An empty field is kept where a later one follows; empty rests are no fields.
        int last = ListTableModel::kColumns - 1;
        while (last > 1 && list.cell(r, last).isEmpty()) --last;
        QStringList fields;
        for (int c = 1; c <= last; ++c) fields << list.cell(r, c);
        if (iso) {
            double t = 0;
            if (fields.size() < 2 || !readListDateTime(fields[0], fields[1], system, t)) {
                err << "error: line " << r + 1 << " of " << in << " has no readable date and "
                    << "time: \"" << fields.mid(0, 2).join(QLatin1Char(' '))
                    << "\"; nothing was written\n";
                return 1;
            }
            fields[0] = dateOf(t).toString(QStringLiteral("yyyy-MM-dd"));
            fields[1] = pointTextTime(t);
        }
        for (qsizetype c = 2; c < fields.size(); ++c)
            fields[c] = convertDecimals(fields[c], number, outDecimal);
        for (qsizetype c = 0; c < fields.size(); ++c) {
            if (fields[c].contains(outSeparator)) {
                err << "error: "
                    << separatorInFieldMessage(c + 1, r + 1, in, fields[c], outSeparator) << "\n";
                return 1;
            }
        }
        columns = std::max(columns, fields.size());
        rows.push_back(std::move(fields));
    }

    const bool written = writeWhole(
        target,
        [&](QIODevice& file) -> qint64 {
            if (shape.table) {
                // Every row gets the table's columns back, as the table wrote them.
                return writeTableText(
                    file, qint64(rows.size()),
                    [&](qint64 r) {
                        QStringList cells = rows[size_t(r)];
                        while (cells.size() < columns) cells << QString();
                        return cells;
                    },
                    outSeparator);
            }
            // A point without a level keeps its empty level fields.
            for (QStringList fields : rows) {
                while (fields.size() < columns) fields << QString();
                const QByteArray line = fields.join(outSeparator).toLocal8Bit() + "\r\n";
                if (file.write(line) != line.size()) return -1;
            }
            return qint64(rows.size());
        },
        err);
    if (!written) return 1;
    out << "wrote " << rows.size() << (rows.size() == 1 ? " line\n" : " lines\n");
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
    const size_t points = size_t(std::max(state.points, 0));
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
            lines = writePointText(file, times, levels, pointTextSeparator(target), locale,
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
    if (iso || pointTextSeparator(path) != QLatin1Char(',') ||
        locale.decimalPoint() != QLatin1String(","))
        return true;
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
    const InputKind kind = inputKind(in);
    if (kind == InputKind::Unknown)
        return cliWrongUse(
            err, convert,
            QStringLiteral("convert reads .rec, .txt, .csv or .ghf files, not ") + in);
    if (!isTextName(target))
        return cliWrongUse(err, convert,
                           QStringLiteral("convert writes .txt or .csv files, not ") + target);
    if (kind == InputKind::Collection && set.isEmpty())
        return cliWrongUse(err, convert,
                           QStringLiteral("convert needs --set N for a collection file"));
    if (kind != InputKind::Collection && !set.isEmpty())
        return cliWrongUse(err, convert, QStringLiteral("--set applies to collection files only"));
    if (!csvCanHoldDecimals(target, iso, QLocale::system(), err)) return kCliWrongUse;
    // Read first, then replace: IN may be OUT.
    switch (kind) {
        case InputKind::Collection:
            return exportSet(in, target);
        case InputKind::Text:
            return convertText(in, target, iso, out, err);
        case InputKind::Graph:
            return convertGraph(in, target, iso, out, err);
        case InputKind::Unknown:
            break;
    }
    return kCliWrongUse;
}

int runPathsCommand(QTextStream& out) {
    for (const QString& line : AppPaths::forRunningProgram().describe()) out << line << "\n";
    return 0;
}

}  // namespace kl516
