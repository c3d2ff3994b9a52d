#include "platform/linux/actions/XdgFolders.h"
#include "platform/linux/x11/ModifierKeys.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

namespace obx::x11 {
namespace {

TEST(HelperDataFolder, FollowsTheXdgConfigHome) {
    EXPECT_EQ(helperDataFolder("/cfg", "/home/u"), "/cfg/Halvex/Ombrix");
    EXPECT_EQ(helperDataFolder(nullptr, "/home/u"), "/home/u/.config/Halvex/Ombrix");
    EXPECT_EQ(helperDataFolder("", "/home/u"), "/home/u/.config/Halvex/Ombrix");
    EXPECT_EQ(helperDataFolder("relative/cfg", "/home/u"), "/home/u/.config/Halvex/Ombrix");
    EXPECT_EQ(helperDataFolder(nullptr, nullptr), "");
    EXPECT_EQ(helperDataFolder(nullptr, ""), "");
}

class ModifiersFromKeys : public ::testing::Test {
protected:
    ModifiersFromKeys() : keysyms(256, 0) {
        keysyms[50] = XK_Shift_L;
        keysyms[62] = XK_Shift_R;
        keysyms[37] = XK_Control_L;
        keysyms[105] = XK_Control_R;
        keysyms[64] = XK_Alt_L;
        keysyms[108] = XK_Alt_R;
        keysyms[133] = XK_Super_L;
        keysyms[38] = XK_a;
        keysyms[255] = XK_Shift_L;
    }
    std::uint32_t pressed(std::initializer_list<int> codes) {
        char keys[32] = {};
        for (const int code : codes) {
            keys[code / 8] = static_cast<char>(keys[code / 8] | (1 << (code % 8)));
        }
        return ModifierKeycodes(keysyms).pressed(keys);
    }
    std::vector<unsigned long> keysyms;
};

TEST_F(ModifiersFromKeys, EitherKeyOfEachModifier) {
    EXPECT_EQ(pressed({}), 0u);
    EXPECT_EQ(pressed({50}), 0x01u);
    EXPECT_EQ(pressed({62}), 0x01u);
    EXPECT_EQ(pressed({105}), 0x04u);
    EXPECT_EQ(pressed({108}), 0x10u);
    EXPECT_EQ(pressed({50, 37, 64}), 0x15u);
    // The last keycode of the vector counts as well.
    EXPECT_EQ(pressed({255}), 0x01u);
}

TEST_F(ModifiersFromKeys, OtherKeysAndTheWindowsKeyAreNotReported) {
    EXPECT_EQ(pressed({133, 38}), 0u);
    EXPECT_EQ(pressed({133, 37}), 0x04u);
}

} // namespace
} // namespace obx::x11
