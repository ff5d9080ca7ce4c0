#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <cmath>

#include "dataset/SerialDateTime.h"
#include "graph/ui/GraphWindow.h"
#include "report/PdfText.h"
#include "report/ui/GraphRender.h"
#include "report/ui/MeasurementReport.h"
#include "support/FakeGraphHost.h"

using namespace kl516;
using test::PdfPage;
using test::PdfWord;

namespace {

const SerialDateTime kStart = toSerialDateTime(QDate(2024, 4, 13), QTime(9, 20, 31));

// A varied series: a slow swing, some texture and every 50th sample missed.
std::vector<float> surveyLevels(int n) {
    std::vector<float> levels;
    for (int i = 0; i < n; ++i) {
        const double v = 45 + 20 * std::sin(i / 17.0) + (i * 7919 % 13) * 0.7;
        levels.push_back(i % 50 == 49 ? kNullLevel : float(std::round(v * 10) / 10));
    }
    return levels;
}

struct ReportTest : ::testing::Test {
    QTemporaryDir dir;
    test::FakeGraphHost host;
    std::unique_ptr<GraphWindow> graph;
    std::vector<float> levels;

    void SetUp() override {
        host.folder = dir.path();
        host.userFolder = dir.filePath(QStringLiteral("user"));
        graph = std::make_unique<GraphWindow>(host);
        graph->resize(GraphWindow::kClientWidth, GraphWindow::kClientHeight);
        graph->setCaption(QStringLiteral("Night survey"));
        graph->show();
    }

    void fill(int n, double stepSeconds = 1) {
        levels = surveyLevels(n);
        graph->setUpGraph(1, 130, 30, kStart + (n - 1) * stepSeconds * kOneSecond, kStart, n);
        for (int i = 0; i < n; ++i) {
            graph->graphView->setXValue(0, i, kStart + i * stepSeconds * kOneSecond);
            graph->graphView->setYValue(0, i, levels[size_t(i)]);
        }
        graph->updateGraphStatistic();
        graph->redraw();
    }
    void annotate(double seconds, const QString& text) {
        graph->graphView->editProperties([&](GraphState& s) {
            s.annotations.push_back(
                {2, kStart + seconds * kOneSecond, 60, text, makeArgb(255, 0, 255, 0)});
            s.showGraphAnnotations = true;
        });
        graph->redraw();
    }
};

const QRegularExpression kNumber(QStringLiteral("^[0-9]+$"));
const QRegularExpression kClock(QStringLiteral("^[0-9]{1,2}:[0-9]{2}(:[0-9]{2}(\\.[0-9])?)?$"));

}  // namespace

// The printed graph page keeps the screen's proportions: every tick label, both cursor labels,
// the note and the caption are there whole, on the page, apart, in a legible size.
TEST_F(ReportTest, APrintedGraphPageIsLegible) {
    fill(900);
    annotate(400, QStringLiteral("Lorry passing"));
    const QString pdf = dir.filePath(QStringLiteral("graph.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    printer.setPageOrientation(QPageLayout::Landscape);
    ASSERT_TRUE(printGraphPage(*graph->graphView, printer, graph->caption(),
                               QDateTime(QDate(2024, 4, 14), QTime(10, 0))));

    const std::vector<PdfPage> pages = test::pdfPages(pdf);
    ASSERT_EQ(pages.size(), 1u);
    const PdfPage& page = pages[0];
    EXPECT_GT(page.width, page.height);  // landscape
    const QString all = page.texts().join(QLatin1Char(' '));
    for (const QString& expected :
         {QStringLiteral("Night survey"), QStringLiteral("Printed 2024-04-14 10:00:00"),
          QStringLiteral("Page 1 of 1"), QStringLiteral("Lorry passing"), QStringLiteral("Time"),
          QStringLiteral("dB")})
        EXPECT_TRUE(all.contains(expected))
            << expected.toStdString() << " in " << all.toStdString();
    for (int line = 0; line < 2; ++line) {
        const QStringList label = graph->graphView->vertLineLabelLines(line);
        ASSERT_EQ(label.size(), 2);
        for (const QString& text : label)
            EXPECT_TRUE(page.texts().contains(text)) << "cursor label " << text.toStdString();
    }

    // The Y ticks: a whole ladder of numbers from the bottom of the scale to its top.
    std::vector<int> yTicks;
    std::vector<PdfWord> ticks;
    for (const PdfWord& w : page.words) {
        if (kNumber.match(w.text).hasMatch() && w.text.toInt() >= 30 && w.text.toInt() <= 130) {
            yTicks.push_back(w.text.toInt());
            ticks.push_back(w);
        } else if (kClock.match(w.text).hasMatch() &&
                   !graph->graphView->vertLineLabelLines(0).contains(w.text) &&
                   !graph->graphView->vertLineLabelLines(1).contains(w.text)) {
            ticks.push_back(w);
        }
    }
    std::sort(yTicks.begin(), yTicks.end());
    ASSERT_GE(yTicks.size(), 4u);
    EXPECT_LE(yTicks.front(), 40);
    EXPECT_GE(yTicks.back(), 120);
    for (size_t i = 2; i < yTicks.size(); ++i)
        EXPECT_EQ(yTicks[i] - yTicks[i - 1], yTicks[1] - yTicks[0]) << "a Y tick is missing";
    EXPECT_GE(ticks.size() - yTicks.size(), 3u) << "time ticks";
    for (const PdfWord& w : ticks) {
        // A font's box is about 1.16 times its size (ascent plus descent).
        EXPECT_GE(w.height() / 1.17, 6) << w.text.toStdString();
        EXPECT_LE(w.height() / 1.17, 12) << w.text.toStdString();
    }
    for (size_t i = 0; i < page.words.size(); ++i) {
        const PdfWord& a = page.words[i];
        EXPECT_TRUE(a.left >= 0 && a.top >= 0 && a.right <= page.width && a.bottom <= page.height)
            << a.text.toStdString() << " leaves the page";
        for (size_t j = i + 1; j < page.words.size(); ++j)
            EXPECT_FALSE(a.overlaps(page.words[j]))
                << a.text.toStdString() << " overlaps " << page.words[j].text.toStdString();
    }
}

TEST_F(ReportTest, TheGraphIsWrittenAsAPictureOfTheChosenKindAndSize) {
    fill(900);
    const struct {
        const char* name;
        QSize size;
    } cases[] = {{"graph.png", {1600, 900}},
                 {"graph.PNG", {400, 300}},
                 {"graph.svg", {800, 450}},
                 {"graph.pdf", {1600, 900}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QLatin1String(c.name));
        ASSERT_EQ(writeGraphImage(*graph->graphView, path, c.size), QString());
        switch (*graphImageKind(path)) {
            case GraphImageKind::Png: {
                const QImage image(path);
                ASSERT_EQ(image.size(), c.size);
                // The series' yellow line and the black plotting area are both in the picture.
                int yellow = 0, black = 0;
                for (int y = 0; y < image.height(); y += 2)
                    for (int x = 0; x < image.width(); x += 2) {
                        const QRgb p = image.pixel(x, y);
                        // The line is drawn smoothed: yellowish is yellow.
                        yellow += qRed(p) > 180 && qGreen(p) > 180 && qBlue(p) < 100;
                        black += p == qRgb(0, 0, 0);
                    }
                EXPECT_GT(yellow, 50);
                EXPECT_GT(black, image.width() * image.height() / 4 / 4);
                break;
            }
            case GraphImageKind::Svg: {
                QSvgRenderer svg(path);
                ASSERT_TRUE(svg.isValid());
                EXPECT_EQ(svg.viewBox(), QRect(QPoint(0, 0), c.size));
                break;
            }
            case GraphImageKind::Pdf: {
                const std::vector<PdfPage> pages = test::pdfPages(path);
                ASSERT_EQ(pages.size(), 1u);
                // 96 pixels to the inch: 1600 x 900 pixels are 1200 x 675 points.
                EXPECT_NEAR(pages[0].width, c.size.width() * 0.75, 1);
                EXPECT_NEAR(pages[0].height, c.size.height() * 0.75, 1);
                EXPECT_TRUE(pages[0].texts().contains(QStringLiteral("dB")));
                break;
            }
        }
    }
    // Neither an unknown kind nor an impossible size writes a file.
    EXPECT_NE(
        writeGraphImage(*graph->graphView, dir.filePath(QStringLiteral("graph.bmp")), {800, 600}),
        QString());
    EXPECT_NE(
        writeGraphImage(*graph->graphView, dir.filePath(QStringLiteral("tiny.png")), {8, 600}),
        QString());
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("graph.bmp"))));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("tiny.png"))));
    // The window's graph is laid out for the screen again.
    EXPECT_EQ(graph->graphView->plottingArea().width() < graph->graphView->width(), true);
}

namespace {

// The figures, worked out apart from the program: Lmax, Lmin, Leq, L10, L50, L90 (nearest rank)
// and SEL of the samples lo..hi that hold a level, one decimal each.
QStringList independentFigures(const std::vector<float>& levels, int lo, int hi) {
    QString input;
    for (int i = lo; i <= hi; ++i)
        input += levels[size_t(i)] == kNullLevel
                     ? QStringLiteral("nan\n")
                     : QString::asprintf("%.9g\n", double(levels[size_t(i)]));
    const char* script = R"(
import math, sys
v = [float(x) for x in sys.stdin.read().split() if x != 'nan']
leq = 10 * math.log10(sum(10 ** (x / 10) for x in v) / len(v))
s = sorted(v)
def ln(n): return s[max(math.ceil((100 - n) / 100 * len(s)) - 1, 0)]
sel = leq + 10 * math.log10(max(len(v), 1))
print(' '.join('%.1f' % x for x in (max(v), min(v), leq, ln(10), ln(50), ln(90), sel)))
)";
    QProcess p;
    p.start(QStringLiteral("python3"), {QStringLiteral("-c"), QString::fromLatin1(script)});
    p.write(input.toLatin1());
    p.closeWriteChannel();
    EXPECT_TRUE(p.waitForFinished(30000));
    return QString::fromLatin1(p.readAllStandardOutput()).simplified().split(QLatin1Char(' '));
}

// The figures of one row of the report's "Levels" table ("Leq 56.1 dB 57.3 dB"): the numbers.
QStringList reportRow(const QString& page, const QString& name) {
    for (const QString& line : page.split(QLatin1Char('\n'))) {
        const QString t = line.trimmed();
        if (!t.startsWith(name + QLatin1Char(' '))) continue;
        QStringList numbers;
        static const QRegularExpression level(QStringLiteral("([0-9]+\\.[0-9]) dB"));
        auto it = level.globalMatch(t);
        while (it.hasNext()) numbers << it.next().captured(1);
        return numbers;
    }
    return {};
}

}  // namespace

TEST_F(ReportTest, TheReportsFiguresAreThePanelsAndAgreeWithAnIndependentComputation) {
    fill(900);
    annotate(400, QStringLiteral("Lorry passing"));
    const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
    ReportRequest request;
    request.title = graph->caption();
    request.source = QStringLiteral("survey.rec");
    request.cursorA = graph->cursorA();
    request.cursorB = graph->cursorB();
    ASSERT_EQ(writeMeasurementReport(*graph->graphView, request, pdf), QString());
    const QStringList pages = test::pdfLayoutPages(pdf);
    ASSERT_GE(pages.size(), 2);  // the interval levels follow page 1
    const QString first = pages[0];
    for (const char* expected :
         {"Source: survey.rec", "Start: 2024-04-13 09:20:31", "End: 2024-04-13 09:35:30",
          "Duration: 00:14:59", "Sampling rate: 1.0 s", "Samples: 900, of which missing: 18",
          "Lorry passing", "2024-04-13 09:27:11"})
        EXPECT_TRUE(first.contains(QLatin1String(expected))) << expected << "\n"
                                                             << first.toStdString();

    const QStringList whole = independentFigures(levels, 0, 899);
    const QStringList between = independentFigures(levels, graph->cursorA(), graph->cursorB());
    ASSERT_EQ(whole.size(), 7);
    ASSERT_EQ(between.size(), 7);
    const char* names[] = {"Lmax", "Lmin", "Leq", "L10", "L50", "L90", "SEL"};
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(reportRow(first, QLatin1String(names[i])), (QStringList{whole[i], between[i]}));
    }
    // The panel shows the same between the cursors.
    const std::pair<const char*, QLineEdit*> panel[] = {
        {"Lmax", graph->betweenCursorsMaximum}, {"Lmin", graph->betweenCursorsMinimum},
        {"Leq", graph->betweenCursorsLeq},      {"L10", graph->betweenCursorsL10},
        {"L50", graph->betweenCursorsL50},      {"L90", graph->betweenCursorsL90}};
    for (const auto& [name, field] : panel)
        EXPECT_EQ(reportRow(first, QLatin1String(name)).value(1), field->text()) << name;
    EXPECT_EQ(reportRow(first, QStringLiteral("Lmax")).value(0), graph->seriesMaximum->text());
    EXPECT_EQ(reportRow(first, QStringLiteral("Lmin")).value(0), graph->seriesMinimum->text());

    // With the cursors at the ends there is one column of figures.
    graph->placeCursor(0, 0);
    const ReportFigures atEnds = reportFigures(graph->graphView->state(), 0, 899);
    EXPECT_FALSE(atEnds.cursors.has_value());
    EXPECT_EQ(atEnds.whole.levels, 882);
}

TEST_F(ReportTest, IntervalsAndSamplesFollowInLinedUpTablesOnNumberedPages) {
    fill(3 * 3600, 2);  // six hours
    const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
    ReportRequest request;
    request.title = graph->caption();
    request.includeSamples = true;
    request.assessment.intervalSeconds = 3600;
    ASSERT_EQ(writeMeasurementReport(*graph->graphView, request, pdf), QString());
    const std::vector<PdfPage> pages = test::pdfPages(pdf);
    ASSERT_GT(pages.size(), 3u);
    const QString total = QString::number(pages.size());
    for (size_t p = 0; p < pages.size(); ++p) {
        const QString footer = QStringLiteral("Page %1 of %2").arg(p + 1).arg(total);
        EXPECT_TRUE(pages[p].texts().join(QLatin1Char(' ')).contains(footer))
            << footer.toStdString();
    }
    const QStringList text = test::pdfLayoutPages(pdf);
    // Six whole hours of levels per hour: 09:00 .. 15:00, the first and last partly covered.
    EXPECT_TRUE(text[1].contains(QLatin1String("levels in intervals of 1 h")))
        << text[1].toStdString();
    EXPECT_TRUE(text[1].contains(QRegularExpression(
        QStringLiteral("2024-04-13 10:00\\s+2024-04-13 11:00\\s+[0-9]+\\.[0-9]"))));

    // A page of samples: numbers, times and levels in columns that share their left edges, the
    // column titles over them on every page of the table.
    const PdfPage& samples = pages[pages.size() - 2];
    // Columns: number, date and time (two words), level.
    std::vector<double> lefts[4];
    double rights[4] = {0, 0, 0, 0};
    double titleLeft[3] = {-1, -1, -1};
    const QRegularExpression level(QStringLiteral("^[0-9]+\\.[0-9]$"));
    for (const PdfWord& w : samples.words) {
        if (w.top < 40 || w.bottom > samples.height - 40) continue;  // the header and footer
        if (w.text == QLatin1String("No")) titleLeft[0] = w.left;
        if (w.text == QLatin1String("Time")) titleLeft[1] = w.left;
        if (w.text == QLatin1String("Level")) titleLeft[2] = w.left;
        int column = -1;
        if (kNumber.match(w.text).hasMatch())
            column = 0;
        else if (w.text.startsWith(QLatin1String("2024-")))
            column = 1;
        else if (kClock.match(w.text).hasMatch())
            column = 3;
        else if (level.match(w.text).hasMatch())
            column = 2;
        if (column < 0) continue;
        lefts[column].push_back(w.left);
        rights[column] = std::max(rights[column], w.right);
    }
    for (int c = 0; c < 4; ++c) {
        ASSERT_GT(lefts[c].size(), 20u) << "column " << c;
        const auto [lo, hi] = std::minmax_element(lefts[c].begin(), lefts[c].end());
        EXPECT_LE(*hi - *lo, 1.0) << "column " << c;
        if (c < 3) {
            EXPECT_NEAR(titleLeft[c], *lo, 1.0) << "title of column " << c;
        }
    }
    EXPECT_LT(rights[0], lefts[1].front());
    EXPECT_LT(rights[1], lefts[3].front());
    EXPECT_LT(rights[3], lefts[2].front());
}

// A real-time graph during its run holds points not yet measured (time 0) after the measured
// ones: the report's series ends at the last measured point.
TEST(ReportFiguresTest, PointsNotYetMeasuredAreNoPartOfTheSeries) {
    const double start = 46000.5;  // a day in 2025, noon
    std::vector<double> times(10, 0.0);
    std::vector<float> levels(10, 0.0f);
    for (int i = 0; i < 4; ++i) {
        times[size_t(i)] = start + i * 2 * kOneSecond;
        levels[size_t(i)] = 60.0f + float(i);
    }
    const ReportFigures f = reportFigures(seriesGraphState(times, levels));
    EXPECT_EQ(f.samples, 4);
    EXPECT_EQ(f.missing, 0);
    EXPECT_DOUBLE_EQ(f.first, start);
    EXPECT_NEAR(f.last, start + 6 * kOneSecond, 1e-9);
    EXPECT_NEAR(f.samplingRate, 2.0, 1e-6);
    EXPECT_FLOAT_EQ(f.whole.lmin, 60.0f);
    EXPECT_FLOAT_EQ(f.whole.lmax, 63.0f);
}
