#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>

#include "link/HidDeviceLibrary.h"
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
