// Renders the screenshots of the README: the main window with the control panel against the
// simulated meter, a stopped real-time run, the DataLogger window with annotations and its
// running Leq, that Leq saved as text (with the range window) and opened as a list, the setup
// and LEQ windows, on a manual clock so that every run draws the same
// pictures.
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <QComboBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <qcustomplot.h>
#include <QToolButton>

#include "app/ui/MainWindow.h"
#include "files/ui/FileCommands.h"
#include "files/ui/OpenSaveChoiceDialog.h"
#include "files/ui/TabularListWindow.h"
#include "graph/ui/AnnotationTextDialog.h"
#include "graph/ui/GraphWindow.h"
#include "leq/ui/LeqCommands.h"
#include "leq/ui/LeqWindow.h"
#include "link/MeterLink.h"
#include "logger/ui/LoggerCommands.h"
#include "logger/ui/LoggerSetupWindow.h"
#include "logger/ui/ProgressRangeDialog.h"
#include "realtime/ui/RealTimeRecorder.h"
#include "realtime/ui/RealTimeSetupDialog.h"
#include "simulator/SimulatedMeter.h"
#include "support/ScriptedPrompts.h"

using namespace kl516;

namespace {

bool save(QWidget& widget, const QString& path) {
    QCoreApplication::processEvents();
    const bool ok = widget.grab().save(path);
    QTextStream(stderr) << (ok ? "wrote " : "failed to write ") << path << "\n";
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/images");
    QDir().mkpath(out);
    QTemporaryDir scratch;

    ManualClock clock(QDateTime(QDate(2026, 3, 14), QTime(14, 21, 36)));
    SimulatedMeter meter(clock, SimulatedMeter::Options{});
    IdleLinkHost idle;
    MeterLink link(meter, clock, idle);
    test::ScriptedPrompts prompts;
    MainWindow window(
        link, prompts, clock,
        {scratch.filePath(QStringLiteral("kl516.ini")), scratch.filePath(QStringLiteral("docs")),
         scratch.path(), scratch.filePath(QStringLiteral("user"))});
    window.resize(1400, 900);
    window.show();
    window.completeStartUp();
    window.connection().stopPolling();
    for (int i = 0; i < 4; ++i) {
        clock.advance(500);
        window.pollTick();
    }
    bool ok = save(window, out + QStringLiteral("/main-window.png"));

    // A real-time run at 0.2 s stopped after 300 samples (a minute), its cursors at a third and
    // two thirds of the way.
    window.realTimeRecorder().execSetupDialog = [](RealTimeSetupDialog& dialog) {
        dialog.samplingRateBox->setEditText(QStringLiteral("0.2"));
        dialog.sampleCountEdit->setText(QStringLiteral("2000"));
        dialog.accept();
        return dialog.result() == QDialog::Accepted;
    };
    window.findChild<QToolButton*>(QStringLiteral("runButton"))->click();
    for (int tick = 0; tick < 2000 && window.realTimeRecorder().sampleCount() < 300; ++tick) {
        clock.advance(window.connection().pollIntervalMs());
        window.pollTick();
    }
    window.findChild<QToolButton*>(QStringLiteral("stopButton"))->click();
    window.connection().stopPolling();
    if (GraphWindow* realTime = window.realTimeWindow();
        realTime && window.realTimeRecorder().sampleCount() == 300) {
        auto* sub = qobject_cast<QMdiSubWindow*>(realTime->parentWidget());
        window.workspace()->setActiveSubWindow(sub);
        sub->showNormal();
        sub->resize(1100, 700);
        ok = save(*sub, out + QStringLiteral("/real-time.png")) && ok;
    } else {
        QTextStream(stderr) << "The real-time run did not take its 300 samples\n";
        ok = false;
    }

    // An hour of logging at one second, then Load Data into the DataLogger window.
    link.writeConfigByte(0x0F, 1, MeterLink::Echo::LetterBytes);
    meter.powerCycle();
    link.sendKey(Cmd::KeyRec);
    clock.advance(3600 * 1000);
    link.sendKey(Cmd::KeyRec);
    window.pollTick();
    window.loggerCommands().loadData();
    window.connection().stopPolling();
    if (GraphWindow* logger = window.dataLoggerWindow()) {
        auto* sub = qobject_cast<QMdiSubWindow*>(logger->parentWidget());
        sub->resize(1400, 820);
        QCoreApplication::processEvents();
        logger->showDataSet(0);
        ok = save(*sub, out + QStringLiteral("/graph-window.png")) && ok;

        // A note and two crosses placed by clicks in text and cross mode, then the set's running
        // Leq.
        const QRect area = logger->graphView->plottingArea();
        auto clickAt = [&](QPoint pixel) {
            QWidget* plot = logger->graphView->plot();
            const QPoint at = pixel - plot->pos();
            for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
                QMouseEvent e(type, QPointF(at), QPointF(plot->mapToGlobal(at)), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                              Qt::NoModifier);
                QApplication::sendEvent(plot, &e);
            }
        };
        logger->execAnnotationTextDialog = [](AnnotationTextDialog& dialog) {
            dialog.annotationText->setText(QStringLiteral("door closed"));
            return true;
        };
        logger->textModeButton->click();
        clickAt(area.topLeft() + QPoint(area.width() * 3 / 10, area.height() * 45 / 100));
        logger->crossModeButton->click();
        clickAt(area.topLeft() + QPoint(area.width() * 55 / 100, area.height() * 42 / 100));
        clickAt(area.topLeft() + QPoint(area.width() * 75 / 100, area.height() * 48 / 100));
        logger->normalModeButton->click();
        ok = save(*sub, out + QStringLiteral("/annotations.png")) && ok;
        if (GraphWindow* leq = logger->openRunningLeq()) {
            auto* leqSub = qobject_cast<QMdiSubWindow*>(leq->parentWidget());
            leqSub->setGeometry(40, 40, 1300, 760);
            window.workspace()->setActiveSubWindow(leqSub);
            ok = save(*leqSub, out + QStringLiteral("/cal-leq.png")) && ok;

            // File > Save of the running Leq as point text (the range window on the way), then
            // the file opened again as a list: two series give the "SPL" and "Leq" columns.
            const QString points = scratch.filePath(QStringLiteral("running-leq.txt"));
            FileCommands& files = window.fileCommands();
            files.execChoiceDialog = [](OpenSaveChoiceDialog&) {
                return int(OpenSaveChoiceDialog::No);
            };
            files.execRangeDialog = [&](ProgressRangeDialog& range) {
                range.show();
                ok = save(range, out + QStringLiteral("/range-dialog.png")) && ok;
                range.hide();
                return true;
            };
            prompts.fileNames = {points};
            files.saveActiveWindow();
            if (TabularListWindow* list = files.openTextFile(points)) {
                auto* listSub = qobject_cast<QMdiSubWindow*>(list->parentWidget());
                listSub->setGeometry(60, 60, 640, 480);
                window.workspace()->setActiveSubWindow(listSub);
                ok = save(*listSub, out + QStringLiteral("/list-window.png")) && ok;
                listSub->close();
            } else {
                QTextStream(stderr) << "The saved running Leq did not open as a list\n";
                ok = false;
            }
            leqSub->showMinimized();
        } else {
            QTextStream(stderr) << "CAL Leq did not open its window\n";
            ok = false;
        }
    } else {
        QTextStream(stderr) << "Load Data did not open the DataLogger window\n";
        ok = false;
    }
    // The service window after a read of the logger information.
    window.openSetupWindow();
    if (LoggerSetupWindow* setup = window.setupWindow()) {
        setup->readMeterInformation();
        window.connection().stopPolling();
        auto* sub = qobject_cast<QMdiSubWindow*>(setup->parentWidget());
        window.workspace()->setActiveSubWindow(sub);
        ok = save(*sub, out + QStringLiteral("/setup-window.png")) && ok;
    } else {
        QTextStream(stderr) << "Setup did not open the setup window\n";
        ok = false;
    }
    // The LEQ window after a one-minute run on the simulated meter.
    window.connection().startPolling();
    window.leqCommands().setLogPath(QDir::temp().filePath(QStringLiteral("kl516-shots/LEQ.txt")));
    window.leqCommands().openLeqWindow();
    if (LeqWindow* leq = window.leqCommands().window()) {
        leq->durationBox->setCurrentIndex(1);  // 1 minute
        window.leqCommands().startRun();
        for (int i = 0; i < 25 * 70 && window.leqCommands().running(); ++i) {
            clock.advance(LeqCommands::kTickMs);
            window.leqCommands().runTick();
        }
        window.connection().stopPolling();
        auto* sub = qobject_cast<QMdiSubWindow*>(leq->parentWidget());
        window.workspace()->setActiveSubWindow(sub);
        QCoreApplication::processEvents();
        ok = save(*sub, out + QStringLiteral("/leq-window.png")) && ok;
    } else {
        QTextStream(stderr) << "LEQ did not open the LEQ window\n";
        ok = false;
    }
    return ok ? 0 : 1;
}
