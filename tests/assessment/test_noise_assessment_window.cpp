#include <gtest/gtest.h>

#include <qcustomplot.h>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTimeZone>
#include <QToolButton>
#include <memory>
#include <vector>

#include "assessment/AssessmentChoices.h"
#include "assessment/AssessmentTables.h"
#include "assessment/ui/NoiseAssessmentWindow.h"
#include "dataset/SerialDateTime.h"
#include "formats/TableText.h"
#include "graph/ui/GraphWindow.h"
#include "graph/ui/RangeSlider.h"
#include "levels/LevelArithmetic.h"
#include "platform/Settings.h"
#include "support/Controls.h"
#include "support/FakeGraphHost.h"

using namespace kl516;

namespace {

const QLocale kLocale(QLocale::English, QLocale::UnitedKingdom);

SerialDateTime at(int day, int hour, int minute, int second = 0) {
    return toSerialDateTime(QDate(2024, 5, day), QTime(hour, minute, second));
}

// Two hours of 60 dB at one-second spacing from 08:00, with 80 dB from 08:30:00 to 08:30:59.
std::vector<float> twoHoursWithALoudMinute() {
    std::vector<float> levels(7200, 60.0f);
    std::fill(levels.begin() + 1800, levels.begin() + 1860, 80.0f);
    return levels;
}

QStringList column(const std::vector<QStringList>& rows, int c) {
    QStringList out;
    for (const QStringList& r : rows) out << r.value(c);
    return out;
}

struct AssessmentWindow : ::testing::Test {
    test::FakeGraphHost host;
    std::unique_ptr<GraphWindow> graph;
    bool unsaved = false;

    void SetUp() override {
        graph = std::make_unique<GraphWindow>(
            host, GraphDocument{WindowRole::DataLogger, WindowRole::None, &unsaved});
        graph->setCaption(QStringLiteral("DataLogger"));
        graph->show();
    }
    // Levels from start at a fixed spacing; the cursors at both ends.
    void fill(const std::vector<float>& levels, SerialDateTime start, double spacing = 1) {
        const int n = int(levels.size());
        graph->setUpGraph(1, 130, 30, start + n * spacing * kOneSecond, start, n);
        graph->graphView->editPoints([&](GraphState& s) {
            for (int i = 0; i < n; ++i) {
                s.x[0][size_t(i)] = start + i * spacing * kOneSecond;
                s.y[0][size_t(i)] = levels[size_t(i)];
            }
        });
        graph->updateGraphStatistic();
        setCursors(0, n - 1);
    }
    void setCursors(int a, int b) {
        graph->rangeSlider->setFirstValue(a);
        graph->rangeSlider->setSecondValue(b);
        ASSERT_EQ(graph->cursorA(), a);
        ASSERT_EQ(graph->cursorB(), b);
    }
    NoiseAssessmentWindow* open() {
        test::button(*graph, "assessmentButton")->click();
        return graph->noiseAssessmentWindow();
    }
    std::unique_ptr<QSettings> settings() const {
        return std::make_unique<QSettings>(host.settings, settingsFormat());
    }
};

}  // namespace

TEST_F(AssessmentWindow, ShowsTheIntervalsTheDayPeriodAndTheExceedanceOfTheSeries) {
    fill(twoHoursWithALoudMinute(), at(1, 8, 0));
    NoiseAssessmentWindow* w = open();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("DataLogger \u2013 Noise Assessment"));
    EXPECT_FALSE(w->errorLabel->isVisibleTo(w));
    EXPECT_EQ(w->rangeLabel->text(), QStringLiteral("7200 samples from 01/05/2024 08:00:00 to "
                                                    "01/05/2024 09:59:59"));

    // Two hours in minutes: 120 rows, the automatic choice; the loud minute is row 30.
    EXPECT_EQ(w->intervalBox->currentText(), QStringLiteral("Automatic (1 min)"));
    const std::vector<QStringList>& rows = w->intervalCells();
    ASSERT_EQ(rows.size(), 120u);
    EXPECT_EQ(w->intervalTable->model()->rowCount(), 120);
    EXPECT_EQ(rows[30], (QStringList{"01/05/2024 08:30:00", "01/05/2024 08:31:00", "80.0", "80.0",
                                     "80.0", "80.0", "80.0", "80.0", "60", "100.0"}));
    EXPECT_EQ(rows[0].mid(2),
              (QStringList{"60.0", "60.0", "60.0", "60.0", "60.0", "60.0", "60", "100.0"}));

    // 15 minutes: 8 rows; 08:30-08:45 holds 60 s of 80 dB and 840 s of 60 dB:
    // 10 lg((60·10^8 + 840·10^6) / 900) = 68.81.
    w->intervalBox->setCurrentIndex(w->intervalBox->findData(15 * 60));
    ASSERT_EQ(w->intervalCells().size(), 8u);
    EXPECT_EQ(column(w->intervalCells(), 2),
              (QStringList{"60.0", "60.0", "68.8", "60.0", "60.0", "60.0", "60.0", "60.0"}));
    EXPECT_EQ(w->intervalCells()[2][3], "80.0");  // Lmax
    EXPECT_EQ(w->intervalCells()[2][5], "60.0");  // L10: 60 of 900 samples are above it
    // The chart: one bar and one Lmax mark per interval.
    ASSERT_EQ(w->levelChart->plottableCount(), 2);
    auto* bars = qobject_cast<QCPBars*>(w->levelChart->plottable(0));
    ASSERT_NE(bars, nullptr);
    EXPECT_EQ(bars->data()->size(), 8);
    EXPECT_NEAR(bars->data()->at(2)->value, 68.808, 1e-3);
    EXPECT_EQ(w->levelChart->graph(0)->data()->at(2)->value, 80.0);

    // The day period from 07:00 holds 2 of its 12 day hours and no evening or night: incomplete,
    // with Lday = 10 lg((60·10^8 + 7140·10^6) / 7200) = 62.6 and no Lden.
    ASSERT_EQ(w->periodCells().size(), 1u);
    EXPECT_EQ(w->periodCells()[0], (QStringList{"01/05/2024 07:00:00", "62.6", "", "", "", "",
                                                "16.7", "0.0", "0.0", "incomplete"}));

    // Above 70 dB: the one minute, 60 s of 7200 = 0.8 %.
    EXPECT_EQ(w->eventCells(),
              (std::vector<QStringList>{{"01/05/2024 08:30:00", "60.0", "80.0", "80.0"}}));
    EXPECT_EQ(w->totalsLabel->text(),
              QStringLiteral("Above 70.0 dB for at least 0 s: 1 event; 60.0 s above = 0.8 % of "
                             "7200.0 s measured"));
}

TEST_F(AssessmentWindow, TheCursorsNarrowTheSeries) {
    fill(twoHoursWithALoudMinute(), at(1, 8, 0));
    // 08:29:00 to 08:38:59: ten minutes, the second of them loud.
    setCursors(1740 + 599, 1740);
    NoiseAssessmentWindow* w = open();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->rangeLabel->text(),
              QStringLiteral("600 samples from 01/05/2024 08:29:00 to 01/05/2024 08:38:59"));
    ASSERT_EQ(w->intervalCells().size(), 10u);
    EXPECT_EQ(w->intervalCells()[0][0], "01/05/2024 08:29:00");
    EXPECT_EQ(column(w->intervalCells(), 2).mid(0, 3), (QStringList{"60.0", "80.0", "60.0"}));
    // 60 s above of 600 s measured.
    EXPECT_TRUE(
        w->totalsLabel->text().endsWith(QStringLiteral("60.0 s above = 10.0 % of 600.0 "
                                                       "s measured")));
}

TEST_F(AssessmentWindow, AConstantFiftyDecibelsOverTwoDaysGivesLdenAndLdnOf56Point4) {
    // 48 hours at one-minute spacing from 07:00: two whole day periods.
    fill(std::vector<float>(48 * 60, 50.0f), at(1, 7, 0), 60);
    NoiseAssessmentWindow* w = open();
    ASSERT_NE(w, nullptr);
    // 2880 one-minute rows are too many; 192 of 15 minutes are not.
    EXPECT_EQ(w->intervalBox->currentText(), QStringLiteral("Automatic (15 min)"));
    EXPECT_EQ(w->intervalCells().size(), 192u);
    ASSERT_EQ(w->periodCells().size(), 2u);
    for (const QStringList& row : w->periodCells())
        EXPECT_EQ(row.mid(1), (QStringList{"50.0", "50.0", "50.0", "56.4", "56.4", "100.0", "100.0",
                                           "100.0", "complete"}));
    EXPECT_EQ(w->periodCells()[1][0], "02/05/2024 07:00:00");
    EXPECT_TRUE(w->eventCells().empty());
}

TEST_F(AssessmentWindow, ChoicesRecomputeAndAreRememberedWithTheDayStartsOfTheStore) {
    {
        // The day periods are set in the store only; a wrong interval there is not taken.
        auto store = settings();
        store->setValue("Assessment/DayStart", "08:00");
        store->setValue("Assessment/Interval", "420");
        store->sync();
    }
    fill(twoHoursWithALoudMinute(), at(1, 8, 0));
    NoiseAssessmentWindow* w = open();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->intervalBox->currentData().toInt(), 0);
    ASSERT_EQ(w->periodCells().size(), 1u);
    EXPECT_EQ(w->periodCells()[0][0], "01/05/2024 08:00:00");
    EXPECT_EQ(w->periodsLabel->text(), QStringLiteral("Day from 08:00, evening from 19:00, night "
                                                      "from 23:00; for Ldn night from 22:00 (set "
                                                      "in the settings)"));

    w->thresholdBox->setValue(85);
    EXPECT_TRUE(w->eventCells().empty());
    w->thresholdBox->setValue(75);
    w->minDurationBox->setValue(61);
    EXPECT_TRUE(w->eventCells().empty());  // the minute lasts 60 s
    w->minDurationBox->setValue(60);
    EXPECT_EQ(w->eventCells().size(), 1u);
    w->intervalBox->setCurrentIndex(w->intervalBox->findData(60 * 60));
    EXPECT_EQ(w->intervalCells().size(), 2u);

    const AssessmentOptions kept = readAssessmentChoices(*settings());
    EXPECT_EQ(kept.intervalSeconds, 3600);
    EXPECT_EQ(kept.threshold, 75);
    EXPECT_EQ(kept.minDurationSeconds, 60);
    EXPECT_EQ(kept.periods.dayStart, 8 * 3600);
    EXPECT_EQ(kept.periods.eveningStart, 19 * 3600);

    // A new window starts with them.
    NoiseAssessmentWindow* again = open();
    ASSERT_NE(again, w);
    EXPECT_EQ(again->intervalBox->currentData().toInt(), 3600);
    EXPECT_EQ(again->thresholdBox->value(), 75);
    EXPECT_EQ(again->minDurationBox->value(), 60);
    EXPECT_EQ(again->eventCells().size(), 1u);
}

TEST_F(AssessmentWindow, PointsNotYetSampledAreLeftOutAndMissedSamplesHaveNoLevel) {
    // A real-time graph part way through: 120 samples, then points of time 0 and level 0; the
    // tenth sample was missed (the null value).
    std::vector<float> levels(200, 0.0f);
    std::fill(levels.begin(), levels.begin() + 120, 70.0f);
    levels[9] = kNullLevel;
    fill(levels, at(1, 8, 0));
    graph->graphView->editPoints(
        [](GraphState& s) { std::fill(s.x[0].begin() + 120, s.x[0].end(), 0.0); });
    NoiseAssessmentWindow* w = open();
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(w->errorLabel->isVisibleTo(w)) << w->errorLabel->text().toStdString();
    EXPECT_TRUE(w->rangeLabel->text().startsWith("120 samples"));
    ASSERT_EQ(w->intervalCells().size(), 2u);
    EXPECT_EQ(w->intervalCells()[0].mid(2),
              (QStringList{"70.0", "70.0", "70.0", "70.0", "70.0", "70.0", "59", "98.3"}));
}

TEST_F(AssessmentWindow, ARefusedSeriesShowsTheMessageAndNoTables) {
    fill({80}, at(1, 8, 0));
    NoiseAssessmentWindow* w = open();
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(w->assessment().has_value());
    EXPECT_TRUE(w->errorLabel->isVisibleTo(w));
    EXPECT_FALSE(w->errorLabel->text().isEmpty());
    EXPECT_EQ(w->intervalTable->model()->rowCount(), 0);
    EXPECT_EQ(w->periodTable->model()->rowCount(), 0);
    EXPECT_EQ(w->eventTable->model()->rowCount(), 0);
    EXPECT_TRUE(w->totalsLabel->text().isEmpty());
    EXPECT_FALSE(w->saveButton->isEnabled());
    EXPECT_TRUE(host.scripted.shown.empty());
}

TEST_F(AssessmentWindow, SaveWritesTheThreeTablesAndReportsAFailedWrite) {
    fill(twoHoursWithALoudMinute(), at(1, 8, 0));
    NoiseAssessmentWindow* w = open();
    ASSERT_NE(w, nullptr);
    w->intervalBox->setCurrentIndex(w->intervalBox->findData(60 * 60));
    const QString path = host.scratch.filePath("assessment.txt");
    host.scripted.fileNames = {path};
    ASSERT_TRUE(w->save());
    std::vector<QStringList> rows;
    ASSERT_TRUE(readTableTextFile(path, rows));
    const auto find = [&rows](const QString& first) {
        return std::find_if(rows.begin(), rows.end(),
                            [&](const QStringList& r) { return r.value(0) == first; });
    };
    ASSERT_NE(find("Intervals"), rows.end());
    EXPECT_EQ(*(find("Intervals") + 1), columnTitles(AssessmentTable::Intervals));
    EXPECT_EQ(*(find("Day-Evening-Night") + 1), columnTitles(AssessmentTable::Periods));
    EXPECT_EQ(*(find("Intervals") + 2), w->intervalCells()[0]);
    EXPECT_EQ(*(find("Intervals") + 3), w->intervalCells()[1]);
    ASSERT_NE(find("Day-Evening-Night"), rows.end());
    EXPECT_EQ(*(find("Day-Evening-Night") + 2), w->periodCells()[0]);
    ASSERT_NE(find("Exceedances"), rows.end());
    EXPECT_EQ(*(find("Exceedances") + 2), w->eventCells()[0]);
    ASSERT_NE(find("Events"), rows.end());
    EXPECT_EQ(*(find("Events") + 1), (QStringList{"1", "60.0", "0.8", "7200.0"}));
    EXPECT_TRUE(host.scripted.messages().isEmpty());

    // CSV for spreadsheets: the interval table under its column names, times in ISO 8601 with
    // the offset, levels with a point.
    const QString sheet = host.scratch.filePath("intervals.csv");
    host.scripted.fileNames = {sheet};
    host.scripted.chosenFilters = {QStringLiteral("CSV for spreadsheets (*.csv)")};
    ASSERT_TRUE(w->save());
    EXPECT_TRUE(host.scripted.shown.back().filter.endsWith(";;CSV for spreadsheets (*.csv)"));
    QFile csv(sheet);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csv.readAll().trimmed().split('\n');
    const std::vector<IntervalRow>& intervals = w->assessment()->intervals;
    ASSERT_EQ(lines.size(), qsizetype(intervals.size()) + 1);
    EXPECT_EQ(lines[0].trimmed(),
              "start_time,end_time,leq_dB,lmax_dB,lmin_dB,l10_dB,l50_dB,"
              "l90_dB,samples,coverage_percent");
    const QList<QByteArray> first = lines[1].trimmed().split(',');
    ASSERT_EQ(first.size(), 10);
    // The row's start is an instant, written as the local time with its offset.
    const QString start = QDateTime::fromSecsSinceEpoch(qint64(intervals[0].start))
                              .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
    EXPECT_TRUE(first[0].startsWith(start.toLatin1())) << first[0].toStdString();
    const QDateTime parsed =
        QDateTime::fromString(QString::fromLatin1(first[0]), Qt::ISODateWithMs);
    ASSERT_TRUE(parsed.isValid());
    EXPECT_EQ(parsed.offsetFromUtc(), QDateTime(parsed.date(), parsed.time()).offsetFromUtc());
    EXPECT_EQ(double(parsed.toSecsSinceEpoch()), intervals[0].start);
    ASSERT_TRUE(intervals[0].figures.leq.has_value());
    EXPECT_NEAR(first[2].toDouble(), *intervals[0].figures.leq, 0.05);
    EXPECT_TRUE(host.scripted.messages().isEmpty());

    // A folder that does not exist: told, and nothing written.
    const QString nowhere = host.scratch.filePath("missing/assessment.txt");
    host.scripted.fileNames = {nowhere};
    EXPECT_FALSE(w->save());
    ASSERT_EQ(host.scripted.messages().size(), 1);
    EXPECT_TRUE(host.scripted.messages()[0].startsWith("Cannot write"))
        << host.scripted.messages()[0].toStdString();
    EXPECT_FALSE(QFile::exists(nowhere));
    // Cancelled: nothing asked further.
    EXPECT_FALSE(w->save());
    EXPECT_EQ(host.scripted.messages().size(), 1);
}

TEST_F(AssessmentWindow, InTheWorkspaceItOpensBesideItsGraphAndGoesWithIt) {
    QMdiArea area;
    graph->hide();
    QMdiSubWindow* sub = area.addSubWindow(graph.get());
    area.resize(800, 600);
    area.show();
    sub->show();
    fill(twoHoursWithALoudMinute(), at(1, 8, 0));
    QPointer<NoiseAssessmentWindow> w = open();
    ASSERT_FALSE(w.isNull());
    auto* frame = qobject_cast<QMdiSubWindow*>(w->parentWidget());
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->mdiArea(), &area);
    EXPECT_EQ(frame->windowTitle(), w->windowTitle());
    EXPECT_EQ(area.activeSubWindow(), frame);
    // Every control has a name the screen reader can say.
    for (QWidget* c : std::initializer_list<QWidget*>{
             w->intervalBox, w->thresholdBox, w->minDurationBox, w->saveButton, w->intervalTable,
             w->periodTable, w->eventTable})
        EXPECT_FALSE(c->accessibleName().isEmpty()) << c->objectName().toStdString();

    graph.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.isNull());
}
