#include <gtest/gtest.h>

#include "app/CommandStates.h"
#include "app/WindowArrangement.h"
#include "formats/FileNames.h"
#include "workspace/GraphDocument.h"

using namespace kl516;

TEST(CommandStates, FollowConnectionRunLeaseAndActiveWindow) {
    using C = ConnectionState;
    using R = WindowRole;
    const struct {
        const char* what;
        CommandContext context;
        CommandStates expected;  // run, stop, dataLogger, outputToGraph, clearRealTime,
                                 // exportGraph
    } cases[] = {
        {"start-up, no meter yet",
         {C::NeverConnected, false, false, R::RealTime},
         {false, false, true, false, true, true}},
        {"connected, no run",
         {C::Connected, false, false, R::RealTime},
         {true, false, true, false, true, true}},
        {"connected, run active",
         {C::Connected, true, false, R::RealTime},
         {false, true, true, false, false, true}},
        {"lost, no run",
         {C::Lost, false, false, R::DataLogger},
         {false, false, false, false, true, true}},
        {"lost during a run",
         {C::Lost, true, false, R::RealTime},
         {false, false, false, false, false, true}},
        {"link lent to Load Data",
         {C::Connected, false, true, R::DataLogger},
         {false, false, false, false, true, true}},
        {"link lent during a run",
         {C::Connected, true, true, R::RealTime},
         {false, true, false, false, false, true}},
        {"a table is active",
         {C::Connected, false, false, R::TableList},
         {true, false, true, true, true, false}},
        {"the panel is active",
         {C::Connected, false, false, R::ControlPanel},
         {true, false, true, false, true, false}},
        {"the panel after a list",
         {C::Connected, false, false, R::ControlPanel, R::TableList},
         {true, false, true, false, true, false}},
        {"a graph made from a list",
         {C::Connected, false, false, R::OpenedFile, R::TableList},
         {true, false, true, false, true, true}},
        {"the LEQ window after a list",
         {C::Connected, false, false, R::Leq, R::TableList},
         {true, false, true, true, true, false}},
        {"the setup window after a graph",
         {C::Connected, false, false, R::Service, R::DataLogger},
         {true, false, true, false, true, false}},
        {"no window is active",
         {C::Connected, false, false, R::None, R::TableList},
         {true, false, true, true, true, false}},
        {"the running Leq of a logger graph",
         {C::Connected, false, false, R::LeqOfSource},
         {true, false, true, false, true, true}},
    };
    for (const auto& c : cases) EXPECT_EQ(commandStates(c.context), c.expected) << c.what;
}

TEST(GraphDocument, RolesDecideQuestionsAndSaveFormats) {
    bool unsaved = true;
    const GraphDocument logger{WindowRole::DataLogger, WindowRole::None, &unsaved};
    const GraphDocument realTime{WindowRole::RealTime, WindowRole::None, &unsaved};
    const GraphDocument leqOfLogger{WindowRole::LeqOfSource, WindowRole::DataLogger, &unsaved};
    const GraphDocument file{WindowRole::OpenedFile};
    EXPECT_EQ(logger.closeQuestion(), "Save DataLogger Data ?");
    EXPECT_FALSE(logger.noClearsUnsaved());
    EXPECT_TRUE(logger.saveOffersChoice());
    EXPECT_EQ(realTime.closeQuestion(), "Save Real-Time Graph ?");
    EXPECT_TRUE(realTime.noClearsUnsaved());
    EXPECT_FALSE(realTime.saveOffersChoice());
    // A running Leq follows its source.
    EXPECT_EQ(leqOfLogger.closeQuestion(), logger.closeQuestion());
    EXPECT_TRUE(leqOfLogger.saveOffersChoice());
    EXPECT_TRUE(file.closeQuestion().isEmpty());
    EXPECT_EQ(file.saveFormats(),
              (QList<SaveFormat>{SaveFormat::GraphFile, SaveFormat::PointText}));
    EXPECT_EQ((GraphDocument{WindowRole::TableList}.saveFormats()),
              QList<SaveFormat>{SaveFormat::TableText});
}

TEST(WindowArrangement, TilingAndCascadingNeverSqueezeAWindowBelowItsMinimum) {
    const QSize minimum(640, 420);
    const ArrangedWindow panel{QSize(279, 730), true, QSize(279, 730)};
    const ArrangedWindow graph{minimum, false, QSize(1000, 700)};
    const QRect small(0, 0, 900, 600);
    const QRect large(0, 0, 2600, 1400);
    for (const QRect& area : {small, large}) {
        const QList<ArrangedWindow> windows{panel, graph, graph, graph};
        const QList<QRect> tiles = tileRects(windows, area);
        ASSERT_EQ(tiles.size(), 4);
        EXPECT_EQ(tiles[0].size(), panel.current);  // the fixed panel keeps its size
        for (qsizetype i = 1; i < tiles.size(); ++i) {
            EXPECT_GE(tiles[i].width(), minimum.width());
            EXPECT_GE(tiles[i].height(), minimum.height());
            EXPECT_GE(tiles[i].left(), area.left());
            EXPECT_GE(tiles[i].top(), area.top());
            for (qsizetype j = 1; j < i; ++j) EXPECT_FALSE(tiles[i].intersects(tiles[j]));
        }
        const QList<QRect> cascade = cascadeRects(windows, area, 24);
        for (qsizetype i = 1; i < cascade.size(); ++i) {
            EXPECT_GE(cascade[i].width(), minimum.width());
            EXPECT_GE(cascade[i].height(), minimum.height());
            EXPECT_TRUE(area.contains(cascade[i].topLeft()));
        }
    }
    // A large workspace is filled: the grid covers it without overlapping the area's edge.
    const QList<QRect> two = tileRects({graph, graph}, large);
    EXPECT_EQ(two[0].width() + two[1].width(), large.width());
    EXPECT_EQ(two[0].height(), large.height());
}

TEST(WindowArrangement, TileMakesAGridOfWindowsSideBySide) {
    const ArrangedWindow graph{QSize(500, 300), false, QSize(1000, 700)};
    const QRect area(0, 0, 1400, 900);
    // Four windows: two rows of two, each half the workspace.
    const QList<QRect> four = tileRects({graph, graph, graph, graph}, area);
    EXPECT_EQ(four,
              (QList<QRect>{
                  {0, 0, 700, 450}, {700, 0, 700, 450}, {0, 450, 700, 450}, {700, 450, 700, 450}}));
    // Two windows side by side at the full height, not one above the other.
    EXPECT_EQ(tileRects({graph, graph}, area),
              (QList<QRect>{{0, 0, 700, 900}, {700, 0, 700, 900}}));
    // Three: two on top, the third alone across the bottom.
    EXPECT_EQ(tileRects({graph, graph, graph}, area),
              (QList<QRect>{{0, 0, 700, 450}, {700, 0, 700, 450}, {0, 450, 1400, 450}}));
    // Wider minimums keep the grid and let the workspace scroll sideways.
    const ArrangedWindow wide{QSize(950, 420), false, QSize(1000, 700)};
    const QList<QRect> scrolled = tileRects({wide, wide, wide, wide}, area);
    EXPECT_EQ(scrolled[1].topLeft(), QPoint(950, 0));
    EXPECT_EQ(scrolled[3], QRect(950, 450, 950, 450));
}

TEST(FileNames, ANameWithoutExtensionGetsTheSelectedFiltersOne) {
    const struct {
        const char* path;
        const char* filter;
        const char* expected;
    } cases[] = {
        {"/d/run1", "Graph file(*.ghf,only for KL516) (*.GHF)", "/d/run1.ghf"},
        {"/d/run1.", "TXT file (*.txt)", "/d/run1.txt"},
        {"/d/run1.csv", "Graph file (*.ghf)", "/d/run1.csv"},  // an extension of its own stays
        {"/d.x/run1", "Data Set Collection file (*.rec *.REC)", "/d.x/run1.rec"},
        {"/d/.hidden", "TXT file (*.txt)", "/d/.hidden.txt"},
        {"/d/run1", "All files (*)", "/d/run1"},
        {"", "TXT file (*.txt)", ""},  // cancelled
    };
    for (const auto& c : cases)
        EXPECT_EQ(withFilterExtension(QString::fromLatin1(c.path), QString::fromLatin1(c.filter)),
                  QString::fromLatin1(c.expected))
            << c.path << " | " << c.filter;
}
