#include "cli/LeqCommand.h"

#include "cli/FileCommands.h"
#include "cli/MeterBackend.h"

#include <QDate>
#include <memory>
#include <vector>

#include "formats/TableText.h"
#include "leq/LeqSession.h"
#include "levels/LevelFigures.h"
#include "link/LinkResult.h"
#include "link/MeterLink.h"
#include "session/StatusDecoder.h"
#include "simulator/SimulatedMeter.h"

namespace kl516 {

namespace {

// The LEQ window's refusal, in its words.
const char* const kMeterRecording = "The meter is recording data, please stop recording first.";

QString number(double v) {
    return levelText(v);
}

}  // namespace

int runLeqCommand(const CliArguments& a, QTextStream& out, QTextStream& err,
                  const CliDevices& devices) {
    bool ok = false;
    const int duration = a.value("seconds").toInt(&ok);
    if (!ok || duration < 1 || duration > 86400)
        return cliWrongUse(err, *a.command,
                           QStringLiteral("--seconds needs a whole number from 1 to 86400, not ") +
                               a.value("seconds"));
    // The table is written after the run, which may last a day: whatever would refuse it is
    // said now.
    const QString outFile = a.value("out");
    if (!outFile.isEmpty()) {
        if (!csvCanHoldDecimals(outFile, false, QLocale::system(), err,
                                QStringLiteral("use a .txt file")))
            return kCliWrongUse;
        if (!outputWritable(outFile, err)) return 1;
    }

    // The simulated meter runs on a clock that only moves by the ticks.
    const bool simulate = a.isSet("simulate");
    SystemClock systemClock;
    ManualClock manualClock(QDateTime::currentDateTime());
    Clock& clock = simulate ? static_cast<Clock&>(manualClock)
                            : (devices.clock ? *devices.clock : systemClock);
    const std::unique_ptr<MeterBackend> backend = openMeterBackend(
        simulate ? std::optional<SimulatedMeter::Options>(SimulatedMeter::Options{}) : std::nullopt,
        clock, devices, a.value("trace"), err, meterSelectionFrom(a));
    if (!backend) return 1;

    IdleLinkHost host;
    MeterLink link(backend->library(), clock, host);
    // As every transaction with the meter starts: the presence check. Then, as the window
    // does, a meter whose logger records is not taken for a run.
    if (!link.checkPresence()) {
        err << "error " << LinkResult::NoAnswer << ": the meter did not answer\n";
        return 1;
    }
    const ResponseFrame& status = link.mainResponse();
    if (link.pollStatus() && status[0] == kFrameStart && status[31] == kFrameEnd &&
        decode(status).recording) {
        err << kMeterRecording << "\n";
        return 1;
    }

    LeqSession session(link, QString(), QLocale::system());
    session.start(duration);
    std::vector<LeqRow> rows;
    rows.reserve(size_t(duration));
    int64_t next = clock.tickMs();
    LeqRun::Outcome outcome = LeqRun::Outcome::Counted;
    while (session.run().running()) {
        outcome = session.tick();
        if (outcome == LeqRun::Outcome::RowClosed || outcome == LeqRun::Outcome::Ended) {
            for (const LeqRow& r : session.run().closedRows()) {
                rows.push_back(r);
                out << r.number << '\t' << dateOf(r.stamp).toString(Qt::ISODate) << '\t'
                    << timeOf(r.stamp).toString(QStringLiteral("HH:mm:ss")) << '\t'
                    << (r.hasLevel ? number(r.spl) : QString()) << '\t'
                    << (r.hasLevel ? number(r.leq) : QString()) << '\n';
            }
        }
        next += 40;
        const int64_t wait = next - clock.tickMs();
        if (wait > 0 && session.run().running()) clock.waitMs(wait - 1);
    }
    out.flush();

    const LeqSummary s = leqSummary(rows);
    out << "summary\tseconds " << s.seconds << "\tcounted " << s.countedSeconds;
    if (s.valid()) {
        out << "\tLeq " << number(s.leq) << "\tLmax " << number(s.lmax) << "\tLmin "
            << number(s.lmin) << "\tL10 " << number(s.l10) << "\tL50 " << number(s.l50)
            << "\tL90 " << number(s.l90) << "\tSEL " << number(s.sel);
    }
    out << '\n';

    if (!outFile.isEmpty()) {
        const QLocale locale = QLocale::system();
        const FileWriteResult written = writeTableTextFile(
            outFile, qint64(rows.size()), [&](qint64 r) { return rows[size_t(r)].cells(locale); },
            textFileSeparator(outFile));
        if (!written.ok()) {
            err << "error: " << written.error << "\n";
            return 1;
        }
    }
    if (outcome == LeqRun::Outcome::FailedOut) {
        err << "LEQ fail, try to start again !!\n";
        return 1;
    }
    if (outcome == LeqRun::Outcome::ClockStopped) {
        err << LeqRun::clockStoppedMessage() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace kl516
