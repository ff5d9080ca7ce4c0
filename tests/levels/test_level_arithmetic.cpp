#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "levels/LevelArithmetic.h"

using namespace kl516;

// Expected values computed independently (sorted list, rank ceil((100 - N) / 100 * n)).
TEST(LevelArithmetic, ExceededLevelsFollowTheNearestRankRule) {
    struct Case {
        std::vector<float> levels;
        float l10, l50, l90;
    };
    const Case cases[] = {
        {{50, 60, 70, 80, 90, 55, 65, 75, 85, 95}, 90, 70, 50},
        {{72.5f}, 72.5f, 72.5f, 72.5f},
        {{61.0f, 40.5f, 58.25f}, 61.0f, 58.25f, 40.5f},
        {{45, 45, 45, 45, 80}, 80, 45, 45},
    };
    for (const Case& c : cases) {
        std::vector<float> levels = c.levels;
        EXPECT_EQ(exceededLevel(levels, 10), c.l10);
        EXPECT_EQ(exceededLevel(levels, 50), c.l50);
        EXPECT_EQ(exceededLevel(levels, 90), c.l90);
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
    EXPECT_DOUBLE_EQ(soundExposureLevel(80, 0), 80.0);  // shorter than a second counts as one
    // The running Leq of 60 then 70 dB is their energy mean; a failed step keeps the Leq.
    EXPECT_NEAR(nextRunningLeq(60.0f, 70.0f, 2), 67.4036, 1e-4);
    EXPECT_EQ(nextRunningLeq(60.0f, std::numeric_limits<float>::quiet_NaN(), 2), 60.0f);
}
