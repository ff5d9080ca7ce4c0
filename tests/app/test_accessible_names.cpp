#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QAccessibleTableInterface>
#include <QComboBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSet>
#include <QTemporaryDir>
#include <QTextEdit>
#include <functional>
#include <memory>

#include "app/ui/AboutDialog.h"
#include "app/ui/MainWindow.h"
#include "files/ui/OpenSaveChoiceDialog.h"
#include "files/ui/TabularListWindow.h"
#include "graph/Annotations.h"
#include "graph/ui/AnnotationTextDialog.h"
#include "graph/ui/DataSetStartDialog.h"
#include "graph/ui/EraseAnnotationsDialog.h"
#include "graph/ui/GraphCustomizeDialog.h"
#include "graph/ui/GraphWindow.h"
#include "assessment/ui/NoiseAssessmentWindow.h"
#include "leq/ui/LeqCommands.h"
#include "link/MeterLink.h"
#include "logger/ui/LoggerSetupWindow.h"
#include "logger/ui/ProgressRangeDialog.h"
#include "realtime/ui/RealTimeSetupDialog.h"
#include "simulator/SimulatedMeter.h"
#include "support/Controls.h"
#include "support/MainWindowStart.h"
#include "support/ScriptedPrompts.h"

using namespace kl516;

namespace {

QString accessibleName(QWidget* w) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    return iface ? iface->text(QAccessible::Name).trimmed() : QString();
}

// The text of the label a control is labelled by (a label's buddy), empty without one.
QString labelOf(QWidget* w) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    if (!iface) return {};
    const auto labels = iface->relations(QAccessible::Label);
    return labels.isEmpty() ? QString() : labels.first().first->text(QAccessible::Name).trimmed();
}

// A control the user can reach with Tab or a screen reader: buttons, fields, boxes, tables,
// sliders. The parts Qt builds inside a box (a spin box's or combo box's line edit) speak for
// the box and are left out.
bool isControl(const QWidget* w) {
    if (qobject_cast<const QComboBox*>(w->parentWidget()) ||
        qobject_cast<const QAbstractSpinBox*>(w->parentWidget()))
        return false;
    if (!(w->focusPolicy() & Qt::TabFocus)) return false;
    return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLineEdit*>(w) ||
           qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QComboBox*>(w) ||
           qobject_cast<const QAbstractItemView*>(w) || qobject_cast<const QAbstractSlider*>(w) ||
           qobject_cast<const QTextEdit*>(w);
}

// Every shown control of a window without an accessible name, every field whose name another
// field of the same window has, and every table without a header, as "objectName (class)"
// lines; empty when all are named. (A table may leave some columns untitled, as the tabular
// list does with its last three.) Windows inside the workspace count as windows of their own.
QStringList unnamedControls(QWidget* window) {
    QStringList missing;
    QSet<QPair<QWidget*, QString>> fieldNames;
    const auto scopeOf = [](QWidget* w) {
        while (!w->isWindow() && !qobject_cast<QMdiSubWindow*>(w)) w = w->parentWidget();
        return w;
    };
    const auto describe = [](QWidget* w) {
        return QStringLiteral("%1 (%2)").arg(w->objectName(),
                                             QLatin1String(w->metaObject()->className()));
    };
    QList<QWidget*> widgets = window->findChildren<QWidget*>();
    widgets.prepend(window);
    for (QWidget* w : widgets) {
        if (!w->isVisibleTo(window) && w != window) continue;
        if (!isControl(w)) continue;
        if (accessibleName(w).isEmpty()) missing << describe(w);
        const bool field = qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractSpinBox*>(w);
        if (field && !accessibleName(w).isEmpty()) {
            const QPair<QWidget*, QString> key{scopeOf(w), accessibleName(w)};
            if (fieldNames.contains(key)) missing << describe(w) + QStringLiteral(" same name");
            fieldNames.insert(key);
        }
        // On Linux a combo box's name is its current text; its label comes by relation.
        if (qobject_cast<QComboBox*>(w) && labelOf(w).isEmpty())
            missing << describe(w) + QStringLiteral(" label");
        auto* view = qobject_cast<QAbstractItemView*>(w);
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
        if (!view || !iface || !iface->tableInterface()) continue;
        QAccessibleTableInterface* table = iface->tableInterface();
        if (table->columnCount() == 0 || table->columnDescription(0).trimmed().isEmpty())
            missing << describe(w) + QStringLiteral(" header");
    }
    return missing;
}

QByteArray goldenImage() {
    return SimulatedMeter::readImageFile(QStringLiteral(KL516_TEST_DATA "/golden.rec"));
}

// The main window against a simulated meter holding the golden logger image, connected, with
// the logger's data loaded into the DataLogger window.
struct AccessibleNamesTest : ::testing::Test {
    QTemporaryDir dir;
    ManualClock clock;
    test::ScriptedPrompts prompts;
    IdleLinkHost idle;
    std::unique_ptr<SimulatedMeter> meter;
    std::unique_ptr<MeterLink> link;
    std::unique_ptr<MainWindow> window;
    const QLocale locale{QLocale::English, QLocale::UnitedKingdom};

    void SetUp() override {
        SimulatedMeter::Options options;
        options.initialImage = goldenImage();
        meter = std::make_unique<SimulatedMeter>(clock, options);
        link = std::make_unique<MeterLink>(*meter, clock, idle);
        window = test::startMainWindow(*link, prompts, clock, dir, locale);
        window->connection().stopPolling();
        window->pollTick();
        ASSERT_TRUE(window->connected());
        window->connection().startPolling();
        test::action(*window, "loadDataAction")->trigger();
        window->connection().stopPolling();
        ASSERT_NE(window->dataLoggerWindow(), nullptr);
        ASSERT_GT(window->dataSets().setCount(), 0);
    }
};

}  // namespace

TEST_F(AccessibleNamesTest, EveryControlOfEveryWindowHasAName) {
    GraphWindow* logger = window->dataLoggerWindow();
    const std::vector<AnnotationRow> annotationRows{{5, logger->graphView->xValue(0, 0), "X"},
                                                    {6, logger->graphView->xValue(0, 1), "note"}};
    struct Window {
        const char* name;
        std::function<QWidget*()> open;  // the window, shown; owned by the main window or here
    };
    std::vector<std::unique_ptr<QWidget>> owned;
    const auto own = [&owned](QWidget* w) {
        owned.emplace_back(w);
        w->show();
        return w;
    };
    const Window windows[] = {
        // The frame with its menu, tool bar, control panel and real-time graph window.
        {"main window", [&] { return static_cast<QWidget*>(window.get()); }},
        {"control panel", [&] { return static_cast<QWidget*>(window->panel()); }},
        {"real-time graph", [&] { return static_cast<QWidget*>(window->realTimeWindow()); }},
        {"DataLogger graph", [&] { return static_cast<QWidget*>(logger); }},
        {"LEQ window",
         [&] {
             window->leqCommands().openLeqWindow();
             return window->findChild<QMdiSubWindow*>(QStringLiteral("leqSubWindow"))->widget();
         }},
        {"logger setup window",
         [&] {
             window->openSetupWindow();
             return static_cast<QWidget*>(window->setupWindow());
         }},
        {"noise assessment", [&] { return static_cast<QWidget*>(logger->openNoiseAssessment()); }},
        {"tabular list", [&] { return own(new TabularListWindow(QStringLiteral("list.txt"))); }},
        {"real-time setup", [&] { return own(new RealTimeSetupDialog(prompts, locale)); }},
        {"progress and range", [&] { return own(new ProgressRangeDialog); }},
        {"open/save choice", [&] { return own(new OpenSaveChoiceDialog); }},
        {"annotation text", [&] { return own(new AnnotationTextDialog); }},
        {"erase annotations",
         [&] { return own(new EraseAnnotationsDialog(annotationRows, locale)); }},
        {"data set start",
         [&] { return own(new DataSetStartDialog(QDate(2026, 12, 11), QTime(9, 30), 1, locale)); }},
        {"graph options",
         [&] { return own(new GraphCustomizeDialog(logger->graphView->state(), {})); }},
        {"about box", [&] { return own(new AboutDialog(false)); }},
    };
    for (const Window& w : windows) {
        SCOPED_TRACE(w.name);
        QWidget* shown = w.open();
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(unnamedControls(shown).join(QStringLiteral(", ")).toStdString(), "");
    }
}

TEST_F(AccessibleNamesTest, StatisticsFieldsAreNamedForTheirLabelAndRange) {
    GraphWindow* logger = window->dataLoggerWindow();
    // clang-format off
    const std::pair<const char*, const char*> fields[] = {
        {"seriesStartTime", "Start Time"},           {"pointCount", "Data No."},
        {"seriesAverage", "Average"},
        {"seriesMaximum", "Maximum"},                {"seriesMaximumTime", "Maximum time"},
        {"seriesMinimum", "Minimum"},                {"seriesMinimumTime", "Minimum time"},
        {"cursorALevel", "Cursor A level"},          {"cursorATime", "Cursor A time"},
        {"cursorBLevel", "Cursor B level"},          {"cursorBTime", "Cursor B time"},
        {"betweenCursorsMaximum", "Maximum between A and B"},
        {"betweenCursorsMaximumTime", "Maximum time between A and B"},
        {"betweenCursorsMinimum", "Minimum between A and B"},
        {"betweenCursorsMinimumTime", "Minimum time between A and B"},
        {"betweenCursorsAverage", "Average between A and B"},
        {"betweenCursorsLeq", "Leq between A and B"},
        {"betweenCursorsL10", "L10 between A and B"},
        {"betweenCursorsL50", "L50 between A and B"},
        {"betweenCursorsL90", "L90 between A and B"},
    };
    // clang-format on
    QStringList names;
    for (const auto& [object, name] : fields) {
        SCOPED_TRACE(object);
        QWidget* field = test::control<QWidget>(*logger, object);
        EXPECT_EQ(accessibleName(field), QString::fromLatin1(name));
        names << accessibleName(field);
    }
    EXPECT_EQ(labelOf(test::control<QWidget>(*logger, "samplingRateBox")), "Sampling Rate");
    // A screen reader that looks a field up by its name finds one field.
    names.removeDuplicates();
    EXPECT_EQ(names.size(), int(std::size(fields)));
}
