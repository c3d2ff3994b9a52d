#include "platform/linux/x11/VirtualKeys.h"

#include <X11/XF86keysym.h>
#include <X11/keysym.h>
#include <gtest/gtest.h>

namespace obx::x11 {
namespace {

using Keys = std::vector<std::uint16_t>;

TEST(VirtualKeyTable, LettersAndDigitsAreTheUnshiftedKeys) {
    EXPECT_EQ(keysymForVirtualKey('A'), static_cast<KeySymbol>(XK_a));
    EXPECT_EQ(keysymForVirtualKey('Z'), static_cast<KeySymbol>(XK_z));
    EXPECT_EQ(keysymForVirtualKey('0'), static_cast<KeySymbol>(XK_0));
    EXPECT_EQ(keysymForVirtualKey('9'), static_cast<KeySymbol>(XK_9));
}

TEST(VirtualKeyTable, RangesReachTheirEnds) {
    EXPECT_EQ(keysymForVirtualKey(0x70), static_cast<KeySymbol>(XK_F1));
    EXPECT_EQ(keysymForVirtualKey(0x87), static_cast<KeySymbol>(XK_F24));
    EXPECT_EQ(keysymForVirtualKey(0x88), KeySymbol{0});
    EXPECT_EQ(keysymForVirtualKey(0x60), static_cast<KeySymbol>(XK_KP_0));
    EXPECT_EQ(keysymForVirtualKey(0x69), static_cast<KeySymbol>(XK_KP_9));
}

TEST(VirtualKeyTable, NamedKeys) {
    EXPECT_EQ(keysymForVirtualKey(0x0A), static_cast<KeySymbol>(XK_KP_Enter));
    EXPECT_EQ(keysymForVirtualKey(0x0D), static_cast<KeySymbol>(XK_Return));
    EXPECT_EQ(keysymForVirtualKey(0x21), static_cast<KeySymbol>(XK_Prior));
    EXPECT_EQ(keysymForVirtualKey(0x2D), static_cast<KeySymbol>(XK_Insert));
    EXPECT_EQ(keysymForVirtualKey(0x2E), static_cast<KeySymbol>(XK_Delete));
    EXPECT_EQ(keysymForVirtualKey(0x10), static_cast<KeySymbol>(XK_Shift_L));
    EXPECT_EQ(keysymForVirtualKey(0x11), static_cast<KeySymbol>(XK_Control_L));
    EXPECT_EQ(keysymForVirtualKey(0x12), static_cast<KeySymbol>(XK_Alt_L));
    EXPECT_EQ(keysymForVirtualKey(0x5B), static_cast<KeySymbol>(XK_Super_L));
    EXPECT_EQ(keysymForVirtualKey(0x5D), static_cast<KeySymbol>(XK_Menu));
    EXPECT_EQ(keysymForVirtualKey(0x6F), static_cast<KeySymbol>(XK_KP_Divide));
    EXPECT_EQ(keysymForVirtualKey(0xA6), static_cast<KeySymbol>(XF86XK_Back));
    EXPECT_EQ(keysymForVirtualKey(0xAF), static_cast<KeySymbol>(XF86XK_AudioRaiseVolume));
    EXPECT_EQ(keysymForVirtualKey(0xB3), static_cast<KeySymbol>(XF86XK_AudioPlay));
    EXPECT_EQ(keysymForVirtualKey(0xBA), static_cast<KeySymbol>(XK_semicolon));
}

TEST(VirtualKeyTable, CodesThatNameNoKey) {
    for (const std::uint16_t code : {0x00, 0x07, 0x3A, 0x40, 0x5E, 0xFF, 0x1234}) {
        EXPECT_EQ(keysymForVirtualKey(code), KeySymbol{0}) << code;
    }
}

TEST(KeystrokeSequence, PressSendsModifiersThenKey) {
    EXPECT_EQ(keystrokeSequence(0x05, 'C', true, false), (Keys{0x10, 0x11, 'C'}));
}

TEST(KeystrokeSequence, ReleaseSendsKeyThenModifiersInTheSameOrder) {
    EXPECT_EQ(keystrokeSequence(0x05, 'C', false, false), (Keys{'C', 0x10, 0x11}));
}

TEST(KeystrokeSequence, EveryModifierInItsFixedOrder) {
    EXPECT_EQ(keystrokeSequence(0x57, 'X', true, false), (Keys{0x10, 0x11, 0x12, 0x5B, 0x5D, 'X'}));
    EXPECT_EQ(keystrokeSequence(0x40 | 0x02, 0, true, false), (Keys{0x5B, 0x5D}));
}

TEST(KeystrokeSequence, ModifiersOnlyAndEmptyCalls) {
    EXPECT_EQ(keystrokeSequence(0x04, 0, true, true), (Keys{0x11}));
    EXPECT_EQ(keystrokeSequence(0x04, 'A', false, true), (Keys{0x11}));
    EXPECT_TRUE(keystrokeSequence(0, 0, true, false).empty());
    EXPECT_EQ(keystrokeSequence(0, 0x2E, true, false), (Keys{0x2E}));
    // Bits that name no modifier add nothing.
    EXPECT_EQ(keystrokeSequence(0x80 | 0x20 | 0x08, 'A', true, false), (Keys{'A'}));
}

} // namespace
} // namespace obx::x11
