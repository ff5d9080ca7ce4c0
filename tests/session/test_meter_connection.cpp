#include <gtest/gtest.h>

#include <QSignalSpy>
#include <stdexcept>

#include "link/MeterLink.h"
#include "session/MeterConnection.h"
#include "simulator/SimulatedMeter.h"

using namespace kl516;

namespace {

struct Connection : ::testing::Test {
    ManualClock clock;
    SimulatedMeter meter{clock};
    IdleLinkHost idle;
    MeterLink link{meter, clock, idle};
    MeterConnection connection{link, clock};

    void SetUp() override {
        connection.startPolling();
        connection.tick();  // identification
        ASSERT_TRUE(connection.connected());
    }
};

}  // namespace

TEST_F(Connection, ALeasePausesThePollAndItsEndResumesItOnEveryPath) {
    QSignalSpy lent(&connection, &MeterConnection::linkLentChanged);
    {
        const LinkLease lease = connection.borrow(QStringLiteral("Load Data"));
        ASSERT_TRUE(lease.granted());
        EXPECT_FALSE(connection.pollTimerActive());
        EXPECT_TRUE(connection.linkLent());
        EXPECT_EQ(connection.borrower(), "Load Data");
    }
    EXPECT_TRUE(connection.pollTimerActive());
    EXPECT_FALSE(connection.linkLent());
    EXPECT_EQ(lent.count(), 2);

    // An exception thrown by the borrower still gives the link back.
    EXPECT_THROW(
        {
            const LinkLease lease = connection.borrow(QStringLiteral("Erase Memory"));
            throw std::runtime_error("cut off");
        },
        std::runtime_error);
    EXPECT_TRUE(connection.pollTimerActive());
    EXPECT_FALSE(connection.linkLent());

    // Moving a lease hands it on; only the last holder's end gives it back.
    LinkLease outer;
    {
        LinkLease inner = connection.borrow(QStringLiteral("LEQ"));
        outer = std::move(inner);
    }
    EXPECT_TRUE(connection.linkLent());
    outer.release();
    EXPECT_FALSE(connection.linkLent());
    EXPECT_TRUE(connection.pollTimerActive());

    // A poll stopped for good (at exit) is not restarted by a lease.
    connection.stopPolling();
    { const LinkLease lease = connection.borrow(QStringLiteral("Load Data")); }
    EXPECT_FALSE(connection.pollTimerActive());
}

TEST_F(Connection, ASecondBorrowerAndKeysAreRefusedWhileTheLinkIsLent) {
    const LinkLease lease = connection.borrow(QStringLiteral("Load Data"));
    const LinkLease second = connection.borrow(QStringLiteral("Erase Memory"));
    EXPECT_FALSE(second.granted());
    EXPECT_EQ(second.refusal(), MeterConnection::busyMessage(QStringLiteral("Load Data")));
    EXPECT_TRUE(second.refusal().startsWith("The meter is busy: Load Data"));

    // A key is refused without touching the device; a poll tick does nothing either.
    const int exchanges = meter.exchangeCount();
    const int ticks = connection.tickCount();
    const MeterConnection::KeyOutcome key = connection.sendKey(Cmd::KeyWeighting);
    EXPECT_EQ(key.result, MeterConnection::KeyResult::Busy);
    EXPECT_EQ(key.message, second.refusal());
    connection.tick();
    EXPECT_EQ(meter.exchangeCount(), exchanges);
    EXPECT_EQ(connection.tickCount(), ticks);
}

TEST_F(Connection, KeysSendBetweenPollsAndReportAFailedOpen) {
    const int exchanges = meter.exchangeCount();
    EXPECT_EQ(connection.sendKey(Cmd::KeyWeighting).result, MeterConnection::KeyResult::Sent);
    EXPECT_EQ(meter.exchangeCount(), exchanges + 1);
    EXPECT_TRUE(connection.pollTimerActive());
    meter.unplug();
    const MeterConnection::KeyOutcome failed = connection.sendKey(Cmd::KeyWeighting);
    EXPECT_EQ(failed.result, MeterConnection::KeyResult::Failed);
    EXPECT_EQ(failed.message, "Connect fail");
    EXPECT_FALSE(connection.linkLent());
}

TEST_F(Connection, ConnectionStatesAndTheRunFlag) {
    QSignalSpy changes(&connection, &MeterConnection::connectionChanged);
    QSignalSpy run(&connection, &MeterConnection::runActiveChanged);
    meter.unplug();
    for (int i = 0; i < 4; ++i) connection.tick();
    EXPECT_TRUE(connection.connected());
    connection.tick();
    EXPECT_EQ(connection.state(), ConnectionState::Lost);
    ASSERT_EQ(changes.count(), 1);
    meter.replug();
    connection.tick();
    EXPECT_EQ(connection.state(), ConnectionState::Connected);

    connection.setRunActive(true);
    connection.setRunActive(true);
    connection.setRunActive(false);
    EXPECT_EQ(run.count(), 2);
    connection.setFastPolling(true);
    EXPECT_EQ(connection.pollIntervalMs(), 100);
    connection.setFastPolling(false);
    EXPECT_EQ(connection.pollIntervalMs(), 500);
}
