// kl516-cli monitor against a real mosquitto broker on a free port, with mosquitto_sub as the
// client. The simulated meter runs on its paced clock (--clock-speed), so that simulated
// minutes pass in a fraction of a second.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <chrono>
#include <cmath>
#include <csignal>
#include <functional>
#include <map>
#include <set>

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

bool accepts(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(port));
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

// Polls until done() or the time is up.
bool waitFor(const std::function<bool()>& done, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QThread::msleep(20);
    }
    return true;
}

// A mosquitto broker with its own configuration and persistence folder, on a free port.
class Broker {
  public:
    explicit Broker(QString extraConfig = {}) : extra_(std::move(extraConfig)), port_(freePort()) {}
    ~Broker() { stop(); }

    int port() const { return port_; }
    QString url() const { return QStringLiteral("mqtt://127.0.0.1:%1").arg(port_); }
    QString folder() const { return dir_.path(); }

    bool start() {
        QFile conf(dir_.filePath(QStringLiteral("mosquitto.conf")));
        if (!conf.open(QIODevice::WriteOnly)) return false;
        const passwd* user = ::getpwuid(::getuid());
        conf.write(QStringLiteral("listener %1 127.0.0.1\npersistence true\n"
                                  "persistence_location %2/\nuser %3\n%4\n")
                       .arg(port_)
                       .arg(dir_.path(), QString::fromLocal8Bit(user ? user->pw_name : "root"),
                            extra_.isEmpty() ? QStringLiteral("allow_anonymous true") : extra_)
                       .toUtf8());
        conf.close();
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(QStringLiteral(KL516_MOSQUITTO), {QStringLiteral("-c"), conf.fileName()});
        return process_.waitForStarted() && waitFor([&] { return accepts(port_); }, 10000);
    }
    void stop() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();  // SIGTERM: the broker saves its sessions
        if (!process_.waitForFinished(10000)) process_.kill();
        process_.waitForFinished();
    }

  private:
    QTemporaryDir dir_;
    QString extra_;
    int port_;
    QProcess process_;
};

struct Message {
    QString topic;
    QByteArray payload;
    QJsonObject json() const { return QJsonDocument::fromJson(payload).object(); }
};

// mosquitto_sub on every topic, QoS 1, with a session that outlives the broker's restarts.
class Subscriber {
  public:
    explicit Subscriber(const Broker& broker) : broker_(broker) {
        static int count = 0;
        process_.start(QStringLiteral(KL516_MOSQUITTO_SUB),
                       {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                        QString::number(broker.port()), QStringLiteral("-t"), QStringLiteral("#"),
                        QStringLiteral("-v"), QStringLiteral("-q"), QStringLiteral("1"),
                        QStringLiteral("-c"), QStringLiteral("-i"),
                        QStringLiteral("kl516-test-%1-%2").arg(::getpid()).arg(++count)});
    }
    ~Subscriber() {
        process_.kill();
        process_.waitForFinished();
    }
    // Subscribed: a message of our own has come back.
    bool ready() {
        return waitFor(
            [&] {
                QProcess::execute(
                    QStringLiteral(KL516_MOSQUITTO_PUB),
                    {QStringLiteral("-p"), QString::number(broker_.port()), QStringLiteral("-t"),
                     QStringLiteral("probe"), QStringLiteral("-m"), QStringLiteral("x")});
                return !on(QStringLiteral("probe")).empty();
            },
            15000);
    }
    std::vector<Message> on(const QString& topic) {
        read();
        std::vector<Message> found;
        for (const Message& m : messages_)
            if (m.topic == topic) found.push_back(m);
        return found;
    }

  private:
    void read() {
        process_.waitForReadyRead(0);
        buffer_ += process_.readAllStandardOutput();
        for (qsizetype nl; (nl = buffer_.indexOf('\n')) >= 0; buffer_.remove(0, nl + 1)) {
            const QByteArray line = buffer_.left(nl);
            const qsizetype space = line.indexOf(' ');
            if (space > 0)
                messages_.push_back({QString::fromUtf8(line.left(space)), line.mid(space + 1)});
        }
    }
    const Broker& broker_;
    QProcess process_;
    QByteArray buffer_;
    std::vector<Message> messages_;
};

QStringList monitorArgs(const Broker& broker, const QString& prefix, const QString& spool,
                        const QStringList& more) {
    return QStringList{QStringLiteral("monitor"),
                       QStringLiteral("--mqtt"),
                       broker.url(),
                       QStringLiteral("--simulate"),
                       QStringLiteral("--topic-prefix"),
                       prefix,
                       QStringLiteral("--spool"),
                       spool} +
           more;
}

void startMonitor(QProcess& p, const QStringList& args,
                  const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(KL516_CLI), args);
    ASSERT_TRUE(p.waitForStarted());
}

// The sequence numbers of the summaries in the order of their first arrival.
std::vector<int> firstArrivals(const std::vector<Message>& summaries) {
    std::vector<int> order;
    std::set<int> seen;
    for (const Message& m : summaries) {
        const int sequence = m.json()[QStringLiteral("sequence")].toInt();
        if (seen.insert(sequence).second) order.push_back(sequence);
    }
    return order;
}

std::vector<int> oneTo(int n) {
    std::vector<int> v;
    for (int i = 1; i <= n; ++i) v.push_back(i);
    return v;
}

QDateTime timeOf(const QJsonObject& o, const char* field) {
    return QDateTime::fromString(o[QLatin1String(field)].toString(), Qt::ISODateWithMs);
}

// A started broker, a subscriber to everything on it and a spool folder.
class MonitorOnBroker : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(started);
        ASSERT_TRUE(sub.ready());
    }
    Broker broker;
    const bool started = broker.start();
    Subscriber sub{broker};
    QTemporaryDir spool;
};

}  // namespace

// Ten simulated minutes: the discovery configs are retained and complete; 600 readings and
// ten summaries, each Leq the energy mean of the readings published in its minute.
TEST_F(MonitorOnBroker, TenMinutesGiveTheirReadingsAndSummaries) {
    QProcess monitor;
    startMonitor(monitor, monitorArgs(broker, QStringLiteral("t1"), spool.path(),
                                      {QStringLiteral("--clock-speed"), QStringLiteral("100"),
                                       QStringLiteral("--run-for"), QStringLiteral("600")}));
    ASSERT_TRUE(monitor.waitForFinished(60000));
    EXPECT_EQ(monitor.exitCode(), 0) << monitor.readAllStandardError().toStdString();
    ASSERT_TRUE(waitFor([&] { return sub.on(QStringLiteral("t1/summary")).size() >= 10; }, 10000));

    // Retained: a client that comes now still gets every config.
    QProcess late;
    late.start(QStringLiteral(KL516_MOSQUITTO_SUB),
               {QStringLiteral("-p"), QString::number(broker.port()), QStringLiteral("-t"),
                QStringLiteral("homeassistant/#"), QStringLiteral("-v"), QStringLiteral("-C"),
                QStringLiteral("4"), QStringLiteral("-W"), QStringLiteral("10")});
    ASSERT_TRUE(late.waitForFinished(15000));
    const QList<QByteArray> configs = late.readAllStandardOutput().trimmed().split('\n');
    ASSERT_EQ(configs.size(), 4);
    std::set<QString> fields;
    for (const QByteArray& line : configs) {
        const QString topic = QString::fromUtf8(line.left(line.indexOf(' ')));
        QJsonParseError error;
        const QJsonObject o =
            QJsonDocument::fromJson(line.mid(line.indexOf(' ') + 1), &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        const QStringList parts = topic.split(QLatin1Char('/'));
        ASSERT_EQ(parts.size(), 5);
        EXPECT_TRUE(parts[2].startsWith(QStringLiteral("kl516_KL516-")));  // the simulated serial
        fields.insert(parts[3]);
        EXPECT_EQ(o[QStringLiteral("unit_of_measurement")].toString(), QStringLiteral("dB"));
        EXPECT_EQ(o[QStringLiteral("device_class")].toString(), QStringLiteral("sound_pressure"));
        EXPECT_EQ(o[QStringLiteral("state_class")].toString(), QStringLiteral("measurement"));
        EXPECT_EQ(o[QStringLiteral("availability_topic")].toString(),
                  QStringLiteral("t1/availability"));
        const QJsonObject device = o[QStringLiteral("device")].toObject();
        EXPECT_TRUE(device[QStringLiteral("serial_number")].toString().startsWith(
            QStringLiteral("KL516-")));
        EXPECT_FALSE(device[QStringLiteral("name")].toString().isEmpty());
        EXPECT_FALSE(device[QStringLiteral("model")].toString().isEmpty());
    }
    EXPECT_EQ(fields, (std::set<QString>{"level", "leq", "lmax", "l90"}));

    const std::vector<Message> levels = sub.on(QStringLiteral("t1/level"));
    EXPECT_EQ(levels.size(), 600u);
    const std::vector<Message> summaries = sub.on(QStringLiteral("t1/summary"));
    ASSERT_EQ(summaries.size(), 10u);
    EXPECT_EQ(firstArrivals(summaries), oneTo(10));
    for (const Message& m : summaries) {
        const QJsonObject s = m.json();
        const QDateTime start = timeOf(s, "start"), end = timeOf(s, "end");
        SCOPED_TRACE(m.payload.toStdString());
        EXPECT_EQ(start.secsTo(end), 60);
        EXPECT_EQ(start.time().second(), 0);
        double energy = 0;
        int count = 0;
        for (const Message& r : levels) {
            const QJsonObject o = r.json();
            const QDateTime t = timeOf(o, "time");
            if (t >= start && t < end) {
                energy += std::pow(10.0, o[QStringLiteral("level")].toDouble() / 10.0);
                ++count;
            }
        }
        EXPECT_EQ(count, 60);
        EXPECT_EQ(s[QStringLiteral("samples")].toInt(), count);
        EXPECT_EQ(s[QStringLiteral("coverage")].toDouble(), 100.0);
        EXPECT_FALSE(s[QStringLiteral("partial")].toBool());
        ASSERT_GT(count, 0);
        EXPECT_NEAR(s[QStringLiteral("leq")].toDouble(), 10 * std::log10(energy / count), 0.051);
        EXPECT_GE(s[QStringLiteral("lmax")].toDouble(), s[QStringLiteral("l10")].toDouble());
        EXPECT_GE(s[QStringLiteral("l10")].toDouble(), s[QStringLiteral("l50")].toDouble());
        EXPECT_GE(s[QStringLiteral("l50")].toDouble(), s[QStringLiteral("l90")].toDouble());
        EXPECT_GE(s[QStringLiteral("l90")].toDouble(), s[QStringLiteral("lmin")].toDouble());
    }
    const std::vector<Message> availability = sub.on(QStringLiteral("t1/availability"));
    ASSERT_FALSE(availability.empty());
    EXPECT_EQ(availability.front().payload, "online");
    EXPECT_EQ(availability.back().payload, "offline");
}

// The broker goes away for three simulated minutes: every summary still arrives, in order.
TEST_F(MonitorOnBroker, SummariesWaitOutABrokerOutage) {
    QProcess monitor;
    startMonitor(monitor, monitorArgs(broker, QStringLiteral("t2"), spool.path(),
                                      {QStringLiteral("--clock-speed"), QStringLiteral("60"),
                                       QStringLiteral("--run-for"), QStringLiteral("480")}));
    ASSERT_TRUE(waitFor([&] { return sub.on(QStringLiteral("t2/summary")).size() >= 2; }, 30000));
    broker.stop();
    QThread::msleep(3000);  // three simulated minutes without a broker
    ASSERT_TRUE(broker.start());
    ASSERT_TRUE(monitor.waitForFinished(60000));
    EXPECT_EQ(monitor.exitCode(), 0);
    const QString log = QString::fromUtf8(monitor.readAllStandardError());
    EXPECT_TRUE(log.contains(QStringLiteral("messages wait in the spool"))) << log.toStdString();
    ASSERT_TRUE(waitFor(
        [&] { return firstArrivals(sub.on(QStringLiteral("t2/summary"))).size() >= 8; }, 20000))
        << log.toStdString();
    EXPECT_EQ(firstArrivals(sub.on(QStringLiteral("t2/summary"))), oneTo(8));
}

// A monitor killed while the broker is away keeps its summaries in the spool; the next one
// sends them first and goes on with the next sequence numbers.
TEST(MonitorBroker, SpooledSummariesSurviveSigkill) {
    Broker broker;  // not started yet
    QTemporaryDir spool;
    QProcess first;
    startMonitor(first, monitorArgs(broker, QStringLiteral("t3"), spool.path(),
                                    {QStringLiteral("--clock-speed"), QStringLiteral("60")}));
    ASSERT_TRUE(waitFor(
        [&] {
            QString error;
            const QDir dir(spool.path());
            const QStringList files = dir.entryList({QStringLiteral("*.spool")});
            if (files.isEmpty()) return false;
            const auto s = Spool::open(dir.filePath(files.front()), 1 << 30, &error);
            return s && s->count() >= 3;
        },
        30000));
    ::kill(pid_t(first.processId()), SIGKILL);
    ASSERT_TRUE(first.waitForFinished(10000));

    ASSERT_TRUE(broker.start());
    Subscriber sub(broker);
    ASSERT_TRUE(sub.ready());
    QProcess second;
    startMonitor(second, monitorArgs(broker, QStringLiteral("t3"), spool.path(),
                                     {QStringLiteral("--clock-speed"), QStringLiteral("60"),
                                      QStringLiteral("--run-for"), QStringLiteral("90")}));
    ASSERT_TRUE(second.waitForFinished(60000));
    EXPECT_EQ(second.exitCode(), 0);
    ASSERT_TRUE(waitFor(
        [&] { return firstArrivals(sub.on(QStringLiteral("t3/summary"))).size() >= 4; }, 10000));
    const std::vector<int> order = firstArrivals(sub.on(QStringLiteral("t3/summary")));
    EXPECT_EQ(order, oneTo(int(order.size())));
}

// The meter is unplugged 70 s into the run for 30 s: availability goes offline and online
// again, no reading is published while it is away, and the minute's coverage shows the gap.
TEST_F(MonitorOnBroker, UnpluggedMeterIsMissingTime) {
    QProcess monitor;
    startMonitor(monitor, monitorArgs(broker, QStringLiteral("t4"), spool.path(),
                                      {QStringLiteral("--clock-speed"), QStringLiteral("60"),
                                       QStringLiteral("--run-for"), QStringLiteral("180"),
                                       QStringLiteral("--sim-unplug"), QStringLiteral("70:30")}));
    ASSERT_TRUE(monitor.waitForFinished(60000));
    EXPECT_EQ(monitor.exitCode(), 0);
    ASSERT_TRUE(waitFor([&] { return sub.on(QStringLiteral("t4/summary")).size() >= 3; }, 10000));

    QList<QByteArray> availability;
    for (const Message& m : sub.on(QStringLiteral("t4/availability"))) availability << m.payload;
    EXPECT_EQ(availability, (QList<QByteArray>{"online", "offline", "online", "offline"}));

    const std::vector<Message> summaries = sub.on(QStringLiteral("t4/summary"));
    ASSERT_EQ(summaries.size(), 3u);
    const QJsonObject gap = summaries[1].json();
    const QDateTime start = timeOf(gap, "start");
    int readings = 0;
    for (const Message& r : sub.on(QStringLiteral("t4/level"))) {
        const qint64 s = start.secsTo(timeOf(r.json(), "time"));
        if (s >= 0 && s < 60) ++readings;
        EXPECT_FALSE(s >= 10 && s < 40) << "a reading while the meter was away";
    }
    EXPECT_EQ(gap[QStringLiteral("samples")].toInt(), readings);
    EXPECT_GT(readings, 20);
    EXPECT_LT(readings, 35);
    EXPECT_NEAR(gap[QStringLiteral("coverage")].toDouble(), readings * 100.0 / 60, 0.051);
    EXPECT_EQ(summaries[0].json()[QStringLiteral("coverage")].toDouble(), 100.0);
    EXPECT_EQ(summaries[2].json()[QStringLiteral("coverage")].toDouble(), 100.0);
}

// A broker with a password file: the wrong password ends the monitor with status 1 and says
// why; the right one, from --password-file, is taken.
TEST(MonitorBroker, CredentialsAreChecked) {
    QTemporaryDir dir;
    const QString passwords = dir.filePath(QStringLiteral("passwords"));
    ASSERT_EQ(QProcess::execute(QStringLiteral(KL516_MOSQUITTO_PASSWD),
                                {QStringLiteral("-b"), QStringLiteral("-c"), passwords,
                                 QStringLiteral("meter"), QStringLiteral("s3cret")}),
              0);
    Broker broker(QStringLiteral("allow_anonymous false\npassword_file %1").arg(passwords));
    ASSERT_TRUE(broker.start());

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KL516_MQTT_PASSWORD"), QStringLiteral("wrong"));
    QProcess refused;
    startMonitor(refused,
                 monitorArgs(broker, QStringLiteral("t5"), dir.path(),
                             {QStringLiteral("--username"), QStringLiteral("meter")}),
                 env);
    ASSERT_TRUE(refused.waitForFinished(20000));
    EXPECT_EQ(refused.exitCode(), 1);
    EXPECT_TRUE(refused.readAllStandardError().contains("refused the credentials"));

    QFile file(dir.filePath(QStringLiteral("password")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("s3cret\n");
    file.close();
    QProcess accepted;
    startMonitor(accepted,
                 monitorArgs(broker, QStringLiteral("t5"), dir.path(),
                             {QStringLiteral("--username"), QStringLiteral("meter"),
                              QStringLiteral("--password-file"), file.fileName(),
                              QStringLiteral("--clock-speed"), QStringLiteral("20"),
                              QStringLiteral("--run-for"), QStringLiteral("10")}),
                 env);
    ASSERT_TRUE(accepted.waitForFinished(20000));
    EXPECT_EQ(accepted.exitCode(), 0);
    EXPECT_TRUE(accepted.readAllStandardError().contains("connected to 127.0.0.1"));
}

// SIGHUP re-opens the trace file (after a rotation moved it away); SIGTERM ends the monitor
// with status 0, publishing the period it was in as a partial summary, then offline.
TEST(MonitorBroker, SignalsRotateTheTraceAndEndCleanly) {
    Broker broker;
    ASSERT_TRUE(broker.start());
    Subscriber sub(broker);
    ASSERT_TRUE(sub.ready());
    QTemporaryDir dir;
    const QString trace = dir.filePath(QStringLiteral("trace.log"));
    QProcess monitor;
    startMonitor(monitor, monitorArgs(broker, QStringLiteral("t6"), dir.path(),
                                      {QStringLiteral("--clock-speed"), QStringLiteral("60"),
                                       QStringLiteral("--trace"), trace}));
    ASSERT_TRUE(waitFor([&] { return !sub.on(QStringLiteral("t6/summary")).empty(); }, 30000));
    ASSERT_TRUE(QFile::rename(trace, trace + QStringLiteral(".1")));
    ::kill(pid_t(monitor.processId()), SIGHUP);
    ASSERT_TRUE(waitFor([&] { return QFile(trace).size() > 0; }, 10000));
    ::kill(pid_t(monitor.processId()), SIGTERM);
    ASSERT_TRUE(monitor.waitForFinished(20000));
    EXPECT_EQ(monitor.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(monitor.exitCode(), 0);
    EXPECT_TRUE(monitor.readAllStandardError().contains("stopped by SIGTERM"));
    ASSERT_TRUE(waitFor([&] { return sub.on(QStringLiteral("t6/summary")).size() >= 2; }, 10000));
    const std::vector<Message> summaries = sub.on(QStringLiteral("t6/summary"));
    EXPECT_FALSE(summaries.front().json()[QStringLiteral("partial")].toBool());
    const QJsonObject last = summaries.back().json();
    EXPECT_TRUE(last[QStringLiteral("partial")].toBool());
    EXPECT_LT(timeOf(last, "start").msecsTo(timeOf(last, "end")), 60000);
    EXPECT_EQ(last[QStringLiteral("sequence")].toInt(), int(summaries.size()));
    ASSERT_TRUE(waitFor(
        [&] {
            const auto a = sub.on(QStringLiteral("t6/availability"));
            return !a.empty() && a.back().payload == "offline";
        },
        10000));
}

// mqtts:// with --ca-file: the broker's certificate, signed by that CA for localhost, is taken;
// with another CA the connection fails and the summaries stay in the spool.
TEST(MonitorBroker, TlsBrokerIsCheckedAgainstTheCaFile) {
    const QString openssl = QStringLiteral(KL516_OPENSSL);
    if (openssl.isEmpty()) GTEST_SKIP() << "no openssl to make the certificates";
    QTemporaryDir dir;
    const auto path = [&](const char* name) { return dir.filePath(QLatin1String(name)); };
    const auto run = [&](const QStringList& args) {
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start(openssl, args);
        return p.waitForFinished(60000) && p.exitCode() == 0;
    };
    QFile ext(path("ext"));
    ASSERT_TRUE(ext.open(QIODevice::WriteOnly));
    ext.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n");
    ext.close();
    for (const char* ca : {"ca", "other"})
        ASSERT_TRUE(run({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                         path(ca) + ".key", "-out", path(ca) + ".pem", "-days", "2", "-subj",
                         QStringLiteral("/CN=kl516 test %1").arg(QLatin1String(ca))}));
    ASSERT_TRUE(run({"req", "-newkey", "rsa:2048", "-nodes", "-keyout", path("server.key"), "-out",
                     path("server.csr"), "-subj", "/CN=localhost"}));
    ASSERT_TRUE(run({"x509", "-req", "-in", path("server.csr"), "-CA", path("ca.pem"), "-CAkey",
                     path("ca.key"), "-CAcreateserial", "-out", path("server.pem"), "-days", "2",
                     "-extfile", path("ext")}));
    Broker broker(QStringLiteral("allow_anonymous true\ncafile %1\ncertfile %2\nkeyfile %3")
                      .arg(path("ca.pem"), path("server.pem"), path("server.key")));
    ASSERT_TRUE(broker.start());
    const QString url = QStringLiteral("mqtts://localhost:%1").arg(broker.port());
    const auto monitorWith = [&](const char* ca, const char* spool) {
        QDir(dir.path()).mkdir(QLatin1String(spool));
        QProcess p;
        startMonitor(p, {QStringLiteral("monitor"), QStringLiteral("--mqtt"), url,
                         QStringLiteral("--ca-file"), path(ca), QStringLiteral("--simulate"),
                         QStringLiteral("--spool"), path(spool), QStringLiteral("--clock-speed"),
                         QStringLiteral("60"), QStringLiteral("--run-for"), QStringLiteral("70")});
        EXPECT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 0);
        return QString::fromUtf8(p.readAllStandardError());
    };
    const QString trusted = monitorWith("ca.pem", "a");
    EXPECT_TRUE(trusted.contains(QStringLiteral("connected to localhost")));
    EXPECT_TRUE(trusted.contains(QStringLiteral("0 messages wait in the spool")))
        << trusted.toStdString();
    const QString untrusted = monitorWith("other.pem", "b");
    EXPECT_FALSE(untrusted.contains(QStringLiteral("connected to")));
    EXPECT_TRUE(untrusted.contains(QStringLiteral("2 messages wait in the spool")))
        << untrusted.toStdString();
}

// A meter named by --serial that is not attached is waited for, as a lost one: the monitor
// runs, says offline, and its summaries count the time as missing.
TEST_F(MonitorOnBroker, NamedMeterNotAttachedIsWaitedFor) {
    QProcess monitor;
    startMonitor(monitor, monitorArgs(broker, QStringLiteral("t7"), spool.path(),
                                      {QStringLiteral("--serial"), QStringLiteral("NOPE"),
                                       QStringLiteral("--clock-speed"), QStringLiteral("60"),
                                       QStringLiteral("--run-for"), QStringLiteral("70")}));
    ASSERT_TRUE(monitor.waitForFinished(60000));
    EXPECT_EQ(monitor.exitCode(), 0);
    const QString log = QString::fromUtf8(monitor.readAllStandardError());
    EXPECT_EQ(log.count(QStringLiteral("no meter with serial number NOPE is attached")), 1)
        << log.toStdString();
    ASSERT_TRUE(waitFor([&] { return sub.on(QStringLiteral("t7/summary")).size() >= 2; }, 10000));
    const QJsonObject minute = sub.on(QStringLiteral("t7/summary")).front().json();
    EXPECT_EQ(minute[QStringLiteral("samples")].toInt(), 0);
    EXPECT_EQ(minute[QStringLiteral("coverage")].toDouble(), 0.0);
    EXPECT_TRUE(minute[QStringLiteral("leq")].isNull());
    for (const Message& m : sub.on(QStringLiteral("t7/availability")))
        EXPECT_EQ(m.payload, "offline");
    EXPECT_TRUE(sub.on(QStringLiteral("t7/level")).empty());
}
