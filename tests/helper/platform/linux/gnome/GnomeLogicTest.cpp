// The GNOME bridge's logic without a Shell: the pointer values both ways and
// their boundaries, the modifier mask, the list of enabled extensions, and a
// session whose Shell does not run our extension.

#include "base/LogCapture.h"
#include "platform/linux/gnome/ExtensionEnabling.h"
#include "platform/linux/gnome/GnomeDesktopQueries.h"
#include "platform/linux/gnome/GnomePlatformServices.h"
#include "platform/linux/gnome/GnomePointerSettings.h"
#include "support/PrivateBus.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace obx::test {
namespace {

TEST(GnomePointerSettingsTest, HelperScalesMapOntoTheMouseKeysAndBack) {
    struct Case {
        int speed, rate;
        double stored;
        const char* profile;
        int readSpeed;
    };
    const Case cases[] = {
        {50, 0, 0.0, "flat", 50},         {100, 100, 1.0, "adaptive", 100}, {0, 33, -0.9, "flat", 5},
        {5, 34, -0.9, "adaptive", 5},     {74, 67, 0.4, "adaptive", 70},    {250, -5, 1.0, "flat", 100},
        {-40, 1000, -0.9, "adaptive", 5},
    };
    for (const auto& c : cases) {
        const auto values = gnome::gnomePointerValues(c.speed, c.rate);
        EXPECT_NEAR(values.speed, c.stored, 1e-9) << c.speed;
        EXPECT_EQ(values.accelProfile, c.profile) << c.speed;
        const auto read = gnome::readGnomePointer(values.speed, values.accelProfile, false);
        EXPECT_EQ(read.speed, c.readSpeed) << c.speed;
        EXPECT_EQ(read.accelerationRate, values.accelProfile == "flat" ? 0 : 10) << c.speed;
    }
    // Values another program stored: the keys' whole range, and libinput's choice.
    EXPECT_EQ(gnome::readGnomePointer(-1.0, "default", true).speed, 5);
    EXPECT_EQ(gnome::readGnomePointer(-1.0, "default", true).accelerationRate, 10);
    EXPECT_TRUE(gnome::readGnomePointer(-1.0, "default", true).scrollInvert);
    EXPECT_EQ(gnome::readGnomePointer(0.04, "flat", false).speed, 50);
    EXPECT_EQ(gnome::readGnomePointer(0.06, "flat", false).speed, 55);
    EXPECT_EQ(gnome::readGnomePointer(7.0, "flat", false).wheelLines, 1);
}

TEST(GnomeModifiersTest, TheShellsMaskBecomesShiftCtrlAndAltOnly) {
    EXPECT_EQ(gnome::desktopModifiers(0), 0u);
    EXPECT_EQ(gnome::desktopModifiers(1u << 0), desktopModifierShift);
    EXPECT_EQ(gnome::desktopModifiers(1u << 2), desktopModifierCtrl);
    EXPECT_EQ(gnome::desktopModifiers(1u << 3), desktopModifierAlt);
    // Caps Lock, the Super key, mouse buttons: none.
    EXPECT_EQ(gnome::desktopModifiers((1u << 1) | (1u << 26) | (1u << 8)), 0u);
    EXPECT_EQ(gnome::desktopModifiers(0xffffffffu), watchedModifiers);
}

TEST(ExtensionEnablingTest, TheExtensionIsAddedOnceAndTheOthersStay) {
    EXPECT_EQ(gnome::withExtension({}, "a@b"), (std::vector<std::string>{"a@b"}));
    EXPECT_EQ(gnome::withExtension({"x@y", "z@w"}, "a@b"), (std::vector<std::string>{"x@y", "z@w", "a@b"}));
    EXPECT_TRUE(gnome::withExtension({"x@y", "a@b"}, "a@b").empty());
}

TEST(GnomeWithoutExtensionTest, NoProgramNoModifiersAndWindowCommandsLoggedOnce) {
    PrivateBus session(PrivateBus::Kind::session);
    setenv("DBUS_SESSION_BUS_ADDRESS", session.address().c_str(), 1);
    LogCapture capture;
    {
        gnome::GnomeDesktopQueries desktop(std::make_shared<gnome::ShellFocusWatch>(), {"/proc", ""});
        EXPECT_EQ(desktop.foregroundWindow(), 0u);
        EXPECT_EQ(desktop.foregroundApplicationPath(), "");
        EXPECT_EQ(desktop.pressedModifiers(), 0u);
        gnome::GnomePlatformServices services("");
        for (const char* action : {"closeWindow", "maximizeWindow", "closeWindow", "minimizeAll"}) {
            services.runSystemAction(action, nullptr);
        }
        services.runSystemAction("closewindow", nullptr);
        PrivateBus::waitUntil(
            [&] {
                const auto texts = capture.texts();
                return std::any_of(texts.begin(), texts.end(), [](const auto& text) {
                    return text.find(") does not answer") != std::string::npos;
                });
            },
            std::chrono::seconds(5));
    }
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    const auto texts = capture.texts();
    const auto count = [&](const std::string& part) {
        return std::count_if(texts.begin(), texts.end(),
                             [&](const auto& text) { return text.find(part) != std::string::npos; });
    };
    EXPECT_EQ(count("This desktop cannot carry out window commands now"), 1)
        << ::testing::PrintToString(texts);
    EXPECT_EQ(count("GNOME Shell's bridge extension (obxhelper@bridge.obx) does not answer"), 1);
    EXPECT_EQ(count("Could not found handler for system action 'closewindow'"), 1);
}

} // namespace
} // namespace obx::test
