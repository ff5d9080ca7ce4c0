#include <gtest/gtest.h>

#include <QBuffer>
#include <QDateTime>
#include <QLocale>
#include <cmath>
#include <vector>

#include "dataset/SerialDateTime.h"
#include "formats/PointText.h"
#include "levels/LevelArithmetic.h"
#include "levels/LevelFigures.h"

using namespace kl516;

namespace {

SerialDateTime at(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
    return toSerialDateTime(QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms)));
}

QByteArray written(std::span<const double> times, std::span<const float> levels, QChar separator,
                   const QLocale& locale, PointDateStyle style,
                   std::span<const float> second = {}) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    writePointText(buffer, times, levels, separator, locale, style, second);
    return buffer.data();
}

}  // namespace

TEST(PointText, RoundingCarriesAcrossMidnight) {
    // Rounding to the millisecond carries into the seconds, and across midnight into the date.
    const SerialDateTime almost = at(2024, 1, 15, 23, 59, 59, 999) + 0.0006 / 86400;
    EXPECT_EQ(pointTextLine(almost, 50.0f, nullptr, u',', QLocale::c(), PointDateStyle::Iso),
              "2024-01-16,00:00:00.0,50.0");
}

TEST(PointText, LinesFollowTheLocaleAndEndWithCrLf) {
    const std::vector<double> times{at(2024, 3, 15, 14, 3, 7), at(2024, 3, 15, 14, 3, 9)};
    const std::vector<float> levels{72.4f, 0.0f};
    const std::vector<float> second{80.3f, 140.0f};
    const QLocale german(QLocale::German, QLocale::Germany);

    // The locale's short date keeps its order and separators but never drops the century.
    EXPECT_EQ(written(times, levels, u'\t', german, PointDateStyle::Locale),
              "15.03.2024\t14:03:07.0\t72,4\r\n15.03.2024\t14:03:09.0\t0,0\r\n");
    EXPECT_EQ(written(times, levels, u'\t', QLocale(QLocale::English, QLocale::UnitedStates),
                      PointDateStyle::Locale)
                  .left(10),
              "3/15/2024\t");
    EXPECT_EQ(written(times, levels, u',', QLocale::c(), PointDateStyle::Iso, second),
              "2024-03-15,14:03:07.0,72.4,80.3\r\n2024-03-15,14:03:09.0,0.0,140.0\r\n");
}

// Points without a time inside the series are left out, the unfilled ones at its end end it,
// and a point without a level keeps its line with an empty level field.
TEST(PointText, PointsWithoutTimeAreSkippedAndNullLevelsLeftEmpty) {
    const double t0 = at(2024, 3, 15, 14, 3, 7);
    const std::vector<double> times{
        t0, 0.0, t0 + 2 * kOneSecond, t0 + 3 * kOneSecond, t0 + 4 * kOneSecond, 0.0, 0.0};
    const std::vector<float> levels{72.4f, 0.0f, 50.0f, kNullLevel, NAN, 60.0f, 60.0f};
    const std::vector<float> second{80.0f, 80.0f, kNullLevel, 81.0f, 82.0f, 83.0f, 84.0f};
    EXPECT_EQ(written(times, levels, u'\t', QLocale::c(), PointDateStyle::Iso),
              "2024-03-15\t14:03:07.0\t72.4\r\n"
              "2024-03-15\t14:03:09.0\t50.0\r\n"
              "2024-03-15\t14:03:10.0\t\r\n"
              "2024-03-15\t14:03:11.0\t\r\n");
    EXPECT_EQ(written(times, levels, u',', QLocale::c(), PointDateStyle::Iso, second),
              "2024-03-15,14:03:07.0,72.4,80.0\r\n"
              "2024-03-15,14:03:09.0,50.0,\r\n"
              "2024-03-15,14:03:10.0,,81.0\r\n"
              "2024-03-15,14:03:11.0,,82.0\r\n");
}

// The level field is what the locale writes with one decimal, also for values half-way between
// two tenths, negative or very large ones, and digits that are not ASCII.
TEST(PointText, LevelsAreWrittenAsTheLocaleWritesThem) {
    std::vector<float> values;
    for (int i = 0; i <= 2000; ++i) values.push_back(float(i) / 10.0f);
    for (int i = 0; i < 400; ++i) values.push_back(float(i) / 4.0f);  // x.25, x.75: half-way
    for (int i = 1; i < 2000; i += 7) values.push_back(float(i) * 0.0137f);
    for (float v : {0.05f, 0.15f, 0.25f, -0.04f, -0.25f, -72.4f, 999999.94f, 1e6f, 12345678.0f,
                    3e20f, 1e-20f})
        values.push_back(v);
    const SerialDateTime t = at(2024, 3, 15, 14, 3, 7);
    for (const QLocale& locale :
         {QLocale::c(), QLocale(QLocale::German, QLocale::Germany),
          QLocale(QLocale::Arabic, QLocale::Egypt), QLocale(QLocale::English, QLocale::India)}) {
        SCOPED_TRACE(locale.name().toStdString());
        for (float v : values) {
            const QStringList fields =
                pointTextLine(t, v, &v, u'\t', locale, PointDateStyle::Locale).split(u'\t');
            ASSERT_EQ(fields.size(), 4);
            EXPECT_EQ(fields[2], levelText(v, locale)) << v;
            EXPECT_EQ(fields[3], fields[2]);
        }
    }
}

