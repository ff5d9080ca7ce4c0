#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "link/LinkTrace.h"
#include "link/MeterLink.h"
#include "support/RecordingDeviceLibrary.h"

using namespace kl516;

TEST(LinkTrace, LogsEveryFrameWrittenAndReadAsHexWithATimeStamp) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("trace.txt"));
    test::RecordingDeviceLibrary fake;
    ResponseFrame answer = test::RecordingDeviceLibrary::status(1);
    answer[7] = 0xAB;
    fake.responses = {answer};
    {
        TracingDeviceLibrary trace(fake, path);
        ASSERT_TRUE(trace.isOpen());
        ManualClock clock;
        IdleLinkHost host;
        MeterLink link(trace, clock, host);
        ASSERT_TRUE(link.pollStatus());
        EXPECT_FALSE(link.pollStatus());  // nothing scripted: the read fails
    }
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    const QRegularExpression stamp(QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )"));
    for (const QString& l : lines) EXPECT_TRUE(stamp.match(l).hasMatch()) << l.toStdString();
    EXPECT_TRUE(lines[0].endsWith("> 02 41 00 00 00 01 03"));
    EXPECT_TRUE(lines[1].contains("< 02 00 00 00 00 00 00 AB"));
    EXPECT_TRUE(lines[2].endsWith("> 02 41 00 00 00 02 03"));
    EXPECT_TRUE(lines[3].contains("< -> failed"));
}
