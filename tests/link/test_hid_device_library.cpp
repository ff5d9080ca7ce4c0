#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <vector>

#include "link/HidDeviceLibrary.h"
#include "link/LinkTrace.h"
#include "link/MeterLink.h"

using namespace kl516;

// Runs against the real hidapi on the build machine, where no meter is attached.
TEST(HidDeviceLibrary, WithoutAMeterEveryProcedureFailsCleanly) {
    HidDeviceLibrary hid;
    ManualClock clock;  // the presence checks' waits cost no real time
    IdleLinkHost host;
    MeterLink link(hid, clock, host);

    setDeviceAccessProblem(QStringLiteral("stale"));
    EXPECT_EQ(link.openDevice(), LinkResult::OpenFailed);
    // No meter is nothing the user can fix by permissions, and a stale note is cleared.
    EXPECT_EQ(hid.lastOpenError(), HidDeviceLibrary::OpenError::NoDevice);
    EXPECT_TRUE(hid.lastOpenErrorText().isEmpty());
    EXPECT_TRUE(deviceAccessProblem().isEmpty());
    EXPECT_EQ(linkResultMessage(LinkResult::OpenFailed), "fail to open usb device");
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
    EXPECT_FALSE(hid.reportLayout());
    EXPECT_EQ(hid.close(), 0);
}

// The serial number as readString hands it to the setup window, from what hidapi answered.
TEST(HidDeviceLibrary, SerialNumberTextFallsBackToEmpty) {
    struct Case {
        const char* name;
        int hidResult;
        const wchar_t* text;
        int32_t bufferSize;
        const char* expected;
        bool ok;
    };
    const Case cases[] = {
        {"serial number", 0, L"KL516-00042", 64, "KL516-00042", true},
        {"device without one", 0, L"", 64, "", true},
        {"no text at all", 0, nullptr, 64, "", true},
        {"hidapi failed", -1, L"stale", 64, "", false},
        {"cut to the buffer", 0, L"ABCDEFGHIJ", 5, "ABCD", true},
        {"cut before a whole character", 0, L"Z\u00e4hler", 3, "Z", true},  // ä is 2 bytes
        {"room for the whole character", 0, L"Z\u00e4hler", 4, "Z\xc3\xa4", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        char buffer[64];
        std::memset(buffer, 'x', sizeof buffer);
        const int32_t r =
            HidDeviceLibrary::serialNumberText(c.hidResult, c.text, 64, buffer, c.bufferSize);
        EXPECT_EQ(r == 0, c.ok);
        EXPECT_STREQ(buffer, c.expected);
    }
    // A wide text that fills its array without a terminator ends at the array.
    const wchar_t unterminated[3] = {L'A', L'B', L'C'};
    char buffer[64];
    EXPECT_EQ(HidDeviceLibrary::serialNumberText(0, unterminated, 3, buffer, 64), 0);
    EXPECT_STREQ(buffer, "ABC");
}

// Why a device node would not open, asked of the file system after the failure; ordinary files
// stand in for /dev/hidrawN.
TEST(HidDeviceLibrary, OpenFailureOfAMissingOrOpenNodeIsNoPermissionProblem) {
    using E = HidDeviceLibrary::OpenError;
    QTemporaryDir dir;
    const QByteArray node = QFile::encodeName(dir.filePath(QStringLiteral("hidraw9")));
    EXPECT_EQ(HidDeviceLibrary::diagnoseOpenFailure(nullptr), E::NoDevice);
    EXPECT_EQ(HidDeviceLibrary::diagnoseOpenFailure(""), E::NoDevice);
    // Unplugged between the enumeration and the open.
    EXPECT_EQ(HidDeviceLibrary::diagnoseOpenFailure(node.constData()), E::NoDevice);
    // Readable and writable: the open failed for another reason (busy, I/O).
    QFile file(QFile::decodeName(node));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ASSERT_EQ(::chmod(node.constData(), 0600), 0);
    EXPECT_EQ(HidDeviceLibrary::diagnoseOpenFailure(node.constData()), E::Other);
    EXPECT_TRUE(HidDeviceLibrary::openErrorText(E::Other, QFile::decodeName(node)).isEmpty());
}

TEST(HidDeviceLibrary, NodeClosedToTheUserIsAPermissionProblemWithItsFix) {
    using E = HidDeviceLibrary::OpenError;
    const QString text = HidDeviceLibrary::openErrorText(E::PermissionDenied,
                                                         QStringLiteral("/dev/hidraw3"));
    EXPECT_EQ(text, "permission denied on /dev/hidraw3: install the udev rule (see README, "
                    "Install) or add yourself to the plugdev group");
    // The application shows it under the open failure's message.
    setDeviceAccessProblem(text);
    EXPECT_EQ(linkResultMessage(LinkResult::OpenFailed), "fail to open usb device\n" + text);
    setDeviceAccessProblem({});

    // access() grants root everything, so the file system cannot refuse it anything here.
    if (::geteuid() == 0) GTEST_SKIP() << "root may read and write any file";
    QTemporaryDir dir;
    const QByteArray node = QFile::encodeName(dir.filePath(QStringLiteral("hidraw9")));
    QFile file(QFile::decodeName(node));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    for (const mode_t mode : {mode_t(0000), mode_t(0400), mode_t(0200)}) {
        SCOPED_TRACE(mode);
        ASSERT_EQ(::chmod(node.constData(), mode), 0);
        EXPECT_EQ(HidDeviceLibrary::diagnoseOpenFailure(node.constData()), E::PermissionDenied);
    }
}

// The report descriptor the kernel shows for a hidraw node, read from a directory laid out
// like /sys.
TEST(HidDeviceLibrary, ReportLayoutFromTheNodesSysfsDescriptor) {
    QTemporaryDir sys;
    ASSERT_TRUE(sys.isValid());
    const std::string root = QFile::encodeName(sys.path()).toStdString();
    const auto writeDescriptor = [&](const QString& node, const std::vector<uint8_t>& bytes) {
        const QString dir = QStringLiteral("class/hidraw/%1/device").arg(node);
        ASSERT_TRUE(QDir(sys.path()).mkpath(dir));
        QFile file(sys.filePath(dir + QStringLiteral("/report_descriptor")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())),
                  qint64(bytes.size()));
    };
    writeDescriptor(QStringLiteral("hidraw3"), vendorReportDescriptor(8, 8));
    writeDescriptor(QStringLiteral("hidraw12"), vendorReportDescriptor(64, 32));
    writeDescriptor(QStringLiteral("hidraw5"), {0x75, 0x08, 0x95});  // cut short
    // Longer than any descriptor the kernel keeps, though its start parses.
    std::vector<uint8_t> oversized = vendorReportDescriptor(8, 8);
    oversized.resize(4097, 0xC0);  // End Collection items
    writeDescriptor(QStringLiteral("hidraw6"), oversized);

    const auto l3 = HidDeviceLibrary::readReportLayout("/dev/hidraw3", root);
    ASSERT_TRUE(l3);
    EXPECT_EQ(l3->inputLength, 8);
    EXPECT_EQ(l3->outputLength, 8);
    EXPECT_FALSE(l3->numbered);
    const auto l12 = HidDeviceLibrary::readReportLayout("/dev/hidraw12", root);
    ASSERT_TRUE(l12);
    EXPECT_EQ(l12->inputLength, 64);
    EXPECT_EQ(l12->outputLength, 32);

    for (const char* path : {"/dev/hidraw4", "/dev/hidraw5", "/dev/hidraw6", "/dev/hidraw",
                             "/dev/hidraw3/../hidraw3", "/dev/hidraw3x", "/dev/usb/hiddev3",
                             "hidraw3", "", "/dev/hidraw99999999999"}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(HidDeviceLibrary::readReportLayout(path, root));
    }
}

namespace {

using Bytes = std::vector<uint8_t>;

// A meter behind hidraw on a virtual clock. Each command frame is answered with 32 bytes that
// carry the frame's byte 5 (the sequence number), split into input reports of the layout's
// length; how each answer's reports arrive is scripted per exchange. A read waits, in virtual
// time, up to its time-out for the next report that has arrived by then.
struct FakeHidMeter {
    struct Delivery {
        int onTime = 99;  // reports of the answer that come at once
        int lateMs = 0;   // when the others come, after the command
        int extra = 0;    // reports sent unasked after the answer
    };
    HidReportLayout layout;
    std::map<int, Delivery> script;  // by exchange number, from 1; others: all on time
    int64_t now = 0;
    int exchanges = 0;
    std::deque<std::pair<int64_t, Bytes>> queue;  // arrival time, report

    static ResponseFrame answerTo(uint8_t sequence) {
        ResponseFrame f{};
        f[0] = 0x02;
        for (size_t i = 1; i < f.size(); ++i) f[i] = uint8_t(sequence * 7 + i);
        return f;
    }

    void send(int64_t at, Bytes payload) {
        payload.resize(size_t(layout.inputLength), 0);
        if (layout.numbered) payload.insert(payload.begin(), layout.inputReportId);
        // A report never overtakes one sent before it.
        if (!queue.empty()) at = std::max(at, queue.back().first);
        queue.emplace_back(at, std::move(payload));
    }

    void onCommand(const Bytes& frame) {
        const Delivery d = script.count(++exchanges) ? script[exchanges] : Delivery{};
        const ResponseFrame answer = answerTo(frame[5]);
        const size_t chunk = size_t(layout.inputLength);
        int index = 0;
        for (size_t at = 0; at < answer.size(); at += chunk, ++index) {
            const auto end = answer.begin() + ptrdiff_t(std::min(answer.size(), at + chunk));
            const int64_t arrival = now + (index < d.onTime ? 5 : d.lateMs);
            send(arrival, Bytes(answer.begin() + ptrdiff_t(at), end));
        }
        for (int i = 0; i < d.extra; ++i) send(now + 6, Bytes{0xEE, 0xEE});
    }
};

class FakeHidPort final : public HidReportPort {
  public:
    explicit FakeHidPort(FakeHidMeter& meter) : meter_(meter) {}
    int writeReport(const uint8_t* report, size_t length) override {
        const size_t skip = 1;  // the report number, 0 when not numbered
        meter_.onCommand(Bytes(report + skip, report + length));
        return int(length);
    }
    int readReport(uint8_t* buffer, size_t size, int timeoutMs) override {
        auto& q = meter_.queue;
        if (q.empty() || q.front().first > meter_.now + timeoutMs) {
            meter_.now += timeoutMs;
            return 0;
        }
        meter_.now = std::max(meter_.now, q.front().first);
        const Bytes report = std::move(q.front().second);
        q.pop_front();
        const size_t n = std::min(size, report.size());
        std::memcpy(buffer, report.data(), n);
        return int(n);
    }

  private:
    FakeHidMeter& meter_;
};

HidReportLayout reportLayout(int length, bool numbered = false) {
    HidReportLayout l;
    l.inputLength = l.outputLength = length;
    l.numbered = numbered;
    l.inputReportId = l.outputReportId = numbered ? 3 : 0;
    return l;
}

}  // namespace

// Exchanges on a device that stays open, as an LEQ run and a download keep it: one of them
// meets an answer that comes late, in part or whole, or a report the meter sends unasked. The
// exchange itself may fail, but every later one must read its own answer, never a shifted
// frame.
TEST(HidDeviceLibrary, LateOrUnaskedReportsNeverShiftLaterAnswers) {
    using D = FakeHidMeter::Delivery;
    struct Case {
        const char* name;
        HidReportLayout layout;
        D delivery;       // how exchange 3 is answered
        bool thirdReads;  // whether exchange 3 itself reads its answer
        int discarded;    // reports its failed read waits for and throws away
        int drained;      // reports the fourth exchange's write throws away first
    };
    const Case cases[] = {
        {"half an answer late, within the wait", reportLayout(8), D{2, 250, 0}, false, 2, 0},
        {"numbered reports, late within the wait", reportLayout(8, true), D{1, 300, 0}, false, 3,
         0},
        {"uneven reports, late within the wait", reportLayout(12), D{1, 200, 0}, false, 2, 0},
        {"half an answer later than the wait", reportLayout(8), D{2, 1000, 0}, false, 0, 2},
        {"whole answer late", reportLayout(8), D{0, 300, 0}, false, 0, 4},
        {"whole answer late, one report", reportLayout(32), D{0, 300, 0}, false, 0, 1},
        {"a report unasked after the answer", reportLayout(8), D{99, 0, 1}, true, 0, 1},
        {"two reports unasked, one report answers", reportLayout(32), D{99, 0, 2}, true, 0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHidMeter meter;
        meter.layout = c.layout;
        meter.script[3] = c.delivery;
        HidDeviceLibrary hid;
        ASSERT_EQ(hid.attach(std::make_unique<FakeHidPort>(meter), c.layout), 0);
        ASSERT_EQ(hid.setTimeouts(100, 100), 0);
        for (uint8_t sequence = 1; sequence <= 8; ++sequence) {
            SCOPED_TRACE(testing::Message() << "exchange " << int(sequence));
            const uint8_t frame[7] = {0x02, 'A', 0, 0, 0, sequence, 0x03};
            ASSERT_EQ(hid.write(7, frame), 0);
            EXPECT_EQ(hid.staleReports(), sequence == 4 ? c.drained : 0);
            ResponseFrame response{};
            const int32_t r = hid.read(32, response.data());
            if (sequence == 3) {
                EXPECT_EQ(r == 0, c.thirdReads);
                EXPECT_EQ(hid.staleReports(), c.discarded);
            } else {
                ASSERT_EQ(r, 0);
                EXPECT_EQ(hid.staleReports(), 0);
            }
            if (r == 0) {
                EXPECT_EQ(response, FakeHidMeter::answerTo(sequence));
            }
            meter.now += sequence == 3 ? 1000 : 40;  // the next tick; a failure waits longer
        }
    }
}

// The trace of such a run says what was thrown away, next to the frames it came between.
TEST(HidDeviceLibrary, TraceCountsTheReportsThrownAway) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("trace.txt"));
    FakeHidMeter meter;
    meter.layout = reportLayout(8);
    meter.script[1] = {0, 300, 0};  // the whole answer comes after the read gave up
    meter.script[3] = {1, 200, 0};  // three reports late, waited for and thrown away
    meter.script[5] = {99, 0, 1};   // one report more than the answer
    HidDeviceLibrary hid;
    ASSERT_EQ(hid.attach(std::make_unique<FakeHidPort>(meter), meter.layout), 0);
    {
        TracingDeviceLibrary trace(hid, path);
        ASSERT_TRUE(trace.isOpen());
        ManualClock clock;
        IdleLinkHost host;
        MeterLink link(trace, clock, host);
        for (uint8_t sequence = 1; sequence <= 6; ++sequence) {
            link.mainBuffer()[5] = sequence;
            setLetter(link.mainBuffer(), 'A');
            ASSERT_EQ(link.writeFrame(link.mainBuffer()), 0);
            link.prepareRead();
            const bool read = link.readResponse(link.mainResponse()) == 0;
            EXPECT_EQ(read, sequence != 1 && sequence != 3) << int(sequence);
            if (read) {
                EXPECT_EQ(link.mainResponse(), FakeHidMeter::answerTo(sequence));
            }
            meter.now += 500;
        }
    }
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QStringList lines = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    for (QString& l : lines) l = l.mid(24);  // without the time stamp
    const QStringList expected = {
        "> 02 41 00 00 00 01 03",
        "< -> failed (-1)",
        "drained 4 stale reports",
        "> 02 41 00 00 00 02 03",
        "< " + hexBytes(FakeHidMeter::answerTo(2).data(), 32),
        "> 02 41 00 00 00 03 03",
        "< -> failed (-1)",
        "discarded 3 stale reports",
        "> 02 41 00 00 00 04 03",
        "< " + hexBytes(FakeHidMeter::answerTo(4).data(), 32),
        "> 02 41 00 00 00 05 03",
        "< " + hexBytes(FakeHidMeter::answerTo(5).data(), 32),
        "drained 1 stale report",
        "> 02 41 00 00 00 06 03",
        "< " + hexBytes(FakeHidMeter::answerTo(6).data(), 32),
    };
    EXPECT_EQ(lines.join('\n').toStdString(), expected.join('\n').toStdString());
}
