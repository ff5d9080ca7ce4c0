#pragma once

#include <QObject>
#include <QString>

#include "link/LinkHost.h"
#include "session/ConnectionState.h"
#include "session/StatusDecoder.h"

class QTimer;

namespace kl516 {

class Clock;
class MeterConnection;
class MeterLink;

// Exclusive use of the meter link, lent by MeterConnection::borrow. While a granted lease lives
// the status poll is stopped; releasing it (explicitly, by destruction or by moving another
// lease over it) resumes the poll, on every path out of the borrower's code.
class LinkLease {
  public:
    LinkLease() = default;
    LinkLease(LinkLease&& other) noexcept;
    LinkLease& operator=(LinkLease&& other) noexcept;
    LinkLease(const LinkLease&) = delete;
    LinkLease& operator=(const LinkLease&) = delete;
    ~LinkLease() { release(); }

    bool granted() const { return owner_ != nullptr; }
    explicit operator bool() const { return granted(); }
    // Why the link was refused ("The meter is busy: ..."); empty when granted.
    const QString& refusal() const { return refusal_; }
    MeterLink& link() const;
    void release();

  private:
    friend class MeterConnection;
    MeterConnection* owner_ = nullptr;
    QString refusal_;
};

// The one owner of the meter link: it runs the status poll (pollTimer), keeps the connection
// state, the failed-poll count, the real-time run flag and the unsaved-data flags, decodes the
// status frames, and lends the link to one command at a time. Nothing else starts or stops the
// poll timer.
class MeterConnection : public QObject, private LinkHost {
    Q_OBJECT
  public:
    static constexpr int kPollIntervalMs = 500;
    static constexpr int kFastPollIntervalMs = 100;
    static constexpr int kFailedPollsToDisconnect = 5;

    MeterConnection(MeterLink& link, Clock& clock, QObject* parent = nullptr);
    ~MeterConnection() override;

    MeterLink& link() { return link_; }
    Clock& clock() { return clock_; }

    // ---- the poll loop
    // Starts the poll timer (end of start-up); stopPolling ends it for good (exit, or tests
    // that run the ticks themselves). A lease pauses the timer only while polling is on.
    void startPolling();
    void stopPolling();
    bool pollingEnabled() const { return pollingEnabled_; }
    bool pollTimerActive() const;
    // 100 ms while a real-time run samples faster than 0.9 s, 500 ms otherwise.
    void setFastPolling(bool fast);
    bool fastPolling() const { return pollIntervalMs() == kFastPollIntervalMs; }
    int pollIntervalMs() const;
    // One tick of the poll: identification while disconnected, else a status poll.
    void tick();
    // A status frame, from the poll or from the command holding the link (an LEQ run reads
    // the same frames): when framed 0x02 ... 0x03 it is decoded and statusDecoded is emitted,
    // so the control panel keeps mirroring the meter. Returns whether it was decoded.
    bool decodeStatus(const ResponseFrame& frame);

    ConnectionState state() const { return state_; }
    bool connected() const { return state_ == ConnectionState::Connected; }
    int failedPolls() const { return failedPolls_; }
    int tickCount() const { return tickCount_; }
    bool linkBusy() const override { return linkBusy_; }
    // The REC flag of the last decoded status frame.
    bool meterRecording() const { return decoder_.meterRecording(); }
    StatusDecoder& decoder() { return decoder_; }
    // The time (SerialDateTime) at which the decoding of the last status frame began.
    double frameTime() const { return frameTime_; }

    bool runActive() const { return runActive_; }
    void setRunActive(bool active);

    // The flags behind the close questions of the DataLogger and real-time windows.
    bool& loggerDataUnsaved() { return loggerDataUnsaved_; }
    bool& realTimeDataUnsaved() { return realTimeDataUnsaved_; }

    // ---- lending the link
    // Waits until no poll tick runs, stops the poll and lends the link to `purpose` (a short
    // name such as "Load Data"), or refuses while another command holds it.
    LinkLease borrow(const QString& purpose);
    bool linkLent() const { return !borrower_.isEmpty(); }
    const QString& borrower() const { return borrower_; }
    static QString busyMessage(const QString& borrower);
    // What to tell a user when no meter answers: how to get one, or, when the meter's device
    // node was found but may not be opened, why.
    static QString noMeterMessage();

    // A key of the control panel: one short exchange of its own between two polls.
    enum class KeyResult { Sent, Failed, Busy };
    struct KeyOutcome {
        KeyResult result = KeyResult::Sent;
        QString message;  // what to tell the user; empty when sent
    };
    KeyOutcome sendKey(char letter);

  signals:
    void connectionChanged(ConnectionState state);
    // A tick without a connection found no meter answering the identification.
    void identificationFailed();
    // A status frame framed 0x02 ... 0x03 was decoded at frameTime (SerialDateTime).
    void statusDecoded(const PanelRefresh& refresh, double frameTime);
    void linkLentChanged(bool lent);
    void runActiveChanged(bool active);
    // A status echo matched the sequence number: the reset indicator goes.
    void resetIndicatorHidden();

  private:
    friend class LinkLease;
    void giveBack();
    void resumePollTimer();
    // LinkHost: how the link's own exchanges wait for a tick and pause the poll.
    void processPendingEvents() override;
    void stopPollTimer() override;
    void hideResetIndicator() override { emit resetIndicatorHidden(); }

    MeterLink& link_;
    Clock& clock_;
    QTimer* timer_;
    StatusDecoder decoder_;
    ConnectionState state_ = ConnectionState::NeverConnected;
    QString borrower_;
    bool pollingEnabled_ = false;
    bool linkBusy_ = false;
    bool runActive_ = false;
    bool loggerDataUnsaved_ = false;
    bool realTimeDataUnsaved_ = false;
    double frameTime_ = 0;
    int failedPolls_ = 0;
    int tickCount_ = 0;
};

}  // namespace kl516
