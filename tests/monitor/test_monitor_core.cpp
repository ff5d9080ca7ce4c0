#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimeZone>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>

#include "cli/Cli.h"
#include "levels/LevelArithmetic.h"
#include "monitor/LevelAggregator.h"
#include "monitor/MonitorMessages.h"
#include "monitor/Spool.h"
#include "support/LocalZone.h"

using namespace kl516;

namespace {

constexpr int64_t kMinute = 60'000;
// 2026-03-01 10:00:00 local time, a whole minute.
const int64_t kStart = instantMs(QDateTime(QDate(2026, 3, 1), QTime(10, 0)));

// The exceedance rule's times: seconds.
double seconds(int64_t ms) {
    return double(ms) / 1000;
}

double energyMean(const std::vector<float>& levels) {
    double sum = 0;
    for (float l : levels) sum += std::pow(10.0, double(l) / 10.0);
    return 10.0 * std::log10(sum / double(levels.size()));
}

// The level exceeded n % of the time by the nearest rank: sorted ascending, the one at rank
// ceil((100 - n) % * count), so that at most n % lie above it.
float exceeded(std::vector<float> levels, int n) {
    std::sort(levels.begin(), levels.end());
    const auto k = std::size_t(std::max(1.0, std::ceil((100 - n) / 100.0 * double(levels.size()))));
    return levels[k - 1];
}

QJsonObject json(const QByteArray& payload) {
    return QJsonDocument::fromJson(payload).object();
}

}  // namespace

// The clocks go back from 03:00 to 02:00 on 2026-10-25 in Berlin: every clock minute of the
// repeated hour is a period of its own, with its own offset, and the hour never folds into one
// minute.
TEST(LevelAggregator, PeriodsGoOnThroughTheClocksGoingBack) {
    const LocalZone berlin("Europe/Berlin");
    const int64_t start = instantMs(QDateTime(QDate(2026, 10, 25), QTime(0, 58), QTimeZone::utc()));
    ASSERT_EQ(localTimeAt(start).offsetFromUtc(), 7200) << "the zone was not taken";
    LevelAggregator minutes(60, 1.0);
    LevelAggregator hours(3600, 1.0);
    std::vector<PeriodSummary> m, h;
    for (int s = 0; s <= 66 * 60; ++s) {
        for (const PeriodSummary& p : minutes.add(start + s * 1000, 60.0f)) m.push_back(p);
        for (const PeriodSummary& p : hours.add(start + s * 1000, 60.0f)) h.push_back(p);
    }
    ASSERT_EQ(m.size(), 66u);
    for (std::size_t i = 0; i < m.size(); ++i) {
        EXPECT_EQ(m[i].startMs, start + int64_t(i) * kMinute);
        EXPECT_EQ(m[i].samples, 60) << i;
    }
    // 02:59+02:00 is followed by 02:00+01:00.
    EXPECT_EQ(json(summaryPayload(m[1], 2, 0))[QStringLiteral("start")].toString(),
              QStringLiteral("2026-10-25T02:59:00.000+02:00"));
    EXPECT_EQ(json(summaryPayload(m[2], 3, 0))[QStringLiteral("start")].toString(),
              QStringLiteral("2026-10-25T02:00:00.000+01:00"));
    // The hour from 02:00+02:00 to 02:00+01:00 ends where the repeated hour begins, which
    // holds its 3600 readings.
    ASSERT_EQ(h.size(), 2u);
    EXPECT_EQ(h[0].samples, 120);
    EXPECT_EQ(h[0].endMs, h[1].startMs);
    EXPECT_EQ(h[1].samples, 3600);
    EXPECT_EQ(h[1].endMs - h[1].startMs, 3600'000);
    EXPECT_EQ(isoTime(localTimeAt(h[1].startMs)), QStringLiteral("2026-10-25T02:00:00.000+01:00"));
}

// A clock set back ends the open period as a partial one; the readings after it start afresh.
TEST(LevelAggregator, AClockSetBackEndsThePeriod) {
    LevelAggregator aggregator(60, 1.0);
    ExceedanceDetector events(50, 0, 1.0);
    for (int s = 0; s < 30; ++s) {
        EXPECT_TRUE(aggregator.add(kStart + s * 1000, 70.0f).empty());
        EXPECT_FALSE(events.add(seconds(kStart + s * 1000), 70.0f, 1.0));
    }
    const std::vector<PeriodSummary> done = aggregator.add(kStart - 10 * kMinute, 70.0f);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_TRUE(done[0].partial);
    EXPECT_EQ(done[0].samples, 30);
    const auto run = events.add(seconds(kStart - 10 * kMinute), 70.0f, 1.0);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->samples, 30);
    const auto last = aggregator.finish(kStart - 9 * kMinute);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->startMs, kStart - 10 * kMinute);
    EXPECT_EQ(last->samples, 1);
}

// A minute of 1 s readings gives one summary when the next minute's first reading comes; its
// figures are those of the minute's readings alone, and the minute after starts afresh.
TEST(LevelAggregator, MinutesOfReadingsGiveTheirFigures) {
    LevelAggregator aggregator(60, 1.0);
    std::vector<float> first, second;
    std::vector<PeriodSummary> done;
    for (int s = 0; s < 150; ++s) {
        // a level that wanders over 40 dB, in tenths as the meter gives them
        const float level = float(std::lround(10 * (50 + 20 * std::sin(s * 0.37)))) / 10.0f;
        if (s < 60)
            first.push_back(level);
        else if (s < 120)
            second.push_back(level);
        for (const PeriodSummary& p : aggregator.add(kStart + s * 1000, level)) done.push_back(p);
    }
    ASSERT_EQ(done.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        const PeriodSummary& p = done[std::size_t(i)];
        const std::vector<float>& levels = i == 0 ? first : second;
        EXPECT_EQ(p.startMs, kStart + i * kMinute);
        EXPECT_EQ(p.endMs, kStart + (i + 1) * kMinute);
        EXPECT_EQ(p.samples, 60);
        EXPECT_DOUBLE_EQ(p.coverage, 100.0);
        EXPECT_FALSE(p.partial);
        EXPECT_NEAR(*p.leq, energyMean(levels), 1e-9);
        EXPECT_EQ(*p.lmax, *std::max_element(levels.begin(), levels.end()));
        EXPECT_EQ(*p.lmin, *std::min_element(levels.begin(), levels.end()));
        EXPECT_EQ(*p.l10, exceeded(levels, 10));
        EXPECT_EQ(*p.l50, exceeded(levels, 50));
        EXPECT_EQ(*p.l90, exceeded(levels, 90));
    }
    // The last 30 readings are the current minute, cut short at the end.
    const auto last = aggregator.finish(kStart + 150 * 1000);
    ASSERT_TRUE(last);
    EXPECT_TRUE(last->partial);
    EXPECT_EQ(last->startMs, kStart + 2 * kMinute);
    EXPECT_EQ(last->samples, 30);
    EXPECT_DOUBLE_EQ(last->coverage, 100.0);
    EXPECT_FALSE(aggregator.finish(kStart + 151 * 1000));  // nothing open after the end
}

// Missing time is missing: a meter away for 20 s of a minute leaves 40 readings and two thirds
// of the minute covered; a minute without any reading still gives its summary, empty; readings
// without a level count for nothing; the monitor's start mid-minute covers only the rest.
TEST(LevelAggregator, MissingTimeLowersCoverage) {
    LevelAggregator aggregator(60, 1.0);
    EXPECT_TRUE(aggregator.advanceTo(kStart + 30'000).empty());  // the start, mid-minute
    std::vector<PeriodSummary> done;
    const auto add = [&](int64_t t, float level) {
        for (const PeriodSummary& p : aggregator.add(t, level)) done.push_back(p);
    };
    for (int s = 30; s < 60; ++s) add(kStart + s * 1000, 60.0f);
    for (int s = 60; s < 120; ++s)
        if (s < 80 || s >= 100) add(kStart + s * 1000, 70.0f);  // away 80 .. 99
    add(kStart + 180'000, kNullLevel);                          // minute 2 empty
    add(kStart + 181'000, std::nanf(""));
    for (const PeriodSummary& p : aggregator.advanceTo(kStart + 240'000)) done.push_back(p);
    ASSERT_EQ(done.size(), 4u);
    EXPECT_EQ(done[0].samples, 30);
    EXPECT_NEAR(done[0].coverage, 50.0, 1e-9);
    EXPECT_EQ(done[1].samples, 40);
    EXPECT_NEAR(done[1].coverage, 200.0 / 3.0, 1e-9);
    EXPECT_NEAR(*done[1].leq, 70.0, 1e-9);
    EXPECT_EQ(done[2].samples, 0);
    EXPECT_EQ(done[2].coverage, 0.0);
    EXPECT_FALSE(done[2].leq);
    EXPECT_EQ(done[3].samples, 0);  // minute 3: only readings without a level
    EXPECT_FALSE(done[3].l90);
}

// A reading weighs the time to the next one, at most two reading periods, as a sample of the
// assessment does: 90 dB read just before the meter went away for 10 s stands for 2 s of the
// minute. python3: 10 lg((50 × 10^6 + 2 × 10^9) / 52) = 75.957505 dB (by count it would be
// 73.1 dB).
TEST(LevelAggregator, AReadingWeighsTheTimeToTheNextOne) {
    LevelAggregator aggregator(60, 1.0);
    std::vector<PeriodSummary> done;
    const auto add = [&](int64_t t, float level) {
        for (const PeriodSummary& p : aggregator.add(t, level)) done.push_back(p);
    };
    for (int s = 0; s < 30; ++s) add(kStart + s * 1000, 60.0f);
    add(kStart + 30'000, 90.0f);
    for (int s = 40; s < 61; ++s) add(kStart + s * 1000, 60.0f);  // s = 60: the next minute
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].samples, 51);
    EXPECT_NEAR(*done[0].leq, 75.957505, 1e-6);
    EXPECT_EQ(*done[0].lmax, 90.0);
    EXPECT_EQ(*done[0].l10, 60.0);  // 2 s of 52 lie above 60 dB
}

// Periods follow the clock: a quarter of an hour starts at :00, :15, :30, :45.
TEST(LevelAggregator, PeriodsAreAlignedToTheClock) {
    LevelAggregator aggregator(900, 0.5);
    aggregator.add(kStart + 7 * kMinute, 50.0f);
    const std::vector<PeriodSummary> done = aggregator.add(kStart + 16 * kMinute, 50.0f);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].startMs, kStart);
    EXPECT_EQ(done[0].endMs, kStart + 15 * kMinute);
    EXPECT_NEAR(done[0].coverage, 0.5 / 900 * 100, 1e-12);
}

// The monitor's events: readings of a regular period fed as they come, each standing for one
// reading period; the duration is the first to the last reading plus one period.
TEST(MonitorExceedances, RunsAboveTheThreshold) {
    struct Case {
        const char* what;
        std::vector<float> levels;  // one per second from kStart; kNullLevel: no level
        double minDuration;
        bool meterLostAfter3;                        // the meter is lost after the fourth reading
        std::vector<std::pair<int, double>> events;  // (first second, duration)
    };
    const std::vector<Case> cases = {
        {"ended by a reading at the threshold", {60, 71, 75, 72, 70, 60}, 0, false, {{1, 3}}},
        {"too short for the minimum", {71, 75, 60, 80, 81, 82, 83, 60}, 3.5, false, {{3, 4}}},
        {"ended by a reading without level",
         {71, 72, kNullLevel, 73, 60},
         0,
         false,
         {{0, 2}, {3, 1}}},
        {"still running at the end", {60, 71, 72}, 0, false, {{1, 2}}},
        {"ended by the meter lost", {71, 72, 73, 74, 75, 76}, 0, true, {{0, 4}, {4, 2}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ExceedanceDetector detector(70, c.minDuration, 1.0);
        std::vector<ExceedanceEvent> events;
        for (std::size_t i = 0; i < c.levels.size(); ++i) {
            const int64_t t = kStart + int64_t(i) * 1000;
            if (auto e = detector.add(seconds(t), c.levels[i], 1.0)) events.push_back(*e);
            if (c.meterLostAfter3 && i == 3)
                if (auto e = detector.end()) events.push_back(*e);
        }
        if (auto e = detector.end()) events.push_back(*e);
        ASSERT_EQ(events.size(), c.events.size());
        for (std::size_t i = 0; i < events.size(); ++i) {
            EXPECT_EQ(std::llround(events[i].start * 1000), kStart + c.events[i].first * 1000);
            EXPECT_DOUBLE_EQ(events[i].duration, c.events[i].second);
        }
    }
    // Lmax and the energy mean of the run: 71, 75, 72 dB, each reading alike.
    ExceedanceDetector detector(70, 0, 1.0);
    for (float l : {71.0f, 75.0f, 72.0f}) detector.add(seconds(kStart), l, 1.0);
    const auto run = detector.add(seconds(kStart + 3000), 50, 1.0);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->lmax, 75.0);
    EXPECT_EQ(run->samples, 3);
    EXPECT_NEAR(run->leq, 73.0147, 1e-4);  // python: 10*log10((10**7.1+10**7.5+10**7.2)/3)
    // A gap of more than two readings (the meter was away) ends a run too.
    ExceedanceDetector gaps(70, 0, 1.0);
    gaps.add(seconds(kStart), 80, 1.0);
    const auto split = gaps.add(seconds(kStart + 5000), 80, 1.0);
    ASSERT_TRUE(split);
    EXPECT_DOUBLE_EQ(split->duration, 1.0);
    // The message names the event's start and end to the millisecond.
    ExceedanceEvent e;
    e.start = seconds(kStart + 250);
    e.duration = 3.5;
    e.lmax = 80.04;
    e.leq = 75.06;
    e.samples = 7;
    const QJsonObject o = QJsonDocument::fromJson(eventPayload(e, 70, 9)).object();
    EXPECT_EQ(o["start"].toString(), isoTime(localTimeAt(kStart + 250)));
    EXPECT_EQ(o["end"].toString(), isoTime(localTimeAt(kStart + 3750)));
    EXPECT_EQ(o["duration"].toDouble(), 3.5);
    EXPECT_EQ(o["samples"].toInt(), 7);
    EXPECT_EQ(o["sequence"].toInt(), 9);
}

class SpoolTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("test.spool")); }
    std::unique_ptr<Spool> open(int64_t limit = 1'000'000) {
        QString error;
        auto spool = Spool::open(path(), limit, &error);
        EXPECT_TRUE(spool) << error.toStdString();
        return spool;
    }
    static bool append(Spool& spool, const QByteArray& topic, const QByteArray& text,
                       bool reportsDrops = false) {
        return spool.append(topic, reportsDrops, [&](int64_t sequence, int64_t dropped) {
            return text + ' ' + QByteArray::number(sequence) + ' ' + QByteArray::number(dropped);
        });
    }
    static QList<QByteArray> payloads(Spool& spool) {
        QList<QByteArray> list;
        for (const SpooledMessage& m : spool.after(0, 1000)) list << m.payload;
        return list;
    }
};

// Messages come back in order, keep their sequence numbers per topic over a reopening (a
// killed monitor), and leave only when removed.
TEST_F(SpoolTest, KeepsMessagesInOrderOverReopening) {
    {
        auto spool = open();
        ASSERT_TRUE(append(*spool, "a/summary", "s"));
        ASSERT_TRUE(append(*spool, "a/event", "e"));
        ASSERT_TRUE(append(*spool, "a/summary", "s"));
        const auto first = spool->after(0, 2);
        ASSERT_EQ(first.size(), 2u);
        EXPECT_EQ(spool->after(first[1].id, 10).size(), 1u);
        ASSERT_TRUE(spool->remove(first[0].id));
        ASSERT_TRUE(spool->remove(first[0].id));  // twice: an acknowledgement that came again
        EXPECT_EQ(spool->count(), 2);
    }  // no orderly close needed: WAL keeps each committed append
    auto spool = open();
    EXPECT_EQ(spool->count(), 2);
    ASSERT_TRUE(append(*spool, "a/summary", "s"));
    EXPECT_EQ(payloads(*spool), (QList<QByteArray>{"e 1 0", "s 2 0", "s 3 0"}));
    EXPECT_EQ(spool->after(0, 10)[1].topic, "a/summary");
    for (const SpooledMessage& m : spool->after(0, 10)) spool->remove(m.id);
    EXPECT_EQ(spool->count(), 0);
    EXPECT_EQ(spool->bytes(), 0);
}

// Past the limit the oldest go; the next message that reports drops says how many, once.
TEST_F(SpoolTest, DropsTheOldestPastItsLimit) {
    auto spool = open(100);  // each message below is 1 + 9 + 4 = 14 bytes or so
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(append(*spool, "t", "message" + QByteArray::number(i)));
    EXPECT_LE(spool->bytes(), 100);
    const QList<QByteArray> left = payloads(*spool);
    ASSERT_FALSE(left.isEmpty());
    EXPECT_TRUE(left.back().startsWith("message9"));
    const int64_t dropped = 10 - left.size();
    EXPECT_GT(dropped, 0);
    EXPECT_EQ(spool->unreportedDrops(), dropped);
    ASSERT_TRUE(append(*spool, "s", "summary", true));
    EXPECT_TRUE(payloads(*spool).back().endsWith(" " + QByteArray::number(dropped)));
    EXPECT_EQ(spool->unreportedDrops(), 1);  // the summary itself pushed one more out
    ASSERT_TRUE(append(*spool, "s", "summary", true));
    EXPECT_TRUE(payloads(*spool).back().endsWith(" 1"));
}

TEST_F(SpoolTest, RefusesAPlaceItCannotWrite) {
    QString error;
    EXPECT_FALSE(Spool::open(dir.filePath(QStringLiteral("no/such/folder/x.spool")), 1000, &error));
    EXPECT_FALSE(error.isEmpty());
    QFile junk(path());
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'x'));  // not a database
    junk.close();
    error.clear();
    EXPECT_FALSE(Spool::open(path(), 1000, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(MonitorMessages, DiscoveryConfigsNameTheSensors) {
    const auto configs = discoveryConfigs(QStringLiteral("kl516/SN 7"),
                                          {QStringLiteral("SN 7"), QStringLiteral("KL516"),
                                           QStringLiteral("Sound level meter SN 7")});
    ASSERT_EQ(configs.size(), 4u);
    QStringList fields;
    for (const auto& [topic, payload] : configs) {
        const QJsonObject o = json(payload);
        const QString field = topic.split('/')[3];
        fields << field;
        EXPECT_EQ(topic, "homeassistant/sensor/kl516_SN_7/" + field.toUtf8() + "/config");
        EXPECT_EQ(o[QStringLiteral("unit_of_measurement")].toString(), QStringLiteral("dB"));
        EXPECT_EQ(o[QStringLiteral("device_class")].toString(), QStringLiteral("sound_pressure"));
        EXPECT_EQ(o[QStringLiteral("state_class")].toString(), QStringLiteral("measurement"));
        EXPECT_EQ(o[QStringLiteral("availability_topic")].toString(),
                  QStringLiteral("kl516/SN 7/availability"));
        EXPECT_EQ(o[QStringLiteral("state_topic")].toString(),
                  field == QLatin1String("level") ? QStringLiteral("kl516/SN 7/level")
                                                  : QStringLiteral("kl516/SN 7/summary"));
        EXPECT_EQ(o[QStringLiteral("value_template")].toString(),
                  QStringLiteral("{{ value_json.%1 }}").arg(field));
        EXPECT_EQ(o[QStringLiteral("unique_id")].toString(), QStringLiteral("kl516_SN_7_") + field);
        const QJsonObject device = o[QStringLiteral("device")].toObject();
        EXPECT_EQ(device[QStringLiteral("serial_number")].toString(), QStringLiteral("SN 7"));
        EXPECT_EQ(device[QStringLiteral("model")].toString(), QStringLiteral("KL516"));
        EXPECT_EQ(device[QStringLiteral("identifiers")].toArray().first().toString(),
                  QStringLiteral("kl516_SN_7"));
    }
    EXPECT_EQ(fields, (QStringList{"level", "leq", "lmax", "l90"}));
}

// Levels go out rounded as everywhere else: a constant 60.25 dB is 60.3 as Leq (an energy mean a
// hair below it) and as Lmax.
TEST(MonitorMessages, LevelsAreRoundedAsEverywhere) {
    PeriodSummary s;
    s.leq = 60.25 - 1e-12;
    s.lmax = 60.25;
    s.l90 = -0.04;
    const QJsonObject o = json(summaryPayload(s, 1, 0));
    EXPECT_EQ(o[QStringLiteral("leq")].toDouble(), 60.3);
    EXPECT_EQ(o[QStringLiteral("lmax")].toDouble(), 60.3);
    EXPECT_EQ(o[QStringLiteral("l90")].toDouble(), 0.0);
}

TEST(MonitorMessages, SummaryOfAnEmptyPeriodHasNullLevels) {
    PeriodSummary s;
    s.startMs = kStart;
    s.endMs = kStart + kMinute;
    s.coverage = 100.0 / 3;
    const QJsonObject o = json(summaryPayload(s, 7, 2));
    EXPECT_TRUE(o[QStringLiteral("leq")].isNull());
    EXPECT_TRUE(o[QStringLiteral("l90")].isNull());
    EXPECT_EQ(o[QStringLiteral("coverage")].toDouble(), 33.3);
    EXPECT_EQ(o[QStringLiteral("sequence")].toInt(), 7);
    EXPECT_EQ(o[QStringLiteral("dropped")].toInt(), 2);
    EXPECT_EQ(o[QStringLiteral("partial")].toBool(), false);
    const QDateTime start =
        QDateTime::fromString(o[QStringLiteral("start")].toString(), Qt::ISODateWithMs);
    EXPECT_EQ(start, QDateTime(QDate(2026, 3, 1), QTime(10, 0)));
    EXPECT_TRUE(
        o[QStringLiteral("end")].toString().startsWith(QStringLiteral("2026-03-01T10:01:00.000")));
}

// Wrong arguments end with status 2 before anything is opened; a spool that cannot be opened
// ends with status 1 and says where.
TEST(MonitorCommand, RefusesWrongArgumentsAndAnUnusableSpool) {
    QTemporaryDir dir;
    const QStringList base = {QStringLiteral("monitor"), QStringLiteral("--simulate"),
                              QStringLiteral("--spool"), dir.path()};
    const QString broker = QStringLiteral("mqtt://127.0.0.1:1");
    const std::vector<std::pair<QStringList, const char*>> wrong = {
        {{}, "--mqtt"},
        {{"--mqtt", "http://host"}, "mqtt://HOST"},
        {{"--mqtt", "mqtt://user:pw@host"}, "takes no user or password"},
        {{"--mqtt", broker, "--interval", "0.05"}, "--interval needs a number from 0.1 to 30"},
        {{"--mqtt", broker, "--interval", "31"}, "--interval"},
        {{"--mqtt", broker, "--aggregate", "7"}, "divide a day"},
        {{"--mqtt", broker, "--min-duration", "5"}, "--min-duration needs --threshold"},
        {{"--mqtt", broker, "--ca-file", "ca.pem"}, "--ca-file needs an mqtts://"},
        {{"--mqtt", broker, "--password-file", "pw"}, "--password-file needs --username"},
        {{"--mqtt", broker, "--topic-prefix", "a/#"}, "--topic-prefix"},
        {{"--mqtt", broker, "--sim-unplug", "70"}, "--sim-unplug needs AT:SECONDS"},
    };
    for (const auto& [args, message] : wrong) {
        SCOPED_TRACE(args.join(QLatin1Char(' ')).toStdString());
        QString outText, errText;
        QTextStream out(&outText), err(&errText);
        EXPECT_EQ(runCli(base + args, out, err), 2);
        EXPECT_TRUE(errText.contains(QLatin1String(message))) << errText.toStdString();
    }
    QFile blocker(dir.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    EXPECT_EQ(
        runCli({QStringLiteral("monitor"), QStringLiteral("--simulate"), QStringLiteral("--mqtt"),
                broker, QStringLiteral("--spool"), blocker.fileName() + QStringLiteral("/spool")},
               out, err),
        1);
    EXPECT_TRUE(errText.contains(QStringLiteral("cannot open the spool"))) << errText.toStdString();
}
