#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>

struct mosquitto;

namespace kl516 {

class Spool;

// Where and how the monitor reaches its MQTT broker.
struct MqttSettings {
    QString host;
    int port = 1883;
    bool tls = false;  // mqtts://
    QString caFile;    // the CA certificate that signed the broker's (tls only; empty:
                       // the system's certificate store)
    QString username;  // empty: none
    QString password;
    QString clientId;
    QByteArray willTopic;  // "offline" is retained here as the connection's last will
    int keepAliveS = 30;
};

// Reads mqtt://host[:port] or mqtts://host[:port] into settings. The message when it cannot.
std::optional<QString> parseMqttUrl(const QString& url, MqttSettings& settings);

// The monitor's MQTT client (libmosquitto, MQTT 3.1.1), driven from the monitor's loop: each
// service() call does the network work due, reconnects after a loss with a growing pause, and
// publishes what waits in the spool, oldest first, at QoS 1 with a window of messages in
// flight. A spooled message leaves the spool only when the broker acknowledged it; after a
// loss everything unacknowledged goes out again, so a message may arrive twice, never not at
// all. The client is made anew for each connection, so nothing from the lost one is resent
// behind the spool's back.
class MqttPublisher {
  public:
    MqttPublisher(MqttSettings settings, Spool& spool);
    ~MqttPublisher();
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // Called at each new connection, before the spool is sent: the place for the retained
    // availability and discovery messages.
    void setOnConnected(std::function<void()> onConnected) {
        onConnected_ = std::move(onConnected);
    }

    // Network work for up to timeoutMs (0: only what is ready), reconnecting when due.
    void service(int timeoutMs);
    // Publishes at once when connected (readings, availability, discovery); false otherwise.
    bool publish(const QByteArray& topic, const QByteArray& payload, int qos, bool retain);
    bool connected() const { return connected_; }
    // Set when the broker refused the credentials: the monitor cannot go on.
    const std::optional<QString>& refusal() const { return refusal_; }
    // The last reason a connection failed or was lost, for the log; empty when none.
    const QString& lastProblem() const { return problem_; }
    // Nothing waits in the spool and no publish awaits its acknowledgement.
    bool idle() const;
    // Serves the connection for up to timeoutMs of real time until the spool is sent and every
    // QoS 1 publish acknowledged. True when that happened.
    bool drain(int timeoutMs);
    // drain(timeoutMs), then a clean disconnection (the will is not sent then).
    void finish(int timeoutMs);

  private:
    static void onConnect(mosquitto*, void* self, int rc);
    static void onDisconnect(mosquitto*, void* self, int rc);
    static void onPublish(mosquitto*, void* self, int mid);

    void connect();
    void drop(const QString& problem);
    void sendSpool();

    MqttSettings settings_;
    Spool& spool_;
    std::function<void()> onConnected_;
    mosquitto* client_ = nullptr;
    bool connected_ = false;
    bool lost_ = false;  // set by a callback; the client is dropped after the loop call
    std::optional<QString> refusal_;
    QString problem_;
    std::chrono::steady_clock::time_point nextAttempt_{};
    std::chrono::steady_clock::time_point connectStarted_{};
    int pauseMs_ = 0;
    std::map<int, int64_t> inFlight_;  // message id -> spool id
    std::map<int, bool> direct_;       // QoS 1 publishes outside the spool awaiting their ack
    int64_t lastSent_ = 0;             // the newest spool id handed to the client
};

}  // namespace kl516
