#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include "dataset/SerialDateTime.h"
#include "graph/GraphFile.h"
#include "report/PdfText.h"
#include "report/ui/OffscreenDrawing.h"
#include "support/CliRun.h"
#include "support/Files.h"

using namespace kl516;

namespace {

const QString kGolden = QStringLiteral(KL516_TEST_DATA "/golden.rec");

// The tool in process, drawing as the built tool draws.
test::CliRun runDrawing(const QStringList& args) {
    static const OffscreenGraphDrawing drawing;
    return test::runCliInProcess(args, nullptr, &drawing);
}

}  // namespace

// Set 3 of golden.rec: 80.0, 80.0 and 50.0 dB two seconds apart (see tests/data/README.md).
// Leq = 10 log10((2 x 10^8 + 10^5) / 3) = 78.24; SEL = Leq + 10 log10(3 x 2 s) = 86.02.
TEST(ReportCli, ReportAndPlotOfACollectionSet) {
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("set3.pdf"));
    const test::CliRun report = runDrawing({"report", kGolden, "--set", "3", "--out", pdf});
    ASSERT_EQ(report.status, 0) << report.err.toStdString();
    const QString text = test::pdfLayoutPages(pdf).value(0);
    for (const char* expected :
         {"golden.rec, data set 3", "Start: 2023-12-31 23:59:58", "End: 2024-01-01 00:00:02",
          "Sampling rate: 2.0 s", "Samples: 3, of which missing: 0"})
        EXPECT_TRUE(text.contains(QLatin1String(expected))) << expected << "\n"
                                                            << text.toStdString();
    const QRegularExpression rows(
        QStringLiteral("Lmax\\s+80\\.0 dB at 2023-12-31 23:59:58[\\s\\S]*Lmin\\s+50\\.0 dB at "
                       "2024-01-01 00:00:02[\\s\\S]*"
                       "Leq\\s+78\\.2 dB[\\s\\S]*L10\\s+80\\.0 dB[\\s\\S]*L50\\s+80\\.0 "
                       "dB[\\s\\S]*L90\\s+50\\.0 dB[\\s\\S]*"
                       "SEL\\s+86\\.0 dB"));
    EXPECT_TRUE(text.contains(rows)) << text.toStdString();

    const QString png = dir.filePath(QStringLiteral("set1.png"));
    const test::CliRun plot =
        runDrawing({"plot", kGolden, "--set", "1", "--out", png, "--size", "640x360"});
    ASSERT_EQ(plot.status, 0) << plot.err.toStdString();
    EXPECT_EQ(QImage(png).size(), QSize(640, 360));
}

// A set whose start time the parser made up (set 3 recorded in month 13) is drawn on the
// made-up times, which count from the tool's clock (2024-01-15 10:00:00), with a warning; a
// damaged file still fails.
TEST(ReportCli, ASetWithARepairedStartTimeIsDrawnFromTheCurrentTime) {
    QTemporaryDir dir;
    const QByteArray golden = test::readAll(kGolden);
    ASSERT_EQ(golden.size(), 352);
    QByteArray badMonth = golden;
    badMonth[302 + 4] = char(0x13);
    const QString rec = dir.filePath(QStringLiteral("month13.rec"));
    ASSERT_TRUE(test::writeAll(rec, badMonth));

    const QString pdf = dir.filePath(QStringLiteral("set3.pdf"));
    const test::CliRun report = runDrawing({"report", rec, "--set", "3", "--out", pdf});
    ASSERT_EQ(report.status, 0) << report.err.toStdString();
    EXPECT_EQ(report.err,
              "warning: the start time of data set 3 is not a valid date and time in the file; "
              "the report counts its times from the current date and time\n");
    const QString text = test::pdfLayoutPages(pdf).value(0);
    for (const char* expected : {"Start: 2024-01-15 10:00:00", "End: 2024-01-15 10:00:04",
                                 "Samples: 3, of which missing: 0"})
        EXPECT_TRUE(text.contains(QLatin1String(expected))) << expected << "\n"
                                                            << text.toStdString();
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("Leq\\s+78\\.2 dB"))))
        << text.toStdString();

    const QString png = dir.filePath(QStringLiteral("set3.png"));
    const test::CliRun plot =
        runDrawing({"plot", rec, "--set", "3", "--out", png, "--size", "640x360"});
    ASSERT_EQ(plot.status, 0) << plot.err.toStdString();
    EXPECT_TRUE(plot.err.contains("the plot counts its times from the current date and time"))
        << plot.err.toStdString();
    EXPECT_EQ(QImage(png).size(), QSize(640, 360));

    const QString cut = dir.filePath(QStringLiteral("cut.rec"));
    ASSERT_TRUE(test::writeAll(cut, golden.left(300)));
    const QString none = dir.filePath(QStringLiteral("none.pdf"));
    const test::CliRun damaged = runDrawing({"report", cut, "--set", "1", "--out", none});
    EXPECT_EQ(damaged.status, 1);
    EXPECT_TRUE(damaged.err.contains("error 34: ")) << damaged.err.toStdString();
    EXPECT_FALSE(QFile::exists(none));
}

TEST(ReportCli, AGraphFileKeepsItsLooksAndItsCursorLinesMarkTheBetweenCursorFigures) {
    QTemporaryDir dir;
    const SerialDateTime start = toSerialDateTime(QDate(2024, 6, 1), QTime(12, 0));
    std::vector<double> times;
    std::vector<float> levels;
    for (int i = 0; i < 10; ++i) {
        times.push_back(start + i * kOneSecond);
        levels.push_back(float(60 + i));
    }
    GraphState state = seriesGraphState(times, levels, QStringLiteral("Saved look"));
    state.showVertLineAnnotations = true;
    state.vertLineX = {times[2], times[4]};  // 62, 63, 64 between them
    const QString ghf = dir.filePath(QStringLiteral("saved.ghf"));
    ASSERT_TRUE(writeGraphFile(state, ghf).ok());
    const QString pdf = dir.filePath(QStringLiteral("saved.pdf"));
    const test::CliRun r = runDrawing({"report", ghf, "--out", pdf, "--title", "Roof top"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QString text = test::pdfLayoutPages(pdf).value(0);
    EXPECT_TRUE(text.contains(QLatin1String("Roof top")));
    EXPECT_TRUE(text.contains(
        QLatin1String("Between cursors (2024-06-01 12:00:02 to 2024-06-01 12:00:04)")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(
        QRegularExpression(QStringLiteral("Lmax\\s+69\\.0 dB at \\S+ \\S+\\s+64\\.0 dB"))))
        << text.toStdString();
    // Its own title is drawn in the picture.
    const QString svg = dir.filePath(QStringLiteral("saved.svg"));
    ASSERT_EQ(runDrawing({"plot", ghf, "--out", svg}).status, 0);
    QFile f(svg);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains("Saved look"));
}

TEST(ReportCli, WrongArgumentsWriteNothing) {
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out.png"));
    const struct {
        QStringList args;
        int status;
        const char* message;
    } cases[] = {
        {{"plot", kGolden, "--out", out}, 2, "needs --set"},
        {{"plot", kGolden, "--set", "x", "--out", out}, 2, "--set needs a number"},
        {{"plot", kGolden, "--set", "1", "--out", dir.filePath("out.bmp")},
         2,
         ".png, .svg or .pdf"},
        {{"plot", kGolden, "--set", "1", "--out", out, "--size", "10x10"}, 2, "16 to 20000"},
        {{"plot", kGolden, "--set", "1", "--out", out, "--size", "big"}, 2, "WIDTHxHEIGHT"},
        {{"report", kGolden, "--set", "1", "--out", out}, 2, "needs a .pdf"},
        {{"report", dir.filePath("none.txt"), "--out", dir.filePath("r.pdf")}, 1, "cannot read"},
        {{"report", dir.filePath("x.wav"), "--out", dir.filePath("r.pdf")},
         2,
         ".rec, .txt, .csv or .ghf"},
        {{"plot", kGolden, "--set", "9", "--out", out}, 1, "no data set 9"},
    };
    for (const auto& c : cases) {
        const test::CliRun r = runDrawing(c.args);
        EXPECT_EQ(r.status, c.status) << c.args.join(' ').toStdString() << "\n"
                                      << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String(c.message))) << r.err.toStdString();
    }
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

// The built tool draws without a display: no platform named, it takes the offscreen one.
TEST(ReportCli, TheToolDrawsWithoutADisplay) {
    QTemporaryDir dir;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    p.setProcessEnvironment(env);
    const QString pdf = dir.filePath(QStringLiteral("set1.pdf"));
    p.start(QStringLiteral(KL516_CLI), {"plot", kGolden, "--set", "1", "--out", pdf});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_EQ(test::pdfPages(pdf).size(), 1u);
}
