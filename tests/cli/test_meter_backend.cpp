#include <gtest/gtest.h>

#include <QTextStream>

#include "cli/MeterBackend.h"
#include "link/Clock.h"
#include "link/HidDeviceLibrary.h"
#include "simulator/SimulatedMeter.h"
#include "support/CliRun.h"

using namespace kl516;

// The tool's presence checks open the device again and again; a reason the user can fix is said
// once, and nothing is said when there is none.
TEST(OpenProblemReporter, SaysAFixableOpenProblemOnce) {
    const QString fixable = QStringLiteral("permission denied on /dev/hidraw9: ...");
    for (const QString& problem : {fixable, QString()}) {
        SCOPED_TRACE(problem.toStdString());
        ManualClock clock;
        SimulatedMeter::Options options;
        options.openFailure.count = 3;  // the first three opens fail
        QString text;
        QTextStream err(&text);
        OpenProblemReporter meter(std::make_unique<SimulatedMeter>(clock, options),
                                  [&] { return problem; }, err);
        for (int i = 0; i < 3; ++i) EXPECT_NE(meter.open(kMeterVendorId, kMeterProductId), 0);
        EXPECT_EQ(meter.open(kMeterVendorId, kMeterProductId), 0);
        EXPECT_EQ(text, problem.isEmpty() ? QString() : problem + QLatin1Char('\n'));
    }
}

namespace {

// A simulated meter behind a HID port: a 7-byte payload is a command, answered by one 32-byte
// input report; a 32-byte payload is a data block, answered by nothing.
class SimulatedPort final : public HidReportPort {
  public:
    explicit SimulatedPort(SimulatedMeter& meter) : meter_(meter) {}
    int writeReport(const uint8_t* report, size_t length) override {
        const auto payload = int32_t(length - 1);  // after the report number
        const bool block = payload == 32;
        const int32_t r =
            block ? meter_.writeBlock(payload, report + 1) : meter_.write(payload, report + 1);
        pending_ = !block && r == 0;
        return r == 0 ? int(length) : -1;
    }
    int readReport(uint8_t* buffer, size_t size, int) override {
        if (!pending_ || size < 32) return 0;
        pending_ = false;
        meter_.prepareRead();
        return meter_.read(32, buffer) == 0 ? 32 : 0;
    }

  private:
    SimulatedMeter& meter_;
    bool pending_ = false;
};

// Meters on USB as hidapi would list them, each a simulated meter, recording which device
// nodes were opened.
struct FakeBus final : HidBus {
    ManualClock clock;
    std::vector<AttachedMeter> attached;
    std::vector<std::unique_ptr<SimulatedMeter>> simulated;
    QStringList opened;

    void add(const char* device, const char* serial, bool openable = true) {
        attached.push_back({QLatin1String(device), QLatin1String(serial), openable});
        simulated.push_back(std::make_unique<SimulatedMeter>(clock, SimulatedMeter::Options{}));
    }
    std::vector<AttachedMeter> meters(uint16_t, uint16_t) override { return attached; }
    std::unique_ptr<HidReportPort> openPath(const std::string& path,
                                            std::optional<HidReportLayout>&) override {
        for (size_t i = 0; i < attached.size(); ++i) {
            if (attached[i].device.toStdString() != path) continue;
            opened << attached[i].device;
            if (!attached[i].openable) return nullptr;
            simulated[i]->open(kMeterVendorId, kMeterProductId);
            return std::make_unique<SimulatedPort>(*simulated[i]);
        }
        return nullptr;
    }
};

test::CliRun runWithBus(const QStringList& args, FakeBus& bus) {
    ManualClock clock;
    test::CliRun r;
    QTextStream out(&r.out);
    QTextStream err(&r.err);
    CliDevices devices{&clock, nullptr, &bus};
    r.status = runCli(args, out, err, devices);
    out.flush();
    err.flush();
    return r;
}

}  // namespace

// Two meters on USB: --device and --serial pick one, both must match when both are given, and
// a selection that fits no meter fails at once without opening anything.
TEST(MeterSelection, PicksTheMeterByDeviceNodeAndSerialNumber) {
    struct Case {
        QStringList options;
        int status;
        QString opened;  // every open of the run went to this node; empty: none
        QString error;
    };
    const QString first = QStringLiteral("/dev/hidraw1"), second = QStringLiteral("/dev/hidraw4");
    const Case cases[] = {
        {{}, 0, first, {}},
        {{"--serial", "BBB"}, 0, second, {}},
        {{"--device", "/dev/hidraw4"}, 0, second, {}},
        {{"--device", "/dev/hidraw4", "--serial", "BBB"}, 0, second, {}},
        {{"--device", "/dev/hidraw1", "--serial", "BBB"},
         1,
         {},
         "error: no meter with serial number BBB is attached at /dev/hidraw1\n"},
        {{"--serial", "CCC"}, 1, {}, "error: no meter with serial number CCC is attached\n"},
        {{"--serial", "bbb"}, 1, {}, "error: no meter with serial number bbb is attached\n"},
        {{"--device", "/dev/hidraw9"}, 1, {}, "error: no meter is attached at /dev/hidraw9\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options.join(QLatin1Char(' ')).toStdString());
        FakeBus bus;
        bus.add("/dev/hidraw1", "AAA");
        bus.add("/dev/hidraw4", "BBB");
        const test::CliRun r = runWithBus(QStringList{"probe"} + c.options, bus);
        EXPECT_EQ(r.status, c.status) << r.err.toStdString();
        if (c.status == 0) {
            EXPECT_TRUE(r.out.startsWith("identified: 586\n"));
        }
        EXPECT_EQ(r.err, c.error);
        EXPECT_EQ(bus.opened.isEmpty(), c.opened.isEmpty());
        for (const QString& node : bus.opened) EXPECT_EQ(node, c.opened);
    }
}

// A meter the selection takes but this user may not open is not passed over for another one.
TEST(MeterSelection, DoesNotFallBackToAnotherMeterWhenTheChosenOneWillNotOpen) {
    FakeBus bus;
    bus.add("/dev/hidraw1", "AAA");
    bus.add("/dev/hidraw4", "BBB", false);
    const test::CliRun r = runWithBus({"probe", "--serial", "BBB"}, bus);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("error 1001")) << r.err.toStdString();
    EXPECT_FALSE(bus.opened.contains("/dev/hidraw1"));
}

// list: one line per meter with its node, serial number ("-" for none) and whether it may be
// opened; no meter is a failure. The simulated meter is listed under its own serial number,
// which --serial then takes.
TEST(MeterList, ListsTheAttachedMeters) {
    FakeBus bus;
    bus.add("/dev/hidraw1", "AAA");
    bus.add("/dev/hidraw4", "", false);
    test::CliRun r = runWithBus({"list"}, bus);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "device\tserial\topenable\n/dev/hidraw1\tAAA\tyes\n/dev/hidraw4\t-\tno\n");
    EXPECT_TRUE(bus.opened.isEmpty());

    FakeBus none;
    r = runWithBus({"list"}, none);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "no meter is attached\n");

    r = runWithBus({"list", "--simulate"}, none);
    ASSERT_EQ(r.status, 0);
    const QStringList line = r.out.split('\n').value(1).split('\t');
    ASSERT_EQ(line.size(), 3);
    EXPECT_EQ(line[0], "simulated");
    EXPECT_FALSE(line[1].isEmpty());
    EXPECT_EQ(line[2], "yes");
    EXPECT_EQ(runWithBus({"probe", "--simulate", "--serial", line[1]}, none).status, 0);
    EXPECT_EQ(runWithBus({"info", "--simulate", "--serial", "X" + line[1]}, none).status, 1);
}
