#include <gtest/gtest.h>

#include <QtEndian>
#include <cstring>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/Settings.h"
#include "realtime/RealTimeRateSetting.h"

using namespace kl516;

namespace {
QByteArray doubleBytes(double value) {
    quint64 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    QByteArray bytes(8, '\0');
    qToLittleEndian<quint64>(bits, bytes.data());
    return bytes;
}
}  // namespace

TEST(Settings, RealTimeRateFallsBackTo02ForAnythingButAnEightByteDoubleInRange) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kl516.ini"));
    const QString key = QStringLiteral("SOFTWARE/KL500/RealTimeRate");
    struct Case {
        const char* what;
        QVariant stored;
    };
    const Case cases[] = {
        {"missing", QVariant()},
        {"text", QVariant(QStringLiteral("5"))},
        {"number", QVariant(5.0)},
        {"four bytes", QVariant(QByteArray(4, '\x01'))},
        {"nine bytes", QVariant(QByteArray(9, '\x01'))},
        // An interval a run would refuse: kept from an older version, it would leave the
        // sampling-rate box empty.
        {"99 s", QVariant(doubleBytes(99.0))},
        {"0.05 s", QVariant(doubleBytes(0.05))},
    };
    for (const Case& c : cases) {
        QFile::remove(path);
        QSettings store(path, settingsFormat());
        if (c.stored.isValid()) store.setValue(key, c.stored);
        store.sync();
        QSettings reread(path, settingsFormat());
        EXPECT_DOUBLE_EQ(readRealTimeRate(reread), 0.2) << c.what;
    }
}

TEST(Settings, RealTimeRateSurvivesARestart) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kl516.ini"));
    {
        QSettings store(path, settingsFormat());
        writeRealTimeRate(store, 5.0);
    }
    QSettings store(path, settingsFormat());
    EXPECT_DOUBLE_EQ(readRealTimeRate(store), 5.0);
    // The stored value is the 8-byte little-endian double itself.
    const QByteArray raw = store.value(QStringLiteral("SOFTWARE/KL500/RealTimeRate")).toByteArray();
    ASSERT_EQ(raw.size(), 8);
    EXPECT_EQ(raw.toHex(), QByteArray("0000000000001440"));
}

TEST(Settings, DataFolderAndItsFallbacks) {
    QTemporaryDir docs;
    const QString expected = QDir::cleanPath(docs.path()) + QStringLiteral("/KL516/");
    EXPECT_EQ(dataFolderFor(docs.path()), expected);
    EXPECT_TRUE(QDir(expected).exists());
    EXPECT_EQ(dataFolderFor(docs.path()), expected);  // exists already

    QTemporaryDir blocked;
    QFile file(blocked.filePath(QStringLiteral("KL516")));  // a file where the folder should be
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_EQ(dataFolderFor(blocked.path()), QDir::cleanPath(blocked.path()));

    EXPECT_EQ(dataFolderFor(QString()), QString());
}
