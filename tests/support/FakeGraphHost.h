#pragma once

#include <QPointer>
#include <QTemporaryDir>
#include <vector>

#include "dataset/DataSetTable.h"
#include "graph/Annotations.h"
#include "graph/ui/GraphWindow.h"
#include "link/Clock.h"
#include "platform/AppPaths.h"
#include "support/ScriptedPrompts.h"
#include "workspace/ui/GraphWindowHost.h"

namespace kl516::test {

// A main window stand-in for graph windows: scripted prompts, a fixed locale, a program folder
// and a per-user folder of the test's choosing (both inside a scratch folder unless the test
// sets them), a data set table, two unsaved flags for the documents, and counts of saves and of
// template problems reported.
struct FakeGraphHost final : GraphWindowHost {
    ScriptedPrompts scripted;
    ManualClock manualClock;
    QLocale fixedLocale{QLocale::English, QLocale::UnitedKingdom};
    QTemporaryDir scratch;
    QString folder = scratch.filePath(QStringLiteral("program"));
    QString userFolder = scratch.filePath(QStringLiteral("user"));
    DataSetTable table;
    bool loggerUnsaved = false;
    bool realTimeUnsaved = false;
    int saves = 0;
    QStringList unusableTemplates;

    Prompts& prompts() override { return scripted; }
    Clock& clock() override { return manualClock; }
    QLocale locale() const override { return fixedLocale; }
    QString programFolder() const override { return folder; }
    AppPaths paths() const override {
        return AppPaths::forProgramFolder(folder, userFolder, QString());
    }
    const DataSetTable& dataSets() const override { return table; }
    void changeStartTime(int set, SerialDateTime newStart) override {
        table.changeStartTime(set, newStart);
    }
    bool saveWindow(GraphWindow&) override { return ++saves, true; }
    void templateUnusable(const QString& path) override { unusableTemplates << path; }
    // A scratch settings store, so that no test writes the user's.
    QString settings = scratch.filePath(QStringLiteral("settings.ini"));
    QString settingsFile() const override { return settings; }
    AnnotationState annotationState;
    AnnotationState& annotations() override { return annotationState; }
    // Windows made for a document (a running Leq): top-level, deleted with the host at the
    // latest.
    std::vector<QPointer<GraphWindow>> created;
    GraphWindow* createGraphWindow(const GraphDocument& document, const QString& caption) override {
        auto* window = new GraphWindow(*this, document);
        window->setCaption(caption);
        created.emplace_back(window);
        return window;
    }
    ~FakeGraphHost() override {
        for (const QPointer<GraphWindow>& window : created) delete window.data();
    }

    // One set per entry: start time, interval and levels.
    struct Set {
        SerialDateTime start;
        int interval;
        std::vector<float> levels;
    };
    void fill(const std::vector<Set>& sets) {
        DataSetHeaders h;
        int32_t offset = 256;
        for (const Set& s : sets) {
            h.startTimes.push_back(s.start);
            h.intervals.push_back(s.interval);
            h.counts.push_back(int32_t(s.levels.size()));
            h.modes.push_back(0x03);
            h.recordStarts.push_back(offset);
            offset += 18 + 2 * int32_t(s.levels.size());
            h.recordEnds.push_back(offset - 1);
        }
        table.replaceAll(std::move(h));
        for (const Set& s : sets) table.appendSet(s.levels.data(), int(s.levels.size()));
    }
};

}  // namespace kl516::test
