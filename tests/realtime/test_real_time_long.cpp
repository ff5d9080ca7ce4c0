#include <gtest/gtest.h>

#include <unistd.h>
#include <QCoreApplication>
#include <QFile>
#include <cmath>
#include <iostream>

#include "graph/ui/RangeSlider.h"
#include "realtime/RealTimeFixture.h"

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer holds freed memory back (256 MB by default) before reusing it, which would
// read as growth here; a small quarantine keeps the resident size meaningful.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=8";
}
#endif

using namespace kl516;

namespace {

// Resident memory of this process in bytes.
int64_t residentBytes() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * sysconf(_SC_PAGESIZE) : -1;
}

using RealTimeLong = test::RealTimeFixture;

}  // namespace

// The longest run the dialog allows, at the fastest rate, against the simulated meter: every
// sample arrives, the run stops by itself, and memory stays flat once the graph is allocated.
TEST_F(RealTimeLong, NinetyNineThousandNineHundredNinetyNineSamplesAtATenthOfASecond) {
    start();
    run("0.1", "99999");
    ASSERT_TRUE(window->runActive());
    ASSERT_EQ(pes()->points(), 99999);

    // Queued redraws are carried out every 1000 ticks, as an event loop would between ticks.
    auto runTo = [&](int samples) {
        for (int i = 0; window->runActive() && recorder().sampleCount() < samples; ++i) {
            tick();
            if (i % 1000 == 999) QCoreApplication::processEvents();
        }
    };
    runTo(10000);
    QCoreApplication::processEvents();
    const int64_t before = residentBytes();
    ASSERT_GT(before, 0);
    runTo(99999);
    QCoreApplication::processEvents();
    const int64_t after = residentBytes();

    EXPECT_FALSE(window->runActive());
    EXPECT_EQ(recorder().sampleCount(), 99999);
    EXPECT_EQ(pes()->points(), 99999);
    EXPECT_EQ(window->connection().pollIntervalMs(), 500);
    EXPECT_EQ(graph()->rangeSlider->maximum(), 99998);
    EXPECT_EQ(graph()->rangeSlider->firstValue(), 33333);
    EXPECT_EQ(test::lineEdit(*window, "rejectedCountField")->text(), "0");
    int unevenGaps = 0;
    for (int i = 1; i < 99999; ++i) {
        const double gap = (pes()->xValue(0, i) - pes()->xValue(0, i - 1)) / kOneSecond;
        if (std::abs(gap - 0.1) > 1e-6) ++unevenGaps;
    }
    EXPECT_EQ(unevenGaps, 0);
    EXPECT_DOUBLE_EQ(state().manualMaxX, now());

    // The drawn series grows by 90 000 points (about 1.5 MB in the plot's container, which
    // may double while it grows), and so does the between-cursor index, which keeps each
    // point's level, time weight, their prefix sums and the level order: some 77 bytes a point,
    // about 7 MB; everything else must stay put.
    const int64_t growth = after - before;
    std::cout << "resident: " << before / 1024 << " KiB after 10000 samples, " << after / 1024
              << " KiB after 99999\n";
    EXPECT_LT(growth, int64_t(20) << 20);
}
