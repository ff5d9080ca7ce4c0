#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "levels/LevelArithmetic.h"
#include "levels/LevelFigures.h"

using namespace kl516;

// Expected values computed independently (sorted list, rank ceil((100 - N) / 100 * n)): for
// levels one second apart the levels exceeded by time are the nearest ranks.
TEST(LevelArithmetic, ExceededLevelsFollowTheNearestRankRule) {
    struct Case {
        const char* name;
        std::vector<float> levels;
        float l10, l50, l90;
    };
    const Case cases[] = {
        {"ten levels", {50, 60, 70, 80, 90, 55, 65, 75, 85, 95}, 90, 70, 50},
        {"one level", {72.5f}, 72.5f, 72.5f, 72.5f},
        {"three levels", {61.0f, 40.5f, 58.25f}, 61.0f, 58.25f, 40.5f},
        {"ties", {45, 45, 45, 45, 80}, 80, 45, 45},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<double> times;
        for (size_t i = 0; i < c.levels.size(); ++i) times.push_back(double(i));
        const LevelFigures f = levelFigures(times, c.levels);
        EXPECT_EQ(*f.l10, c.l10);
        EXPECT_EQ(*f.l50, c.l50);
        EXPECT_EQ(*f.l90, c.l90);
    }
}

TEST(LevelArithmetic, NoLevelIsTheNullValueAndAnythingUnreadable) {
    EXPECT_TRUE(hasLevel(0.0f));
    EXPECT_TRUE(hasLevel(-20.0f));
    EXPECT_TRUE(hasLevel(9998.9f));
    EXPECT_FALSE(hasLevel(kNullLevel));
    EXPECT_FALSE(hasLevel(std::numeric_limits<float>::quiet_NaN()));
    EXPECT_FALSE(hasLevel(std::numeric_limits<float>::infinity()));
    EXPECT_FALSE(hasLevel(-std::numeric_limits<float>::infinity()));
    EXPECT_FALSE(hasLevel(-1.0f, -1.0f));  // a graph's own null value
}

TEST(LevelArithmetic, EnergyMeanAndSoundExposure) {
    EXPECT_NEAR(energyLevel((levelEnergy(60) + levelEnergy(70)) / 2), 67.4036, 1e-4);
    EXPECT_NEAR(soundExposureLevel(80, 3600), 115.5630, 1e-4);
    EXPECT_NEAR(soundExposureLevel(80, 0.5), 76.9897, 1e-4);  // T is not rounded to seconds
    // The energy mean of levels added one at a time: 60 and 70 dB give 67.4036 (python3:
    // 10*log10((10**6 + 10**7) / 2)), and levels far beyond a double's powers do not overflow.
    EnergyMean mean;
    mean.add(60);
    mean.add(70);
    EXPECT_NEAR(mean.level(), 67.4036, 1e-4);
    EnergyMean loud;
    loud.add(6553.5);
    loud.add(6553.5);
    loud.add(0);
    EXPECT_NEAR(loud.level(), 6553.5 + 10 * std::log10(2.0 / 3), 1e-9);
}
