#include "platform/linux/wayland/KeyRepeat.h"

#include <gtest/gtest.h>

namespace obx::wayland {
namespace {

using namespace std::chrono_literals;

TEST(KeyRepeat, AHeldKeyRepeatsAfterTheDelayAtTheRateUntilReleased) {
    KeyRepeat repeat;
    repeat.configure(25, 600); // every 40 ms after 600 ms
    const auto start = KeyRepeat::Clock::now();
    repeat.press(108, start);
    EXPECT_EQ(repeat.due(), start + 600ms);
    EXPECT_FALSE(repeat.take(start + 599ms));
    EXPECT_EQ(repeat.take(start + 600ms), 108u);
    EXPECT_FALSE(repeat.take(start + 639ms));
    EXPECT_EQ(repeat.take(start + 640ms), 108u);
    // Far behind: one repeat, then the rate again from now.
    EXPECT_EQ(repeat.take(start + 2s), 108u);
    EXPECT_EQ(repeat.due(), start + 2s + 40ms);
    // Another key's release leaves it; its own ends it.
    repeat.release(103);
    EXPECT_TRUE(repeat.due());
    repeat.release(108);
    EXPECT_FALSE(repeat.due());
    EXPECT_FALSE(repeat.take(start + 3s));
}

TEST(KeyRepeat, ANewKeyTakesOverAndNoRateMeansNoRepeat) {
    KeyRepeat repeat;
    repeat.configure(10, 100);
    const auto start = KeyRepeat::Clock::now();
    repeat.press(108, start);
    repeat.press(103, start + 50ms);
    EXPECT_EQ(repeat.take(start + 150ms), 103u);
    repeat.stop();
    EXPECT_FALSE(repeat.due());

    repeat.configure(0, 100);
    repeat.press(108, start);
    EXPECT_FALSE(repeat.due());

    // Out-of-range values are bounded: 1000 a second at most, 10 s delay.
    repeat.configure(1'000'000, 1'000'000);
    repeat.press(108, start);
    EXPECT_EQ(repeat.due(), start + 10s);
    EXPECT_EQ(repeat.take(start + 10s), 108u);
    EXPECT_EQ(repeat.due(), start + 10s + 1ms);
}

} // namespace
} // namespace obx::wayland
