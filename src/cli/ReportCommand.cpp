#include "cli/ReportCommand.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>

#include "cli/AssessCommand.h"
#include "cli/FileCommands.h"
#include "dataset/WallClock.h"
#include "formats/SeriesReader.h"
#include "formats/TextDialect.h"
#include "graph/GraphFile.h"
#include "graph/GraphSeries.h"
#include "graph/GraphState.h"
#include "report/GraphDrawing.h"

namespace kl516 {

namespace {

// The graph drawn: a graph file's own state, or a series in the looks of a new graph window.
struct Input {
    GraphState state;
    QString title;
    int cursorA = -1, cursorB = -1;
    QString levelNote;  // which column is the level, where the file had more than one
};

// A text file's rows, read straight from the file, as a graph window shows them: the level
// against time, and beside it the running Leq of a file that has one.
int readText(const QString& in, Input& input, QTextStream& err) {
    const LocalClock clock;
    std::vector<double> times;
    std::vector<float> levels, leq;
    QFile file(in);
    if (file.open(QIODevice::ReadOnly)) {
        const size_t rows = size_t(file.size() / 24 + 1);  // a point line is some 25 bytes
        times.reserve(rows);
        levels.reserve(rows);
    }
    const TextSeriesRead read = readTextPoints(
        file, in, textFileSeparator(in), QLocale::system(), clock, [&](const TextPoint& p) {
            const double wall = p.exact ? clock.wallOf(p.seconds) : p.seconds;
            times.push_back(serialOfWallSeconds(wall));
            levels.push_back(std::isnan(p.level) ? kNullDataValueY : p.level);
            // The running Leq is kept for every row from the first that has one.
            if (!std::isnan(p.leq) && leq.empty()) leq.assign(levels.size() - 1, kNullDataValueY);
            if (!leq.empty()) leq.push_back(std::isnan(p.leq) ? kNullDataValueY : p.leq);
        });
    if (const int status = textSeriesStatus(read, in, err, QStringLiteral("nothing was drawn")))
        return status;
    input.state = seriesGraphState(std::move(times), std::move(levels), input.title);
    if (!leq.empty()) {
        GraphState& s = input.state;
        s.subsets = 2;
        s.x.push_back(s.x[0]);
        leq.resize(s.x[0].size(), kNullDataValueY);
        s.y.push_back(std::move(leq));
        labelRunningLeqSeries(s);
        MeasuredSeries named;
        named.levelColumn = kSplColumn.toString();
        input.levelNote = levelColumnNote(named);
    }
    return 0;
}

// The index of the point nearest to time t in the ascending times x.
int nearestPoint(const std::vector<double>& x, int n, double t) {
    const auto end = x.begin() + n;
    const auto it = std::lower_bound(x.begin(), end, t);
    if (it == end) return n - 1;
    const int i = int(it - x.begin());
    return i > 0 && t - x[size_t(i - 1)] < *it - t ? i - 1 : i;
}

int readGraph(const QString& in, Input& input, QTextStream& err) {
    const GraphFileRead read = readGraphFile(in, input.state);
    if (!read.ok) {
        err << "error: " << read.error << "\n";
        return 1;
    }
    const GraphState& s = input.state;
    const int n = graphSeriesLength(s);
    // The cursor lines saved with the graph mark the range of the between-cursor figures.
    if (s.showVertLineAnnotations && n > 1 && std::is_sorted(s.x[0].begin(), s.x[0].begin() + n)) {
        input.cursorA = nearestPoint(s.x[0], n, s.vertLineX[0]);
        input.cursorB = nearestPoint(s.x[0], n, s.vertLineX[1]);
    }
    if (s.subsets == 2) {
        MeasuredSeries named;
        named.levelColumn = kSplColumn.toString();
        input.levelNote = levelColumnNote(named);
    }
    if (input.state.mainTitle.trimmed().isEmpty() && !input.title.isEmpty())
        input.state.mainTitle = input.title;
    return 0;
}

// Reads IN: 0, or the exit status with the message on err.
int readInput(const CliArguments& a, const ReadCollectionSeries& readCollectionSeries, Input& input,
              QTextStream& err) {
    const CliCommand& command = *a.command;
    const QString in = a.positional.front();
    const std::optional<FileKind> kind = fileKindOf(in);
    if (!kind)
        return cliWrongUse(err, command,
                           QStringLiteral("%1 reads .rec, .txt, .csv or .ghf files, not %2")
                               .arg(QLatin1String(command.name), in));
    const bool collection = kind == FileKind::Collection;
    if (collection != a.isSet("set"))
        return cliWrongUse(err, command,
                           collection ? QStringLiteral("a collection file needs --set N")
                                      : QStringLiteral("--set applies to collection files only"));
    input.title = QFileInfo(in).fileName();
    if (collection) {
        bool ok = false;
        const int set = a.value("set").toInt(&ok);
        if (!ok)
            return cliWrongUse(err, command,
                               QStringLiteral("--set needs a number, not ") + a.value("set"));
        std::vector<double> times;
        std::vector<float> levels;
        if (const int status = readCollectionSeries(in, set, times, levels); status != 0)
            return status;
        input.title += QStringLiteral(", data set %1").arg(set);
        input.state = seriesGraphState(std::move(times), std::move(levels), input.title);
        return 0;
    }
    return kind == FileKind::Text ? readText(in, input, err) : readGraph(in, input, err);
}

bool canDraw(const GraphDrawing* drawing, QTextStream& err) {
    if (drawing) return true;
    err << "error: this kl516-cli was built without the graphical libraries and cannot draw\n";
    return false;
}

}  // namespace

int runPlotCommand(const CliArguments& a, QTextStream& out, QTextStream& err,
                   const ReadCollectionSeries& readCollectionSeries, const GraphDrawing* drawing) {
    const CliCommand& command = *a.command;
    const QString target = a.value("out");
    if (!graphImageKind(target))
        return cliWrongUse(err, command,
                           QStringLiteral("--out needs a .png, .svg or .pdf file, not ") + target);
    QSize size = kDefaultImageSize;
    if (a.isSet("size")) {
        static const QRegularExpression pattern(QStringLiteral("^([0-9]{1,5})[xX]([0-9]{1,5})$"));
        const QRegularExpressionMatch m = pattern.match(a.value("size"));
        if (!m.hasMatch())
            return cliWrongUse(err, command,
                               QStringLiteral("--size needs WIDTHxHEIGHT such as 1600x900, not ") +
                                   a.value("size"));
        size = QSize(m.captured(1).toInt(), m.captured(2).toInt());
        if (size.width() < 16 || size.height() < 16 || size.width() > 20000 ||
            size.height() > 20000)
            return cliWrongUse(
                err, command,
                QStringLiteral("--size takes 16 to 20000 pixels each way, not ") + a.value("size"));
    }
    Input input;
    if (const int status = readInput(a, readCollectionSeries, input, err); status != 0)
        return status;
    if (!outputWritable(target, err)) return 1;
    if (!canDraw(drawing, err)) return 1;
    if (const QString error = drawing->writeImage(std::move(input.state), target, size);
        !error.isEmpty()) {
        err << "error: " << error << "\n";
        return 1;
    }
    if (!input.levelNote.isEmpty()) out << input.levelNote << "\n";
    out << "wrote " << target << " (" << size.width() << " x " << size.height() << ")\n";
    return 0;
}

int runReportCommand(const CliArguments& a, QTextStream& out, QTextStream& err,
                     const ReadCollectionSeries& readCollectionSeries,
                     const GraphDrawing* drawing) {
    const CliCommand& command = *a.command;
    const QString target = a.value("out");
    if (QFileInfo(target).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) != 0)
        return cliWrongUse(err, command, QStringLiteral("--out needs a .pdf file, not ") + target);
    Input input;
    if (const int status = readInput(a, readCollectionSeries, input, err); status != 0)
        return status;
    if (!outputWritable(target, err)) return 1;
    if (!canDraw(drawing, err)) return 1;
    ReportRequest request;
    request.title = a.isSet("title") ? a.value("title") : input.title;
    request.source = QFileInfo(a.positional.front()).absoluteFilePath();
    request.cursorA = input.cursorA;
    request.cursorB = input.cursorB;
    request.includeSamples = a.isSet("samples");
    request.locale = QLocale::c();
    if (const QString error = drawing->writeReport(std::move(input.state), request, target);
        !error.isEmpty()) {
        err << "error: " << error << "\n";
        return 1;
    }
    if (!input.levelNote.isEmpty()) out << input.levelNote << "\n";
    out << "wrote " << target << "\n";
    return 0;
}

}  // namespace kl516
