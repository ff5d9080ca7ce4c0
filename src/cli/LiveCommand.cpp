#include "cli/LiveCommand.h"

#include "cli/MeterBackend.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <optional>

#include "dataset/WallClock.h"
#include "link/Clock.h"
#include "link/LinkHost.h"
#include "link/LinkResult.h"
#include "link/MeterLink.h"
#include "session/MeterConnection.h"
#include "simulator/SimulatedMeter.h"

namespace kl516 {

namespace {

constexpr double kMinIntervalS = 0.1;
constexpr double kMaxIntervalS = 86400;

QString levelText(int32_t tenths) {
    // From the tenths, so that no rounding of the float can change the digit.
    const int64_t t = tenths;
    return QStringLiteral("%1%2.%3")
        .arg(t < 0 ? QStringLiteral("-") : QString())
        .arg(std::llabs(t) / 10)
        .arg(std::llabs(t) % 10);
}

// ---- stopping on SIGINT and SIGTERM
//
// The handler only notes the signal and wakes the wait through a pipe; the loop looks at the
// note between polls, so a line is always written whole.

std::atomic<int> gStopSignal{0};
std::atomic<int> gWakeFd{-1};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void onStopSignal(int signal) {
    const int saved = errno;
    gStopSignal.store(signal);
    if (const int fd = gWakeFd.load(); fd >= 0) {
        const char byte = 0;
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
    errno = saved;
}

class StopSignals {
  public:
    StopSignals() {
        gStopSignal.store(0);
        if (::pipe2(pipe_, O_NONBLOCK | O_CLOEXEC) != 0) pipe_[0] = pipe_[1] = -1;
        gWakeFd.store(pipe_[1]);
        struct sigaction action = {};
        action.sa_handler = onStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;  // writes of the output go on after the handler
        sigaction(SIGINT, &action, &oldInt_);
        sigaction(SIGTERM, &action, &oldTerm_);
    }
    ~StopSignals() {
        sigaction(SIGINT, &oldInt_, nullptr);
        sigaction(SIGTERM, &oldTerm_, nullptr);
        gWakeFd.store(-1);
        for (int fd : pipe_)
            if (fd >= 0) ::close(fd);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    int received() const { return gStopSignal.load(); }

    // Sleeps for ms milliseconds of the clock, or until a stop signal came.
    void wait(Clock& clock, int64_t ms) {
        const int64_t end = clock.tickMs() + ms;
        for (int64_t left = ms; left > 0 && !received(); left = end - clock.tickMs()) {
            if (pipe_[0] < 0) {
                clock.waitMs(std::min<int64_t>(left, 50));
                continue;
            }
            pollfd wake = {pipe_[0], POLLIN, 0};
            if (::poll(&wake, 1, int(std::min<int64_t>(left, 60000))) > 0) {
                char drain[16];
                while (::read(pipe_[0], drain, sizeof drain) > 0) {
                }
            }
        }
    }

  private:
    int pipe_[2] = {-1, -1};
    struct sigaction oldInt_ = {};
    struct sigaction oldTerm_ = {};
};

const char* signalName(int signal) {
    return signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "a signal";
}

}  // namespace

QString liveHeader(LiveFormat format) {
    switch (format) {
        case LiveFormat::Csv:
            return QStringLiteral("time,level,weighting,response,range,flags");
        case LiveFormat::Tsv:
            return QStringLiteral("time\tlevel\tweighting\tresponse\trange\tflags");
        case LiveFormat::Json:
            break;
    }
    return {};
}

QStringList liveFlags(const MeterStatus& s) {
    QStringList flags;
    if (s.recording) flags << QStringLiteral("REC");
    if (s.maxMinActive) {
        // The display's labels: MAX, MIN, or both while they alternate.
        if (s.maxMinMode == 0x11 || s.maxMinMode == 0x44) flags << QStringLiteral("MAX");
        if (s.maxMinMode == 0x22 || s.maxMinMode == 0x44) flags << QStringLiteral("MIN");
    }
    if (s.leqShown) flags << QStringLiteral("LEQ");
    if (s.runState == RunState::Running) flags << QStringLiteral("RUN");
    if (s.runState == RunState::Paused) flags << QStringLiteral("PAUSE");
    if (s.memoryFull) flags << QStringLiteral("FULL");
    if (s.over) flags << QStringLiteral("OVER");
    if (s.under) flags << QStringLiteral("UNDER");
    return flags;
}

QString liveTime(const QDateTime& when) {
    return isoInstantText(double(when.toMSecsSinceEpoch()) / 1000, LocalClock(when.timeZone()),
                          true);
}

QString liveLine(const MeterStatus& s, const QDateTime& when, LiveFormat format) {
    const QString time = liveTime(when);
    const QString level = levelText(s.levelTenths);
    const QString weighting = s.weightingA ? QStringLiteral("A") : QStringLiteral("C");
    const QString response = s.fast ? QStringLiteral("FAST") : QStringLiteral("SLOW");
    const QString range = QStringLiteral("30-130");  // the meter's one range
    const QStringList flags = liveFlags(s);
    if (format == LiveFormat::Json) {
        const auto quoted = [](const QString& v) {
            return QLatin1Char('"') + v + QLatin1Char('"');
        };
        QStringList quotedFlags;
        for (const QString& f : flags) quotedFlags << quoted(f);
        return QStringLiteral(
                   "{\"time\":%1,\"level\":%2,\"weighting\":%3,\"response\":%4,\"range\":%5,"
                   "\"flags\":[%6]}")
            .arg(quoted(time), level, quoted(weighting), quoted(response), quoted(range),
                 quotedFlags.join(QLatin1Char(',')));
    }
    const QChar separator = format == LiveFormat::Csv ? QLatin1Char(',') : QLatin1Char('\t');
    return QStringList{time, level, weighting, response, range, flags.join(QLatin1Char(' '))}.join(
        separator);
}

int runLiveCommand(const CliArguments& a, QTextStream& out, QTextStream& err,
                   const CliDevices& devices) {
    const CliCommand& command = *a.command;
    double intervalS = 1.0;
    if (a.isSet("interval")) {
        const QString interval = a.value("interval");
        bool ok = false;
        intervalS = QLocale::c().toDouble(interval, &ok);
        if (!ok || !std::isfinite(intervalS) || intervalS < kMinIntervalS ||
            intervalS > kMaxIntervalS)
            return cliWrongUse(
                err, command,
                QStringLiteral("--interval needs seconds from 0.1 to 86400, not ") + interval);
    }
    int readingsWanted = 0;  // 0: until a signal or the meter's loss
    if (a.isSet("count")) {
        const QString count = a.value("count");
        bool ok = false;
        readingsWanted = count.toInt(&ok);
        if (!ok || readingsWanted < 1)
            return cliWrongUse(
                err, command,
                QStringLiteral("--count needs a whole number of at least 1, not ") + count);
    }
    LiveFormat lineFormat = LiveFormat::Tsv;
    const QString format = a.value("format");
    if (format == QLatin1String("csv"))
        lineFormat = LiveFormat::Csv;
    else if (format == QLatin1String("json"))
        lineFormat = LiveFormat::Json;
    else if (a.isSet("format") && format != QLatin1String("tsv"))
        return cliWrongUse(err, command,
                           QStringLiteral("--format is csv, tsv or json, not ") + format);
    const bool simulate = a.isSet("simulate");
    const QString trace = a.value("trace");
    const int64_t intervalMs = std::llround(intervalS * 1000);

    SystemClock systemClock;
    Clock& clock = devices.clock ? *devices.clock : systemClock;
    const std::unique_ptr<MeterBackend> backend = openMeterBackend(
        simulate ? std::optional<SimulatedMeter::Options>(SimulatedMeter::Options{}) : std::nullopt,
        clock, devices, trace, err, meterSelectionFrom(a));
    if (!backend) return 1;
    IdleLinkHost host;
    MeterLink link(backend->library(), clock, host);
    StopSignals stop;

    // As the probe: the presence check every transaction starts with, then the identification.
    if (!link.checkPresence()) {
        err << "error " << LinkResult::NoAnswer << ": the meter did not answer\n";
        return 1;
    }
    const ResponseFrame& response = link.mainResponse();
    if (!link.exchangeShort(Cmd::Identify) || response[23] != '5' || response[24] != '8' ||
        response[25] != '6') {
        err << "error: the device did not identify as a compatible meter\n";
        return 1;
    }

    if (lineFormat != LiveFormat::Json) {
        out << liveHeader(lineFormat) << '\n';
        out.flush();
    }
    // The poll of the application: a failed poll is skipped, a frame not framed 02 ... 03 is
    // ignored, and five failed polls in a row lose the meter.
    int readings = 0;
    int failedPolls = 0;
    int64_t next = clock.tickMs();
    while (!stop.received()) {
        if (link.pollStatus()) {
            failedPolls = 0;
            if (response[0] == kFrameStart && response[31] == kFrameEnd) {
                out << liveLine(decode(response), clock.now(), lineFormat) << '\n';
                out.flush();
                if (out.status() != QTextStream::Ok) {
                    err << "error: the output cannot be written\n";
                    return 1;
                }
                if (++readings == readingsWanted) return 0;
            }
        } else if (++failedPolls >= MeterConnection::kFailedPollsToDisconnect) {
            err << "error: the meter was lost: " << failedPolls
                << " status polls in a row failed, after " << readings
                << (readings == 1 ? " reading\n" : " readings\n");
            return kLiveMeterLost;
        }
        if (stop.received()) break;
        // A poll slower than the interval delays the next one; missed polls are not made up.
        next = std::max(next + intervalMs, clock.tickMs());
        const int64_t wait = next - clock.tickMs();
        if (wait <= 0) continue;
        if (devices.clock)
            clock.waitMs(wait - 1);  // waitMs waits more than it is given
        else
            stop.wait(clock, wait);
    }
    err << "stopped by " << signalName(stop.received()) << " after " << readings
        << (readings == 1 ? " reading\n" : " readings\n");
    return 0;
}

}  // namespace kl516
