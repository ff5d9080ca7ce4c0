// The monitor's path for one reading: aggregation, the spool (a summary each minute) and the
// publish to a local mosquitto, started here on a free port. Without mosquitto the benchmarks
// are skipped.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <chrono>
#include <cmath>
#include <memory>

#include "assessment/ExceedanceDetector.h"
#include "monitor/LevelAggregator.h"
#include "monitor/MonitorMessages.h"
#include "monitor/MqttPublisher.h"
#include "monitor/Spool.h"

using namespace kl516;

namespace {

int freePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n) == 0)
        port = ntohs(a.sin_port);
    ::close(s);
    return port;
}

long residentKb() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : 0;
}

// A broker, a spool and a connected publisher, with the monitor's per-reading work.
class MonitorRig {
  public:
    bool start() {
        const QString mosquitto = QStringLiteral("/usr/sbin/mosquitto");
        if (!QFile::exists(mosquitto)) return false;
        port_ = freePort();
        QFile conf(dir_.filePath(QStringLiteral("m.conf")));
        if (!conf.open(QIODevice::WriteOnly)) return false;
        const passwd* user = ::getpwuid(::getuid());
        conf.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\nuser %2\n")
                       .arg(port_)
                       .arg(QString::fromLocal8Bit(user ? user->pw_name : "root"))
                       .toUtf8());
        conf.close();
        broker_.start(mosquitto, {QStringLiteral("-c"), conf.fileName()});
        if (!broker_.waitForStarted()) return false;
        QString error;
        spool_ = Spool::open(dir_.filePath(QStringLiteral("bench.spool")), 100'000'000, &error);
        if (!spool_) return false;
        MqttSettings settings;
        settings.host = QStringLiteral("127.0.0.1");
        settings.port = port_;
        settings.clientId = QStringLiteral("kl516-bench");
        settings.willTopic = "bench/availability";
        publisher_ = std::make_unique<MqttPublisher>(settings, *spool_);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!publisher_->connected() && std::chrono::steady_clock::now() < end)
            publisher_->service(50);
        return publisher_->connected();
    }
    ~MonitorRig() {
        if (publisher_) publisher_->finish(2000);
        broker_.terminate();
        broker_.waitForFinished(5000);
    }

    // One reading, one second after the previous.
    void reading() {
        const float level = float(std::lround(10 * (55 + 15 * std::sin(double(n_) * 0.1)))) / 10;
        const int64_t t = start_ + n_ * 1000;
        ++n_;
        for (const PeriodSummary& s : aggregator_.add(t, level))
            spool_->append("bench/summary", true, [&](int64_t sequence, int64_t dropped) {
                return summaryPayload(s, sequence, dropped);
            });
        if (auto run = events_.add(double(t) / 1000, level, 1.0))
            spool_->append("bench/event", false, [&](int64_t sequence, int64_t) {
                return eventPayload(*run, 65, sequence);
            });
        const QByteArray payload = "{\"flags\":[],\"level\":" + QByteArray::number(double(level)) +
                                   ",\"range\":\"30-130\",\"speed\":\"FAST\",\"time\":\"" +
                                   isoTime(localTimeAt(t)).toUtf8() + "\",\"weighting\":\"A\"}";
        publisher_->publish("bench/level", payload, 0, false);
        publisher_->service(0);
    }
    void drain() { publisher_->drain(10000); }

  private:
    QTemporaryDir dir_;
    QProcess broker_;
    int port_ = 0;
    std::unique_ptr<Spool> spool_;
    std::unique_ptr<MqttPublisher> publisher_;
    LevelAggregator aggregator_{60, 1.0};
    ExceedanceDetector events_{65, 0, 1.0};
    const int64_t start_ = instantMs(QDateTime(QDate(2026, 12, 11), QTime(0, 0)));
    int64_t n_ = 0;
};

void BM_MonitorReading(benchmark::State& state) {
    MonitorRig rig;
    if (!rig.start()) {
        state.SkipWithError("no mosquitto broker");
        return;
    }
    for (auto _ : state) rig.reading();
    rig.drain();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MonitorReading)->Unit(benchmark::kMicrosecond);

// A day of 1 s readings: the resident memory after the first minute and its growth by the end.
void BM_MonitorDayMemory(benchmark::State& state) {
    for (auto _ : state) {
        MonitorRig rig;
        if (!rig.start()) {
            state.SkipWithError("no mosquitto broker");
            return;
        }
        for (int i = 0; i < 60; ++i) rig.reading();
        rig.drain();
        const long firstMinute = residentKb();
        for (int i = 60; i < 86400; ++i) rig.reading();
        rig.drain();
        state.counters["first_minute_kB"] = double(firstMinute);
        state.counters["growth_kB"] = double(residentKb() - firstMinute);
    }
}
BENCHMARK(BM_MonitorDayMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
