#include "cli/MonitorCommand.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <optional>
#include <thread>

#include "assessment/AssessmentOptions.h"
#include "assessment/ExceedanceDetector.h"
#include "cli/LiveCommand.h"
#include "cli/MeterBackend.h"
#include "link/Clock.h"
#include "link/LinkHost.h"
#include "link/LinkTrace.h"
#include "link/MeterLink.h"
#include "monitor/LevelAggregator.h"
#include "monitor/MonitorMessages.h"
#include "monitor/MqttPublisher.h"
#include "monitor/Spool.h"
#include "platform/AppPaths.h"
#include "session/MeterConnection.h"
#include "session/StatusDecoder.h"
#include "simulator/SimulatedMeter.h"

namespace kl516 {

namespace {

constexpr int64_t kMeterRetryMs = 2000;  // between identifications while the meter is away
constexpr int kFinishMs = 5000;          // real time to deliver what is left at the end
constexpr int kFirstConnectMs = 3000;    // real time the first connection may take

// ---- signals: SIGINT and SIGTERM end the monitor, SIGHUP re-opens the trace file. The
// handler only takes note; the loop looks between its short waits.

std::atomic<int> gStop{0};
std::atomic<bool> gHangUp{false};

extern "C" void onMonitorSignal(int signal) {
    if (signal == SIGHUP)
        gHangUp.store(true);
    else
        gStop.store(signal);
}

class MonitorSignals {
  public:
    MonitorSignals() {
        gStop.store(0);
        gHangUp.store(false);
        struct sigaction action = {};
        action.sa_handler = onMonitorSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGINT, &action, &old_[0]);
        sigaction(SIGTERM, &action, &old_[1]);
        sigaction(SIGHUP, &action, &old_[2]);
        // A broker that goes away must not end the monitor through a write to its socket.
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGPIPE, &ignore, &old_[3]);
    }
    ~MonitorSignals() {
        sigaction(SIGINT, &old_[0], nullptr);
        sigaction(SIGTERM, &old_[1], nullptr);
        sigaction(SIGHUP, &old_[2], nullptr);
        sigaction(SIGPIPE, &old_[3], nullptr);
    }
    MonitorSignals(const MonitorSignals&) = delete;
    MonitorSignals& operator=(const MonitorSignals&) = delete;

    bool stopped() const { return gStop.load() != 0; }
    bool takeHangUp() { return gHangUp.exchange(false); }

  private:
    struct sigaction old_[4] = {};
};

// A clock for trying the monitor out: the simulated meter's time runs `speed` times faster than
// real time, from the start of the current minute, and moves only when the monitor waits, so
// that every reading falls on its schedule however busy the computer is.
class PacedClock final : public Clock {
  public:
    explicit PacedClock(double speed) : speed_(speed) {
        const QDateTime now = QDateTime::currentDateTime();
        start_ = QDateTime(now.date(), QTime(now.time().hour(), now.time().minute()));
    }
    int64_t tickMs() const override { return ticks_; }
    void waitMs(int64_t ms) override {
        std::this_thread::sleep_for(
            std::chrono::microseconds(int64_t(double(ms + 1) * 1000 / speed_)));
        ticks_ += ms + 1;
    }
    QDateTime now() const override { return start_.addMSecs(ticks_); }
    void advance(int64_t ms) { ticks_ += ms; }
    double speed() const { return speed_; }

  private:
    double speed_;
    QDateTime start_;
    int64_t ticks_ = 0;
};

// The device library behind the link, with a trace file that SIGHUP re-opens (after a log
// rotation moved the old one away). The device may come later (a meter named by --serial that
// is not attached yet): until then every call fails as with an unplugged meter.
class RetraceableLibrary final : public DeviceLibrary {
  public:
    explicit RetraceableLibrary(QString tracePath) : path_(std::move(tracePath)) {}
    void setDevice(DeviceLibrary& device) {
        device_ = &device;
        reopen();
    }
    bool hasDevice() const { return device_ != nullptr; }
    bool reopen() {
        trace_.reset();
        if (path_.isEmpty() || !device_) return true;
        trace_ = std::make_unique<TracingDeviceLibrary>(*device_, path_);
        return trace_->isOpen();
    }

    int32_t close() override { return device_ ? d().close() : 0; }
    int32_t open(uint16_t v, uint16_t p) override { return device_ ? d().open(v, p) : 1; }
    int32_t setTimeouts(int32_t r, int32_t w) override {
        return device_ ? d().setTimeouts(r, w) : 1;
    }
    int32_t write(int32_t n, const uint8_t* b) override { return device_ ? d().write(n, b) : 1; }
    int32_t prepareRead() override { return device_ ? d().prepareRead() : 0; }
    int32_t read(int32_t n, uint8_t* b) override { return device_ ? d().read(n, b) : 1; }
    int32_t writeBlock(int32_t n, const uint8_t* b) override {
        return device_ ? d().writeBlock(n, b) : 1;
    }
    int32_t readString(int32_t i, char* b, int32_t size) override {
        return device_ ? d().readString(i, b, size) : 1;
    }
    int32_t staleReports() const override {
        return trace_ ? trace_->staleReports() : device_ ? device_->staleReports() : 0;
    }

  private:
    DeviceLibrary& d() { return trace_ ? *trace_ : *device_; }

    DeviceLibrary* device_ = nullptr;
    QString path_;
    std::unique_ptr<TracingDeviceLibrary> trace_;
};

// A number option within [low, high]; fallback when not given. nullopt after a wrong use.
std::optional<double> numberOption(const CliArguments& a, const char* name, double low, double high,
                                   double fallback, QTextStream& err, int& status) {
    if (!a.isSet(name)) return fallback;
    const QString text = a.value(name);
    bool ok = false;
    const double v = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(v) || v < low || v > high) {
        status = cliWrongUse(
            err, *a.command,
            QStringLiteral("--%1 needs a number from %2 to %3, not %4")
                .arg(QLatin1String(name), QString::number(low), QString::number(high), text));
        return std::nullopt;
    }
    return v;
}

QString meterSerial(DeviceLibrary& device) {
    QString serial;
    if (device.open(kMeterVendorId, kMeterProductId) == 0) {
        char text[64] = {};
        if (device.readString(0, text, sizeof text) == 0) {
            text[sizeof text - 1] = '\0';
            serial = QString::fromUtf8(text).trimmed();
        }
    }
    device.close();
    return serial;
}

QByteArray readingPayload(const MeterStatus& s, const QDateTime& when) {
    QJsonArray flags;
    for (const QString& f : liveFlags(s)) flags.append(f);
    QJsonObject o;
    o[QStringLiteral("time")] = isoTime(when);
    o[QStringLiteral("level")] = double(s.levelTenths) / 10.0;
    o[QStringLiteral("weighting")] = s.weightingA ? QStringLiteral("A") : QStringLiteral("C");
    o[QStringLiteral("speed")] = s.fast ? QStringLiteral("FAST") : QStringLiteral("SLOW");
    o[QStringLiteral("range")] = QStringLiteral("30-130");  // the meter's one range
    o[QStringLiteral("flags")] = flags;
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

}  // namespace

int runMonitorCommand(const CliArguments& a, QTextStream& out, QTextStream& err,
                      const CliDevices& devices) {
    Q_UNUSED(out);
    const CliCommand& command = *a.command;
    int status = 0;
    const auto interval = numberOption(a, "interval", 0.1, 30, 1, err, status);
    if (!interval) return status;
    const auto aggregate = numberOption(a, "aggregate", 1, 86400, 60, err, status);
    if (!aggregate) return status;
    if (*aggregate != std::floor(*aggregate) || 86400 % int(*aggregate) != 0)
        return cliWrongUse(err, command,
                           QStringLiteral("--aggregate needs whole seconds that divide a day "
                                          "(10, 60, 300, 900, 3600 ...), not ") +
                               a.value("aggregate"));
    if (*aggregate < *interval)
        return cliWrongUse(err, command, QStringLiteral("--aggregate is shorter than --interval"));
    // The exceedances' threshold and minimum duration take what the assessment takes.
    const auto threshold =
        numberOption(a, "threshold", kLowestThreshold, kHighestThreshold, 0, err, status);
    if (!threshold) return status;
    const auto minDuration =
        numberOption(a, "min-duration", 0, kLongestMinDuration, 0, err, status);
    if (!minDuration) return status;
    if (a.isSet("min-duration") && !a.isSet("threshold"))
        return cliWrongUse(err, command, QStringLiteral("--min-duration needs --threshold"));
    const auto limitMb = numberOption(a, "spool-limit", 0.01, 1e6, 100, err, status);
    if (!limitMb) return status;
    const auto speed = numberOption(a, "clock-speed", 1, 1000, 1, err, status);
    if (!speed) return status;
    const auto runFor = numberOption(a, "run-for", 1, 1e9, 0, err, status);
    if (!runFor) return status;
    const bool simulate = a.isSet("simulate");
    for (const char* simOnly : {"clock-speed", "sim-unplug"})
        if (a.isSet(simOnly) && !simulate)
            return cliWrongUse(err, command,
                               QStringLiteral("--%1 needs --simulate").arg(QLatin1String(simOnly)));
    int64_t unplugAtMs = -1, unplugForMs = 0;
    if (a.isSet("sim-unplug")) {
        const QStringList parts = a.value("sim-unplug").split(QLatin1Char(':'));
        bool ok1 = false, ok2 = false;
        const double at = parts.size() == 2 ? QLocale::c().toDouble(parts[0], &ok1) : -1;
        const double length = parts.size() == 2 ? QLocale::c().toDouble(parts[1], &ok2) : -1;
        if (!ok1 || !ok2 || !(at >= 0) || !(length > 0) || at > 1e9 || length > 1e9)
            return cliWrongUse(
                err, command,
                QStringLiteral("--sim-unplug needs AT:SECONDS, not ") + a.value("sim-unplug"));
        unplugAtMs = std::llround(at * 1000);
        unplugForMs = std::llround(length * 1000);
    }

    MqttSettings mqtt;
    if (const auto problem = parseMqttUrl(a.value("mqtt"), mqtt))
        return cliWrongUse(err, command, *problem);
    if (a.isSet("ca-file") && !mqtt.tls)
        return cliWrongUse(err, command, QStringLiteral("--ca-file needs an mqtts:// broker"));
    mqtt.caFile = a.value("ca-file");
    mqtt.username = a.value("username");
    if (a.isSet("password-file")) {
        if (!a.isSet("username"))
            return cliWrongUse(err, command, QStringLiteral("--password-file needs --username"));
        QFile file(a.value("password-file"));
        if (!file.open(QIODevice::ReadOnly)) {
            err << "error: cannot read the password file " << file.fileName() << ": "
                << file.errorString() << "\n";
            return 1;
        }
        mqtt.password =
            QString::fromUtf8(file.readLine()).remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
    } else if (const QByteArray env = qgetenv("KL516_MQTT_PASSWORD"); !env.isEmpty()) {
        mqtt.password = QString::fromUtf8(env);
    }

    // ---- the meter
    std::unique_ptr<PacedClock> paced;
    SystemClock systemClock;
    Clock* clockChoice = devices.clock ? devices.clock : &systemClock;
    if (!devices.clock && a.isSet("clock-speed")) {
        paced = std::make_unique<PacedClock>(*speed);
        clockChoice = paced.get();
    }
    Clock& clock = *clockChoice;
    const MeterSelection selection = meterSelectionFrom(a);
    RetraceableLibrary library(a.value("trace"));
    std::unique_ptr<MeterBackend> backend;
    SimulatedMeter* simulated = nullptr;
    // The meter's library; a meter that --serial or --device names must be attached to get it,
    // so it is asked for again at each identification until it is (saying why only once).
    QString quietText;
    QTextStream quiet(&quietText);
    const auto openBackend = [&](QTextStream& messages) {
        backend = openMeterBackend(
            simulate ? std::optional<SimulatedMeter::Options>(SimulatedMeter::Options{})
                     : std::nullopt,
            clock, devices, QString(), messages, selection);
        quietText.clear();
        if (!backend) return false;
        library.setDevice(backend->library());
        if (simulate) simulated = dynamic_cast<SimulatedMeter*>(backend->device);
        return true;
    };
    if (!openBackend(err) && selection.any()) return 1;  // no meter named: not for want of one
    if (!library.reopen()) {
        err << "error: cannot write the trace file " << a.value("trace") << "\n";
        return 1;
    }
    IdleLinkHost host;
    MeterLink link(library, clock, host);

    QString serial = selection.serial;
    if (serial.isEmpty()) serial = meterSerial(library);
    const QString prefix =
        a.isSet("topic-prefix")
            ? a.value("topic-prefix")
            : QStringLiteral("kl516/") + (serial.isEmpty() ? QStringLiteral("meter") : serial);
    if (prefix.isEmpty() || prefix.contains(QLatin1Char('#')) || prefix.contains(QLatin1Char('+')))
        return cliWrongUse(err, command,
                           QStringLiteral("--topic-prefix must not be empty nor hold # or +"));
    const QByteArray levelTopic = (prefix + QStringLiteral("/level")).toUtf8();
    const QByteArray summaryTopic = (prefix + QStringLiteral("/summary")).toUtf8();
    const QByteArray eventTopic = (prefix + QStringLiteral("/event")).toUtf8();
    const QByteArray availabilityTopic = (prefix + QStringLiteral("/availability")).toUtf8();

    // ---- the spool
    const QString spoolFolder =
        a.isSet("spool") ? a.value("spool")
                         : AppPaths::forRunningProgram().userFolder + QStringLiteral("/monitor");
    const QString id = discoveryId(serial);
    const QString spoolPath = spoolFolder + QLatin1Char('/') + id + QStringLiteral(".spool");
    QString spoolError;
    std::unique_ptr<Spool> spool;
    if (!QDir().mkpath(spoolFolder))
        spoolError = QStringLiteral("the folder cannot be made");
    else
        spool = Spool::open(spoolPath, int64_t(*limitMb * 1e6), &spoolError);
    if (!spool) {
        err << "error: cannot open the spool " << spoolPath << ": " << spoolError << "\n";
        return 1;
    }

    // ---- the broker
    mqtt.clientId = QStringLiteral("kl516-monitor-") + id;
    mqtt.willTopic = availabilityTopic;
    MqttPublisher publisher(mqtt, *spool);
    bool meterPresent = false;
    const bool discovery = !a.isSet("no-discovery");
    const DiscoveredDevice device{serial, QStringLiteral("KL516"),
                                  QStringLiteral("Sound level meter ") +
                                      (serial.isEmpty() ? QStringLiteral("KL516") : serial)};
    publisher.setOnConnected([&] {
        err << "connected to " << mqtt.host << ":" << mqtt.port << "\n";
        err.flush();
        publisher.publish(availabilityTopic, meterPresent ? "online" : "offline", 1, true);
        if (discovery)
            for (const auto& [topic, payload] : discoveryConfigs(prefix, device))
                publisher.publish(topic, payload, 1, true);
    });

    const double readingS = *interval;
    LevelAggregator aggregator(int(*aggregate), readingS);
    // Each reading stands for one reading period, as a regular series' samples do.
    std::optional<ExceedanceDetector> exceedances;
    if (a.isSet("threshold")) exceedances.emplace(*threshold, *minDuration, readingS);

    bool spoolFailed = false;
    const auto spoolSummaries = [&](const std::vector<PeriodSummary>& summaries) {
        for (const PeriodSummary& s : summaries)
            if (!spool->append(summaryTopic, true, [&](int64_t sequence, int64_t dropped) {
                    return summaryPayload(s, sequence, dropped);
                }))
                spoolFailed = true;
    };
    const auto spoolEvent = [&](const std::optional<ExceedanceEvent>& event) {
        if (event && !spool->append(eventTopic, false, [&](int64_t sequence, int64_t) {
                return eventPayload(*event, exceedances->threshold(), sequence);
            }))
            spoolFailed = true;
    };

    MonitorSignals stopSignals;
    QString lastProblem;
    const auto say = [&](const QString& line) {
        err << line << "\n";
        err.flush();
    };
    // Waits until the clock shows tick, serving the broker meanwhile.
    const auto waitUntil = [&](int64_t tick) {
        while (!stopSignals.stopped() && !publisher.refusal() && clock.tickMs() < tick) {
            const int64_t left = tick - clock.tickMs();
            if (devices.clock) {
                clock.waitMs(left - 1);  // waitMs waits more than it is given
                publisher.service(0);
            } else if (paced) {
                const auto end =
                    std::chrono::steady_clock::now() +
                    std::chrono::microseconds(int64_t(double(left) * 1000 / paced->speed()));
                for (auto now = std::chrono::steady_clock::now();
                     now < end && !stopSignals.stopped(); now = std::chrono::steady_clock::now())
                    publisher.service(int(std::min<int64_t>(
                        50,
                        std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count())));
                paced->advance(left);
            } else {
                publisher.service(int(std::min<int64_t>(left, 100)));
            }
        }
    };

    // As the application's poll while no meter is connected: the identification.
    const ResponseFrame& response = link.mainResponse();
    const auto identify = [&] {
        if (!library.hasDevice() && !openBackend(quiet)) return false;
        if (!link.exchangeShort(Cmd::Identify) || response[23] != '5' || response[24] != '8' ||
            response[25] != '6')
            return false;
        meterPresent = true;
        say(QStringLiteral("the meter is connected"));
        publisher.publish(availabilityTopic, "online", 1, true);
        return true;
    };
    identify();  // before the broker connects, so that its first availability is right

    // A moment for the broker before the first reading, so that the first readings are not lost
    // to the connection's set-up; a broker that is away does not hold the monitor up longer.
    for (auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kFirstConnectMs);
         !publisher.connected() && !publisher.refusal() && !stopSignals.stopped() &&
         std::chrono::steady_clock::now() < end;)
        publisher.service(50);

    const int64_t startTick = clock.tickMs();
    const int64_t endTick = *runFor > 0 ? startTick + std::llround(*runFor * 1000) : -1;
    spoolSummaries(aggregator.advanceTo(instantMs(clock.now())));
    int failedPolls = 0;
    int64_t nextMeterTry = startTick;
    int64_t next = startTick;
    const int64_t intervalMs = std::llround(readingS * 1000);
    bool unplugged = false;
    say(QStringLiteral("monitoring: publishing under %1 to %2:%3, spool %4")
            .arg(prefix, mqtt.host)
            .arg(mqtt.port)
            .arg(spoolPath));
    while (!stopSignals.stopped() && (endTick < 0 || clock.tickMs() < endTick)) {
        if (stopSignals.takeHangUp() && !library.reopen())
            say(QStringLiteral("warning: cannot re-open the trace file ") + a.value("trace"));
        if (simulated && unplugAtMs >= 0) {
            const int64_t t = clock.tickMs() - startTick;
            if (!unplugged && t >= unplugAtMs && t < unplugAtMs + unplugForMs) {
                simulated->unplug();
                unplugged = true;
            } else if (unplugged && t >= unplugAtMs + unplugForMs) {
                simulated->replug();
                unplugged = false;
                unplugAtMs = -1;
            }
        }
        if (!meterPresent && clock.tickMs() >= nextMeterTry) {
            failedPolls = 0;
            if (!identify()) nextMeterTry = clock.tickMs() + kMeterRetryMs;
        }
        if (meterPresent && link.pollStatus()) {
            failedPolls = 0;
            if (response[0] == kFrameStart && response[31] == kFrameEnd) {
                const MeterStatus s = decode(response);
                const QDateTime when = clock.now();
                const int64_t wall = instantMs(when);
                const float level = float(s.levelTenths) / 10.0f;
                spoolSummaries(aggregator.add(wall, level));
                if (exceedances) spoolEvent(exceedances->add(double(wall) / 1000, level, readingS));
                publisher.publish(levelTopic, readingPayload(s, when), 0, false);
            }
        } else if (meterPresent && ++failedPolls >= MeterConnection::kFailedPollsToDisconnect) {
            meterPresent = false;
            nextMeterTry = clock.tickMs() + kMeterRetryMs;
            if (exceedances) spoolEvent(exceedances->end());
            say(QStringLiteral("the meter was lost: %1 status polls in a row failed; trying again")
                    .arg(failedPolls));
            publisher.publish(availabilityTopic, "offline", 1, true);
        }
        spoolSummaries(aggregator.advanceTo(instantMs(clock.now())));
        if (spoolFailed) {
            say(QStringLiteral("error: cannot write to the spool %1: %2")
                    .arg(spoolPath, spool->lastError()));
            return 1;
        }
        publisher.service(0);
        if (publisher.refusal()) break;
        if (publisher.lastProblem() != lastProblem) {
            lastProblem = publisher.lastProblem();
            if (!lastProblem.isEmpty())
                say(QStringLiteral("broker %1:%2: %3; its messages wait in the spool")
                        .arg(mqtt.host)
                        .arg(mqtt.port)
                        .arg(lastProblem));
        }
        // A poll slower than the interval delays the next one; missed polls are not made up.
        next = std::max(next + intervalMs, clock.tickMs());
        if (endTick >= 0) next = std::min(next, endTick);
        waitUntil(next);
    }
    if (publisher.refusal()) {
        say(QStringLiteral("error: ") + *publisher.refusal());
        return 1;
    }

    // The end: the running event and the current period (marked partial) go to the spool, what
    // waits there is delivered while the broker takes it, and the availability says offline.
    if (exceedances) spoolEvent(exceedances->end());
    spoolSummaries(aggregator.advanceTo(instantMs(clock.now())));
    if (const auto last = aggregator.finish(instantMs(clock.now()))) spoolSummaries({*last});
    publisher.drain(kFinishMs);
    publisher.publish(availabilityTopic, "offline", 1, true);
    publisher.finish(kFinishMs / 5);
    const int signal = gStop.load();
    say(QStringLiteral("stopped by %1; %2 messages wait in the spool")
            .arg(QLatin1String(signal == SIGINT    ? "SIGINT"
                               : signal == SIGTERM ? "SIGTERM"
                                                   : "the end of --run-for"))
            .arg(spool->count()));
    return spoolFailed ? 1 : 0;
}

}  // namespace kl516
