#include "monitor/MqttPublisher.h"

#include <mosquitto.h>
#include <QUrl>
#include <thread>

#include "monitor/Spool.h"

namespace kl516 {

namespace {

constexpr int kWindow = 20;         // spooled messages in flight at once
constexpr int kFirstPauseMs = 500;  // before the first reconnection; doubles up to kMaxPauseMs
constexpr int kMaxPauseMs = 5000;
// A connection the broker has not accepted by then is given up (a port that takes the
// connection but does not speak MQTT, a broker that hangs).
constexpr auto kConnectTimeout = std::chrono::seconds(10);

struct LibraryInit {
    LibraryInit() { mosquitto_lib_init(); }
};

void initLibrary() {
    static LibraryInit init;
}

// libmosquitto's texts end with a full stop; the monitor's lines go on after them.
QString withoutStop(const char* text) {
    QString s = QString::fromUtf8(text);
    if (s.endsWith(QLatin1Char('.'))) s.chop(1);
    return s;
}

QString reason(int rc) {
    return withoutStop(mosquitto_strerror(rc));
}

}  // namespace

std::optional<QString> parseMqttUrl(const QString& url, MqttSettings& settings) {
    const QUrl u(url, QUrl::StrictMode);
    const QString scheme = u.scheme();
    if (!u.isValid() || (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts")) ||
        u.host().isEmpty() || (!u.path().isEmpty() && u.path() != QLatin1String("/")))
        return QStringLiteral("--mqtt needs mqtt://HOST[:PORT] or mqtts://HOST[:PORT], not ") + url;
    if (!u.userName().isEmpty() || !u.password().isEmpty())
        return QStringLiteral(
            "--mqtt takes no user or password: use --username and "
            "--password-file or KL516_MQTT_PASSWORD");
    settings.tls = scheme == QLatin1String("mqtts");
    settings.host = u.host();
    settings.port = u.port(settings.tls ? 8883 : 1883);
    return std::nullopt;
}

MqttPublisher::MqttPublisher(MqttSettings settings, Spool& spool)
    : settings_(std::move(settings)), spool_(spool) {
    initLibrary();
}

MqttPublisher::~MqttPublisher() {
    if (client_) mosquitto_destroy(client_);
}

void MqttPublisher::connect() {
    client_ = mosquitto_new(settings_.clientId.toUtf8().constData(), true, this);
    if (!client_) {
        drop(QStringLiteral("out of memory"));
        return;
    }
    mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(client_, onConnect);
    mosquitto_disconnect_callback_set(client_, onDisconnect);
    mosquitto_publish_callback_set(client_, onPublish);
    mosquitto_max_inflight_messages_set(client_, kWindow + 8);
    static const char kOffline[] = "offline";
    mosquitto_will_set(client_, settings_.willTopic.constData(), int(sizeof kOffline - 1), kOffline,
                       1, true);
    if (!settings_.username.isEmpty())
        mosquitto_username_pw_set(
            client_, settings_.username.toUtf8().constData(),
            settings_.password.isEmpty() ? nullptr : settings_.password.toUtf8().constData());
    if (settings_.tls && settings_.caFile.isEmpty()) {
        // Without a CA file, the system's certificate store vouches for the broker.
        mosquitto_int_option(client_, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
    } else if (settings_.tls) {
        const int rc = mosquitto_tls_set(client_, settings_.caFile.toUtf8().constData(), nullptr,
                                         nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            refusal_ = QStringLiteral("the CA file %1 cannot be used: %2")
                           .arg(settings_.caFile, reason(rc));
            return;
        }
    }
    connectStarted_ = std::chrono::steady_clock::now();
    const int rc = mosquitto_connect_async(client_, settings_.host.toUtf8().constData(),
                                           settings_.port, settings_.keepAliveS);
    if (rc != MOSQ_ERR_SUCCESS) {
        drop(rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(strerror(errno)) : reason(rc));
        return;
    }
}

void MqttPublisher::drop(const QString& problem) {
    if (client_) {
        mosquitto_destroy(client_);
        client_ = nullptr;
    }
    if (!problem.isEmpty()) problem_ = problem;
    connected_ = false;
    lost_ = false;
    inFlight_.clear();
    direct_.clear();
    lastSent_ = 0;  // everything unacknowledged goes again on the next connection
    pauseMs_ = pauseMs_ == 0 ? kFirstPauseMs : std::min(pauseMs_ * 2, kMaxPauseMs);
    nextAttempt_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(pauseMs_);
}

void MqttPublisher::onConnect(mosquitto*, void* self, int rc) {
    auto* p = static_cast<MqttPublisher*>(self);
    if (rc == 0) {
        p->connected_ = true;
        p->pauseMs_ = 0;
        p->problem_.clear();
        if (p->onConnected_) p->onConnected_();
        return;
    }
    const QString text = withoutStop(mosquitto_connack_string(rc));
    // 4: bad user name or password, 5: not authorised; neither gets better by trying again.
    if (rc == 4 || rc == 5)
        p->refusal_ = QStringLiteral("the broker %1:%2 refused the credentials: %3")
                          .arg(p->settings_.host)
                          .arg(p->settings_.port)
                          .arg(text);
    p->problem_ = text;
    p->lost_ = true;
}

void MqttPublisher::onDisconnect(mosquitto*, void* self, int rc) {
    auto* p = static_cast<MqttPublisher*>(self);
    p->lost_ = true;
    if (rc != 0) p->problem_ = QStringLiteral("connection lost");
}

void MqttPublisher::onPublish(mosquitto*, void* self, int mid) {
    auto* p = static_cast<MqttPublisher*>(self);
    if (const auto it = p->inFlight_.find(mid); it != p->inFlight_.end()) {
        p->spool_.remove(it->second);
        p->inFlight_.erase(it);
        return;
    }
    p->direct_.erase(mid);
}

void MqttPublisher::service(int timeoutMs) {
    if (refusal_) return;
    if (!client_) {
        if (std::chrono::steady_clock::now() < nextAttempt_) {
            if (timeoutMs > 0) {
                const auto left = nextAttempt_ - std::chrono::steady_clock::now();
                std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                    left, std::chrono::milliseconds(timeoutMs)));
            }
            return;
        }
        connect();
        if (!client_ || refusal_) return;
    }
    if (!connected_ && std::chrono::steady_clock::now() - connectStarted_ > kConnectTimeout) {
        drop(QStringLiteral("no answer to the connection"));
        return;
    }
    const int rc = mosquitto_loop(client_, timeoutMs, 1);
    if (rc != MOSQ_ERR_SUCCESS || lost_) {
        drop(lost_                  ? problem_
             : rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(strerror(errno))
                                    : reason(rc));
        return;
    }
    sendSpool();
}

void MqttPublisher::sendSpool() {
    if (!connected_ || int(inFlight_.size()) >= kWindow) return;
    for (const SpooledMessage& m : spool_.after(lastSent_, kWindow - int(inFlight_.size()))) {
        int mid = 0;
        if (mosquitto_publish(client_, &mid, m.topic.constData(), int(m.payload.size()),
                              m.payload.constData(), 1, false) != MOSQ_ERR_SUCCESS)
            return;  // the loop will notice the loss
        inFlight_[mid] = m.id;
        lastSent_ = m.id;
    }
}

bool MqttPublisher::publish(const QByteArray& topic, const QByteArray& payload, int qos,
                            bool retain) {
    if (!connected_ || !client_) return false;
    int mid = 0;
    if (mosquitto_publish(client_, &mid, topic.constData(), int(payload.size()),
                          payload.constData(), qos, retain) != MOSQ_ERR_SUCCESS)
        return false;
    if (qos > 0) direct_[mid] = true;
    return true;
}

bool MqttPublisher::idle() const {
    return spool_.count() == 0 && inFlight_.empty() && direct_.empty();
}

bool MqttPublisher::drain(int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!refusal_ && !(connected_ && idle()) && std::chrono::steady_clock::now() < end)
        service(50);
    return connected_ && idle();
}

void MqttPublisher::finish(int timeoutMs) {
    drain(timeoutMs);
    if (client_ && connected_) {
        mosquitto_disconnect(client_);
        mosquitto_loop(client_, 0, 1);
    }
    if (client_) {
        mosquitto_destroy(client_);
        client_ = nullptr;
    }
    connected_ = false;
}

}  // namespace kl516
