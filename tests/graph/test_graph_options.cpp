#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QColorDialog>
#include <QDateEdit>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include "app/ui/MainWindow.h"
#include "graph/GraphFile.h"
#include "graph/ui/DataSetListModel.h"
#include "graph/ui/DataSetStartDialog.h"
#include "graph/ui/GraphCustomizeDialog.h"
#include "graph/ui/GraphWindow.h"
#include "link/MeterLink.h"
#include "simulator/SimulatedMeter.h"
#include "support/FakeGraphHost.h"
#include "support/MainWindowStart.h"

using namespace kl516;
using Answer = Prompts::Answer;

namespace {

const SerialDateTime kStart = toSerialDateTime(QDate(2024, 5, 1), QTime(8, 0, 0));
constexpr Argb kChosen = makeArgb(255, 10, 120, 200);
const QString kQuestion = QStringLiteral("Do you want to save the changes ?");

// Every file below a folder with its contents, to tell that nothing was written there.
QMap<QString, QByteArray> filesBelow(const QString& folder) {
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        files[path] = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("?");
    }
    return files;
}

struct GraphOptionsTest : ::testing::Test {
    QTemporaryDir dir;
    test::FakeGraphHost host;
    std::unique_ptr<GraphWindow> graph;

    void SetUp() override {
        host.folder = dir.filePath(QStringLiteral("program"));
        host.userFolder = dir.filePath(QStringLiteral("user"));
        QDir().mkpath(host.folder);
        graph = newWindow();
    }

    std::unique_ptr<GraphWindow> newWindow() {
        auto g = std::make_unique<GraphWindow>(host);
        g->resize(GraphWindow::kClientWidth, GraphWindow::kClientHeight);
        g->show();
        g->setUpGraph(1, 130, 30, kStart + 10 * kOneSecond, kStart, 10);
        return g;
    }

    QString userTemplate() const { return host.paths().userTemplate(); }

    // Clicks "Graph Option" and acts in the settings dialog as the user: picks kChosen as the
    // plotting area's colour when `changeColour`, then OK or Cancel.
    void customize(bool changeColour, bool ok) {
        QTimer::singleShot(0, [changeColour, ok] {
            auto* dialog = qobject_cast<GraphCustomizeDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            if (changeColour) {
                QTimer::singleShot(0, [] {
                    auto* colours = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
                    ASSERT_NE(colours, nullptr);
                    colours->setCurrentColor(QColor::fromRgba(kChosen));
                    colours->accept();
                });
                dialog->findChild<QPushButton*>(QStringLiteral("backColorButton"))->click();
            }
            ok ? dialog->accept() : dialog->reject();
        });
        graph->graphOptionsButton->click();
    }
};

}  // namespace

TEST_F(GraphOptionsTest, TheSettingsDialogShowsEveryTabWhole) {
    bool looked = false;
    QTimer::singleShot(0, [&looked] {
        auto* dialog = qobject_cast<GraphCustomizeDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        const QTabBar* bar = dialog->tabs()->tabBar();
        EXPECT_EQ(bar->count(), 5);
        // Neither as opened nor at the smallest size the user can drag it to.
        EXPECT_LE(bar->sizeHint().width(), bar->width());
        EXPECT_LE(bar->sizeHint().width(), dialog->minimumSizeHint().width());
        for (int i = 0; i < bar->count(); ++i)
            EXPECT_TRUE(bar->rect().contains(bar->tabRect(i))) << bar->tabText(i).toStdString();
        looked = true;
        dialog->reject();
    });
    graph->graphOptionsButton->click();
    EXPECT_TRUE(looked);
}

TEST_F(GraphOptionsTest, YesSavesTheLookAsTheTemplateOfTheNextGraphs) {
    const auto programBefore = filesBelow(host.folder);
    host.scripted.confirmAnswers = {Answer::Yes};
    customize(true, true);
    EXPECT_EQ(graph->graphOptionsButton->toolTip(), "Graph Customization");
    EXPECT_EQ(host.scripted.questions(), QStringList{kQuestion});
    EXPECT_EQ(graph->graphView->state().graphBackColor, kChosen);
    ASSERT_TRUE(QFile::exists(userTemplate()));
    EXPECT_EQ(filesBelow(host.folder), programBefore);  // the program's folder is never written

    // The next new window starts with the chosen colour: the built-in look (a black plotting
    // area) is skipped, the data settings are its own.
    auto next = std::make_unique<GraphWindow>(host);
    next->setUpGraph(1, 120, 40, kStart + 50 * kOneSecond, kStart, 50);
    const GraphState& s = std::as_const(*next->graphView).state();
    EXPECT_EQ(s.graphBackColor, kChosen);
    EXPECT_EQ(s.points, 50);
    EXPECT_EQ(s.manualMaxY, 120);
    EXPECT_DOUBLE_EQ(s.manualMaxX, kStart + 50 * kOneSecond);
    EXPECT_TRUE(host.unusableTemplates.isEmpty());
}

TEST_F(GraphOptionsTest, TheTemplateCarriesTheLookNotTheSeriesOrItsNotes) {
    for (int i = 0; i < 10; ++i) {
        graph->graphView->setXValue(0, i, kStart + i * kOneSecond);
        graph->graphView->setYValue(0, i, 70.0f + float(i));
    }
    graph->graphView->editProperties([](GraphState& s) {
        s.annotations.push_back(
            {2, kStart + kOneSecond, 75, QStringLiteral("truck"), makeArgb(255, 0, 0, 0)});
        s.mainTitle = QStringLiteral("Site A");
    });
    host.scripted.confirmAnswers = {Answer::Yes};
    customize(false, true);
    GraphState saved;
    ASSERT_TRUE(readGraphFile(userTemplate(), saved).ok);
    EXPECT_EQ(saved.mainTitle, "Site A");
    EXPECT_EQ(saved.points, 0);
    EXPECT_TRUE(saved.annotations.empty());

    // Applying the template keeps the notes of the graph it is applied to.
    auto other = std::make_unique<GraphWindow>(host);
    other->graphView->editProperties([](GraphState& s) {
        s.annotations.push_back({0, kStart, 60, QStringLiteral("door"), makeArgb(255, 0, 0, 0)});
    });
    other->setUpGraph(1, 130, 30, kStart + kOneSecond, kStart, 2);
    ASSERT_EQ(other->graphView->state().annotations.size(), 1u);
    EXPECT_EQ(other->graphView->state().annotations[0].text, "door");
    EXPECT_EQ(other->graphView->state().mainTitle, "Site A");
}

TEST_F(GraphOptionsTest, NoOrCancelWritesNothing) {
    struct Case {
        const char* what;
        bool ok;
        QStringList questions;
    };
    const Case cases[] = {
        {"OK, then No: the change stays in this graph only", true, {kQuestion}},
        {"Cancel in the dialog: no question", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host.scripted.clear();
        host.scripted.confirmAnswers = {Answer::No};
        const Argb before = graph->graphView->state().graphBackColor;
        customize(true, c.ok);
        EXPECT_EQ(host.scripted.questions(), c.questions);
        EXPECT_EQ(graph->graphView->state().graphBackColor, c.ok ? kChosen : before);
        EXPECT_FALSE(QFile::exists(userTemplate()));
        EXPECT_FALSE(QDir(host.userFolder).exists());
        host.scripted.confirmAnswers.clear();
    }
}

TEST_F(GraphOptionsTest, ATemplateFolderThatCannotBeMadeIsReportedAndNothingIsWritten) {
    // The user folder would have to be made inside a file.
    QFile blocker(dir.filePath(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    host.userFolder = dir.filePath(QStringLiteral("blocker/user"));
    host.scripted.confirmAnswers = {Answer::Yes};
    customize(true, true);
    const QString folder = QDir::toNativeSeparators(host.paths().templateFolder());
    EXPECT_EQ(host.scripted.messages(), QStringList{"Cannot create " + folder + " directory."});
    EXPECT_FALSE(QFile::exists(userTemplate()));
}

TEST_F(GraphOptionsTest, TheUsersTemplateComesBeforeTheShippedOne) {
    auto write = [](const QString& path, Argb colour) {
        GraphState look;
        look.graphBackColor = colour;
        QDir().mkpath(QFileInfo(path).path());
        ASSERT_TRUE(writeGraphFile(look, path).ok());
    };
    const QString programTemplate = host.folder + QStringLiteral("/template/graph.ghf");
    write(programTemplate, makeArgb(255, 1, 2, 3));
    graph->setUpGraph(1, 130, 30, 0, 0, 5);
    EXPECT_EQ(graph->graphView->state().graphBackColor, makeArgb(255, 1, 2, 3));
    write(userTemplate(), makeArgb(255, 4, 5, 6));
    graph->setUpGraph(1, 130, 30, 0, 0, 5);
    EXPECT_EQ(graph->graphView->state().graphBackColor, makeArgb(255, 4, 5, 6));
    // An unusable template of the user's is reported, not passed over for the next one.
    QFile damaged(userTemplate());
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
    damaged.write("\x10\0\0\0short", 9);
    damaged.close();
    graph->setUpGraph(1, 130, 30, 0, 0, 5);
    EXPECT_EQ(host.unusableTemplates, QStringList{userTemplate()});
    EXPECT_EQ(graph->graphView->state().graphBackColor, makeArgb(255, 0, 0, 0));  // built-in look
}

// ---- the start of a data set ------------------------------------------------------------------

namespace {

struct ChangeDateTimeTest : GraphOptionsTest {
    int dialogs = 0;
    QDate shownDate;
    QTime shownTime;

    void SetUp() override {
        GraphOptionsTest::SetUp();
        std::vector<float> levels(5);
        for (int i = 0; i < 5; ++i) levels[i] = 60.0f + float(i);
        host.fill({{kStart, 2, levels}, {kStart + 0.5, 2, levels}, {kStart + 1, 2, levels}});
        graph->setCaption(QStringLiteral("DataLogger"));
        graph->dataSetPanel->show();
        graph->dataSetList().setSets(host.table, host.fixedLocale);
        host.manualClock.setNow(QDateTime(QDate(2024, 3, 2), QTime(13, 14, 15, 678)));
    }

    // Answers the dialog: the new date and time with OK, or Cancel when `date` is null.
    void answer(QDate date, QTime time) {
        graph->execDataSetStartDialog = [this, date, time](DataSetStartDialog& dialog) {
            ++dialogs;
            shownDate = dialog.datePicker->date();
            shownTime = dialog.timePicker->time();
            EXPECT_EQ(dialog.windowTitle(), "Date Time");
            EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
            if (date.isNull()) return int(QDialog::Rejected);
            dialog.datePicker->setDate(date);
            dialog.timePicker->setTime(time);
            return int(QDialog::Accepted);
        };
    }

    std::vector<double> times(int set) const {
        const auto t = host.table.setTimes(set);
        return {t.begin(), t.end()};
    }
};

}  // namespace

TEST_F(ChangeDateTimeTest, TheFilledListShowsEveryColumnWhole) {
    // A DataLogger window as wide as a 1400-pixel workspace, filled.
    graph->resize(1400, GraphWindow::kClientHeight);
    QApplication::processEvents();
    graph->dataSetList().setSets(host.table, host.fixedLocale);
    QApplication::processEvents();
    QTableView* list = graph->dataSetTable;
    const QFontMetrics metrics = list->fontMetrics();
    for (int c = 0; c < DataSetListModel::kColumns; ++c) {
        SCOPED_TRACE(c);
        const QString title = list->model()->headerData(c, Qt::Horizontal).toString();
        int widest = metrics.horizontalAdvance(title);
        for (int r = 0; r < list->model()->rowCount(); ++r)
            widest = std::max(widest, metrics.horizontalAdvance(graph->dataSetList().text(r, c)));
        EXPECT_GT(list->columnWidth(c), widest);
    }
    // Fa/Sl and LEVEL, the last two, inside the list's visible part.
    const int last = DataSetListModel::kColumns - 1;
    EXPECT_LE(list->columnViewportPosition(last) + list->columnWidth(last),
              list->viewport()->width());
}

TEST_F(ChangeDateTimeTest, OkMovesOnlyThatSetAndShowsIt) {
    const std::vector<double> first = times(0), third = times(2);
    answer(QDate(2010, 5, 1), QTime(10, 0, 0));
    graph->dataSetTable->selectRow(1);  // set 2
    graph->changeDateTimeAction->trigger();
    ASSERT_EQ(dialogs, 1);
    // The pickers started at the set's start (1 May 2024 20:00), not at the current time.
    EXPECT_EQ(shownDate, QDate(2024, 5, 1));
    EXPECT_EQ(shownTime, QTime(20, 0, 0));

    const SerialDateTime newStart = toSerialDateTime(QDate(2010, 5, 1), QTime(10, 0, 0));
    EXPECT_DOUBLE_EQ(host.table.startTimes()[1], newStart);
    const std::vector<double> second = times(1);
    ASSERT_EQ(second.size(), 5u);
    for (int k = 0; k < 5; ++k) {
        EXPECT_DOUBLE_EQ(second[k], newStart + 2 * k * kOneSecond);
        EXPECT_EQ(timeOf(second[k]), QTime(10, 0, 2 * k));
    }
    EXPECT_EQ(times(0), first);
    EXPECT_EQ(times(2), third);
    EXPECT_EQ(host.table.levels()[5], 60.0f);  // levels stay

    // Row 3 of the list (set 2) shows the new start; the others are as they were.
    const DataSetListModel& list = graph->dataSetList();
    EXPECT_EQ(list.text(1, 1), host.fixedLocale.toString(QDate(2010, 5, 1), QLocale::ShortFormat));
    EXPECT_EQ(list.text(1, 2), "10:00:00");
    EXPECT_EQ(graph->dataSetTable->model()->index(1, 2).data().toString(), "10:00:00");
    EXPECT_EQ(list.text(0, 2), "08:00:00");
    EXPECT_EQ(list.text(2, 2), "08:00:00");

    // The graph shows the set at its new times.
    EXPECT_EQ(graph->graphView->points(), 5);
    EXPECT_DOUBLE_EQ(graph->graphView->xValue(0, 4), newStart + 8 * kOneSecond);
    EXPECT_EQ(graph->seriesStartTime->text(), formatDateTime(newStart, host.fixedLocale));
}

// The date picker shows the whole year in every locale, so that it never guesses a century.
TEST(DataSetStartDialogTest, TheDateShowsTheWholeYear) {
    const struct {
        QLocale locale;
        const char* text;
    } cases[] = {
        {QLocale(QLocale::English, QLocale::UnitedStates), "5/1/2024"},
        {QLocale(QLocale::German, QLocale::Germany), "01.05.2024"},
        {QLocale(QLocale::English, QLocale::UnitedKingdom), "01/05/2024"},
    };
    for (const auto& c : cases) {
        DataSetStartDialog dialog(QDate(2024, 5, 1), QTime(20, 0, 0), 2, c.locale);
        EXPECT_EQ(dialog.datePicker->text(), c.text) << c.locale.name().toStdString();
    }
}

TEST_F(ChangeDateTimeTest, CancelOrAnEmptyRowChangesNothing) {
    const DataSetTable before = host.table;
    graph->showDataSet(0);
    const QString shown = graph->seriesStartTime->text();

    answer(QDate(), QTime());  // Cancel
    graph->dataSetTable->selectRow(2);
    graph->changeDateTimeAction->trigger();
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(host.table.sampleTimes(), before.sampleTimes());
    EXPECT_EQ(host.table.startTimes(), before.startTimes());
    EXPECT_EQ(graph->dataSetList().text(2, 2), "08:00:00");
    EXPECT_EQ(graph->seriesStartTime->text(), shown);

    // A list without sets has one empty row: no dialog.
    answer(QDate(2010, 5, 1), QTime(10, 0, 0));
    graph->dataSetList().setSets(DataSetTable(), host.fixedLocale);
    graph->dataSetTable->selectRow(0);
    graph->changeDateTimeAction->trigger();
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(host.table.startTimes(), before.startTimes());
}

// ---- the main window's folders ----------------------------------------------------------------

namespace {

// Receives what the main window asks the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT
  public:
    QList<QUrl> opened;
  public slots:
    void open(const QUrl& url) { opened << url; }
};

}  // namespace

TEST(MainWindowFolders, TheMainWindowUsesItsEnvironmentsFoldersAndTable) {
    QTemporaryDir dir;
    const MainWindow::Environment env = test::scratchEnvironment(dir);
    // A template of the user's before start: the real-time window takes its look.
    GraphState look;
    look.graphBackColor = kChosen;
    QDir().mkpath(env.userFolder + QStringLiteral("/template"));
    ASSERT_TRUE(writeGraphFile(look, env.userFolder + QStringLiteral("/template/graph.ghf")).ok());

    ManualClock clock;
    test::ScriptedPrompts prompts;
    IdleLinkHost idle;
    SimulatedMeter meter(clock, SimulatedMeter::Options{});
    MeterLink link(meter, clock, idle);
    auto window = test::startMainWindow(link, prompts, clock, dir, QLocale(QLocale::English, QLocale::UnitedKingdom));
    window->connection().stopPolling();
    EXPECT_EQ(window->paths().userFolder, QDir::cleanPath(env.userFolder));
    ASSERT_NE(window->realTimeWindow(), nullptr);
    EXPECT_EQ(window->realTimeWindow()->graphView->state().graphBackColor, kChosen);

    // Help opens the page beside the program (nothing is shipped beside a scratch folder).
    QFile page(dir.filePath(QStringLiteral("KL516Help.htm")));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.close();
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
    window->openHelpContents();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(catcher.opened.size(), 1);
    EXPECT_EQ(catcher.opened[0].toLocalFile(), QDir::cleanPath(dir.path()) + "/KL516Help.htm");

    // A start-time change in the DataLogger window moves the set of the program's table.
    DataSetTable& table = window->dataSetTable();
    ASSERT_TRUE(table.replaceAll({{kStart}, {1}, {3}, {3}, {256}, {279}}));
    const float levels[3] = {70, 71, 72};
    ASSERT_TRUE(table.appendSet(levels, 3));
    GraphWindow* logger = window->openDataLoggerWindow(kStart);
    ASSERT_NE(logger, nullptr);
    logger->dataSetList().setSets(table, window->locale());
    logger->dataSetTable->selectRow(0);
    logger->execDataSetStartDialog = [](DataSetStartDialog& dialog) {
        dialog.datePicker->setDate(QDate(2010, 5, 1));
        dialog.timePicker->setTime(QTime(10, 0, 0));
        return int(QDialog::Accepted);
    };
    logger->changeDateTimeAction->trigger();
    const SerialDateTime newStart = toSerialDateTime(QDate(2010, 5, 1), QTime(10, 0, 0));
    EXPECT_DOUBLE_EQ(window->dataSets().startTimes()[0], newStart);
    EXPECT_DOUBLE_EQ(window->dataSets().sampleTimes()[2], newStart + 2 * kOneSecond);
}

#include "test_graph_options.moc"
