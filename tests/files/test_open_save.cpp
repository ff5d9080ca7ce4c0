#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <cmath>
#include <functional>
#include <memory>

#include "app/ui/MainWindow.h"
#include "files/ui/FileCommands.h"
#include "files/ui/OpenSaveChoiceDialog.h"
#include "files/ui/TabularListWindow.h"
#include "formats/ListTable.h"
#include "formats/PointText.h"
#include "graph/GraphFile.h"
#include "graph/ui/DataSetListModel.h"
#include "graph/ui/GraphWindow.h"
#include "leq/ui/LeqCommands.h"
#include "leq/ui/LeqWindow.h"
#include "levels/LevelArithmetic.h"
#include "link/MeterLink.h"
#include "logger/CollectionFile.h"
#include "logger/ui/ProgressRangeDialog.h"
#include "simulator/SimulatedMeter.h"
#include "support/Controls.h"
#include "support/Files.h"
#include "support/MainWindowStart.h"
#include "support/ScriptedPrompts.h"

using namespace kl516;
using Kind = test::ScriptedPrompts::Kind;

namespace {

const QLocale kPointLocale{QLocale::English, QLocale::UnitedKingdom};
const QLocale kCommaLocale{QLocale::German, QLocale::Germany};
constexpr double kSecond = 1.0 / 86400;

// The main window in a scratch folder with scripted prompts, the choice dialog and the range
// window answered by the test.
struct OpenSaveTest : ::testing::Test {
    QTemporaryDir dir;
    ManualClock clock;
    test::ScriptedPrompts prompts;
    IdleLinkHost idle;
    std::unique_ptr<SimulatedMeter> meter;
    std::unique_ptr<MeterLink> link;
    std::unique_ptr<MainWindow> window;

    // Choice dialog: what it showed, and the answer.
    int choices = 0;
    QStringList choiceTexts;  // title, then the two upper captions
    int choiceAnswer = OpenSaveChoiceDialog::Cancel;
    // Range window: what it showed, and how the user fills it.
    int ranges = 0;
    QStringList rangeTexts;  // title, from, to
    std::function<bool(ProgressRangeDialog&)> rangeAnswer = [](ProgressRangeDialog&) {
        return true;
    };

    void start(const QLocale& locale = kPointLocale) {
        meter = std::make_unique<SimulatedMeter>(clock);
        link = std::make_unique<MeterLink>(*meter, clock, idle);
        window = test::startMainWindow(*link, prompts, clock, dir, locale);
        window->connection().stopPolling();
        files().execChoiceDialog = [this](OpenSaveChoiceDialog& d) {
            ++choices;
            choiceTexts = {d.windowTitle(), d.allSetsButton->text(), d.singleFileButton->text()};
            return choiceAnswer;
        };
        files().execRangeDialog = [this](ProgressRangeDialog& s) {
            ++ranges;
            rangeTexts = {s.windowTitle(), s.rangeFrom->text(), s.rangeTo->text()};
            return rangeAnswer(s);
        };
    }
    FileCommands& files() { return window->fileCommands(); }

    QString path(const QString& name) const { return dir.filePath(name); }
    static QString native(const QString& p) {
        return QDir::toNativeSeparators(QFileInfo(p).absoluteFilePath());
    }
    static void writeText(const QString& p, const QStringList& lines) {
        QFile f(p);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        for (const QString& l : lines) f.write((l + QStringLiteral("\r\n")).toLocal8Bit());
    }
    static QStringList readLines(const QString& p) {
        QFile f(p);
        if (!f.open(QIODevice::ReadOnly)) return {};
        QStringList lines = QString::fromLocal8Bit(f.readAll()).split(QStringLiteral("\r\n"));
        if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
        return lines;
    }
    // A point text line at 10:00:00 + i seconds on 1 May 2024.
    QString pointLine(int i, float level, const float* second = nullptr) const {
        const double t = toSerialDateTime(QDate(2024, 5, 1), QTime(10, 0)) + i * kSecond;
        return pointTextLine(t, level, second, QLatin1Char('\t'), window->locale(),
                             PointDateStyle::Locale);
    }

    // A graph window of the given role with n points, one second apart, levels 50 + i.
    GraphWindow* graphWindow(const GraphDocument& document, int n) {
        GraphWindow* g = window->createGraphWindow(document, QStringLiteral("Graph"));
        const double start = toSerialDateTime(QDate(2024, 5, 1), QTime(10, 0));
        g->setUpGraph(1, 130, 30, start + n * kSecond, start, n);
        for (int i = 0; i < n; ++i) {
            g->graphView->setXValue(0, i, start + i * kSecond);
            g->graphView->setYValue(0, i, 50.0f + float(i));
        }
        window->activate(g);
        return g;
    }
    // One filled point in a graph window that has none (the real-time graph before a run).
    static void givePoint(GraphWindow* g) {
        const double t = toSerialDateTime(QDate(2024, 5, 1), QTime(9, 0));
        if (g->graphView->points() == 0) g->setUpGraph(1, 130, 30, t + kSecond, t, 1);
        g->graphView->setXValue(0, 0, t);
        g->graphView->setYValue(0, 0, 55.0f);
    }
    TabularListWindow* listOf(const QStringList& lines,
                              const QString& name = QStringLiteral("list.txt")) {
        writeText(path(name), lines);
        return files().openTextFile(path(name));
    }
    QList<GraphWindow*> graphs() const { return window->findChildren<GraphWindow*>(); }
    QWidget* frame(QWidget* child) const { return child->parentWidget(); }
    bool outputEnabled() const { return test::button(*window, "outputToGraphButton")->isEnabled(); }
};

TEST(ChoiceDialog, ItsButtonsAnswerOkNoOrCancelAndClosingItCancels) {
    const struct {
        const char* press;  // null: closed from its system menu
        int result;
    } cases[] = {{"allSetsButton", OpenSaveChoiceDialog::Ok},
                 {"singleFileButton", OpenSaveChoiceDialog::No},
                 {"cancelButton", OpenSaveChoiceDialog::Cancel},
                 {nullptr, OpenSaveChoiceDialog::Cancel}};
    for (const auto& c : cases) {
        OpenSaveChoiceDialog dialog;
        dialog.setUpForSave();
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Save File"));
        EXPECT_EQ(dialog.singleFileButton->text(),
                  QStringLiteral("Save single selected data set to a file"));
        EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QTimer::singleShot(0, &dialog, [&] {
            if (c.press)
                test::control<QPushButton>(dialog, c.press)->click();
            else
                dialog.close();
        });
        EXPECT_EQ(dialog.exec(), c.result) << (c.press ? c.press : "closed");
    }
}

TEST_F(OpenSaveTest, SaveActsOnTheActiveWindowByItsRole) {
    start();
    bool leqOfLoggerUnsaved = false;
    TabularListWindow* list = listOf({pointLine(0, 60)});
    ASSERT_NE(list, nullptr);
    test::action(*window, "leqAction")->trigger();
    GraphWindow* logger = window->openDataLoggerWindow(toSerialDateTime(clock.now()));
    GraphWindow* leqOfLogger =
        graphWindow({WindowRole::LeqOfSource, WindowRole::DataLogger, &leqOfLoggerUnsaved}, 5);
    givePoint(window->realTimeWindow());
    givePoint(logger);
    const QString graphFilter = dialogFilter(FileFilter::saveSingleFile(false));
    const QString tableFilter = dialogFilter(FileFilter::saveTable(false));
    const QString collectionFilter = dialogFilter(FileFilter::saveCollection());
    const struct {
        const char* what;
        QWidget* active;
        int answer;             // to the choice dialog
        bool choice;            // the choice dialog is shown
        const QString* filter;  // of the save dialog; null: none shown
    } cases[] = {
        {"control panel: nothing", window->panel(), OpenSaveChoiceDialog::Ok, false, nullptr},
        {"list: the table, no choice", list, OpenSaveChoiceDialog::Ok, false, &tableFilter},
        {"LEQ window: the table", window->leqCommands().window(), OpenSaveChoiceDialog::Ok, false,
         &tableFilter},
        {"real-time graph: its data, no choice", window->realTimeWindow(), OpenSaveChoiceDialog::Ok,
         false, &graphFilter},
        {"DataLogger, single set", logger, OpenSaveChoiceDialog::No, true, &graphFilter},
        {"DataLogger, cancelled", logger, OpenSaveChoiceDialog::Cancel, true, nullptr},
        {"running Leq of the DataLogger, all sets", leqOfLogger, OpenSaveChoiceDialog::Ok, true,
         &collectionFilter},
    };
    for (const auto& c : cases) {
        ASSERT_NE(c.active, nullptr) << c.what;
        window->activate(c.active);
        ASSERT_EQ(window->activeChild(), c.active) << c.what;
        prompts.clear();
        choices = 0;
        choiceAnswer = c.answer;
        test::action(*window, "saveAction")->trigger();
        EXPECT_EQ(choices, c.choice ? 1 : 0) << c.what;
        if (c.choice) {
            EXPECT_EQ(choiceTexts.value(0), QStringLiteral("Save File")) << c.what;
        }
        if (!c.filter) {
            EXPECT_TRUE(prompts.shown.empty()) << c.what;
            continue;
        }
        ASSERT_EQ(prompts.shown.size(), 1u) << c.what;
        EXPECT_EQ(prompts.shown[0].kind, Kind::SaveFile) << c.what;
        EXPECT_EQ(prompts.shown[0].filter, *c.filter) << c.what;
        EXPECT_EQ(prompts.shown[0].folder, files().baseFolder()) << c.what;
    }
    // The close question's Save takes the same way, for the window asked about.
    prompts.clear();
    choices = 0;
    window->activate(list);
    choiceAnswer = OpenSaveChoiceDialog::No;
    EXPECT_FALSE(window->saveWindow(*logger));
    EXPECT_EQ(choices, 1);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].filter, graphFilter);
}

TEST_F(OpenSaveTest, FiltersAndOpenCaptionsFollowTheDecimalSeparator) {
    const struct {
        QLocale locale;
        bool csv;
        const char* openCaption;
    } cases[] = {
        {kPointLocale, true, "Open single data file(*.TXT,*.CSV,*.GHF)"},
        {kCommaLocale, false, "Open single data file(*.TXT,*.GHF)"},
    };
    for (const auto& c : cases) {
        start(c.locale);
        TabularListWindow* list = listOf({pointLine(0, 60)});
        ASSERT_NE(list, nullptr);
        givePoint(window->realTimeWindow());
        prompts.clear();
        choiceAnswer = OpenSaveChoiceDialog::No;
        test::button(*window, "openFileButton")->click();  // Open, single file
        EXPECT_EQ(choiceTexts, (QStringList{"Open File", "Open a data set collection file(*.rec)",
                                            QString::fromLatin1(c.openCaption)}));
        window->activate(list);
        test::button(*window, "saveFileButton")->click();  // Save the table
        window->activate(window->realTimeWindow());
        test::action(*window, "saveAction")->trigger();  // Save the graph's data
        ASSERT_EQ(prompts.shown.size(), 3u);
        EXPECT_EQ(prompts.shown[0].kind, Kind::OpenFile);
        // The comma-separated text files only with a point; Save adds the spreadsheet CSV,
        // which writes a point in every locale.
        const QString spreadsheet = QStringLiteral(";;CSV for spreadsheets (*.csv)");
        for (const auto& shown : prompts.shown) {
            QString own = shown.filter;
            if (shown.kind == Kind::SaveFile) {
                EXPECT_TRUE(own.endsWith(spreadsheet)) << own.toStdString();
                own.chop(spreadsheet.size());
            }
            EXPECT_EQ(own.contains(QStringLiteral("*.csv"), Qt::CaseInsensitive), c.csv)
                << shown.filter.toStdString();
            EXPECT_TRUE(shown.filter.contains(QStringLiteral("(*.TXT *.txt)")));
            EXPECT_FALSE(shown.filter.contains(QStringLiteral("seperated")));
        }
        EXPECT_EQ(prompts.shown[0].filter + spreadsheet, prompts.shown[2].filter);
        window.reset();
    }
    EXPECT_EQ(dialogFilter(FileFilter::singleFile(true)),
              QStringLiteral("Graph file(*.ghf,only for KL516) (*.GHF *.ghf);;"
                             "TXT file(*.txt,data separated by tab) (*.TXT *.txt)"));
}

TEST_F(OpenSaveTest, TheRangeWindowChoosesThePointsSaved) {
    start();
    graphWindow({WindowRole::OpenedFile}, 10);
    const struct {
        const char* from;
        const char* to;
        int firstPoint;  // 0: no file
        int lines;
        const char* message;
    } cases[] = {
        {"-3", "2", 2, 2, nullptr},
        {"x", "2", 0, 0, "invalid integer"},
    };
    for (const auto& c : cases) {
        const QString file = path(QStringLiteral("range%1.txt").arg(c.from));
        prompts.clear();
        prompts.fileNames = {file};
        rangeAnswer = [&](ProgressRangeDialog& s) {
            s.rangeSelectRadio->setChecked(true);
            s.rangeFrom->setText(QString::fromLatin1(c.from));
            s.rangeTo->setText(QString::fromLatin1(c.to));
            return true;
        };
        test::action(*window, "saveAction")->trigger();
        EXPECT_EQ(rangeTexts, (QStringList{"Save File", "1", "10"})) << c.from;
        EXPECT_EQ(prompts.messages(),
                  c.message ? QStringList{QString::fromLatin1(c.message)} : QStringList())
            << c.from;
        EXPECT_EQ(QFileInfo::exists(file), c.firstPoint > 0) << c.from;
        // The range and progress windows were made for this save and are gone.
        for (ProgressRangeDialog* scope : window->findChildren<ProgressRangeDialog*>())
            EXPECT_FALSE(scope->isVisible()) << c.from;
        EXPECT_LE(window->findChildren<ProgressRangeDialog*>().size(), 1) << c.from;
        const QStringList lines = readLines(file);
        ASSERT_EQ(lines.size(), c.lines) << c.from;
        if (c.lines > 0) {
            EXPECT_EQ(lines[0], pointLine(c.firstPoint - 1, 50.0f + c.firstPoint - 1));
        }
    }
}

TEST_F(OpenSaveTest, AGraphFileSavedAndOpenedAgainShowsTheSameGraph) {
    start();
    GraphWindow* source = graphWindow({WindowRole::OpenedFile}, 10);
    source->graphView->editProperties([](GraphState& s) { s.mainTitle = QStringLiteral("Run"); });
    const GraphState saved = source->graphView->state();
    const QString file = path(QStringLiteral("graph.ghf"));
    prompts.fileNames = {file};
    test::action(*window, "saveAction")->trigger();
    EXPECT_EQ(ranges, 0);  // a graph file is always the whole graph
    ASSERT_TRUE(QFileInfo::exists(file));

    choiceAnswer = OpenSaveChoiceDialog::No;
    prompts.fileNames = {file};
    test::action(*window, "openAction")->trigger();
    auto* opened = qobject_cast<GraphWindow*>(window->activeChild());
    ASSERT_NE(opened, nullptr);
    ASSERT_NE(opened, source);
    EXPECT_EQ(opened->caption(), native(file));
    EXPECT_EQ(roleOf(opened), WindowRole::OpenedFile);
    // Everything the file holds; the window places its cursor lines afresh.
    GraphState reopened = opened->graphView->state();
    reopened.vertLineX = saved.vertLineX;
    reopened.vertLineText = saved.vertLineText;
    EXPECT_EQ(reopened, saved);
    EXPECT_EQ(frame(opened)->pos(), QPoint(0, 0));
    EXPECT_EQ(opened->pointCount->text(), QStringLiteral("10"));

    // A damaged file: one message, no window.
    QFile::resize(file, QFileInfo(file).size() - 3);
    const qsizetype before = graphs().size();
    prompts.clear();
    prompts.fileNames = {file};
    test::action(*window, "openAction")->trigger();
    EXPECT_EQ(prompts.messages().size(), 1);
    EXPECT_EQ(graphs().size(), before);
}

TEST_F(OpenSaveTest, AFailedWriteNamesTheFileAndTheReason) {
    start();
    graphWindow({WindowRole::OpenedFile}, 3);
    // A folder that cannot be written even by an administrator: its "parent" is a file.
    writeText(path(QStringLiteral("blocker")), {QStringLiteral("x")});
    for (const char* name : {"blocker/graph.ghf", "blocker/points.txt"}) {
        const QString file = path(QString::fromLatin1(name));
        prompts.clear();
        prompts.fileNames = {file};
        test::action(*window, "saveAction")->trigger();
        ASSERT_EQ(prompts.messages().size(), 1) << name;
        EXPECT_TRUE(prompts.messages()[0].contains(QDir::toNativeSeparators(file))) << name;
        EXPECT_TRUE(prompts.messages()[0].startsWith(QStringLiteral("Cannot write"))) << name;
    }
    // A collection file when nothing was ever loaded: said, not silently skipped.
    GraphWindow* logger = window->openDataLoggerWindow(toSerialDateTime(clock.now()));
    prompts.clear();
    choiceAnswer = OpenSaveChoiceDialog::Ok;
    prompts.fileNames = {path(QStringLiteral("sets.rec"))};
    EXPECT_FALSE(files().saveGraphWindow(*logger));
    ASSERT_EQ(prompts.messages().size(), 1);
    EXPECT_TRUE(prompts.messages()[0].contains(QStringLiteral("sets.rec")));
}

TEST_F(OpenSaveTest, OpenCollectionMakesTheDataLoggerWindowEvenWhenCancelled) {
    start();
    ASSERT_EQ(window->dataLoggerWindow(), nullptr);
    choiceAnswer = OpenSaveChoiceDialog::Ok;
    test::action(*window, "openAction")->trigger();
    GraphWindow* logger = window->dataLoggerWindow();
    ASSERT_NE(logger, nullptr);
    EXPECT_EQ(logger->caption(), QStringLiteral("DataLogger"));
    EXPECT_EQ(window->activeChild(), logger);
    EXPECT_EQ(prompts.shown.size(), 1u);  // the cancelled file dialog
    EXPECT_TRUE(logger->dataSetList().text(0, 1).isEmpty());

    // The golden collection: its four sets listed and the first shown.
    prompts.clear();
    prompts.fileNames = {QStringLiteral(KL516_TEST_DATA "/golden.rec")};
    test::action(*window, "openAction")->trigger();
    EXPECT_TRUE(prompts.messages().isEmpty());
    EXPECT_EQ(window->dataSetTable().setCount(), 4);
    EXPECT_FALSE(logger->dataSetList().text(3, 1).isEmpty());
    EXPECT_GT(logger->graphView->points(), 0);
}

// Files named on the command line (or by the file manager) open by their extension, in the
// same windows as File > Open, without any dialog.
TEST_F(OpenSaveTest, AFileNamedByPathOpensInTheWindowOfItsKind) {
    start();
    EXPECT_TRUE(files().openPath(QStringLiteral(KL516_TEST_DATA "/golden.rec")));
    ASSERT_NE(window->dataLoggerWindow(), nullptr);
    EXPECT_EQ(window->dataSetTable().setCount(), 4);

    GraphWindow* source = graphWindow({WindowRole::OpenedFile}, 5);
    prompts.fileNames = {path(QStringLiteral("g.ghf"))};
    test::action(*window, "saveAction")->trigger();
    EXPECT_TRUE(files().openPath(path(QStringLiteral("g.ghf"))));
    EXPECT_NE(window->activeChild(), source);
    EXPECT_EQ(qobject_cast<GraphWindow*>(window->activeChild())->caption(),
              native(path(QStringLiteral("g.ghf"))));

    writeText(path(QStringLiteral("p.csv")), {QStringLiteral("2024-05-01,10:00:00.0,60.0")});
    EXPECT_TRUE(files().openPath(path(QStringLiteral("p.csv"))));
    ASSERT_NE(qobject_cast<TabularListWindow*>(window->activeChild()), nullptr);

    prompts.clear();
    EXPECT_FALSE(files().openPath(path(QStringLiteral("notes.doc"))));
    ASSERT_EQ(prompts.messages().size(), 1);
    EXPECT_TRUE(prompts.messages()[0].contains(QStringLiteral("notes.doc")));
    EXPECT_TRUE(prompts.shown.size() == 1);  // no file dialog on any of these
}

TEST_F(OpenSaveTest, ATextFileOpensIntoAList) {
    start();
    const float second[] = {70.5f, 71.0f};
    choiceAnswer = OpenSaveChoiceDialog::No;
    const struct {
        const char* name;
        QStringList lines;
        QStringList titles;
        int rows;
    } cases[] = {
        {"points.txt", {pointLine(0, 60), pointLine(1, 61.5f)}, {"No", "Date", "Time", "Value"}, 2},
        {"two.txt",
         {pointLine(0, 60, &second[0]), pointLine(1, 61, &second[1]), QString(), pointLine(2, 1)},
         {"No", "Date", "Time", "SPL", "Leq"},
         2},
    };
    for (const auto& c : cases) {
        writeText(path(QString::fromLatin1(c.name)), c.lines);
        prompts.clear();
        prompts.fileNames = {path(QString::fromLatin1(c.name))};
        test::action(*window, "openAction")->trigger();
        auto* list = qobject_cast<TabularListWindow*>(window->activeChild());
        ASSERT_NE(list, nullptr) << c.name;
        EXPECT_EQ(list->caption(), native(path(QString::fromLatin1(c.name))));
        EXPECT_EQ(roleOf(list), WindowRole::TableList);
        const ListTableModel& table = list->table();
        for (int col = 0; col < c.titles.size(); ++col)
            EXPECT_EQ(table.headerData(col, Qt::Horizontal, Qt::DisplayRole).toString(),
                      c.titles[col])
                << c.name;
        ASSERT_EQ(table.rowCount(), c.rows) << c.name;
        const QStringList fields = c.lines[1].split(u'\t');
        for (int col = 1; col <= fields.size(); ++col)
            EXPECT_EQ(table.cell(1, col), fields[col - 1]) << c.name;
        EXPECT_EQ(table.cell(1, 0), QStringLiteral("2"));
        // A blank line ends the file, and the user is told so.
        EXPECT_EQ(prompts.messages().size(), c.lines.contains(QString()) ? 1 : 0) << c.name;
    }
    // Closing a list destroys it.
    QPointer<TabularListWindow> list = qobject_cast<TabularListWindow*>(window->activeChild());
    frame(list)->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(list.isNull());
}

TEST_F(OpenSaveTest, OutputToGraphPlotsTheLevelOfEachRow) {
    start();
    const float second[] = {80, 81, 82, 83};
    const QString noTime = QStringLiteral("01/05/2024\tnoon\t99.0");
    QStringList fields = pointLine(2, 0).split(u'\t');
    fields[2] = QStringLiteral("n/a");
    const QString noLevel = fields.join(u'\t');
    // LEQ table rows: date, time, SPL, Leq, each followed by the separator.
    const float none = NAN, leq = 81;
    const QString leqWithout = pointLine(0, none, &none) + u'\t';
    const QString leqWith = pointLine(1, 61, &leq) + u'\t';
    // A list with SPL and Leq columns gives the graph a running Leq window shows: the level
    // (SPL) first, the running Leq second.
    const struct {
        const char* what;
        QStringList lines;
        std::vector<float> levels;  // NaN: no level
        std::vector<float> leq;     // the second series; empty: none
        int skipped;                // a row without a readable time, or -1
    } cases[] = {
        {"one series: Value",
         {pointLine(0, 60), pointLine(1, 61), pointLine(2, 62)},
         {60, 61, 62},
         {},
         -1},
        {"LEQ table: SPL, then Leq",
         {pointLine(0, 60, &second[0]), pointLine(1, 61, &second[1])},
         {60, 61},
         {80, 81},
         -1},
        {"LEQ table whose first row has no level", {leqWithout, leqWith}, {NAN, 61}, {NAN, 81}, -1},
        {"gap and skipped row",
         {pointLine(0, 60), noTime, noLevel, pointLine(3, 63)},
         {60, NAN, NAN, 63},
         {},
         1},
    };
    for (const auto& c : cases) {
        TabularListWindow* list = listOf(c.lines);
        ASSERT_NE(list, nullptr) << c.what;
        const qsizetype before = graphs().size();
        prompts.clear();
        test::button(*window, "outputToGraphButton")->click();
        EXPECT_TRUE(prompts.messages().isEmpty()) << c.what;
        ASSERT_EQ(graphs().size(), before + 1) << c.what;
        auto* graph = qobject_cast<GraphWindow*>(window->activeChild());
        ASSERT_NE(graph, nullptr) << c.what;
        EXPECT_EQ(graph->caption(), list->caption());
        EXPECT_EQ(roleOf(graph), WindowRole::OpenedFile);
        const GraphView& pe = *graph->graphView;
        ASSERT_EQ(pe.points(), int(c.levels.size())) << c.what;
        ASSERT_EQ(pe.state().subsets, c.leq.empty() ? 1 : 2) << c.what;
        if (!c.leq.empty()) {
            EXPECT_EQ(pe.state().subsetLabels, (QStringList{"SPL", "Leq"})) << c.what;
        }
        for (int i = 0; i < pe.points(); ++i) {
            for (int series = 0; series < pe.state().subsets; ++series) {
                const float level = (series == 0 ? c.levels : c.leq)[size_t(i)];
                if (std::isnan(level))
                    EXPECT_EQ(pe.yValue(series, i), kNullDataValueY) << c.what << " row " << i;
                else
                    EXPECT_FLOAT_EQ(pe.yValue(series, i), level) << c.what << " row " << i;
            }
            const double expected =
                i == c.skipped ? 0.0
                               : toSerialDateTime(QDate(2024, 5, 1), QTime(10, 0)) + i * kSecond;
            EXPECT_NEAR(pe.xValue(0, i), expected, 1e-3 * kSecond) << c.what << " row " << i;
        }
    }

    // No data: the message, no window. No row with a readable date and time: the reader's
    // message naming the first row and the forms it reads, and no window either. A first row
    // that cannot be read (a title line) is skipped like any other.
    const struct {
        const char* what;
        QStringList lines;
        const char* message;  // the start of it; null: none
        int points;           // of the new graph window; -1: none made
    } noGraph[] = {
        {"no separator", {QStringLiteral("no separator")}, "No data to graph !", -1},
        {"no readable row",
         {QStringLiteral("someday\t10:00:00.0\t60.0"), QStringLiteral("2024-05-01\tnoon\t61.0")},
         "No row has a readable date and time, so there is nothing to graph. Row 1 holds "
         "\"someday 10:00:00.0\"; expected a date such as \"31/12/2024\"",
         -1},
        {"a title line", {QStringLiteral("Date\tTime\tLevel"), pointLine(1, 61)}, nullptr, 2},
    };
    for (const auto& c : noGraph) {
        TabularListWindow* list = listOf(c.lines);
        ASSERT_NE(list, nullptr) << c.what;
        const qsizetype before = graphs().size();
        prompts.clear();
        test::button(*window, "outputToGraphButton")->click();
        if (c.message) {
            ASSERT_EQ(prompts.messages().size(), 1) << c.what;
            EXPECT_TRUE(prompts.messages()[0].startsWith(QString::fromLatin1(c.message)))
                << prompts.messages()[0].toStdString();
        } else {
            EXPECT_TRUE(prompts.messages().isEmpty()) << c.what;
        }
        ASSERT_EQ(graphs().size(), before + (c.points < 0 ? 0 : 1)) << c.what;
        if (c.points >= 0) {
            auto* graph = qobject_cast<GraphWindow*>(window->activeChild());
            ASSERT_NE(graph, nullptr);
            EXPECT_EQ(graph->caption(), list->caption());
            EXPECT_EQ(graph->graphView->points(), c.points);
            EXPECT_EQ(graph->graphView->xValue(0, 0), 0.0);
            EXPECT_FLOAT_EQ(graph->graphView->yValue(0, 1), 61.0f);
        }
    }
}

TEST_F(OpenSaveTest, OutputToGraphIsEnabledByAListUntilAGraphOrThePanelIsActivated) {
    start();
    EXPECT_FALSE(outputEnabled());
    TabularListWindow* list = listOf({pointLine(0, 60), pointLine(1, 61)});
    EXPECT_TRUE(outputEnabled());
    window->activate(window->realTimeWindow());
    EXPECT_FALSE(outputEnabled());
    window->activate(list);
    EXPECT_TRUE(outputEnabled());
    window->activate(window->panel());
    EXPECT_FALSE(outputEnabled());
    window->activate(list);
    // The LEQ window leaves it as the list left it, and a click there does nothing.
    test::action(*window, "leqAction")->trigger();
    ASSERT_EQ(window->activeRole(), WindowRole::Leq);
    EXPECT_TRUE(outputEnabled());
    const qsizetype before = graphs().size();
    prompts.clear();
    test::button(*window, "outputToGraphButton")->click();
    EXPECT_EQ(graphs().size(), before);
    EXPECT_TRUE(prompts.shown.empty());
}

// A row whose time cannot be read is left out of a point text file, not its end; a point
// without a level keeps its line with an empty level; the table text of the list keeps every
// row.
TEST_F(OpenSaveTest, SavedPointsSkipRowsWithoutTimeAndKeepPointsWithoutLevel) {
    start();
    QStringList lines;
    for (int i = 0; i < 6; ++i) lines << pointLine(i, 60.0f + float(i));
    lines[2] = QStringLiteral("01/05/2024\tnoon\t62.0");              // no time
    lines[3].replace(QStringLiteral("63.0"), QStringLiteral("n/a"));  // no level
    TabularListWindow* list = listOf(lines);
    ASSERT_NE(list, nullptr);
    test::button(*window, "outputToGraphButton")->click();
    auto* graph = qobject_cast<GraphWindow*>(window->activeChild());
    ASSERT_NE(graph, nullptr);
    // Cursor A starts on the third point, the row without a time: it shows neither a time nor a
    // level (not the serial calendar's day zero).
    EXPECT_EQ(graph->cursorATime->text(), QString());
    EXPECT_EQ(graph->cursorALevel->text(), QString());
    EXPECT_FALSE(graph->cursorBTime->text().isEmpty());

    const QString points = path(QStringLiteral("points.txt"));
    prompts.clear();
    prompts.fileNames = {points};
    EXPECT_TRUE(files().saveGraphWindow(*graph));
    EXPECT_TRUE(prompts.messages().isEmpty());
    QStringList expected = lines;
    expected.removeAt(2);
    expected[2] = pointLine(3, 0).section(u'\t', 0, 1) + u'\t';
    EXPECT_EQ(readLines(points), expected);

    window->activate(list);
    const QString table = path(QStringLiteral("table.txt"));
    prompts.fileNames = {table};
    test::action(*window, "saveAction")->trigger();
    const QStringList rows = readLines(table);
    ASSERT_EQ(rows.size(), 6);
    EXPECT_TRUE(rows[2].startsWith(lines[2] + u'\t'));
    EXPECT_TRUE(rows[5].startsWith(lines[5] + u'\t'));
}

// Every way a save can end without a whole file answers false; the ones the user did not choose
// say why.
TEST_F(OpenSaveTest, ASaveThatWritesNothingSaysWhyAndAnswersFalse) {
    start();
    GraphWindow* graph = graphWindow({WindowRole::OpenedFile}, 3);
    GraphWindow* empty = graphWindow({WindowRole::OpenedFile}, 0);
    const QString noPoints =
        QStringLiteral("The graph holds no points to save; nothing was written.");
    const struct {
        const char* what;
        GraphWindow* window;
        const char* name;  // null: the file dialog cancelled
        bool rangeOk;
        const char* message;  // the start of it; null: none
    } cases[] = {
        {"no points: no dialog", empty, "empty.txt", true, "The graph holds no points"},
        {"file dialog cancelled", graph, nullptr, true, nullptr},
        {"range cancelled", graph, "range.txt", false, nullptr},
        {"unknown extension", graph, "foo.dat", true, "Cannot write \""},
    };
    for (const auto& c : cases) {
        prompts.clear();
        if (c.name) prompts.fileNames = {path(QString::fromLatin1(c.name))};
        rangeAnswer = [&](ProgressRangeDialog&) { return c.rangeOk; };
        EXPECT_FALSE(files().saveGraphWindow(*c.window)) << c.what;
        const QStringList messages = prompts.messages();
        if (c.message) {
            ASSERT_EQ(messages.size(), 1) << c.what;
            EXPECT_TRUE(messages[0].startsWith(QString::fromLatin1(c.message))) << c.what;
        } else {
            EXPECT_TRUE(messages.isEmpty()) << c.what;
        }
        if (c.name) {
            EXPECT_FALSE(QFileInfo::exists(path(QString::fromLatin1(c.name)))) << c.what;
        }
        prompts.fileNames.clear();
    }
    prompts.clear();
    EXPECT_FALSE(files().saveGraphWindow(*empty));
    EXPECT_EQ(prompts.messages(), QStringList{noPoints});
    EXPECT_EQ(prompts.shown.size(), 1u);  // no file dialog
    // The unknown extension names itself and what a graph can be saved as.
    prompts.clear();
    prompts.fileNames = {path(QStringLiteral("foo.dat"))};
    files().saveGraphWindow(*graph);
    EXPECT_EQ(prompts.messages(),
              QStringList{QStringLiteral("Cannot write \"%1\": a graph is saved as a graph file "
                                         "(.ghf) or as text (.txt or .csv), not as .dat; nothing "
                                         "was written")
                              .arg(QDir::toNativeSeparators(path(QStringLiteral("foo.dat"))))});
    rangeAnswer = [](ProgressRangeDialog&) { return true; };
    prompts.fileNames = {path(QStringLiteral("ok.txt"))};
    EXPECT_TRUE(files().saveGraphWindow(*graph));
    EXPECT_EQ(readLines(path(QStringLiteral("ok.txt"))).size(), 3);
}

// Cancel in the progress window: a file that existed stays as it was, a new one keeps the lines
// written; either is said, and the save answers false.
TEST_F(OpenSaveTest, CancelDuringASaveKeepsAnEarlierFileWhole) {
    start();
    GraphWindow* graph = graphWindow({WindowRole::OpenedFile}, 50);
    const QString earlier = path(QStringLiteral("earlier.txt"));
    writeText(earlier, {QStringLiteral("the earlier file")});
    const QString fresh = path(QStringLiteral("new.txt"));
    // The user presses Cancel as soon as the progress window shows: one line is written.
    QTimer cancel;
    cancel.setInterval(0);
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        for (ProgressRangeDialog* d : window->findChildren<ProgressRangeDialog*>())
            if (d->isVisible() && d->windowTitle() == QStringLiteral("Saving Progress"))
                d->reject();
    });
    const struct {
        const QString* file;
        QStringList lines;
        QString message;
    } cases[] = {
        {&earlier,
         {QStringLiteral("the earlier file")},
         QStringLiteral("Saving was cancelled: \"%1\" was left as it was.")
             .arg(QDir::toNativeSeparators(earlier))},
        {&fresh,
         {pointLine(0, 50)},
         QStringLiteral("Saving was cancelled: \"%1\" holds the first 1 line only.")
             .arg(QDir::toNativeSeparators(fresh))},
    };
    for (const auto& c : cases) {
        prompts.clear();
        prompts.fileNames = {*c.file};
        cancel.start();
        EXPECT_FALSE(files().saveGraphWindow(*graph));
        cancel.stop();
        EXPECT_EQ(prompts.messages(), QStringList{c.message});
        EXPECT_EQ(readLines(*c.file), c.lines);
    }
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("*.txt")}, QDir::Files).size(), 2);
}

// A cell holding a comma cannot go into a comma-separated file: the save is refused with the
// message the command line gives; the same table goes into a tab-separated one.
TEST_F(OpenSaveTest, ACommaInsideACellRefusesACommaSeparatedSave) {
    start();
    TabularListWindow* list = listOf({QStringLiteral("01/05/2024\t10:00:00.0\t70,5"),
                                      QStringLiteral("01/05/2024\t10:00:01.0\t71.0")});
    ASSERT_NE(list, nullptr);
    const ListTableModel& table = list->table();
    const auto cells = [&table](qint64 row) {
        QStringList out;
        for (int c = 1; c < ListTableModel::kColumns; ++c) out << table.cell(int(row) - 1, c);
        return out;
    };
    const QString csv = path(QStringLiteral("table.csv"));
    prompts.clear();
    prompts.fileNames = {csv};
    EXPECT_FALSE(files().saveTable(table.rowCount(), cells));
    EXPECT_EQ(prompts.messages(),
              QStringList{QStringLiteral("Cannot write \"%1\": field 3 of line 1 of the table "
                                         "(\"70,5\") holds a comma, which would split it in a "
                                         "comma-separated file; nothing was written")
                              .arg(QDir::toNativeSeparators(csv))});
    EXPECT_FALSE(QFileInfo::exists(csv));

    prompts.fileNames = {path(QStringLiteral("table.txt"))};
    EXPECT_TRUE(files().saveTable(table.rowCount(), cells));
    EXPECT_EQ(readLines(path(QStringLiteral("table.txt"))).value(0),
              QStringLiteral("01/05/2024\t10:00:00.0\t70,5\t\t\t\t"));
}

// CSV for spreadsheets from a graph, a list and the LEQ table, in a session whose decimal
// separator is a comma: a header, times that read back as the same instants, levels with a
// point, empty fields for no level. Without that filter chosen, .csv stays refused there.
TEST_F(OpenSaveTest, SpreadsheetCsvWritesPointsAndIsoTimesInACommaSession) {
    start(kCommaLocale);
    const QString sheet = QStringLiteral("CSV for spreadsheets (*.csv)");
    const auto fields = [this](const char* name) {
        QList<QStringList> rows;
        for (const QString& line : readLines(path(QLatin1String(name)))) rows << line.split(u',');
        return rows;
    };
    const auto instant = [](const QString& text) {
        return QDateTime::fromString(text, Qt::ISODateWithMs);
    };
    const QDateTime ten(QDate(2024, 5, 1), QTime(10, 0));

    GraphWindow* graph = graphWindow({WindowRole::OpenedFile}, 3);
    graph->graphView->setYValue(0, 1, kNullLevel);
    prompts.clear();
    prompts.fileNames = {path(QStringLiteral("graph.csv"))};
    prompts.chosenFilters = {sheet};
    EXPECT_TRUE(files().saveGraphWindow(*graph));
    EXPECT_TRUE(prompts.messages().isEmpty()) << prompts.messages().join(u'\n').toStdString();
    QList<QStringList> rows = fields("graph.csv");
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[0], (QStringList{"time", "level_dB"}));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(instant(rows[i + 1].value(0)), ten.addSecs(i))
            << rows[i + 1].value(0).toStdString();
        EXPECT_EQ(rows[i + 1].value(1), (QStringList{"50.0", "", "52.0"}[i]));
    }

    // And back: the list shows the file's points (its header is no row) with their dates and
    // times, and its graph is the graph saved.
    TabularListWindow* back = files().openTextFile(path(QStringLiteral("graph.csv")));
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(prompts.messages().isEmpty()) << prompts.messages().join(u'\n').toStdString();
    ASSERT_EQ(back->table().rowCount(), 3);
    EXPECT_EQ(back->table().cell(0, 1), QStringLiteral("2024-05-01"));
    EXPECT_EQ(back->table().cell(0, 2), QStringLiteral("10:00:00.0"));
    EXPECT_EQ(back->table().cell(2, 3), QStringLiteral("52.0"));
    window->activate(back);
    test::button(*window, "outputToGraphButton")->click();
    EXPECT_TRUE(prompts.messages().isEmpty()) << prompts.messages().join(u'\n').toStdString();
    auto* again = qobject_cast<GraphWindow*>(window->activeChild());
    ASSERT_NE(again, nullptr);
    ASSERT_EQ(again->graphView->points(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(again->graphView->xValue(0, i), graph->graphView->xValue(0, i), 1e-3 * kSecond)
            << i;
        EXPECT_EQ(again->graphView->yValue(0, i), graph->graphView->yValue(0, i)) << i;
    }

    // A level written with a point reads as the list reads it for a graph: 72.4, not 724.
    const QString pointed =
        pointLine(2, 72.4f).replace(QStringLiteral("72,4"), QStringLiteral("72.4"));
    TabularListWindow* list = listOf({pointLine(0, 60.5f), pointLine(1, 61.26f), pointed});
    ASSERT_NE(list, nullptr);
    window->activate(list);
    prompts.fileNames = {path(QStringLiteral("list.csv"))};
    prompts.chosenFilters = {sheet};
    test::action(*window, "saveAction")->trigger();
    EXPECT_TRUE(prompts.messages().isEmpty()) << prompts.messages().join(u'\n').toStdString();
    rows = fields("list.csv");
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[0], (QStringList{"time", "level_dB"}));
    EXPECT_EQ(instant(rows[2].value(0)), ten.addSecs(1));
    EXPECT_EQ(rows[1].value(1), QStringLiteral("60.5"));
    EXPECT_EQ(rows[2].value(1), QStringLiteral("61.3"));
    EXPECT_EQ(rows[3].value(1), QStringLiteral("72.4"));

    // The text formats are as they were: a .csv name is refused where the decimal is a comma.
    window->activate(list);
    prompts.clear();
    prompts.fileNames = {path(QStringLiteral("plain.csv"))};
    test::action(*window, "saveAction")->trigger();
    EXPECT_EQ(prompts.messages().size(), 1);
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("plain.csv"))));
}

// A collection file cut short opens as far as it can be read, and the user is told what the
// command line's "sets" tells. Unsaved DataLogger data are offered for saving before any
// collection replaces them.
TEST_F(OpenSaveTest, ACutCollectionIsToldAndUnsavedDataAreAskedAboutFirst) {
    start();
    QFile golden(QStringLiteral(KL516_TEST_DATA "/golden.rec"));
    ASSERT_TRUE(golden.open(QIODevice::ReadOnly));
    const QString cut = path(QStringLiteral("cut.rec"));
    {
        QFile out(cut);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(golden.readAll().left(300));
    }
    ASSERT_TRUE(files().openPath(QStringLiteral(KL516_TEST_DATA "/golden.rec")));
    EXPECT_TRUE(prompts.messages().isEmpty());  // a clean file says nothing
    bool& unsaved = window->connection().loggerDataUnsaved();
    unsaved = true;  // as after a Load Data
    const QByteArray temp = test::readAll(tempCollectionPath(window->workFolder()));
    ASSERT_FALSE(temp.isEmpty());

    // Cancel: nothing else is asked, nothing replaced.
    prompts.clear();
    choiceAnswer = OpenSaveChoiceDialog::Ok;
    prompts.confirmAnswers = {Prompts::Answer::Cancel};
    test::action(*window, "openAction")->trigger();
    EXPECT_EQ(prompts.questions(), QStringList{QStringLiteral("Save DataLogger Data ?")});
    EXPECT_EQ(prompts.shown.size(), 1u);
    EXPECT_TRUE(unsaved);
    EXPECT_EQ(test::readAll(tempCollectionPath(window->workFolder())), temp);
    EXPECT_FALSE(files().openCollectionPath(cut));  // asked again: Cancel by default
    EXPECT_EQ(test::readAll(tempCollectionPath(window->workFolder())), temp);

    // No: the file dialog, then the cut file opens and its findings are told.
    prompts.clear();
    prompts.confirmAnswers = {Prompts::Answer::No};
    prompts.fileNames = {cut};
    test::action(*window, "openAction")->trigger();
    ASSERT_GE(prompts.shown.size(), 2u);
    EXPECT_EQ(prompts.shown[0].kind, Kind::Confirm);
    EXPECT_EQ(prompts.shown[1].kind, Kind::OpenFile);
    EXPECT_EQ(window->dataSetTable().setCount(), 4);
    EXPECT_FALSE(unsaved);
    const QString native = QDir::toNativeSeparators(cut);
    EXPECT_EQ(prompts.messages(),
              QStringList{
                  QStringLiteral("\"%1\" was opened, but:\n"
                                 "- result 34: at least one data set ends beyond the memory's last "
                                 "address\n"
                                 "- %1 holds 300 bytes, fewer than its last address 347 needs: it "
                                 "may be cut short\n"
                                 "- the start times of data sets 3-4 are not a valid date and time "
                                 "in the file; the current date and time stand in")
                      .arg(native)});
}

// A German session reads a file written in the C locale's form, and two-digit years of its own.
TEST_F(OpenSaveTest, AListFromAnotherLocaleGraphsInACommaSession) {
    start(kCommaLocale);
    TabularListWindow* list = listOf({QStringLiteral("13 Apr 2024\t10:00:00.0\t60.5"),
                                      QStringLiteral("13.04.24\t10:00:01\t61,5")});
    ASSERT_NE(list, nullptr);
    prompts.clear();
    test::button(*window, "outputToGraphButton")->click();
    EXPECT_TRUE(prompts.messages().isEmpty());
    auto* graph = qobject_cast<GraphWindow*>(window->activeChild());
    ASSERT_NE(graph, nullptr);
    const double t = toSerialDateTime(QDate(2024, 4, 13), QTime(10, 0));
    EXPECT_NEAR(graph->graphView->xValue(0, 0), t, 1e-3 * kSecond);
    EXPECT_NEAR(graph->graphView->xValue(0, 1), t + kSecond, 1e-3 * kSecond);
    EXPECT_FLOAT_EQ(graph->graphView->yValue(0, 1), 61.5f);
}

}  // namespace
