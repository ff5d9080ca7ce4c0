#include "cli/LeqCommand.h"

#include "cli/MeterBackend.h"

#include <QDate>
#include <memory>
#include <vector>

#include "formats/TableText.h"
#include "leq/LeqSession.h"
#include "link/MeterLink.h"
#include "simulator/SimulatedMeter.h"

namespace kl516 {

const char* const kLeqUsage =
    "usage: kl516-cli leq --seconds N [--simulate] [--trace FILE] [--out FILE.txt]\n";
const char* const kLeqSummary = "leq       runs a timed LEQ measurement and prints its rows\n";

namespace {

const char* const kLeqHelp =
    "Runs an LEQ measurement of N seconds (1 to 86400): one status exchange every 40 ms, one\n"
    "row per second of the meter's clock, printed as it closes (tab-separated: No, date,\n"
    "time, SPL, Leq; ISO dates, '.' decimals; SPL and Leq empty for a second without a\n"
    "counted reading), then one summary line with Leq, Lmax, Lmin, L10, L50, L90 and SEL.\n"
    "The 51st failed read ends the run with exit status 1.\n"
    "\n"
    "  --seconds N        the run's duration in seconds\n"
    "  --simulate         use the built-in simulated meter on a simulated clock, so that a\n"
    "                     long run takes no real time\n"
    "  --trace FILE       log every frame to and from the meter in FILE (appended)\n"
    "  --out FILE.txt     also write the table as tab-separated table text (system locale)\n";

QString number(double v) {
    return QString::number(v, 'f', 1);
}

}  // namespace

int runLeqCommand(const QStringList& args, QTextStream& out, QTextStream& err,
                  const CliDevices& devices) {
    bool simulate = false, help = false;
    QString seconds, trace, outFile, error;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&](QString& target) {
            if (i + 1 >= args.size()) {
                if (error.isEmpty()) error = a + QStringLiteral(" needs a value");
                return;
            }
            target = args[++i];
        };
        if (a == QLatin1String("--help") || a == QLatin1String("-h"))
            help = true;
        else if (a == QLatin1String("--simulate"))
            simulate = true;
        else if (a == QLatin1String("--seconds"))
            value(seconds);
        else if (a == QLatin1String("--trace"))
            value(trace);
        else if (a == QLatin1String("--out"))
            value(outFile);
        else if (error.isEmpty())
            error = QStringLiteral("unknown argument: ") + a;
    }
    if (help) {
        out << kLeqUsage << "\n" << kLeqHelp;
        return 0;
    }
    bool ok = false;
    const int duration = seconds.toInt(&ok);
    if (error.isEmpty() && (!ok || duration < 1 || duration > 86400))
        error = QStringLiteral("leq needs --seconds N with N from 1 to 86400");
    if (!error.isEmpty()) {
        err << error << "\n" << kLeqUsage;
        return 2;
    }

    // The simulated meter runs on a clock that only moves by the ticks.
    SystemClock systemClock;
    ManualClock manualClock(QDateTime::currentDateTime());
    Clock& clock = simulate ? static_cast<Clock&>(manualClock)
                            : (devices.clock ? *devices.clock : systemClock);
    const std::unique_ptr<MeterBackend> backend = openMeterBackend(
        simulate ? std::optional<SimulatedMeter::Options>(SimulatedMeter::Options{}) : std::nullopt,
        clock, devices, trace, err);
    if (!backend) return 1;

    IdleLinkHost host;
    MeterLink link(backend->library(), clock, host);
    LeqSession session(link, QString(), QLocale::system());
    session.start(duration);
    std::vector<LeqRow> rows;
    rows.reserve(size_t(duration));
    int64_t next = clock.tickMs();
    LeqRun::Outcome outcome = LeqRun::Outcome::Counted;
    while (session.run().running()) {
        outcome = session.tick();
        if (outcome == LeqRun::Outcome::RowClosed || outcome == LeqRun::Outcome::Ended) {
            const LeqRow& r = session.run().lastRow();
            rows.push_back(r);
            out << r.number << '\t' << dateOf(r.stamp).toString(Qt::ISODate) << '\t'
                << timeOf(r.stamp).toString(QStringLiteral("HH:mm:ss")) << '\t'
                << (r.hasLevel ? number(r.spl) : QString()) << '\t'
                << (r.hasLevel ? number(r.leq) : QString()) << '\n';
        }
        next += 40;
        const int64_t wait = next - clock.tickMs();
        if (wait > 0 && session.run().running()) clock.waitMs(wait - 1);
    }
    out.flush();

    const LeqRun& run = session.run();
    const LeqSummary s = leqSummary(rows, run.leq(), run.secondCount());
    out << "summary\tseconds " << s.seconds << "\tcounted " << s.countedSeconds;
    if (s.valid()) {
        out << "\tLeq " << number(s.leq) << "\tLmax " << number(s.lmax) << "\tLmin "
            << number(s.lmin) << "\tL10 " << number(s.l10) << "\tL50 " << number(s.l50)
            << "\tL90 " << number(s.l90) << "\tSEL " << number(s.sel);
    }
    out << '\n';

    if (!outFile.isEmpty()) {
        const QLocale locale = QLocale::system();
        const bool written = writeTableTextFile(
            outFile, qint64(rows.size()),
            [&](qint64 r) { return rows[size_t(r)].cells(locale); }, QLatin1Char('\t')).ok();
        if (!written) {
            err << "cannot write " << outFile << "\n";
            return 1;
        }
    }
    if (outcome == LeqRun::Outcome::FailedOut) {
        err << "LEQ fail , try to start again !!\n";
        return 1;
    }
    return 0;
}

}  // namespace kl516
