#include "platform/linux/x11/PointerMapping.h"

#include <gtest/gtest.h>

namespace obx::x11 {
namespace {

TEST(SpeedLevel, ScaleAndBounds) {
    EXPECT_EQ(speedLevel(-10), 1);
    EXPECT_EQ(speedLevel(0), 1);
    EXPECT_EQ(speedLevel(9), 1);
    EXPECT_EQ(speedLevel(10), 2);
    EXPECT_EQ(speedLevel(50), 10);
    EXPECT_EQ(speedLevel(99), 19);
    EXPECT_EQ(speedLevel(100), 20);
    EXPECT_EQ(speedLevel(250), 20);
}

TEST(AccelerationRow, ThirdsOfTheRate) {
    EXPECT_EQ(accelerationRow(-1), 0);
    EXPECT_EQ(accelerationRow(33), 0);
    EXPECT_EQ(accelerationRow(34), 1);
    EXPECT_EQ(accelerationRow(66), 1);
    EXPECT_EQ(accelerationRow(67), 2);
    EXPECT_EQ(accelerationRow(99), 2);
    EXPECT_EQ(accelerationRow(100), 3);
    EXPECT_EQ(accelerationRow(1000), 3);
}

TEST(PointerControlFor, FactorInLowestTermsAndRowThreshold) {
    EXPECT_EQ(pointerControlFor(10, 0), (PointerControl{1, 1, 1}));
    EXPECT_EQ(pointerControlFor(1, 0), (PointerControl{1, 10, 1}));
    EXPECT_EQ(pointerControlFor(15, 1), (PointerControl{3, 1, 10}));
    EXPECT_EQ(pointerControlFor(7, 2), (PointerControl{21, 10, 10}));
    EXPECT_EQ(pointerControlFor(20, 3), (PointerControl{8, 1, 4}));
    // Out-of-range inputs are held to the scale.
    EXPECT_EQ(pointerControlFor(40, 7), (PointerControl{8, 1, 4}));
}

TEST(SameFactor, ComparesRatiosNotTerms) {
    EXPECT_TRUE(sameFactor({2, 1, 4}, {4, 2, 9}));
    EXPECT_FALSE(sameFactor({2, 1, 4}, {3, 2, 4}));
}

} // namespace
} // namespace obx::x11
