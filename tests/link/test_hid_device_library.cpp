#include <gtest/gtest.h>

#include "link/HidDeviceLibrary.h"
#include "link/MeterLink.h"

using namespace kl516;

// Runs against the real hidapi on the build machine, where no meter is attached.
TEST(HidDeviceLibrary, WithoutAMeterEveryProcedureFailsCleanly) {
    HidDeviceLibrary hid;
    ManualClock clock;  // the presence checks' waits cost no real time
    IdleLinkHost host;
    MeterLink link(hid, clock, host);

    EXPECT_EQ(link.openDevice(), LinkResult::OpenFailed);
    EXPECT_FALSE(link.exchangeShort('K'));
    EXPECT_FALSE(link.sendKey('R'));
    EXPECT_FALSE(link.pollStatus());
    EXPECT_FALSE(link.pollStatusChecked());
    EXPECT_FALSE(link.checkPresence());

    EXPECT_EQ(link.queryInfo(), LinkResult::NoAnswer);
    ResponseFrame response{};
    EXPECT_EQ(link.exchange(MeterLink::kInformationFrame, response), LinkResult::NoAnswer);
    EXPECT_EQ(link.sendCommand(link.setupBuffer()), LinkResult::NoAnswer);

    // Calls on a device that is not open fail instead of touching anything.
    uint8_t frame[7] = {0x02, 'A', 0, 0, 0, 0, 0x03};
    uint8_t buffer[32];
    char text[64] = "unchanged";
    EXPECT_NE(hid.write(7, frame), 0);
    EXPECT_NE(hid.read(32, buffer), 0);
    EXPECT_NE(hid.writeBlock(32, buffer), 0);
    EXPECT_NE(hid.readString(0, text, 64), 0);
    EXPECT_EQ(text[0], '\0');
    EXPECT_EQ(hid.close(), 0);
}
