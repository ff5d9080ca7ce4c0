#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <vector>

#include "dataset/SerialDateTime.h"
#include "formats/SpreadsheetCsv.h"
#include "levels/LevelArithmetic.h"

using namespace kl516;

namespace {

// Local time is Berlin's for the test, and numbers are written in a locale whose decimal
// separator is a comma, as a German desktop has them: the file must not follow either.
class SpreadsheetCsvTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        oldTz_ = tz ? QByteArray(tz) : QByteArray();
        hadTz_ = tz != nullptr;
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
        oldLocale_ = QLocale();
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        ASSERT_EQ(QLocale().decimalPoint(), QStringLiteral(","));
        ASSERT_TRUE(dir_.isValid());
    }
    void TearDown() override {
        QLocale::setDefault(oldLocale_);
        if (hadTz_)
            setenv("TZ", oldTz_.constData(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

    // The file as Python's csv module and datetime.fromisoformat read it, after the checker's
    // checks; fails the test with the checker's reason.
    QJsonObject readWithPython(const QString& path) {
        QProcess python;
        python.start(QStringLiteral("python3"), {QStringLiteral(KL516_SPREADSHEET_CHECKER), path,
                                                 QStringLiteral("Europe/Berlin")});
        EXPECT_TRUE(python.waitForFinished(30000));
        EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
        return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
    }

    QString file(const char* name) const { return dir_.filePath(QLatin1String(name)); }

  private:
    QTemporaryDir dir_;
    QLocale oldLocale_;
    QByteArray oldTz_;
    bool hadTz_ = false;
};

SerialDateTime at(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
    return toSerialDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
}

QStringList strings(const QJsonValue& array) {
    QStringList out;
    for (const QJsonValue& v : array.toArray())
        out << (v.isNull() ? QStringLiteral("null") : v.toString());
    return out;
}

}  // namespace

// A running-Leq graph's two series across both changes of daylight-saving time: each time is
// the instant it names after the previous one, with the offset at that instant, so the written
// instants never run backwards: a time in the skipped hour is the instant the gap ends, and a
// step back into the repeated hour is its second pass. A time that really goes back (April
// after October) is the first instant it names. Levels have a point, and "no level" is an empty
// field. Rows without a time are left out. The expected instants were worked out with Python's
// zoneinfo.
TEST_F(SpreadsheetCsvTest, GraphSeriesAcrossDaylightSavingChangesReadBackInPython) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<double> times = {at(2024, 3, 31, 1, 59, 59, 500),
                                       at(2024, 3, 31, 2, 30, 0),
                                       0,
                                       at(2024, 3, 31, 3, 0, 0, 45),
                                       at(2024, 10, 27, 2, 30, 0),
                                       at(2024, 10, 27, 2, 10, 0),
                                       at(2024, 10, 27, 3, 0, 0),
                                       at(2024, 4, 13, 9, 20, 31),
                                       0};
    const std::vector<float> spl = {73.4f, 0.0f,  50.0f, kNullLevel, 130.0f,
                                    64.0f, nan,   61.7f, 1.0f};
    const std::vector<float> leq = {73.4f, 70.4f, 50.0f, 70.4f, 111.3f,
                                    111.0f, 111.3f, 99.9f, 1.0f};
    const QString path = file("graph.csv");
    const QStringList header =
        seriesSpreadsheetHeader(2, {QStringLiteral("SPL"), QStringLiteral("Leq")});
    EXPECT_EQ(header, (QStringList{"time", "level_dB", "leq_dB"}));
    const FileWriteResult r = writeSeriesSpreadsheetCsvFile(path, times, {spl, leq}, header);
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    EXPECT_EQ(r.lines, 7);

    const QJsonObject read = readWithPython(path);
    EXPECT_EQ(strings(read["header"]), header);
    const QJsonArray rows = read["rows"].toArray();
    const QStringList expected[] = {
        {"2024-03-31T01:59:59.500+01:00", "73.4", "73.4"},
        {"2024-03-31T03:00:00.000+02:00", "0.0", "70.4"},
        {"2024-03-31T03:00:00.045+02:00", "", "70.4"},
        {"2024-10-27T02:30:00.000+02:00", "130.0", "111.3"},
        {"2024-10-27T02:10:00.000+01:00", "64.0", "111.0"},
        {"2024-10-27T03:00:00.000+01:00", "", "111.3"},
        {"2024-04-13T09:20:31.000+02:00", "61.7", "99.9"},
    };
    ASSERT_EQ(rows.size(), qsizetype(std::size(expected)));
    for (qsizetype i = 0; i < rows.size(); ++i) EXPECT_EQ(strings(rows[i]), expected[i]) << i;
    EXPECT_EQ(strings(read["utc"]),
              (QStringList{"2024-03-31T00:59:59.500+00:00", "2024-03-31T01:00:00.000+00:00",
                           "2024-03-31T01:00:00.045+00:00", "2024-10-27T00:30:00.000+00:00",
                           "2024-10-27T01:10:00.000+00:00", "2024-10-27T02:00:00.000+00:00",
                           "2024-04-13T07:20:31.000+00:00"}));
}

// Table rows go out field by field: a field holding a comma, a quote or a line break is quoted
// so that it reads back whole, and an empty time or level stays an empty field.
TEST_F(SpreadsheetCsvTest, TableFieldsReadBackWhole) {
    const QStringList header = {"time", "level_dB", "note"};
    const std::vector<QStringList> rows = {
        {spreadsheetTime(at(2024, 1, 15, 14, 3, 7)), spreadsheetLevel(85.26f), "plain"},
        {spreadsheetTime(0), spreadsheetLevel(kNullLevel), "a,b \"quoted\"\nnext line"},
        {"", "", ""},
    };
    const QString path = file("table.csv");
    const FileWriteResult r = writeSpreadsheetCsvFile(path, header, qint64(rows.size()),
                                                      [&](qint64 i) { return rows[size_t(i)]; });
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    const QJsonObject read = readWithPython(path);
    EXPECT_EQ(strings(read["header"]), header);
    const QJsonArray back = read["rows"].toArray();
    ASSERT_EQ(back.size(), qsizetype(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(strings(back[qsizetype(i)]), rows[i]) << i;
    EXPECT_EQ(rows[0][0], "2024-01-15T14:03:07.000+01:00");
    EXPECT_EQ(rows[0][1], "85.3");
}

// Column names a script can use: the first series is the level, the others are named by their
// label, and a missing or clashing label gets a numbered name.
TEST(SpreadsheetCsv, SeriesColumnNames) {
    EXPECT_EQ(seriesSpreadsheetHeader(1, {}), (QStringList{"time", "level_dB"}));
    EXPECT_EQ(seriesSpreadsheetHeader(2, {"SPL", "L max, A"}),
              (QStringList{"time", "level_dB", "l_max_a_dB"}));
    EXPECT_EQ(seriesSpreadsheetHeader(2, {"", ""}), (QStringList{"time", "level_dB", "level2_dB"}));
    EXPECT_EQ(seriesSpreadsheetHeader(2, {"", "Level"}),
              (QStringList{"time", "level_dB", "level2_dB"}));
}
