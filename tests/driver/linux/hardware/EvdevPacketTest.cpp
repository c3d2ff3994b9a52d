#include "hardware/EvdevPacket.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <vector>

namespace obx::kernd {
namespace {

using Events = std::vector<std::tuple<int, int, int>>;

Events translated(EvdevPacketTranslator& translator, uint16_t flags, int16_t data = 0, int32_t x = 0,
                  int32_t y = 0) {
    driver::MouseInputData packet;
    packet.buttonFlags = flags;
    packet.buttonData = data;
    packet.lastX = x;
    packet.lastY = y;
    EvdevPacketTranslator::Events out;
    Events events;
    for (const EvdevEvent& e : translator.translate(packet, out))
        events.emplace_back(e.type, e.code, e.value);
    return events;
}

const std::tuple<int, int, int> kSyn{EV_SYN, SYN_REPORT, 0};

TEST(EvdevPacket, ButtonsMotionAndOneReportPerPacket) {
    EvdevPacketTranslator t;
    // Left down, right up, middle down, back up, forward down and up at once, with motion.
    EXPECT_EQ(translated(t, 0x0001 | 0x0008 | 0x0010 | 0x0080 | 0x0100 | 0x0200, 0, -3, 7),
              (Events{{EV_KEY, BTN_LEFT, 1},
                      {EV_KEY, BTN_RIGHT, 0},
                      {EV_KEY, BTN_MIDDLE, 1},
                      {EV_KEY, BTN_SIDE, 0},
                      {EV_KEY, BTN_EXTRA, 1},
                      {EV_KEY, BTN_EXTRA, 0},
                      {EV_REL, REL_X, -3},
                      {EV_REL, REL_Y, 7},
                      kSyn}));
    // An empty packet still closes a report: one SYN_REPORT per packet, never more.
    EXPECT_EQ(translated(t, 0), Events{kSyn});
    // Every flag at once stays within the fixed event array.
    EXPECT_EQ(translated(t, 0x03FF, 0, 1, 1).size(), 10u + 2u + 1u);
}

TEST(EvdevPacket, WheelsGoOutInHighResolutionAndInWholeNotches) {
    EvdevPacketTranslator t;
    EXPECT_EQ(translated(t, 0x0400, 240),
              (Events{{EV_REL, REL_WHEEL_HI_RES, 240}, {EV_REL, REL_WHEEL, 2}, kSyn}));
    EXPECT_EQ(translated(t, 0x0800, -120),
              (Events{{EV_REL, REL_HWHEEL_HI_RES, -120}, {EV_REL, REL_HWHEEL, -1}, kSyn}));
    // Partial steps add up to a notch; the horizontal remainder is its own.
    EXPECT_EQ(translated(t, 0x0400, 60), (Events{{EV_REL, REL_WHEEL_HI_RES, 60}, kSyn}));
    EXPECT_EQ(translated(t, 0x0800, 60), (Events{{EV_REL, REL_HWHEEL_HI_RES, 60}, kSyn}));
    EXPECT_EQ(translated(t, 0x0400, 90),
              (Events{{EV_REL, REL_WHEEL_HI_RES, 90}, {EV_REL, REL_WHEEL, 1}, kSyn}));
    // Turning back drops what was left over in the other direction (30 here).
    EXPECT_EQ(translated(t, 0x0400, -120),
              (Events{{EV_REL, REL_WHEEL_HI_RES, -120}, {EV_REL, REL_WHEEL, -1}, kSyn}));
    // Wheel data without a wheel flag is a button packet's data, not a turn.
    EXPECT_EQ(translated(t, 0x0001, 120), (Events{{EV_KEY, BTN_LEFT, 1}, kSyn}));
}

} // namespace
} // namespace obx::kernd
