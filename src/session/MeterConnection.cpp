#include "session/MeterConnection.h"

#include <QCoreApplication>
#include <QTimer>
#include <utility>

#include "dataset/SerialDateTime.h"
#include "link/Clock.h"
#include "link/LinkResult.h"
#include "link/MeterLink.h"

namespace kl516 {

// ---- LinkLease -------------------------------------------------------------------------------

LinkLease::LinkLease(LinkLease&& other) noexcept
    : owner_(std::exchange(other.owner_, nullptr)), refusal_(std::move(other.refusal_)) {}

LinkLease& LinkLease::operator=(LinkLease&& other) noexcept {
    if (this != &other) {
        release();
        owner_ = std::exchange(other.owner_, nullptr);
        refusal_ = std::move(other.refusal_);
    }
    return *this;
}

MeterLink& LinkLease::link() const {
    Q_ASSERT(owner_);
    return owner_->link();
}

void LinkLease::release() {
    if (MeterConnection* owner = std::exchange(owner_, nullptr)) owner->giveBack();
}

// ---- MeterConnection -------------------------------------------------------------------------

MeterConnection::MeterConnection(MeterLink& link, Clock& clock, QObject* parent)
    : QObject(parent), link_(link), clock_(clock), timer_(new QTimer(this)) {
    setObjectName(QStringLiteral("MeterConnection"));
    timer_->setObjectName(QStringLiteral("pollTimer"));
    timer_->setInterval(kPollIntervalMs);
    // Real-time samples are spaced by whole poll ticks; a coarse timer may fire up to 5 % early,
    // which would turn some 0.2 s gaps into 0.3 s.
    timer_->setTimerType(Qt::PreciseTimer);
    connect(timer_, &QTimer::timeout, this, &MeterConnection::tick);
    link_.setHost(*this);
}

MeterConnection::~MeterConnection() {
    static IdleLinkHost idle;
    link_.setHost(idle);
}

void MeterConnection::startPolling() {
    pollingEnabled_ = true;
    resumePollTimer();
}

void MeterConnection::stopPolling() {
    pollingEnabled_ = false;
    timer_->stop();
}

bool MeterConnection::pollTimerActive() const {
    return timer_->isActive();
}

void MeterConnection::resumePollTimer() {
    if (pollingEnabled_ && !linkLent()) timer_->start();
}

void MeterConnection::setFastPolling(bool fast) {
    timer_->setInterval(fast ? kFastPollIntervalMs : kPollIntervalMs);
}

int MeterConnection::pollIntervalMs() const {
    return timer_->interval();
}

void MeterConnection::setRunActive(bool active) {
    if (runActive_ == active) return;
    runActive_ = active;
    emit runActiveChanged(active);
}

void MeterConnection::tick() {
    // A tick never runs while a command holds the link (its timer is stopped); a tick started
    // by hand then must not talk to the meter under that command either.
    if (linkLent()) return;
    linkBusy_ = true;
    ++tickCount_;
    if (!connected()) {
        const ResponseFrame& r = link_.mainResponse();
        if (link_.exchangeShort(Cmd::Identify) && r[23] == '5' && r[24] == '8' && r[25] == '6') {
            state_ = ConnectionState::Connected;
            failedPolls_ = 0;
            emit connectionChanged(state_);
        } else {
            emit identificationFailed();
        }
    } else if (link_.pollStatus()) {
        failedPolls_ = 0;
        decodeStatus(link_.mainResponse());
    } else if (++failedPolls_ >= kFailedPollsToDisconnect) {
        state_ = ConnectionState::Lost;
        failedPolls_ = 0;
        emit connectionChanged(state_);
    }
    linkBusy_ = false;
}

bool MeterConnection::decodeStatus(const ResponseFrame& r) {
    if (r[0] != kFrameStart || r[31] != kFrameEnd) return false;
    frameTime_ = toSerialDateTime(clock_.now());
    const PanelRefresh refresh = decoder_.onStatus(r);
    emit statusDecoded(refresh, frameTime_);
    return true;
}

QString MeterConnection::noMeterMessage() {
    const QString problem = deviceAccessProblem();
    if (!problem.isEmpty()) return QStringLiteral("Meter found, but ") + problem;
    return QStringLiteral(
        "No meter found: connect it and switch it on, or start with --simulate to try the "
        "program");
}

QString MeterConnection::busyMessage(const QString& borrower) {
    return QStringLiteral("The meter is busy: %1 is running. Try again when it has finished.")
        .arg(borrower);
}

LinkLease MeterConnection::borrow(const QString& purpose) {
    LinkLease lease;
    if (linkLent()) {
        lease.refusal_ = busyMessage(borrower_);
        return lease;
    }
    // A user action never starts inside a poll tick. Ticks run to completion on this thread, so
    // a tick still running here is further up this very call stack (a handler of one of its
    // signals): waiting for it would never end, so the link is refused instead.
    if (linkBusy_) {
        lease.refusal_ = busyMessage(QStringLiteral("the status poll"));
        return lease;
    }
    timer_->stop();
    borrower_ = purpose.isEmpty() ? QStringLiteral("a command") : purpose;
    lease.owner_ = this;
    emit linkLentChanged(true);
    return lease;
}

void MeterConnection::giveBack() {
    borrower_.clear();
    resumePollTimer();
    emit linkLentChanged(false);
}

MeterConnection::KeyOutcome MeterConnection::sendKey(char letter) {
    LinkLease lease = borrow(QStringLiteral("a key"));
    if (!lease) return {KeyResult::Busy, lease.refusal()};
    if (!lease.link().sendKey(letter)) return {KeyResult::Failed, QStringLiteral("Connect fail")};
    return {};
}

void MeterConnection::processPendingEvents() {
    QCoreApplication::processEvents();
}

void MeterConnection::stopPollTimer() {
    timer_->stop();
}

}  // namespace kl516
