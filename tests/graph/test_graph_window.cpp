#include <gtest/gtest.h>
#include <qcustomplot.h>

#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtEndian>
#include <functional>
#include <limits>

#include "graph/ui/GraphWindow.h"
#include "graph/ui/RangeSlider.h"
#include "support/FakeGraphHost.h"

using namespace kl516;
using Answer = Prompts::Answer;

namespace {

const SerialDateTime kStart = toSerialDateTime(QDate(2024, 5, 1), QTime(8, 0, 0));

struct GraphWindowTest : ::testing::Test {
    QTemporaryDir dir;
    test::FakeGraphHost host;
    std::unique_ptr<GraphWindow> graph;

    void SetUp() override {
        host.folder = dir.path();
        host.userFolder = dir.filePath(QStringLiteral("user"));
        graph = std::make_unique<GraphWindow>(host);
        graph->resize(GraphWindow::kClientWidth, GraphWindow::kClientHeight);
        graph->show();
    }

    // Fills series 0 with points `step` seconds apart.
    void fillSeries(const std::vector<float>& levels, double stepSeconds) {
        graph->setUpGraph(1, 130, 30, 0, 0, int(levels.size()));
        for (int i = 0; i < int(levels.size()); ++i) {
            graph->graphView->setXValue(0, i, kStart + i * stepSeconds * kOneSecond);
            graph->graphView->setYValue(0, i, levels[i]);
        }
        graph->updateGraphStatistic();
    }

    // The template of the program's folder (an older installation's place).
    QString templatePath() const { return dir.filePath(QStringLiteral("template/graph.ghf")); }

    void writeTemplate(const QByteArray& block, qint32 announced) {
        QDir().mkpath(dir.filePath(QStringLiteral("template")));
        QFile f(templatePath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        QByteArray length(4, '\0');
        qToLittleEndian<qint32>(announced, length.data());
        f.write(length);
        f.write(block);
    }
};

}  // namespace

TEST_F(GraphWindowTest, WithoutATemplateANewGraphTakesTheBuiltInLook) {
    graph->setUpGraph(1, 130, 30, kStart + 500 * kOneSecond, kStart, 500);
    const GraphState& s = graph->graphView->state();
    EXPECT_EQ(s.graphBackColor, makeArgb(255, 0, 0, 0));
    EXPECT_EQ(s.deskColor, makeArgb(255, 190, 190, 190));
    EXPECT_EQ(s.subsetColors[0], makeArgb(255, 255, 255, 0));
    EXPECT_EQ(s.gridStyle, GridStyle::Dot);
    EXPECT_EQ(s.xAxisLabel, "Time");
    EXPECT_EQ(s.mainTitle, "");
    EXPECT_EQ(s.yAxisLabel, "dB");
    EXPECT_TRUE(s.showVertLineAnnotations);
    EXPECT_TRUE(s.showGraphAnnotations);
    EXPECT_EQ(s.allowZooming, Zooming::HorzPlusVert);
    EXPECT_EQ(s.points, 500);
    EXPECT_EQ(s.manualScaleControlY, ScaleControl::ManualMinAndMax);
    EXPECT_EQ(s.manualMinY, 30);
    EXPECT_EQ(s.manualMaxY, 130);
    EXPECT_EQ(s.manualScaleControlX, ScaleControl::ManualMinAndMax);
    EXPECT_DOUBLE_EQ(s.manualMinX, kStart);
    EXPECT_EQ(graph->graphView->yValue(0, 499), kNullDataValueY);
    EXPECT_EQ(graph->caption(), "Graph");
}

TEST_F(GraphWindowTest, ATemplateWinsOverTheBuiltInLookButNotOverTheData) {
    GraphState look;
    look.graphBackColor = makeArgb(255, 10, 20, 30);
    look.yAxisLabel = QStringLiteral("Level");
    look.points = 0;
    writeTemplate(saveGraphState(look), qint32(saveGraphState(look).size()));
    graph->setUpGraph(1, 130, 30, 0, 0, 10);
    const GraphState& s = graph->graphView->state();
    EXPECT_EQ(s.graphBackColor, makeArgb(255, 10, 20, 30));
    EXPECT_EQ(s.yAxisLabel, "Level");
    EXPECT_EQ(s.gridStyle, look.gridStyle);  // the defaults were skipped
    EXPECT_EQ(s.points, 10);
    EXPECT_EQ(s.manualMaxY, 130);
    EXPECT_TRUE(s.allowGraphAnnotHotSpots);
    EXPECT_TRUE(host.scripted.shown.empty());
}

TEST_F(GraphWindowTest, ATemplateThatCannotBeAppliedIsLeftOutAndReported) {
    // Cut short, or a state the control cannot load: either way the new set is shown with the
    // standard look (no stale points stay behind), and the host is told.
    struct Case {
        const char* what;
        QByteArray block;
        qint32 announced;
    };
    const Case cases[] = {
        {"a state the control cannot load", QByteArray("not a graph state"), 17},
        {"a file shorter than its length", QByteArray(10, 'x'), 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host.unusableTemplates.clear();
        graph->setUpGraph(1, 130, 30, 0, 0, 5);
        writeTemplate(c.block, c.announced);
        graph->setUpGraph(1, 120, 40, 0, 0, 7);
        const GraphState& s = std::as_const(*graph->graphView).state();
        EXPECT_EQ(graph->graphView->points(), 7);
        EXPECT_EQ(s.manualMaxY, 120);
        EXPECT_EQ(s.xAxisLabel, "Time");  // the standard look
        EXPECT_EQ(host.unusableTemplates, QStringList{templatePath()});
        QFile::remove(templatePath());
    }
}

TEST_F(GraphWindowTest, GraphStatisticOfTheWholeSeries) {
    fillSeries({80, 81, 82}, 1.0);
    EXPECT_EQ(graph->samplingRateBox->currentText(), "1.0");  // 2 s over 2 intervals
    EXPECT_EQ(graph->pointCount->text(), "3");
    EXPECT_EQ(graph->seriesAverage->text(), "81.0");

    std::vector<float> levels(100, 60.0f);
    levels[10] = 90.0f;
    levels[70] = 90.0f;  // an equal maximum later: the earlier one is shown
    levels[40] = 20.0f;
    fillSeries(levels, 0.5);
    EXPECT_EQ(graph->samplingRateBox->currentText(), "0.5");  // 49.5 s over 99 intervals
    EXPECT_EQ(graph->seriesMaximum->text(), "90.0");
    // Points half a second apart: the times carry their tenths.
    EXPECT_EQ(graph->seriesMaximumTime->text(), "01/05/2024 08:00:05.0");
    EXPECT_EQ(graph->seriesMinimum->text(), "20.0");
    EXPECT_EQ(graph->seriesStartTime->text(), "01/05/2024 08:00:00.0");
    // The slider spans the series with its thumbs at a third and two thirds.
    EXPECT_EQ(graph->rangeSlider->maximum(), 99);
    EXPECT_EQ(graph->rangeSlider->firstValue(), 33);
    EXPECT_EQ(graph->rangeSlider->secondValue(), 66);
}

TEST_F(GraphWindowTest, ShowDataSetUsesTheTableAndPlacesTheCursors) {
    host.fill({{kStart, 2, {70, 71, 72}},
               {kStart + 1, 1, {80, 100, 80, 100, 95, 90, 85, 100, 60, 61}}});
    graph->setCaption(QStringLiteral("DataLogger"));
    graph->showDataSet(1);
    EXPECT_EQ(graph->graphView->points(), 10);
    EXPECT_DOUBLE_EQ(graph->graphView->xValue(0, 9), kStart + 1 + 9 * kOneSecond);
    EXPECT_EQ(graph->samplingRateBox->currentText(), "1");
    EXPECT_EQ(graph->pointCount->text(), "10");
    EXPECT_EQ(graph->seriesMaximum->text(), "100.0");
    EXPECT_EQ(graph->seriesMaximumTime->text(),
              formatDateTime(kStart + 1 + kOneSecond, host.fixedLocale));
    EXPECT_EQ(graph->seriesAverage->text(), "85.1");
    EXPECT_EQ(graph->rangeSlider->minimum(), 0);
    EXPECT_EQ(graph->rangeSlider->maximum(), 9);
    EXPECT_EQ(graph->cursorA(), 3);
    EXPECT_EQ(graph->cursorB(), 6);
    EXPECT_EQ(graph->cursorALevel->text(), "100.0");
    EXPECT_EQ(graph->cursorBLevel->text(), "85.0");
    const QString time = formatLongTime(kStart + 1 + 3 * kOneSecond, host.fixedLocale);
    EXPECT_EQ(graph->graphView->state().vertLineText[0], "|t" + time + "\n100.0dB");
    EXPECT_EQ(graph->graphView->vertLineLabelLines(0), (QStringList{time, "100.0dB"}));
    EXPECT_DOUBLE_EQ(graph->graphView->state().vertLineX[1], kStart + 1 + 6 * kOneSecond);

    // Between the cursors (points 3..6): 100, 95, 90, 85.
    EXPECT_EQ(graph->betweenCursorsMaximum->text(), "100.0");
    EXPECT_EQ(graph->betweenCursorsMinimum->text(), "85.0");
    EXPECT_EQ(graph->betweenCursorsAverage->text(), "92.5");
    // A right of B gives the same statistics; the mean is arithmetic (80 and 100 give 90).
    graph->rangeSlider->setFirstValue(1);
    graph->rangeSlider->setSecondValue(0);
    EXPECT_EQ(graph->betweenCursorsAverage->text(), "90.0");
    EXPECT_EQ(graph->betweenCursorsMinimumTime->text(),
              formatDateTime(kStart + 1, host.fixedLocale));
    graph->rangeSlider->setFirstValue(4);
    graph->rangeSlider->setSecondValue(4);
    EXPECT_EQ(graph->betweenCursorsMaximum->text(), "95.0");
    EXPECT_EQ(graph->betweenCursorsMinimum->text(), "95.0");
    EXPECT_EQ(graph->betweenCursorsMaximumTime->text(), graph->betweenCursorsMinimumTime->text());
}

TEST_F(GraphWindowTest, CloseQuestionsFollowTheDocumentNotTheCaption) {
    auto* area = new QMdiArea;
    area->resize(1400, 900);
    area->show();
    auto* sub = area->addSubWindow(graph.release());
    auto* g = qobject_cast<GraphWindow*>(sub->widget());
    sub->show();
    const GraphDocument logger{WindowRole::DataLogger, WindowRole::None, &host.loggerUnsaved};
    const GraphDocument realTime{WindowRole::RealTime, WindowRole::None, &host.realTimeUnsaved};

    // DataLogger: Cancel keeps it open, No minimises and keeps the flag, Yes saves and clears.
    g->setDocument(logger);
    host.loggerUnsaved = true;
    host.realTimeUnsaved = true;  // not this window's question
    host.scripted.confirmAnswers = {Answer::Cancel, Answer::No, Answer::Yes};
    sub->close();
    EXPECT_FALSE(sub->isMinimized());
    sub->close();
    EXPECT_TRUE(sub->isMinimized());
    EXPECT_TRUE(host.loggerUnsaved);
    sub->showNormal();
    sub->close();
    EXPECT_FALSE(host.loggerUnsaved);
    EXPECT_EQ(host.saves, 1);
    EXPECT_EQ(host.scripted.questions(),
              (QStringList{"Save DataLogger Data ?", "Save DataLogger Data ?", "Save DataLogger Data ?"}));
    sub->showNormal();
    sub->close();  // no question any more
    EXPECT_EQ(host.scripted.questions().size(), 3);
    EXPECT_TRUE(sub->isMinimized());

    // Real-time: No clears the flag too.
    host.scripted.clear();
    g->setDocument(realTime);
    host.loggerUnsaved = true;
    host.scripted.confirmAnswers = {Answer::No};
    sub->showNormal();
    sub->close();
    sub->showNormal();
    sub->close();
    EXPECT_EQ(host.scripted.questions(), QStringList{"Save Real-Time Graph ?"});
    EXPECT_FALSE(host.realTimeUnsaved);

    // A running Leq of the DataLogger window asks about its source's data, whatever its caption.
    host.scripted.clear();
    g->setDocument({WindowRole::LeqOfSource, WindowRole::DataLogger, &host.loggerUnsaved});
    g->setCaption(QStringLiteral("Leq"));
    host.scripted.confirmAnswers = {Answer::Cancel};
    sub->showNormal();
    sub->close();
    EXPECT_EQ(host.scripted.questions(), QStringList{"Save DataLogger Data ?"});
    EXPECT_FALSE(sub->isMinimized());

    // A file's graph closes without a question, even when captioned "DataLogger"; the window is
    // never destroyed.
    host.scripted.clear();
    g->setDocument({WindowRole::OpenedFile, WindowRole::None, nullptr});
    g->setCaption(QStringLiteral("DataLogger"));
    sub->showNormal();
    sub->close();
    EXPECT_TRUE(host.scripted.shown.empty());
    EXPECT_TRUE(sub->isMinimized());
    EXPECT_EQ(area->subWindowList().size(), 1);
    delete area;
}

TEST_F(GraphWindowTest, PointerReadoutZoomAndPanelToggles) {
    fillSeries({80, 85.3f, 90, 95}, 60.0);
    graph->redraw();
    const QRect area = graph->graphView->plottingArea();
    ASSERT_TRUE(area.isValid());
    const QPoint inside = graph->graphView->valueToPixel(kStart + 60 * kOneSecond, 85.3);
    graph->onGraphMouseMoved(inside);
    const QRegularExpression readout(QStringLiteral(R"(^\d+\.\ddB@\d\d:\d\d:\d\d$)"));
    EXPECT_TRUE(readout.match(graph->pointerReadoutLabel->text()).hasMatch())
        << graph->pointerReadoutLabel->text().toStdString();
    const QString kept = graph->pointerReadoutLabel->text();
    graph->onGraphMouseMoved(area.topLeft() - QPoint(5, 5));
    EXPECT_EQ(graph->pointerReadoutLabel->text(), kept);
    // The pointer leaving the graph takes the readout with it; the next move brings it back.
    EXPECT_TRUE(graph->pointerReadoutLabel->isVisible());
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(graph->graphView->plot(), &leave);
    EXPECT_FALSE(graph->pointerReadoutLabel->isVisible());
    graph->onGraphMouseMoved(inside);
    EXPECT_TRUE(graph->pointerReadoutLabel->isVisible());

    EXPECT_FALSE(graph->undoZoomButton->isEnabled());
    emit graph->graphView->zoomedIn();
    EXPECT_TRUE(graph->undoZoomButton->isEnabled());
    graph->undoZoomButton->click();
    EXPECT_FALSE(graph->undoZoomButton->isEnabled());

    graph->graphStatisticsButton->click();
    EXPECT_FALSE(graph->graphStatisticsPanel->isVisible());
    graph->graphStatisticsButton->click();
    EXPECT_TRUE(graph->graphStatisticsPanel->isVisible());
    graph->cursorStatisticsButton->click();
    EXPECT_FALSE(graph->cursorStatisticsPanel->isVisible());
    EXPECT_FALSE(graph->graphView->state().showVertLineAnnotations);
    graph->cursorStatisticsButton->click();
    EXPECT_TRUE(graph->cursorStatisticsPanel->isVisible());
    EXPECT_TRUE(graph->graphView->state().showVertLineAnnotations);
}

TEST_F(GraphWindowTest, DraggingACursorLineMovesItsCursor) {
    std::vector<float> levels(60);
    for (int i = 0; i < 60; ++i) levels[i] = 60.0f + float(i % 10);
    fillSeries(levels, 1.0);
    graph->redraw();
    ASSERT_EQ(graph->cursorA(), 20);
    emit graph->graphView->vertLineAnnotHotSpot(0);
    graph->onGraphMouseMoved(graph->graphView->valueToPixel(kStart + 45.2 * kOneSecond, 70));
    EXPECT_EQ(graph->cursorA(), 46);  // the first point at or right of the pointer
    EXPECT_EQ(graph->rangeSlider->firstValue(), 46);
    emit graph->graphView->mouseReleased(QPoint());
    graph->onGraphMouseMoved(graph->graphView->valueToPixel(kStart + 5 * kOneSecond, 70));
    EXPECT_EQ(graph->cursorA(), 46);  // released: the cursor stays
}

// A series or set with nothing to describe shows empty figures, never 0.0 or those of the series
// shown before it; its start, rate and count stay.
TEST_F(GraphWindowTest, NothingToDescribeLeavesTheFiguresEmpty) {
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    host.fill({{kStart, 2, {70, 71, 72, 73, 74, 75}}, {kStart + 1, 1, {}}});
    struct Case {
        const char* what;
        std::function<void()> show;
        QString count, rate, average;
        bool cursors;  // cursors A and B stand on points
    };
    const Case cases[] = {
        {"a logger set without samples", [&] { graph->showDataSet(1); }, "0", "1", "", false},
        {"a series of no points", [&] { fillSeries({}, 1.0); }, "0", "", "", false},
        {"a series of one point", [&] { fillSeries({75}, 1.0); }, "1", "", "75.0", false},
        {"a series without any level",
         [&] {
             fillSeries({kNullLevel, kNaN, kNullLevel}, 2.0);
         },
         "3", "2.0", "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        graph->showDataSet(0);  // figures of a full set first
        ASSERT_EQ(graph->betweenCursorsAverage->text(), "73.0");
        c.show();
        EXPECT_EQ(graph->pointCount->text(), c.count);
        EXPECT_EQ(graph->samplingRateBox->currentText(), c.rate);
        EXPECT_EQ(graph->seriesAverage->text(), c.average);
        if (c.average.isEmpty()) {
            for (QLineEdit* e : {graph->seriesMaximum, graph->seriesMaximumTime,
                                 graph->seriesMinimum, graph->seriesMinimumTime})
                EXPECT_EQ(e->text(), "") << e->objectName().toStdString();
        }
        for (QLineEdit* e : {graph->cursorALevel, graph->cursorBLevel, graph->betweenCursorsMaximum,
                             graph->betweenCursorsMaximumTime, graph->betweenCursorsMinimum,
                             graph->betweenCursorsMinimumTime, graph->betweenCursorsAverage,
                             graph->betweenCursorsLeq, graph->betweenCursorsL50})
            EXPECT_EQ(e->text(), "") << e->objectName().toStdString();
        // Without cursors their times and lines go too; on a point without a level the time
        // is still that point's.
        EXPECT_EQ(graph->cursorATime->text().isEmpty(), !c.cursors);
        EXPECT_EQ(graph->graphView->state().vertLineText[1].isEmpty(), !c.cursors);
    }
    // Export Statistic copies the empty figures as they are shown.
    graph->showDataSet(1);
    graph->exportStatistics();
    const QStringList lines = QGuiApplication::clipboard()->text().split('\n');
    ASSERT_GE(lines.size(), 11);
    EXPECT_EQ(lines[3], "Avg.:");
    EXPECT_EQ(lines[4], "Maximum:@");
    EXPECT_EQ(lines[7], "Cursor B:@");
    EXPECT_EQ(lines[10], "Avg. Between A and B:");
}

// A 0.1 s run spends ten points in each second: its times show their tenths, a slower one's
// whole seconds.
TEST_F(GraphWindowTest, PointTimesShowTenthsWhenTheRateIsBelowOneSecond) {
    const std::vector<float> levels{60, 61, 62, 63, 64, 65, 66, 67, 68};
    fillSeries(levels, 0.1);
    ASSERT_EQ(graph->samplingRateBox->currentText(), "0.1");
    EXPECT_EQ(graph->cursorATime->text(), "01/05/2024 08:00:00.3");
    EXPECT_EQ(graph->cursorBTime->text(), "01/05/2024 08:00:00.6");
    EXPECT_EQ(graph->betweenCursorsMaximumTime->text(), "01/05/2024 08:00:00.6");
    EXPECT_EQ(graph->seriesMaximumTime->text(), "01/05/2024 08:00:00.8");
    EXPECT_EQ(graph->graphView->state().vertLineText[0], "|t08:00:00.3\n63.0dB");

    fillSeries(levels, 1.0);
    EXPECT_EQ(graph->cursorATime->text(), "01/05/2024 08:00:03");
    EXPECT_EQ(graph->graphView->state().vertLineText[1], "|t08:00:06\n66.0dB");
}
