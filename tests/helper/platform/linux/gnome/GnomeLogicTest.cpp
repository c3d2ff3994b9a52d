// The GNOME bridge's logic without a Shell: the pointer values both ways and
// their boundaries, the modifier mask, the list of enabled extensions, the
// current layout and a snippet's keys, and a session whose Shell does not run
// our extension.

#include "base/LogCapture.h"
#include "platform/linux/gnome/CurrentLayout.h"
#include "platform/linux/gnome/ExtensionEnabling.h"
#include "platform/linux/gnome/ExtensionNotice.h"
#include "platform/linux/gnome/GnomeDesktopQueries.h"
#include "platform/linux/gnome/GnomePlatformServices.h"
#include "platform/linux/gnome/GnomePointerSettings.h"
#include "platform/linux/gnome/GnomeText.h"
#include "platform/linux/gnome/ShellBridgeBus.h"
#include "platform/linux/gnome/ShellFocusWatch.h"
#include "support/PrivateBus.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>
#include <xkbcommon/xkbcommon-keysyms.h>

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

TEST(ExtensionEnablingTest, EachCopyIsAddedOnceAndTheOthersStay) {
    EXPECT_EQ(gnome::withExtensions({}, {"a@b", "c@d"}), (std::vector<std::string>{"a@b", "c@d"}));
    EXPECT_EQ(gnome::withExtensions({"x@y", "a@b"}, {"a@b", "c@d"}),
              (std::vector<std::string>{"x@y", "a@b", "c@d"}));
    EXPECT_TRUE(gnome::withExtensions({"c@d", "x@y", "a@b"}, {"a@b", "c@d"}).empty());
}

TEST(ExtensionNoticeTest, TheUserIsToldWhatKeepsTheExtensionFromRunning) {
    struct Case {
        gnome::ExtensionFacts facts;
        const char* notice;
    };
    const std::string ours = "The trackball helper's GNOME Shell extension";
    const Case cases[] = {
        {{false, 0, {}, "", false, false}, "GNOME Shell does not answer"},
        {{true, 46, 2, "", true, true},
         "GNOME extensions are switched off: turn them on in the Extensions app"},
        {{true, 46, 2, "", false, true}, " is switched off: turn it on in the Extensions app"},
        {{true, 46, {}, "", false, false}, " is not installed for this GNOME Shell yet"},
        {{true, 52, 4, "", false, false}, " needs a newer version for GNOME Shell 52"},
        {{true, 48, 3, "TypeError: x is undefined", false, false},
         " failed in GNOME Shell: TypeError: x is undefined"},
        {{true, 48, 2, "", false, false}, " is off while GNOME Shell shows no user session"},
        {{true, 48, 1, "", false, false}, " runs but does not answer this helper"},
    };
    for (const auto& c : cases) {
        EXPECT_NE(gnome::extensionNotice(c.facts).find(c.notice), std::string::npos) << c.notice;
    }
}

TEST(GnomeLayoutTest, TheCurrentSourceIsTheMostRecentlyUsedOneStillConfigured) {
    using gnome::XkbLayoutName;
    const std::pair<std::string, std::string> us{"xkb", "us"}, fr{"xkb", "fr+azerty"}, de{"xkb", "de"},
        pinyin{"ibus", "libpinyin"};
    struct Case {
        gnome::InputSources sources, recentlyUsed;
        XkbLayoutName expected;
    };
    const Case cases[] = {
        {{}, {}, {"us", ""}},
        {{de}, {}, {"de", ""}},
        {{us, fr}, {fr, us}, {"fr", "azerty"}},
        {{us, de}, {fr, de, us}, {"de", ""}}, // fr is no longer configured
        {{us, de}, {fr}, {"us", ""}},
        {{pinyin, de}, {pinyin}, {"us", ""}}, // an input method types on US
        {{{"xkb", ""}}, {}, {"", ""}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(gnome::currentLayout(c.sources, c.recentlyUsed), c.expected)
            << c.expected.layout << "+" << c.expected.variant;
    }
}

struct KeymapRelease {
    void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
};

std::unique_ptr<wayland::SessionKeys> layoutKeys(const char* layout) {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    const xkb_rule_names names{nullptr, nullptr, layout, nullptr, nullptr};
    const std::unique_ptr<xkb_keymap, KeymapRelease> keymap(
        xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
    xkb_context_unref(context);
    return keymap ? std::make_unique<wayland::SessionKeys>(keymap.get()) : nullptr;
}

TEST(GnomeTextTest, ControlCharactersAreLeftOutAndLineBreaksAreReturn) {
    const auto text = gnome::gnomeText(U"a\x01\nZoë\t😀\x02");
    EXPECT_EQ(text.characters, U"a\nZoë\t😀");
    EXPECT_EQ(text.utf8, "a\nZoë\t😀");
    EXPECT_EQ(text.keysyms, (std::vector<std::uint32_t>{XKB_KEY_a, XKB_KEY_Return, XKB_KEY_Z, XKB_KEY_o,
                                                        XKB_KEY_ediaeresis, XKB_KEY_Tab, 0x101F600}));
    EXPECT_EQ(text.undeliverable, U"\x01\x02");
    EXPECT_EQ(gnome::codePointNames(text.undeliverable), "U+0001 U+0002");
    EXPECT_TRUE(gnome::gnomeText(U"").characters.empty());
}

TEST(GnomeTextTest, WhatTheLayoutLacksIsNamedOnceInOrder) {
    struct Case {
        const char* layout;
        std::u32string text;
        std::u32string missing;
    };
    const Case cases[] = {
        {"us", U"Hello, World!\n", U""},
        {"fr", U"été à 1", U""},                           // é and à are keys on AZERTY, 1 is shifted
        {"fr", U"Grüße, Zoë! café 世界 ☃ 😀", U"üë世界☃😀"}, // ß is AltGr+S
        {"us", U"café café", U"é"},
        {"de", U"Grüße", U""},
    };
    for (const auto& c : cases) {
        const auto keys = layoutKeys(c.layout);
        ASSERT_TRUE(keys) << c.layout;
        EXPECT_EQ(gnome::codePointNames(gnome::missingFromLayout(gnome::gnomeText(c.text), *keys)),
                  gnome::codePointNames(c.missing))
            << c.layout;
    }
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

// Without the extension nothing waits: every input is logged as
// not done and the snippet menu chooses nothing.
TEST(GnomeWithoutExtensionTest, InputIsLoggedAndTheSnippetMenuChoosesNothing) {
    PrivateBus session(PrivateBus::Kind::session);
    setenv("DBUS_SESSION_BUS_ADDRESS", session.address().c_str(), 1);
    // The layout from the schemas' defaults: a settings store on this bus
    // would end the test when the bus ends, as it ends a helper.
    setenv("GSETTINGS_BACKEND", "memory", 1);
    LogCapture capture;
    {
        gnome::GnomePlatformServices services("");
        services.sendKeystroke(0, 'A', true, false);
        services.sendKeystroke(0, 0x2B, true, false); // Execute: no key on the US layout
        services.sendMouseButton(1, true);
        services.typeText("Grüße");
        services.typeText(std::string(65537, 'a'));
        services.typeText("\xff");
        EXPECT_EQ(services.showSnippetMenu({"a", "b"}, {"", ""}), "");
    }
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    unsetenv("GSETTINGS_BACKEND");
    const auto texts = capture.texts();
    const auto count = [&](const std::string& part) {
        return std::count_if(texts.begin(), texts.end(),
                             [&](const auto& text) { return text.find(part) != std::string::npos; });
    };
    for (const char* call : {"sendKeystroke", "sendMouseButton", "typeText"}) {
        EXPECT_EQ(count(std::string("GnomePlatformServices::") + call +
                        " - GNOME Shell's bridge extension does not answer"),
                  1)
            << ::testing::PrintToString(texts);
    }
    EXPECT_EQ(count("no key for virtual key 0x2b in the layout us"), 1);
    EXPECT_EQ(count("text goes as keys of the current layout only"), 1);
    EXPECT_EQ(count("the text is longer than 65536 bytes, nothing typed"), 1);
    EXPECT_EQ(count("the text is not valid UTF-8, nothing typed"), 1);
    EXPECT_EQ(
        count("GnomePlatformServices::showSnippetMenu - GNOME Shell's bridge extension does not answer"), 1);
}

// A program that took the bridge's name while GNOME Shell is away (as during
// the lock screen) is told nothing and not believed.
TEST(GnomeWithoutExtensionTest, AProgramHoldingTheBridgesNameIsToldNothingAndNotBelieved) {
    PrivateBus session(PrivateBus::Kind::session);
    setenv("DBUS_SESSION_BUS_ADDRESS", session.address().c_str(), 1);
    setenv("GSETTINGS_BACKEND", "memory", 1);
    sd_bus* squatter = session.bus();
    ASSERT_GE(sd_bus_request_name(squatter, gnome::bridgeBusName, 0), 0);
    int received = 0;
    sd_bus_slot* filter = nullptr;
    sd_bus_add_filter(
        squatter, &filter,
        [](sd_bus_message* message, void* count, sd_bus_error*) {
            const char* path = sd_bus_message_get_path(message);
            *static_cast<int*>(count) += path && std::string(path) == gnome::bridgeObjectPath;
            return 0;
        },
        &received);
    {
        const auto watch = std::make_shared<gnome::ShellFocusWatch>();
        gnome::GnomeDesktopQueries desktop(watch, {"/proc", ""});
        gnome::GnomePlatformServices services("");
        services.typeText("a secret snippet that the layout cannot type: ☃");
        services.runSystemAction("closeWindow", nullptr);
        desktop.pressedModifiers();
        for (int signal = 0; signal < 10; ++signal) {
            sd_bus_emit_signal(squatter, gnome::bridgeObjectPath, gnome::bridgeInterface, "FocusChanged",
                               "ust", static_cast<std::uint32_t>(getpid()), "org.example.Squatter",
                               std::uint64_t{7});
            sd_bus_flush(squatter);
            EXPECT_FALSE(watch->waitFor([](const auto& focus) { return focus.has_value(); },
                                        std::chrono::milliseconds(100)));
        }
    }
    while (sd_bus_process(squatter, nullptr) > 0) {
    }
    sd_bus_slot_unref(filter);
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    unsetenv("GSETTINGS_BACKEND");
    EXPECT_EQ(received, 0);
}

} // namespace
} // namespace obx::test
