// Renders the screenshots of the README: the main window with the control panel against the
// simulated meter, a stopped real-time run and the DataLogger window, on a manual clock so that
// every run draws the same pictures.
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
#include <QToolButton>

#include "app/ui/TfrmMain.h"
#include "graph/ui/TfrmGraph.h"
#include "link/MeterLink.h"
#include "logger/ui/LoggerCommands.h"
#include "logger/ui/TfrmSetup.h"
#include "leq/ui/LeqCommands.h"
#include "leq/ui/TfrmLEQ.h"
#include "realtime/ui/RealTimeRecorder.h"
#include "realtime/ui/TfrmSetupRealTime.h"
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
    TfrmMain window(link, prompts, clock,
                    {scratch.filePath(QStringLiteral("kl516.ini")),
                     scratch.filePath(QStringLiteral("docs")), scratch.path()});
    window.resize(1400, 900);
    window.show();
    window.formShow();
    window.connection().stopPolling();
    for (int i = 0; i < 4; ++i) {
        clock.advance(500);
        window.MainTimerTimer();
    }
    bool ok = save(window, out + QStringLiteral("/main-window.png"));

    // A real-time run at 0.2 s stopped after 300 samples (a minute), its cursors at a third and
    // two thirds of the way.
    window.realTimeRecorder().execSetupDialog = [](TfrmSetupRealTime& dialog) {
        dialog.txtRate->setEditText(QStringLiteral("0.2"));
        dialog.edtRealTimeNo->setText(QStringLiteral("2000"));
        dialog.accept();
        return dialog.result() == QDialog::Accepted;
    };
    window.findChild<QToolButton*>(QStringLiteral("btnRun"))->click();
    for (int tick = 0; tick < 2000 && window.realTimeRecorder().sampleCount() < 300; ++tick) {
        clock.advance(window.connection().pollIntervalMs());
        window.MainTimerTimer();
    }
    window.findChild<QToolButton*>(QStringLiteral("btnStop"))->click();
    window.connection().stopPolling();
    if (TfrmGraph* realTime = window.realTimeWindow();
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
    window.MainTimerTimer();
    window.loggerCommands().LoadData1Click();
    window.connection().stopPolling();
    if (TfrmGraph* logger = window.dataLoggerWindow()) {
        auto* sub = qobject_cast<QMdiSubWindow*>(logger->parentWidget());
        sub->resize(1400, 820);
        QCoreApplication::processEvents();
        logger->showDataSet(0);
        ok = save(*sub, out + QStringLiteral("/graph-window.png")) && ok;
    } else {
        QTextStream(stderr) << "Load Data did not open the DataLogger window\n";
        ok = false;
    }
    // The service window after a read of the logger information.
    window.Setup1Click();
    if (TfrmSetup* setup = window.setupWindow()) {
        setup->Button4Click();
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
    window.leqCommands().LEQ1Click();
    if (TfrmLEQ* leq = window.leqCommands().window()) {
        leq->cmbTimeSelect->setCurrentIndex(1);  // 1 minute
        window.leqCommands().btnLEQClick();
        for (int i = 0; i < 25 * 70 && window.leqCommands().running(); ++i) {
            clock.advance(LeqCommands::kTickMs);
            window.leqCommands().LEQTimerTimer();
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
