#include "leq/ui/LeqCommands.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

#include "formats/FileProgress.h"
#include "formats/SpreadsheetCsv.h"
#include "formats/TableText.h"
#include "graph/ui/GraphWindow.h"
#include "leq/ui/LeqWindow.h"
#include "link/MeterLink.h"
#include "logger/CollectionFile.h"
#include "workspace/Prompts.h"
#include "workspace/ui/AppContext.h"
#include "workspace/ui/WindowService.h"
#include "levels/LevelFigures.h"

namespace kl516 {

LeqCommands::LeqCommands(AppContext& app, MeterConnection& connection, WindowService& windows,
                         QObject* parent)
    : QObject(parent),
      app_(app),
      connection_(connection),
      windows_(windows),
      timer_(new QTimer(this)),
      logPath_(app.paths().leqLog()) {
    setObjectName(QStringLiteral("LeqCommands"));
    timer_->setObjectName(QStringLiteral("leqRunTimer"));
    timer_->setInterval(kTickMs);
    connect(timer_, &QTimer::timeout, this, &LeqCommands::runTick);
}

LeqCommands::~LeqCommands() {
    timer_->stop();
    if (window_) {
        window_->disconnect(this);
        window_->confirmClose = nullptr;
    }
    lease_.release();
}

void LeqCommands::openLeqWindow() {
    if (connection_.meterRecording()) {
        app_.prompts().message(LeqText::Recording);
        return;
    }
    if (window_) {
        // Brought back to the front, whether it was minimised, hidden or behind others.
        windows_.activate(window_);
        return;
    }
    createWindow();
}

void LeqCommands::createWindow() {
    auto* window = new LeqWindow(app_.locale());
    connect(window->startRunButton, &QPushButton::clicked, this, &LeqCommands::startRun);
    connect(window->stopRunButton, &QPushButton::clicked, this, &LeqCommands::stopRun);
    connect(window->saveButton, &QPushButton::clicked, this, &LeqCommands::saveLeqTable);
    connect(window->graphButton, &QPushButton::clicked, this, &LeqCommands::graphLeqTable);
    connect(window, &LeqWindow::closed, this, &LeqCommands::windowClosed);
    connect(window, &LeqWindow::tableSaved, this, [this] { tableUnsaved_ = false; });
    window->confirmClose = [this] { return confirmDiscardTable(); };
    window_ = window;
    windows_.showLeqWindow(window);
}

void LeqCommands::startRun() {
    if (!window_) return;
    // Without a meter every read would fail: the run would end in a failure message after
    // two seconds instead of saying what is missing.
    if (!lease_ && !connection_.connected()) {
        app_.prompts().message(MeterConnection::noMeterMessage());
        return;
    }
    // A real-time run samples the status poll, which this run would stop: it would lose its
    // samples for the whole measurement.
    if (connection_.runActive()) {
        app_.prompts().message(LeqText::RealTimeRunning);
        return;
    }
    // Refused before the question, so that nothing is asked for a Start that cannot happen.
    if (!lease_ && connection_.linkLent()) {
        app_.prompts().message(MeterConnection::busyMessage(connection_.borrower()));
        return;
    }
    if (!confirmDiscardTable() || !window_) return;
    // A Start during a run starts afresh on the link the run already holds.
    if (!lease_) {
        LinkLease lease = connection_.borrow(QStringLiteral("LEQ"));
        if (!lease) {
            app_.prompts().message(lease.refusal());
            return;
        }
        lease_ = std::move(lease);
        emit runningChanged(true);
    }
    timer_->stop();
    goodReadings_ = 0;
    if (const int seconds = window_->selectedSeconds(); seconds > 0) lastSeconds_ = seconds;
    session_ = std::make_unique<LeqSession>(lease_.link(), logPath_, app_.locale());
    session_->start(lastSeconds_);
    summary_.clear();
    tableUnsaved_ = false;
    window_->table().clear();
    window_->table().reserve(size_t(lastSeconds_));
    window_->showSummary({});
    window_->timeLeft->setText(leqTimeLeftText(lastSeconds_));
    window_->currentLeq->clear();
    window_->leqTable->repaint();
    timer_->start();
}

void LeqCommands::stopRun() {
    endRun();
}

void LeqCommands::endRun() {
    timer_->stop();
    if (session_) session_->stop();
    const bool wasRunning = lease_.granted();
    lease_.release();
    showSummary();
    if (wasRunning) emit runningChanged(false);
}

void LeqCommands::windowClosed() {
    endRun();
    // Graphs made from the table belong to the window and go with it.
    for (const QPointer<GraphWindow>& graph : std::as_const(graphs_)) {
        if (!graph) continue;
        if (auto* sub = qobject_cast<QMdiSubWindow*>(graph->parentWidget()))
            sub->deleteLater();
        else
            graph->deleteLater();
    }
    graphs_.clear();
    window_ = nullptr;
    tableUnsaved_ = false;
    summary_.clear();
}

bool LeqCommands::confirmDiscardTable() {
    if (!tableUnsaved_ || !window_) return true;
    switch (app_.prompts().confirm(LeqText::SaveQuestion)) {
        case Prompts::Answer::Yes:
            return saveLeqTable();
        case Prompts::Answer::No:
            return true;
        case Prompts::Answer::Cancel:
            return false;
    }
    return false;
}

void LeqCommands::appendRow(const LeqRow& row) {
    window_->table().append(row);
    summary_.add(row);
    tableUnsaved_ = true;
}

void LeqCommands::showSummary() {
    if (!window_ || !session_) return;
    window_->showSummary(summary_.summary());
}

void LeqCommands::runTick() {
    if (!session_ || !lease_) {
        timer_->stop();
        return;
    }
    if (!window_) {
        endRun();
        return;
    }
    const LeqRun::Outcome outcome = session_->tick();
    const LeqRun& run = session_->run();
    // The run holds the link, so the status poll is paused: the panel is shown the run's own
    // status frames instead (every outcome but a failure or idle came from a good read).
    const bool goodRead = outcome != LeqRun::Outcome::Failed &&
                          outcome != LeqRun::Outcome::FailedOut && outcome != LeqRun::Outcome::Idle;
    if (goodRead && goodReadings_++ % kPanelFrameInterval == 0)
        connection_.decodeStatus(lease_.link().mainResponse());
    switch (outcome) {
        case LeqRun::Outcome::FailedOut:
            endRun();
            app_.prompts().message(LeqText::Failed);
            return;
        case LeqRun::Outcome::ClockStopped:
            // The rows so far stay, with their summary.
            endRun();
            app_.prompts().message(LeqRun::clockStoppedMessage());
            return;
        case LeqRun::Outcome::Counted:
            if (run.started()) window_->scrollToLastRow();
            return;
        case LeqRun::Outcome::RowClosed:
        case LeqRun::Outcome::Ended: {
            for (const LeqRow& row : run.closedRows()) {
                appendRow(row);
                if (row.hasLevel) {
                    window_->samplingRate->setText(QStringLiteral("%1/sec").arg(row.samples));
                    window_->currentLeq->setText(levelText(row.leq, app_.locale()));
                }
            }
            window_->scrollToLastRow();
            window_->timeLeft->setText(leqTimeLeftText(run.secondsLeft()));
            if (outcome == LeqRun::Outcome::Ended)
                endRun();  // shows the summary too
            else
                showSummary();
            return;
        }
        default:
            return;
    }
}

bool LeqCommands::saveLeqTable() {
    if (!window_) return false;
    const QString base = collectionBaseFolder(app_.dataFolder(), app_.programFolder());
    QString chosen;
    const QString path = app_.prompts().saveFileNameAndFilter(
        QStringLiteral("Save"), base, dialogFilter(FileFilter::leqTable()),
        chosen);
    if (path.isEmpty()) return false;
    const LeqTableModel& table = window_->table();
    SpreadsheetTimes times;
    const FileWriteResult r =
        isSpreadsheetCsvFilter(chosen)
            ? writeSpreadsheetCsvFile(
                  path, LeqTableModel::spreadsheetHeader(), table.rowCount(),
                  [&](qint64 row) { return table.spreadsheetFields(int(row), times); })
            : writeTableTextFile(
                  path, table.rowCount(), [&](qint64 row) { return table.cells(int(row)); },
                  QLatin1Char('\t'));
    // Told, as every other save does: the table is still unsaved, and a close waiting on this
    // save stays refused.
    if (r.status != FileWriteResult::Status::Written) {
        if (!r.ok()) app_.prompts().message(r.error);
        return false;
    }
    tableUnsaved_ = false;
    return true;
}

void LeqCommands::graphLeqTable() {
    if (!window_) return;
    const std::vector<LeqRow>& rows = window_->table().rows();
    if (rows.empty()) {
        app_.prompts().message(LeqText::NoData);
        return;
    }
    const int count = int(rows.size());
    GraphWindow* graph = windows_.createGraphWindow(
        GraphDocument{WindowRole::OpenedFile, WindowRole::None, nullptr}, QStringLiteral("Leq"));
    graphs_.append(graph);
    graph->setUpGraph(2, 130, 30, rows.back().stamp, rows.front().stamp, count);
    graph->graphView->editProperties([](GraphState& s) {
        s.subsetLabels = {QStringLiteral("SPL"), QStringLiteral("Leq")};
        // Yellow and red, as the running Leq of a graph window: both show on the black graph.
        s.subsetColors = {makeArgb(255, 255, 255, 0), makeArgb(255, 255, 0, 0)};
    });
    graph->runningLeqButton->setEnabled(false);
    // A second without levels keeps its time and the set-up's null value: a gap in its place.
    for (int i = 0; i < count; ++i) {
        const LeqRow& r = rows[size_t(i)];
        graph->graphView->setXValue(0, i, r.stamp);
        graph->graphView->setXValue(1, i, r.stamp);
        if (!r.hasLevel) continue;
        graph->graphView->setYValue(0, i, r.spl);
        graph->graphView->setYValue(1, i, r.leq);
    }
    if (auto* sub = qobject_cast<QMdiSubWindow*>(graph->parentWidget())) sub->showNormal();
    graph->show();
    graph->updateGraphStatistic();
    graph->samplingRateBox->setEditText(QStringLiteral("1"));
    graph->graphView->perform(GraphAction::ReinitAndReset);
    graph->redraw();
}

}  // namespace kl516
