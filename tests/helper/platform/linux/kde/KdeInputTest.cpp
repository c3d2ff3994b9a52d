// Input of the KDE bridge against a headless KWin: keystrokes on the user's
// layout, a snippet pasted exactly with the clipboard given back, a double
// click, and the refusal of an unauthorised program. The services run in a
// program of their own, which KWin authorises by the package's desktop file;
// a client of ours reports what it receives.

#include <gtest/gtest.h>
// Xlib after gtest: its None macro would hide a type of gtest of that name.
#include "HelperProcess.h"
#include "KWinCompositor.h"
#include "KWinUserInput.h"
#include "ReportedClicks.h"
#include "SwayCompositor.h"
#include "platform/linux/kde/KWinActiveWindow.h"
#include "platform/linux/kde/KWinBus.h"

#include <fstream>
#include <linux/input-event-codes.h>
#include <sstream>

namespace obx::test {
namespace {

namespace fs = std::filesystem;

struct Layout {
    const char* name;
    const char* keymapLine; // as the client names the layout
};

void PrintTo(const Layout& layout, std::ostream* out) {
    *out << layout.name;
}

std::vector<std::string> lines(const fs::path& file) {
    std::ifstream input(file);
    std::vector<std::string> all;
    for (std::string line; std::getline(input, line);) {
        all.push_back(line);
    }
    return all;
}

// The file's lines that start with the prefix.
std::vector<std::string> linesWith(const fs::path& file, const std::string& prefix) {
    std::vector<std::string> found;
    for (const auto& line : lines(file)) {
        if (line.starts_with(prefix)) {
            found.push_back(line);
        }
    }
    return found;
}

// The text of every key press in the file; modifier keys give none.
std::string typedText(const fs::path& file) {
    std::string text;
    for (const auto& line : linesWith(file, "key ")) {
        if (line.find(" down ") != std::string::npos) {
            text += line.substr(line.find("text=") + 5);
        }
    }
    return text;
}

bool waitForLine(const fs::path& file, const std::string& line) {
    return waitUntil([&] {
        const auto found = linesWith(file, line);
        return std::find(found.begin(), found.end(), line) != found.end();
    });
}

class KdeInputTest : public ::testing::Test {
protected:
    explicit KdeInputTest(const std::string& layout = "fr")
        : kwin(KWinSetup{layout, OBX_KDE_INPUT_CLIENT_PATH}) {
        const auto entry = kwin.busEnvironment();
        setenv("DBUS_SESSION_BUS_ADDRESS", entry.substr(entry.find('=') + 1).c_str(), 1);
        windows = std::make_unique<kde::KWinActiveWindow>(kde::kwinScriptFolder());
    }
    ~KdeInputTest() override {
        windows.reset();
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }

    // A reporting client, started and made the active window.
    // keyPause: milliseconds the client sleeps after each key press.
    std::unique_ptr<SpawnedProcess> startReporter(const std::string& appId, const fs::path& output,
                                                  const std::string& keyPause = "0") {
        auto client = kwin.start(
            {probeCopy(kwin.programFolder(), "probe-" + appId).string(), appId, "--report-input", keyPause},
            output);
        EXPECT_TRUE(waitUntil([&] { return windows->active().resourceClass == appId; })) << appId;
        return client;
    }

    // The services' program running the steps; it is done when it says so
    // and goes on serving the clipboard until the test ends.
    std::unique_ptr<SpawnedProcess> runInput(std::vector<std::string> steps, const fs::path& output) {
        steps.insert(steps.begin(),
                     (kwin.programFolder() / fs::path(OBX_KDE_INPUT_CLIENT_PATH).filename()).string());
        auto client = kwin.start(std::move(steps), output);
        EXPECT_TRUE(waitForLine(output, "done")) << readFile(output);
        return client;
    }

    // The clipboard's text as wl-paste reads it; "(none)" when it fails.
    std::string clipboard() {
        // A file each: the output files are appended to.
        const auto pasted = kwin.programFolder() / ("paste-" + std::to_string(++pastes) + ".log");
        auto paste = kwin.start({"wl-paste", "--no-newline"}, pasted);
        return paste->waitExit(kWait) == 0 ? readFile(pasted) : std::string("(none)");
    }

    KWinCompositor kwin;
    std::unique_ptr<kde::KWinActiveWindow> windows;
    int pastes = 0;
    fs::path report = kwin.programFolder() / "report.log";
    fs::path input = kwin.programFolder() / "input.log";
};

class KdeKeystrokeTest : public KdeInputTest, public ::testing::WithParamInterface<Layout> {
protected:
    KdeKeystrokeTest() : KdeInputTest(GetParam().name) {}
};

TEST_P(KdeKeystrokeTest, CtrlAReachesTheFocusedClientWithCtrlHeld) {
    auto client = startReporter("org.example.Report", report);
    auto keys = runInput({"keystroke", "4", "41"}, input);
    ASSERT_TRUE(waitForLine(report, "key Control_L up mods=Control text=")) << readFile(report);
    EXPECT_EQ(linesWith(report, "keymap ").back(), GetParam().keymapLine);
    const std::vector<std::string> expected{
        "key Control_L down mods= text=", "key a down mods=Control text=", "key a up mods=Control text=",
        "key Control_L up mods=Control text="};
    EXPECT_EQ(linesWith(report, "key "), expected);
}

INSTANTIATE_TEST_SUITE_P(Layouts, KdeKeystrokeTest,
                         ::testing::Values(Layout{"us", "keymap English (US)"},
                                           Layout{"fr", "keymap French"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(KdeInputTest, TheLayoutsTextAndArrowKeyScrollingAreKeys) {
    auto client = startReporter("org.example.Report", report);
    auto keys = runInput({"type", "Azerty é@", "scroll", "2", "3"}, input);
    auto typed = [&] { return typedText(report); };
    // Shift and AltGr are keys of their own and give no text.
    EXPECT_TRUE(waitUntil([&] { return typed() == "Azerty é@"; })) << readFile(report);
    EXPECT_EQ(linesWith(report, "key Shift_L down").size(), 1u);
    EXPECT_EQ(linesWith(report, "key ISO_Level3_Shift down").size(), 1u);
    EXPECT_TRUE(waitUntil([&] { return linesWith(report, "key Down up mods= text=").size() == 3; }))
        << readFile(report);
    EXPECT_EQ(linesWith(report, "key Down down mods= text=").size(), 3u);
    EXPECT_TRUE(linesWith(report, "paste").empty());
}

TEST_F(KdeInputTest, ALongTextOfTheLayoutReachesAClientThatReadsSlowlyWhole) {
    // About 4,000 characters, a third of them with Shift or AltGr; the client
    // reads 1,000 keys a second, so unpaced they would pile up beyond what
    // KWin holds for it and KWin would cut the client off.
    std::string text;
    for (int copy = 0; copy < 400; ++copy) {
        text += "Azerty é@ ";
    }
    auto client = startReporter("org.example.Slow", report, "1");
    auto keys = runInput({"type", text}, input);
    std::string typed;
    waitUntil(
        [&] {
            typed = typedText(report);
            return typed == text || !client->running();
        },
        std::chrono::seconds(30));
    EXPECT_TRUE(client->running());
    EXPECT_EQ(typed.size(), text.size());
    EXPECT_TRUE(typed == text);
}

TEST_F(KdeInputTest, TheSnippetIsPastedExactlyAndTheClipboardComesBack) {
    const std::string snippet = "Grüße, Zoë! café 世界 ☃ 😀";
    auto client = startReporter("org.example.Report", report);
    // The user's clipboard, served by wl-copy until someone takes it.
    auto copy = kwin.start({"wl-copy", "earlier clipboard"}, kwin.programFolder() / "copy.log");
    ASSERT_TRUE(waitUntil([&] { return clipboard() == "earlier clipboard"; }));

    auto keys = runInput({"type", snippet}, input);
    ASSERT_TRUE(waitForLine(report, "paste " + snippet)) << readFile(report) << readFile(input);
    const auto types = linesWith(report, "paste-types ");
    ASSERT_EQ(types.size(), 1u);
    // Offered as text, and marked so that Klipper keeps it out of its history.
    EXPECT_NE(types[0].find("text/plain;charset=utf-8"), std::string::npos) << types[0];
    EXPECT_NE(types[0].find("x-kde-passwordManagerHint"), std::string::npos) << types[0];
    EXPECT_EQ(linesWith(report, "key v down mods=Control").size(), 1u) << readFile(report);

    // The earlier content is back, served by the helper's side.
    EXPECT_EQ(clipboard(), "earlier clipboard");
}

TEST_F(KdeInputTest, AClipboardBeyondTheBoundStaysAndWhatTheLayoutLacksIsLeftOut) {
    auto client = startReporter("org.example.Report", report);
    const auto large = kwin.programFolder() / "large.txt";
    const std::string content((4 << 20) + 1, 'x');
    writeFile(large, content);
    auto copy = kwin.start({"sh", "-c", "wl-copy < " + large.string()}, kwin.programFolder() / "copy.log");
    ASSERT_TRUE(waitUntil([&] { return clipboard() == content; })) << "wl-copy did not take the clipboard";

    auto keys = runInput({"type", "a☃"}, input);
    ASSERT_TRUE(waitForLine(report, "key a up mods= text=")) << readFile(report) << readFile(input);
    const auto log = readFile(input);
    EXPECT_NE(log.find("the clipboard cannot be kept for a paste"), std::string::npos) << log;
    EXPECT_NE(log.find("the clipboard cannot take them, left out: U+2603"), std::string::npos) << log;
    EXPECT_TRUE(linesWith(report, "paste").empty()) << readFile(report);
    // Compared by size and content, not printed: 4 MiB.
    const auto after = clipboard();
    EXPECT_EQ(after.size(), content.size());
    EXPECT_TRUE(after == content) << after.substr(0, 64);
}

TEST_F(KdeInputTest, TheSnippetMenusChosenEntryIsTypedIntoTheFocusedClient) {
    auto client = startReporter("org.example.Report", report);
    KWinUserInput user(kwin);
    // The menu says where it opened in the log, among the debug records.
    const auto logs = kwin.programFolder() / "logs";
    fs::create_directories(logs);
    fs::permissions(logs, fs::perms::all);
    auto menu = kwin.start({(kwin.programFolder() / fs::path(OBX_KDE_INPUT_CLIENT_PATH).filename()).string(),
                            "--log", logs.string(), "snippet-menu", "first", "Grüße ☃"},
                           input);
    ASSERT_TRUE(waitUntil([&] {
        return readFile(logs / "obxhelper_00.log").find("LayerMenu - open at") != std::string::npos;
    })) << readFile(input);
    user.tap(KEY_DOWN);
    user.tap(KEY_DOWN);
    user.tap(KEY_ENTER);
    ASSERT_TRUE(waitForLine(input, "done")) << readFile(logs / "obxhelper_00.log");
    EXPECT_TRUE(waitForLine(report, "paste Grüße ☃"))
        << readFile(report) << readFile(logs / "obxhelper_00.log");
}

TEST_F(KdeInputTest, ADoubleClickReachesTheClientUnderThePointer) {
    const auto other = kwin.programFolder() / "other.log";
    auto left = startReporter("org.example.Other", other);
    auto right = startReporter("org.example.Report", report);
    // The seat has a pointer once a fake input device exists; a first
    // program of ours keeps one, as the user's mouse would.
    auto mouse = runInput({"type", ""}, kwin.programFolder() / "mouse.log");
    // The reporter under the pointer, the other window away from it.
    kwin.runScript("test-place",
                   "var windows = workspace.windowList ? workspace.windowList() : workspace.clientList();\n"
                   "var at = workspace.cursorPos;\n"
                   "for (var i = 0; i < windows.length; ++i) {\n"
                   "    var w = windows[i];\n"
                   "    if (w.resourceClass == 'org.example.Report')\n"
                   "        w.frameGeometry = {x: at.x - 150, y: at.y - 150, width: 300, height: 300};\n"
                   "    else if (w.resourceClass == 'org.example.Other')\n"
                   "        w.frameGeometry = {x: at.x > 512 ? 0 : 800, y: at.y > 384 ? 0 : 600,\n"
                   "                           width: 100, height: 100};\n"
                   "}\n");
    ASSERT_TRUE(waitForLine(report, "configure 300 300")) << readFile(report);
    ASSERT_TRUE(waitForLine(other, "configure 100 100")) << readFile(other);
    auto clicks = runInput({"double-click", "100"}, input);
    ASSERT_TRUE(waitUntil([&] { return linesWith(report, "button ").size() >= 4; })) << readFile(report);
    const auto buttons = linesWith(report, "button ");
    ASSERT_EQ(buttons.size(), 4u);
    const auto times = leftClickTimes(buttons);
    // Fake input carries no time stamps: KWin stamps each event as it takes
    // it, so the pause shows less any delay in taking the first release.
    EXPECT_GE(times[2] - times[1], 50);
    EXPECT_LT(times[3] - times[0], 1000);
    EXPECT_TRUE(linesWith(other, "button ").empty()) << readFile(other);
}

TEST_F(KdeInputTest, InputGoesOnAfterKWinRestarts) {
    const auto restarted = kwin.programFolder() / "restarted";
    auto first = startReporter("org.example.Report", report);
    auto keys = kwin.start({(kwin.programFolder() / fs::path(OBX_KDE_INPUT_CLIENT_PATH).filename()).string(),
                            "keystroke", "4", "41", "wait-for", restarted.string(), "keystroke", "4", "41"},
                           input);
    ASSERT_TRUE(waitForLine(report, "key a down mods=Control text=")) << readFile(report) << readFile(input);
    first.reset();
    kwin.restart();
    const auto later = kwin.programFolder() / "report-2.log";
    auto second = startReporter("org.example.Report", later);
    writeFile(restarted, "");
    ASSERT_TRUE(waitForLine(input, "done")) << readFile(input);
    ASSERT_TRUE(waitForLine(later, "key Control_L up mods=Control text="))
        << readFile(later) << readFile(input);
    EXPECT_EQ(linesWith(later, "key a down mods=Control").size(), 1u) << readFile(later);
}

TEST_F(KdeInputTest, AProgramKWinDoesNotAuthoriseIsToldWhatIsMissingOnce) {
    // The same program under another name, which no desktop file names.
    const auto stranger = kwin.programFolder() / "obx-stranger";
    fs::copy_file(kwin.programFolder() / fs::path(OBX_KDE_INPUT_CLIENT_PATH).filename(), stranger);
    auto client = startReporter("org.example.Report", report);
    auto refused =
        kwin.start({stranger.string(), "keystroke", "4", "41", "type", "x", "double-click", "0"}, input);
    ASSERT_TRUE(waitForLine(input, "done")) << readFile(input);
    const auto log = readFile(input);
    const std::string refusal =
        "This desktop cannot make keystrokes, text and clicks: KWin offers its fake input";
    EXPECT_NE(log.find(refusal), std::string::npos) << log;
    EXPECT_EQ(log.find(refusal), log.rfind(refusal)) << log;
    EXPECT_NE(log.find("X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input"), std::string::npos) << log;
    EXPECT_TRUE(linesWith(report, "key ").empty()) << readFile(report);
}

} // namespace
} // namespace obx::test
