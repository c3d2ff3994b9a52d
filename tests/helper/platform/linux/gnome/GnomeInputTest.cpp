// Input of the GNOME bridge against one headless GNOME Shell with our
// extension, shared by the tests (each start costs seconds): keystrokes on the
// user's layout, exact text by input method and by paste, a double click, the
// snippet menu. Clients of ours report what they receive.

#include "GnomeShellSession.h"
#include "HelperProcess.h"
#include "RemoteDesktopSession.h"
#include "ReportedClicks.h"
#include "SwayCompositor.h"
#include "base/LogCapture.h"
#include "platform/linux/gnome/GnomePlatformServices.h"
#include "platform/linux/gnome/ShellBridgeBus.h"
#include "platform/linux/gnome/ShellFocusWatch.h"
#include "platform/linux/x11/VirtualKeys.h"

#include <csignal>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

namespace obx::test {
namespace {

namespace fs = std::filesystem;

constexpr std::uint16_t virtualKeyA = 'A';
constexpr std::uint16_t virtualKeyC = 'C';
constexpr std::uint16_t virtualKeyV = 'V';
constexpr std::uint16_t virtualKeyShift = 0x10;
constexpr std::uint16_t virtualKeyDown = 0x28;
constexpr std::uint16_t virtualKeyReturn = 0x0D;
constexpr std::uint16_t virtualKeyEscape = 0x1B;
const std::string snippet = "Grüße, Zoë! café 世界 ☃ 😀";

class GnomeInputTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        shell = new GnomeShellSession(true);
        shell->enter();
    }
    static void TearDownTestSuite() {
        // The services read the layout through GSettings, whose bus
        // connection raises SIGTERM when the session bus ends, as a helper
        // stops with its session; the test outlives its session.
        std::signal(SIGTERM, SIG_IGN);
        delete shell;
        shell = nullptr;
    }

    GnomeInputTest() : watch(std::make_shared<gnome::ShellFocusWatch>()) {}

    // Starts a client whose report goes to a file of its own and waits until its
    // window has the focus; the last client has left by then, so the Shell
    // gives the new one the focus.
    std::unique_ptr<SpawnedProcess> startClient(std::vector<std::string> command, const std::string& appId) {
        static int clients = 0;
        report = shell->programFolder() / (appId + "-" + std::to_string(++clients) + ".log");
        auto client = shell->startClient(command, report);
        EXPECT_TRUE(watch->waitFor([&](const auto& focus) { return focus && focus->appId == appId; }, kWait))
            << appId;
        return client;
    }

    std::unique_ptr<SpawnedProcess> startProbe() {
        return startClient({probeCopy(shell->programFolder(), "probe-report").string(), "org.example.Report",
                            "--report-input"},
                           "org.example.Report");
    }

    // The GTK text field; without text input it takes keys and pastes only.
    std::unique_ptr<SpawnedProcess> startTextField(bool textInput) {
        const std::string appId = textInput ? "org.example.Field" : "org.example.PlainField";
        return startClient({"env", "GDK_BACKEND=wayland",
                            textInput ? "GTK_IM_MODULE=wayland" : "GTK_IM_MODULE=gtk-im-context-simple",
                            "/usr/bin/python3", OBX_TEXT_FIELD, appId},
                           appId);
    }

    std::vector<std::string> reported(const std::string& prefix, std::size_t from = 0) const {
        std::ifstream input(report);
        std::vector<std::string> lines;
        std::size_t index = 0;
        for (std::string line; std::getline(input, line); ++index) {
            if (index >= from && line.starts_with(prefix)) {
                lines.push_back(line);
            }
        }
        return lines;
    }

    std::size_t reportSize() const { return reported("").size(); }

    bool waitForLine(const std::string& line, std::size_t from = 0) const {
        return waitUntil([&] {
            const auto lines = reported(line, from);
            return std::find(lines.begin(), lines.end(), line) != lines.end();
        });
    }

    // The text field's text after its last change.
    std::string fieldText() const {
        const auto lines = reported("text ");
        return lines.empty() ? std::string() : lines.back().substr(5);
    }

    // Whether the snippet menu came up and was laid out on the screen.
    static bool menuShown() {
        return waitUntil([] {
            const auto menu = shell->snippetMenu();
            return menu.open && menu.width > 0;
        });
    }

    void press(std::uint16_t modifiers, std::uint16_t key) {
        services.sendKeystroke(modifiers, key, true, false);
        services.sendKeystroke(modifiers, key, false, false);
    }

    // A headless Shell's seat has a keyboard only once the extension's virtual
    // keyboard exists, and a client learns of it as it appears: a Shift tap
    // that the client reports shows that it listens.
    void keyboardReady() {
        const auto start = reportSize();
        ASSERT_TRUE(waitUntil([&] {
            press(0, virtualKeyShift);
            return waitUntil([&] { return !reported("key Shift", start).empty(); },
                             std::chrono::milliseconds(500));
        })) << report;
    }

    static GnomeShellSession* shell;
    std::shared_ptr<gnome::ShellFocusWatch> watch;
    gnome::GnomePlatformServices services{""};
    fs::path report;
};

GnomeShellSession* GnomeInputTest::shell = nullptr;

// Under AZERTY the key that gives "a" is where US has Q: the client reads
// "a" with Control, so it selects all.
TEST_F(GnomeInputTest, CtrlAReachesTheFocusedClientWithCtrlHeldUnderUsAndAzerty) {
    shell->setLayout("us");
    auto client = startProbe();
    keyboardReady();
    for (const auto& [layout, keymapLine] :
         {std::pair{"us", "keymap English (US)"}, {"fr", "keymap French"}}) {
        shell->setLayout(layout);
        ASSERT_TRUE(waitForLine(keymapLine)) << layout;
        const auto start = reportSize();
        press(x11::modifierCtrl, virtualKeyA);
        ASSERT_TRUE(waitForLine("key Control_L up mods=Control text=", start)) << layout;
        const std::vector<std::string> expected{
            "key Control_L down mods= text=", "key a down mods=Control text=", "key a up mods=Control text=",
            "key Control_L up mods=Control text="};
        EXPECT_EQ(reported("key ", start), expected) << layout;
    }
}

// A GTK field takes text input: the snippet is committed whole, every
// character exact, also those the French layout lacks (ü, ß, 世...).
TEST_F(GnomeInputTest, TheSnippetReachesATextFieldExactly) {
    shell->setLayout("fr");
    auto field = startTextField(true);
    keyboardReady();
    services.typeText(snippet);
    EXPECT_TRUE(waitUntil([&] { return fieldText() == snippet; })) << fieldText();
}

// Without text input the snippet is pasted; the clipboard holds the user's
// earlier content again afterwards (Ctrl+V then pastes that).
TEST_F(GnomeInputTest, APastedSnippetArrivesExactlyAndTheClipboardComesBack) {
    shell->setLayout("fr");
    auto field = startTextField(false);
    keyboardReady();
    // On the layout, so typed as keys: E and 1 are shifted on AZERTY.
    const std::string earlier = "Earlier: 1!";
    services.typeText(earlier);
    ASSERT_TRUE(waitUntil([&] { return fieldText() == earlier; })) << fieldText();
    press(x11::modifierCtrl, virtualKeyA);
    press(x11::modifierCtrl, virtualKeyC);
    press(x11::modifierCtrl, virtualKeyA);
    services.typeText(snippet);
    ASSERT_TRUE(waitUntil([&] { return fieldText() == snippet; })) << fieldText();
    EXPECT_TRUE(waitUntil([&] {
        press(x11::modifierCtrl, virtualKeyA);
        press(x11::modifierCtrl, virtualKeyV);
        return waitUntil([&] { return fieldText() == earlier; }, std::chrono::milliseconds(300));
    })) << fieldText();

    // A long text is pasted too, although the layout has every character:
    // as keys, a burst would outrun a slow client, which the compositor
    // then cuts off.
    std::string longText;
    for (int index = 0; index < 1000; ++index) {
        longText += static_cast<char>('a' + index % 26);
    }
    press(x11::modifierCtrl, virtualKeyA);
    services.typeText(longText);
    EXPECT_TRUE(waitUntil([&] { return fieldText() == longText; })) << fieldText().size();
}

class PointerPlacement {
public:
    explicit PointerPlacement(const GnomeShellSession& shell) : shell_(shell) {}

    // Moves the pointer to the point of the screen.
    void moveTo(int x, int y) {
        const auto now = shell_.snippetMenu();
        pointer_.pointerMotion(x - now.pointerX, y - now.pointerY);
    }

private:
    const GnomeShellSession& shell_;
    RemoteDesktopSession pointer_{std::chrono::milliseconds(2000)};
};

// The Shell places the first window at the top left of the work area, below
// the top bar; the probe's window is 200 by 200.
TEST_F(GnomeInputTest, ADoubleClickReachesTheClientUnderThePointerWithItsTiming) {
    auto client = startProbe();
    PointerPlacement pointer(*shell);
    int step = 0;
    ASSERT_TRUE(waitUntil([&] {
        pointer.moveTo(100 + ++step % 2, 120);
        return !reported("pointer enter").empty();
    })) << report;
    constexpr auto gap = std::chrono::milliseconds(60);
    for (int click = 0; click < 2; ++click) {
        services.sendMouseButton(1, true);
        services.sendMouseButton(1, false);
        if (click == 0) {
            std::this_thread::sleep_for(gap);
        }
    }
    ASSERT_TRUE(waitUntil([&] { return reported("button ").size() >= 4; })) << report;
    const auto buttons = reported("button ");
    ASSERT_EQ(buttons.size(), 4u);
    const auto times = leftClickTimes(buttons);
    EXPECT_GE(times[2] - times[1], gap.count());
    EXPECT_LT(times[3] - times[0], 1000);
}

// The menu opens at the pointer with the snippets' captions; Down, Down,
// Enter choose the second, which is typed into the focused field. Escape
// dismisses it with nothing chosen.
TEST_F(GnomeInputTest, TheSnippetMenuOpensAtThePointerAndItsChoiceIsTyped) {
    shell->setLayout("us");
    auto field = startTextField(true);
    keyboardReady();
    PointerPlacement(*shell).moveTo(600, 300);
    const std::vector<std::string> contents{"", "first ☃", "Zoë 世界"};
    const std::vector<std::string> labels{"", "", "Second"};
    auto chosen = std::async(std::launch::async, [&] { return services.showSnippetMenu(contents, labels); });
    ASSERT_TRUE(menuShown());
    const auto menu = shell->snippetMenu();
    EXPECT_EQ(menu.captions, (std::vector<std::string>{"first ☃", "Second"}));
    EXPECT_EQ(menu.pointerX, 600);
    EXPECT_EQ(menu.pointerY, 300);
    EXPECT_LE(menu.x, 600);
    EXPECT_GT(menu.x + menu.width, 600);
    EXPECT_GE(menu.y, 300);
    EXPECT_LT(menu.y, 300 + 32);

    gnome::GnomePlatformServices user("");
    for (const auto key : {virtualKeyDown, virtualKeyDown, virtualKeyReturn}) {
        user.sendKeystroke(0, key, true, false);
        user.sendKeystroke(0, key, false, false);
    }
    ASSERT_EQ(chosen.wait_for(kWait), std::future_status::ready);
    const auto content = chosen.get();
    EXPECT_EQ(content, "Zoë 世界");
    services.typeText(content);
    EXPECT_TRUE(waitUntil([&] { return fieldText() == "Zoë 世界"; })) << fieldText();

    auto dismissed =
        std::async(std::launch::async, [&] { return services.showSnippetMenu(contents, labels); });
    ASSERT_TRUE(menuShown());
    user.sendKeystroke(0, virtualKeyEscape, true, false);
    user.sendKeystroke(0, virtualKeyEscape, false, false);
    ASSERT_EQ(dismissed.wait_for(kWait), std::future_status::ready);
    EXPECT_EQ(dismissed.get(), "");
}

// Texts and captions come from any client of the session bus: the extension
// takes them up to its bounds only.
TEST_F(GnomeInputTest, TheExtensionRefusesTextsAndMenusBeyondItsBounds) {
    shell->setLayout("us");
    auto field = startTextField(true);
    keyboardReady();
    gnome::ShellBridgeCalls calls(std::chrono::milliseconds(2000));
    EXPECT_FALSE(calls.commitText(std::string(499, 'a') + "😀")); // 501 UTF-16 units
    EXPECT_FALSE(calls.offerClipboardText(std::string(65537, 'a')));
    EXPECT_FALSE(calls.commitText(""));
    const std::string longest(256, 'c');
    EXPECT_THROW(calls.showSnippetMenu("Quellane", std::vector<std::string>(33, "c")), std::runtime_error);
    EXPECT_THROW(calls.showSnippetMenu("Quellane", {longest + "c"}), std::runtime_error);
    EXPECT_THROW(calls.showSnippetMenu(longest + "t", {"c"}), std::runtime_error);
    EXPECT_FALSE(shell->snippetMenu().open);
    // At the bounds: a text of 500 UTF-16 units is committed, a menu of 32
    // entries opens.
    const std::string longText = std::string(498, 'a') + "😀";
    EXPECT_TRUE(calls.commitText(longText));
    auto menu = std::async(std::launch::async, [&] {
        return calls.showSnippetMenu("Quellane", std::vector<std::string>(32, longest));
    });
    ASSERT_TRUE(menuShown());
    EXPECT_EQ(shell->snippetMenu().captions.size(), 32u);
    press(0, virtualKeyEscape);
    ASSERT_EQ(menu.wait_for(kWait), std::future_status::ready);
    EXPECT_EQ(menu.get(), -1);
    EXPECT_TRUE(waitUntil([&] { return fieldText() == longText; })) << fieldText().size();
}

// The bridge types and closes for the helper alone: another program of the
// user's session is refused every method, and the focus is not told to it.
TEST_F(GnomeInputTest, AnotherProgramIsRefusedEveryMethodAndToldNoFocus) {
    shell->setLayout("us");
    auto field = startTextField(true);
    keyboardReady();
    auto listener = shell->startClient({"gdbus", "monitor", "--session", "--dest", gnome::bridgeBusName},
                                       shell->programFolder() / "listener.log");
    const std::vector<std::vector<std::string>> calls{{"GetFocus"},
                                                      {"RunWindowCommand", "closeWindow"},
                                                      {"GetModifiers"},
                                                      {"CommitText", "stranger"},
                                                      {"OfferClipboardText", "stranger"},
                                                      {"ShowSnippetMenu", "title", "['entry']"}};
    for (const auto& call : calls) {
        std::vector<std::string> command{"gdbus",
                                         "call",
                                         "--session",
                                         "--timeout",
                                         "5",
                                         "--dest",
                                         gnome::bridgeBusName,
                                         "--object-path",
                                         gnome::bridgeObjectPath,
                                         "--method",
                                         std::string(gnome::bridgeInterface) + "." + call.front()};
        command.insert(command.end(), call.begin() + 1, call.end());
        EXPECT_NE(shell->output(command).find("org.freedesktop.DBus.Error.AccessDenied"), std::string::npos)
            << call.front();
    }
    EXPECT_FALSE(shell->snippetMenu().open);
    // The field is still there and empty, and the helper is still answered.
    services.typeText("helper");
    EXPECT_TRUE(waitUntil([&] { return fieldText() == "helper"; })) << fieldText();
    EXPECT_TRUE(field->running());

    auto probe = startProbe();
    field.reset();
    ASSERT_TRUE(watch->waitFor(
        [](const auto& focus) { return focus && focus->appId == "org.example.Report"; }, kWait));
    listener->signal(SIGTERM);
    listener->waitExit(kWait);
    std::ifstream heard(shell->programFolder() / "listener.log");
    const std::string told{std::istreambuf_iterator<char>(heard), {}};
    EXPECT_EQ(told.find("FocusChanged"), std::string::npos) << told;
}

// The helper's input makes no remote desktop session, so the Shell shows no
// screen-sharing indicator; a session of the test's own shows it.
TEST_F(GnomeInputTest, InputSharesNoScreenAndShowsNoIndicator) {
    shell->setLayout("us");
    auto client = startProbe();
    keyboardReady();
    {
        RemoteDesktopSession sharing{std::chrono::milliseconds(2000)};
        sharing.pointerMotion(1, 0);
        ASSERT_TRUE(shell->remoteDesktopSessionExists());
        ASSERT_TRUE(waitUntil([] { return shell->screenSharingShown(); }));
    }
    // The Shell shows the indicator for 5 s at least.
    ASSERT_TRUE(waitUntil([] { return !shell->screenSharingShown() && !shell->remoteDesktopSessionExists(); },
                          std::chrono::seconds(10)));
    const auto start = reportSize();
    press(x11::modifierCtrl, virtualKeyA);
    ASSERT_TRUE(waitForLine("key a up mods=Control text=", start));
    services.sendMouseButton(1, true);
    services.sendMouseButton(1, false);
    EXPECT_FALSE(shell->remoteDesktopSessionExists());
    EXPECT_FALSE(shell->screenSharingShown());
    std::this_thread::sleep_for(std::chrono::seconds(5));
    EXPECT_FALSE(shell->remoteDesktopSessionExists());
    EXPECT_FALSE(shell->screenSharingShown());
}

// On its lock screen the Shell runs no extension of the user's, so nothing the
// helper types reaches its password field; after it the bridge is found again.
TEST_F(GnomeInputTest, NothingIsTypedWhileTheScreenIsLockedAndTheBridgeComesBackAfter) {
    shell->setLayout("us");
    auto field = startTextField(true);
    keyboardReady();
    const auto screenSaver = [&](const char* active) {
        return shell->output({"gdbus", "call", "--session", "--dest", "org.gnome.ScreenSaver",
                              "--object-path", "/org/gnome/ScreenSaver", "--method",
                              "org.gnome.ScreenSaver.SetActive", active});
    };
    ASSERT_EQ(screenSaver("true"), "()\n");
    ASSERT_TRUE(watch->waitFor([](const auto& focus) { return !focus; }, kWait));
    {
        // All input goes through the extension: none leaves the helper.
        LogCapture capture;
        services.typeText("typed while locked");
        press(0, 'Q');
        const auto texts = capture.texts();
        for (const char* call : {"typeText", "sendKeystroke"}) {
            EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [&](const auto& text) {
                return text == std::string("GnomePlatformServices::") + call +
                                   " - GNOME Shell's bridge extension does not answer";
            })) << testing::PrintToString(texts);
        }
    }
    ASSERT_EQ(screenSaver("false"), "()\n");
    ASSERT_TRUE(watch->waitFor([](const auto& focus) { return focus && focus->appId == "org.example.Field"; },
                               kWait));
    // The extension's keyboard is a new one, which the client learns of.
    keyboardReady();
    services.typeText("after");
    EXPECT_TRUE(waitUntil([&] { return fieldText() == "after"; })) << fieldText();
}

// The helper waits for the menu's answer; a Shell that ends answers nothing,
// and the wait ends at once. Input goes on through the next Shell.
TEST_F(GnomeInputTest, AShellThatGoesAwayEndsTheMenuWithNothingChosen) {
    auto chosen = std::async(std::launch::async, [&] { return services.showSnippetMenu({"first"}, {""}); });
    ASSERT_TRUE(menuShown());
    shell->restart();
    ASSERT_EQ(chosen.wait_for(std::chrono::seconds(1)), std::future_status::ready);
    EXPECT_EQ(chosen.get(), "");

    shell->setLayout("us");
    auto client = startProbe();
    keyboardReady();
    const auto start = reportSize();
    press(x11::modifierCtrl, virtualKeyA);
    EXPECT_TRUE(waitForLine("key a down mods=Control text=", start)) << testing::PrintToString(reported(""));
}

} // namespace
} // namespace obx::test
