#include <gtest/gtest.h>

#include <qcustomplot.h>
#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QTemporaryDir>
#include <QToolButton>
#include <cmath>
#include <limits>
#include <vector>

#include "dataset/SerialDateTime.h"
#include "graph/GraphState.h"
#include "graph/RunningLeq.h"
#include "graph/StatisticText.h"
#include "graph/Statistics.h"
#include "graph/ui/GraphWindow.h"
#include "graph/ui/RangeSlider.h"
#include "assessment/NoiseAssessment.h"
#include "levels/LevelArithmetic.h"
#include "levels/LevelFigures.h"
#include "report/ui/MeasurementReport.h"
#include "support/FakeGraphHost.h"

using namespace kl516;

namespace {

const SerialDateTime kStart = toSerialDateTime(QDate(2024, 5, 1), QTime(8, 0, 0));
const QLocale kLocale(QLocale::English, QLocale::UnitedKingdom);

std::vector<double> times(size_t n) {
    std::vector<double> x(n);
    for (size_t i = 0; i < n; ++i) x[i] = kStart + double(i) * kOneSecond;
    return x;
}

QStringList oneDecimal(const std::vector<float>& levels) {
    QStringList out;
    for (float l : levels) out << levelText(l, kLocale);
    return out;
}

}  // namespace

TEST(RunningLeq, IsTheEnergyMeanFromTheFirstPointInOneDecimal) {
    const struct {
        std::vector<float> levels;
        QStringList leq;
    } cases[] = {
        {{80.0f, 80.0f}, {"80.0", "80.0"}},
        {{80.0f, 90.0f}, {"80.0", "87.4"}},
        {{90.0f, 90.0f, 60.0f}, {"90.0", "90.0", "88.2"}},
    };
    for (const auto& c : cases) {
        const std::vector<double> x = times(c.levels.size());
        const RunningLeq r = runningLeq(x.data(), c.levels.data(), int(x.size()), kNullDataValueY);
        EXPECT_EQ(oneDecimal(r.leq), c.leq);
        EXPECT_EQ(r.spl, c.levels);
        EXPECT_EQ(r.x, x);
    }
    // 10 log10(2/3 × 10^9 + 1/3 × 10^6), to float precision.
    const std::vector<float> levels{90, 90, 60};
    const std::vector<double> x = times(3);
    EXPECT_NEAR(runningLeq(x.data(), levels.data(), 3, kNullDataValueY).leq[2], 88.2413, 1e-4);
}

TEST(RunningLeq, SkipsUnsampledPointsAndKeepsMissedSamplesAsGaps) {
    // A real-time graph part way through a run: sampled points, then X 0 / Y 0 ones; a missed
    // sample with the null value; a level that is not a number.
    std::vector<double> x = times(7);
    std::vector<float> y{80, kNullDataValueY, std::numeric_limits<float>::quiet_NaN(), 90, 0, 0, 0};
    x[4] = x[5] = x[6] = 0;
    const RunningLeq r = runningLeq(x.data(), y.data(), 7, kNullDataValueY);
    EXPECT_EQ(r.levels, 2);
    EXPECT_EQ(r.x, (std::vector<double>{x[0], x[1], x[2], x[3]}));
    EXPECT_EQ(r.spl, (std::vector<float>{80, kNullDataValueY, kNullDataValueY, 90}));
    // The Leq steps from 80 to 90 as if the missed samples were not there.
    EXPECT_EQ(oneDecimal(r.leq), (QStringList{"80.0", "9999.0", "9999.0", "87.4"}));
    // A cleared real-time graph has nothing to count.
    std::vector<double> cleared(200, 0.0);
    std::vector<float> zeros(200, 0.0f);
    EXPECT_TRUE(runningLeq(cleared.data(), zeros.data(), 200, kNullDataValueY).leq.empty());
}

TEST(StatisticText, ElevenLinesAsThePanelsShowThemThenTheLevelsBetweenTheCursors) {
    StatisticFields f;
    f.startTime = "01/05/2024 08:00:00";
    f.samplingRate = "1.0";
    f.dataNo = "3";
    f.avgAll = "80.0";
    f.max = "90.0";
    f.maxTime = "01/05/2024 08:00:01";
    f.min = "60.0";
    f.minTime = "01/05/2024 08:00:02";
    f.cursorA = "90.0";
    f.cursorATime = "01/05/2024 08:00:00";
    f.cursorB = "";
    f.cursorBTime = "";
    f.maxAB = "90.0";
    f.maxABTime = "01/05/2024 08:00:00";
    f.minAB = "60.0";
    f.minABTime = "01/05/2024 08:00:02";
    f.avgAB = "80.0";
    f.leqAB = "88.2";
    f.l10AB = "90.0";
    f.l50AB = "90.0";
    f.l90AB = "60.0";
    const QString text = statisticText(f);
    EXPECT_FALSE(text.contains('\r'));
    ASSERT_TRUE(text.endsWith('\n'));
    const QStringList lines = text.chopped(1).split('\n');
    const QStringList expected = {
        "Start Time:01/05/2024 08:00:00",
        "Sampling Rate:1.0",
        "DataNo:3",
        "Avg.:80.0",
        "Maximum:90.0@01/05/2024 08:00:01",
        "Minimum:60.0@01/05/2024 08:00:02",
        "Cursor A:90.0@01/05/2024 08:00:00",
        "Cursor B:@",
        "Max.Between A and B:90.0@01/05/2024 08:00:00",
        "Min.Between A and B:60.0@01/05/2024 08:00:02",
        "Avg. Between A and B:80.0",
        "Leq Between A and B:88.2",
        "L10 Between A and B:90.0",
        "L50 Between A and B:90.0",
        "L90 Between A and B:60.0",
    };
    EXPECT_EQ(lines, expected);
}

namespace {

struct GraphWindowLevels : ::testing::Test {
    QTemporaryDir dir;
    test::FakeGraphHost host;
    std::unique_ptr<GraphWindow> graph;
    bool unsaved = true;

    void SetUp() override {
        host.folder = dir.path();
        graph = std::make_unique<GraphWindow>(
            host, GraphDocument{WindowRole::DataLogger, WindowRole::None, &unsaved});
        graph->setCaption("DataLogger");
        graph->resize(GraphWindow::kClientWidth, GraphWindow::kClientHeight);
        graph->show();
    }
    void fill(const std::vector<float>& levels) {
        graph->setUpGraph(1, 130, 30, kStart + double(levels.size()) * kOneSecond, kStart,
                          int(levels.size()));
        for (int i = 0; i < int(levels.size()); ++i) {
            graph->graphView->setXValue(0, i, kStart + i * kOneSecond);
            graph->graphView->setYValue(0, i, levels[size_t(i)]);
        }
        graph->updateGraphStatistic();
    }
};

}  // namespace

TEST_F(GraphWindowLevels, CalLeqOpensTheRunningLeqInAWindowOfTheSource) {
    fill({90, 90, 60});
    GraphWindow* leq = graph->openRunningLeq();
    ASSERT_NE(leq, nullptr);
    EXPECT_EQ(graph->runningLeqWindow(), leq);
    EXPECT_EQ(leq->caption(), QStringLiteral("DataLogger \u2013 Leq"));
    EXPECT_EQ(leq->role(), WindowRole::LeqOfSource);
    EXPECT_EQ(leq->document().closeQuestion(), graph->document().closeQuestion());
    EXPECT_FALSE(leq->runningLeqButton->isEnabled());
    EXPECT_TRUE(graph->runningLeqButton->isEnabled());
    const GraphState& s = std::as_const(*leq->graphView).state();
    ASSERT_EQ(s.subsets, 2);
    ASSERT_EQ(s.points, 3);
    EXPECT_EQ(s.subsetLabels, (QStringList{"SPL", "Leq"}));
    EXPECT_EQ(s.subsetColors[0], makeArgb(255, 255, 255, 0));
    EXPECT_EQ(s.subsetColors[1], makeArgb(255, 255, 0, 0));
    EXPECT_EQ(s.y[0], (std::vector<float>{90, 90, 60}));
    EXPECT_EQ(oneDecimal(s.y[1]), (QStringList{"90.0", "90.0", "88.2"}));
    EXPECT_EQ(s.x[1][2], kStart + 2 * kOneSecond);
    // The upper panel describes the levels.
    EXPECT_EQ(leq->pointCount->text(), "3");
    EXPECT_EQ(leq->seriesMaximum->text(), "90.0");

    // It goes with its source.
    QPointer<GraphWindow> kept = leq;
    graph.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(kept.isNull());
}

TEST_F(GraphWindowLevels, CalLeqOfFewerThanTwoLevelsIsRefused) {
    fill({80});
    EXPECT_EQ(graph->openRunningLeq(), nullptr);
    // Samples enough, but one level among them.
    fill({kNullDataValueY, 80, kNullDataValueY});
    EXPECT_EQ(graph->openRunningLeq(), nullptr);
    EXPECT_EQ(host.scripted.messages(), (QStringList{"data number < 2", "data number < 2"}));
    EXPECT_TRUE(host.created.empty());
}

// A missed sample (the null value, a level that is no number) is a point of the run with its
// time but without a level: drawn as a gap, in no figure, an empty level in the readouts.
TEST_F(GraphWindowLevels, AMissedSampleIsNoLevelInAnyFigureOrReadout) {
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    fill({50, 50, kNullDataValueY, 50, 50, kNaN, 60});
    EXPECT_EQ(graph->pointCount->text(), "7");
    EXPECT_EQ(graph->samplingRateBox->currentText(), "1.0");
    EXPECT_EQ(graph->seriesMaximum->text(), "60.0");
    EXPECT_EQ(graph->seriesMinimum->text(), "50.0");
    EXPECT_EQ(graph->seriesAverage->text(), "52.0");
    // The thumbs at 7 / 3 and 14 / 3: cursor A on the null, B on a level.
    ASSERT_EQ(graph->cursorA(), 2);
    ASSERT_EQ(graph->cursorB(), 4);
    EXPECT_EQ(graph->cursorALevel->text(), "");
    EXPECT_EQ(graph->cursorATime->text(), formatDateTime(kStart + 2 * kOneSecond, kLocale));
    EXPECT_EQ(graph->graphView->state().vertLineText[0], "|t08:00:02");
    EXPECT_EQ(graph->cursorBLevel->text(), "50.0");
    EXPECT_EQ(graph->betweenCursorsMaximum->text(), "50.0");
    EXPECT_EQ(graph->betweenCursorsAverage->text(), "50.0");
    EXPECT_EQ(graph->betweenCursorsLeq->text(), "50.0");

    graph->exportStatistics();
    const QStringList lines = QGuiApplication::clipboard()->text().split('\n');
    ASSERT_GE(lines.size(), 11);
    EXPECT_EQ(lines[3], "Avg.:52.0");
    EXPECT_EQ(lines[4], "Maximum:60.0@01/05/2024 08:00:06");
    EXPECT_EQ(lines[6], "Cursor A:@01/05/2024 08:00:02");
    EXPECT_EQ(lines[8], "Max.Between A and B:50.0@01/05/2024 08:00:03");

    // The line breaks at both missed samples.
    const auto data = graph->graphView->plot()->graph(0)->data();
    ASSERT_EQ(data->size(), 7);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(std::isnan(data->at(i)->value), i == 2 || i == 5) << i;

    // Both cursors on a missed sample: nothing between them to describe.
    graph->rangeSlider->setFirstValue(5);
    graph->rangeSlider->setSecondValue(5);
    for (QLineEdit* e :
         {graph->cursorBLevel, graph->betweenCursorsMaximum, graph->betweenCursorsMaximumTime,
          graph->betweenCursorsMinimum, graph->betweenCursorsAverage, graph->betweenCursorsLeq})
        EXPECT_EQ(e->text(), "") << e->objectName().toStdString();
}

TEST_F(GraphWindowLevels, CalLeqKeepsMissedSamplesAsGapsAndTheRunsRate) {
    fill({80, kNullDataValueY, kNullDataValueY, 90, 90});
    GraphWindow* leq = graph->openRunningLeq();
    ASSERT_NE(leq, nullptr);
    const GraphState& s = std::as_const(*leq->graphView).state();
    ASSERT_EQ(s.points, 5);
    EXPECT_EQ(s.y[0], (std::vector<float>{80, kNullDataValueY, kNullDataValueY, 90, 90}));
    EXPECT_EQ(oneDecimal(s.y[1]), (QStringList{"80.0", "9999.0", "9999.0", "87.4", "88.5"}));
    EXPECT_EQ(leq->samplingRateBox->currentText(), "1.0");
    EXPECT_EQ(leq->seriesAverage->text(), "86.7");
    EXPECT_EQ(leq->seriesMaximum->text(), "90.0");

    // A run whose window shows its own rate (a real-time run's interval) passes it on.
    graph->samplingRateBox->setEditText(QStringLiteral("0.5"));
    leq = graph->openRunningLeq();
    ASSERT_NE(leq, nullptr);
    EXPECT_EQ(leq->samplingRateBox->currentText(), "0.5");
}

TEST_F(GraphWindowLevels, TheCursorPanelShowsTheLeqAndExceededLevelsBetweenTheCursors) {
    fill({10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 100, 100});
    graph->rangeSlider->setFirstValue(0);
    graph->rangeSlider->setSecondValue(9);
    EXPECT_EQ(graph->betweenCursorsLeq->text(), "90.5");
    EXPECT_EQ(graph->betweenCursorsL10->text(), "90.0");
    EXPECT_EQ(graph->betweenCursorsL50->text(), "50.0");
    EXPECT_EQ(graph->betweenCursorsL90->text(), "10.0");
    // Whatever empties the cursor panel's average empties them too.
    graph->betweenCursorsAverage->clear();
    EXPECT_TRUE(graph->betweenCursorsLeq->text().isEmpty());
    EXPECT_TRUE(graph->betweenCursorsL90->text().isEmpty());
}

TEST_F(GraphWindowLevels, ExportStatisticCopiesThePanelsAsShownAlsoWithTheCursorPanelHidden) {
    fill({90, 90, 60, 70});
    graph->cursorStatisticsButton->click();  // hides the cursor panel
    ASSERT_FALSE(graph->cursorStatisticsPanel->isVisible());
    graph->exportStatisticsButton->click();
    EXPECT_EQ(host.scripted.messages(),
              QStringList{"The statistic has been copied to the clipboard"});
    const QString text = QGuiApplication::clipboard()->text();
    EXPECT_FALSE(text.contains('\r'));
    ASSERT_TRUE(text.endsWith('\n'));
    const QStringList lines = text.chopped(1).split('\n');
    ASSERT_EQ(lines.size(), 15);
    auto f = [&](QLineEdit* e) { return e->text(); };
    EXPECT_EQ(lines[0], "Start Time:" + f(graph->seriesStartTime));
    EXPECT_EQ(lines[1], "Sampling Rate:" + graph->samplingRateBox->currentText());
    EXPECT_EQ(lines[2], "DataNo:4");
    EXPECT_EQ(lines[3], "Avg.:" + f(graph->seriesAverage));
    EXPECT_EQ(lines[4], "Maximum:90.0@" + f(graph->seriesMaximumTime));
    EXPECT_EQ(lines[5], "Minimum:60.0@" + f(graph->seriesMinimumTime));
    EXPECT_EQ(lines[6], "Cursor A:" + f(graph->cursorALevel) + "@" + f(graph->cursorATime));
    EXPECT_FALSE(f(graph->cursorALevel).isEmpty());
    EXPECT_EQ(lines[7], "Cursor B:" + f(graph->cursorBLevel) + "@" + f(graph->cursorBTime));
    EXPECT_EQ(lines[8], "Max.Between A and B:" + f(graph->betweenCursorsMaximum) + "@" +
                            f(graph->betweenCursorsMaximumTime));
    EXPECT_EQ(lines[9], "Min.Between A and B:" + f(graph->betweenCursorsMinimum) + "@" +
                            f(graph->betweenCursorsMinimumTime));
    EXPECT_EQ(lines[10], "Avg. Between A and B:" + f(graph->betweenCursorsAverage));
    EXPECT_EQ(lines[11], "Leq Between A and B:" + f(graph->betweenCursorsLeq));
    EXPECT_FALSE(f(graph->betweenCursorsLeq).isEmpty());
    EXPECT_EQ(lines[14], "L90 Between A and B:" + f(graph->betweenCursorsL90));
}

// One unevenly spaced series (a 3 s and a 20 s step among 1 s ones) has one Leq: the cursor
// panel's with the cursors at its ends, CAL Leq's last value, the report's and the
// assessment's over one interval holding it all. python3, weighing each level by the time to
// the next (at most 2 s): 79.298640 dB; by count it would be 80.1 dB.
TEST_F(GraphWindowLevels, AnUnevenSeriesHasOneLeqInThePanelCalLeqTheReportAndTheAssessment) {
    const std::vector<double> seconds{0, 1, 2, 3, 6, 7, 8, 9, 10, 30};
    const std::vector<float> levels{60, 62, 90, 61, 60, 58, 59, 60, 61, 70};
    graph->setUpGraph(1, 130, 30, kStart + 30 * kOneSecond, kStart, int(levels.size()));
    for (int i = 0; i < int(levels.size()); ++i) {
        graph->graphView->setXValue(0, i, kStart + seconds[size_t(i)] * kOneSecond);
        graph->graphView->setYValue(0, i, levels[size_t(i)]);
    }
    graph->updateGraphStatistic();
    graph->rangeSlider->setFirstValue(0);
    graph->rangeSlider->setSecondValue(9);
    EXPECT_EQ(graph->betweenCursorsLeq->text(), "79.3");

    const GraphState& s = std::as_const(*graph->graphView).state();
    const ReportFigures report = reportFigures(s);
    EXPECT_NEAR(report.whole.leq, 79.298640, 1e-6);
    EXPECT_DOUBLE_EQ(report.samplingRate, 1.0);  // the typical spacing, not 30 s / 9
    ASSERT_TRUE(report.whole.sel);
    EXPECT_NEAR(*report.whole.sel, 90.090453, 1e-6);  // T = 12 s

    const RunningLeq cal = runningLeq(s.x[0].data(), s.y[0].data(), s.points, s.nullDataValueY);
    ASSERT_EQ(cal.leq.size(), levels.size());
    EXPECT_EQ(levelText(cal.leq.back()), "79.3");

    AssessmentSeries series;
    for (size_t i = 0; i < seconds.size(); ++i) series.times.push_back(1.7e9 + seconds[i]);
    series.levels = levels;
    AssessmentOptions options;
    options.intervalSeconds = 86400;
    options.periods.dayStart = 0;
    const AssessmentOutcome outcome = assessNoise(series, options);
    ASSERT_TRUE(outcome.assessment);
    ASSERT_EQ(outcome.assessment->intervals.size(), 1u);
    EXPECT_NEAR(*outcome.assessment->intervals[0].figures.leq, 79.298640, 1e-6);
}
