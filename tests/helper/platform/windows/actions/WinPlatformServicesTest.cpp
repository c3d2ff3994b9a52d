// The platform services' exact system calls, recorded through the seam: the
// INPUT records of every SendInput call, the SystemParametersInfoW reads and
// writes, the window commands and the snippet menu.

#include "platform/windows/actions/WinPlatformServices.h"

#include "RecordingWin32Calls.h"
#include "base/LogCapture.h"

#include <gtest/gtest.h>
#include <ostream>
#include <set>

namespace obx::windows {
namespace {

using test::RecordingWin32Calls;
using test::SpiWrite;

// A keyboard or mouse record as the fields that matter.
struct Record {
    DWORD type;
    WORD key;  // keyboard: virtual key
    WORD scan; // keyboard: scan code or UTF-16 unit
    DWORD flags;
    DWORD time;
    LONG x = 0; // mouse
    LONG y = 0;
    bool operator==(const Record&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Record& r) {
    return out << "{type " << r.type << ", vk 0x" << std::hex << r.key << ", scan 0x" << r.scan
               << ", flags 0x" << r.flags << std::dec << ", time " << r.time << ", at " << r.x << "," << r.y
               << "}";
}

std::vector<Record> records(const std::vector<INPUT>& inputs) {
    std::vector<Record> out;
    for (const auto& input : inputs) {
        if (input.type == INPUT_KEYBOARD) {
            EXPECT_EQ(input.ki.dwExtraInfo, 0u);
            out.push_back({INPUT_KEYBOARD, input.ki.wVk, input.ki.wScan, input.ki.dwFlags, input.ki.time});
        } else {
            EXPECT_EQ(input.mi.mouseData, 0u);
            out.push_back({input.type, 0, 0, input.mi.dwFlags, input.mi.time, input.mi.dx, input.mi.dy});
        }
    }
    return out;
}

// A key record as sendKeystroke makes it.
Record key(WORD virtualKey, DWORD flags) {
    return {INPUT_KEYBOARD, virtualKey, static_cast<WORD>(RecordingWin32Calls::fakeScanCode(virtualKey)),
            flags | KEYEVENTF_SCANCODE, RecordingWin32Calls::fakeTick};
}

Record unicode(WORD unit, bool down) {
    return {INPUT_KEYBOARD, 0, unit, KEYEVENTF_UNICODE | (down ? 0u : KEYEVENTF_KEYUP), 0};
}

const Record enterDown{INPUT_KEYBOARD, VK_RETURN, 0, 0, 0};
const Record enterUp{INPUT_KEYBOARD, VK_RETURN, 0, KEYEVENTF_KEYUP, 0};

class WinPlatformServicesTest : public ::testing::Test {
protected:
    WinPlatformServicesTest() {
        auto recording = std::make_unique<RecordingWin32Calls>();
        calls = recording.get();
        services = std::make_unique<WinPlatformServices>(std::move(recording));
    }

    std::vector<std::vector<Record>> sent() const {
        std::vector<std::vector<Record>> out;
        for (const auto& call : calls->sent) {
            out.push_back(records(call));
        }
        return out;
    }

    RecordingWin32Calls* calls;
    std::unique_ptr<WinPlatformServices> services;
};

TEST_F(WinPlatformServicesTest, AKeystrokeGoesInOneCallModifiersFirstOnPressAndKeyFirstOnRelease) {
    services->sendKeystroke(0x05, 0x43, true, false);
    services->sendKeystroke(0x05, 0x43, false, false);
    const std::vector<std::vector<Record>> expected = {
        {key(VK_SHIFT, 0), key(VK_CONTROL, 0), key(0x43, 0)},
        // The same modifier order on the release, not reversed.
        {key(0x43, KEYEVENTF_KEYUP), key(VK_SHIFT, KEYEVENTF_KEYUP), key(VK_CONTROL, KEYEVENTF_KEYUP)},
    };
    EXPECT_EQ(sent(), expected);
}

TEST_F(WinPlatformServicesTest, ModifierOrderIsFixedAndModifiersOnlyOrNothingSendsNoKey) {
    services->sendKeystroke(0x04, 0, true, true);
    services->sendKeystroke(0x57, 0x41, true, true); // every modifier bit, key left out
    services->sendKeystroke(0, 0, true, false);
    services->sendKeystroke(0, 0, false, true);
    const std::vector<std::vector<Record>> expected = {
        {key(VK_CONTROL, 0)},
        {key(VK_SHIFT, 0), key(VK_CONTROL, 0), key(VK_MENU, 0), key(VK_LWIN, KEYEVENTF_EXTENDEDKEY),
         key(VK_APPS, KEYEVENTF_EXTENDEDKEY)},
    };
    EXPECT_EQ(sent(), expected);
}

TEST_F(WinPlatformServicesTest, ExtendedKeysAreExactlyTheListedOnesAndLineFeedIsKeypadEnter) {
    services->sendKeystroke(0, 0x0A, true, false);
    EXPECT_EQ(sent().back(), std::vector<Record>{key(VK_RETURN, KEYEVENTF_EXTENDEDKEY)});
    // Alt (0x12) is the left one: the right one is AltGr on many layouts.
    const std::set<WORD> extended = {0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x2E, 0x5B, 0x5C,
                                     0x5D, 0x6A, 0x6B, 0x6D, 0x6E, 0x6F, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA,
                                     0xAB, 0xAC, 0xAD, 0xAE, 0xAF, 0xB0, 0xB1, 0xB2, 0xB3};
    for (WORD code = 1; code < 0x100; ++code) {
        if (code == 0x0A) {
            continue;
        }
        services->sendKeystroke(0, code, false, false);
        const auto expectedFlags = KEYEVENTF_KEYUP | (extended.count(code) ? KEYEVENTF_EXTENDEDKEY : 0u);
        EXPECT_EQ(sent().back(), std::vector<Record>{key(code, expectedFlags)})
            << "key 0x" << std::hex << code;
    }
    // Delete is extended, Insert is not.
    EXPECT_TRUE(extended.count(0x2E));
    EXPECT_FALSE(extended.count(0x2D));
}

TEST_F(WinPlatformServicesTest, TypedTextGoesLineByLineWithEnterForEachLineFeed) {
    LogCapture log;
    services->typeText("ab\nc");
    const std::vector<std::vector<Record>> lines = {
        {unicode('a', true), unicode('a', false), unicode('b', true), unicode('b', false)},
        {enterDown, enterUp},
        {unicode('c', true), unicode('c', false)},
    };
    EXPECT_EQ(sent(), lines);
    EXPECT_TRUE(log.contains(LogLevel::debug, "Snippet line: ab"));
    EXPECT_TRUE(log.contains(LogLevel::debug, "Snippet insert LF"));
    EXPECT_TRUE(log.contains(LogLevel::debug, "Snippet line: c"));

    calls->sent.clear();
    services->typeText("\n\n");
    const std::vector<std::vector<Record>> twoEnters = {{enterDown, enterUp}, {enterDown, enterUp}};
    EXPECT_EQ(sent(), twoEnters);
}

TEST_F(WinPlatformServicesTest, ACharacterOutsideTheBasicPlaneIsBothHalvesDownThenBothUp) {
    services->typeText("\xC3\xBC\xF0\x9F\x98\x80\t"); // ü, U+1F600, a tab typed like any character
    const std::vector<std::vector<Record>> expected = {{
        unicode(0xFC, true),
        unicode(0xFC, false),
        unicode(0xD83D, true),
        unicode(0xDE00, true),
        unicode(0xD83D, false),
        unicode(0xDE00, false),
        unicode('\t', true),
        unicode('\t', false),
    }};
    EXPECT_EQ(sent(), expected);
}

TEST_F(WinPlatformServicesTest, MouseButtonsAtTheCursorAndOtherMasksSendNothing) {
    services->sendMouseButton(8, true);
    services->sendMouseButton(0x10, false);
    services->sendMouseButton(3, true);
    EXPECT_TRUE(calls->sent.empty());
    const std::pair<std::uint32_t, std::pair<DWORD, DWORD>> buttons[] = {
        {1, {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP}},
        {2, {MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP}},
        {4, {MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP}},
    };
    for (const auto& [mask, flags] : buttons) {
        services->sendMouseButton(mask, true);
        services->sendMouseButton(mask, false);
        const auto [x, y] = RecordingWin32Calls::fakeCursor;
        const std::vector<std::vector<Record>> expected = {
            {{INPUT_MOUSE, 0, 0, flags.first, RecordingWin32Calls::fakeTick, x, y}},
            {{INPUT_MOUSE, 0, 0, flags.second, RecordingWin32Calls::fakeTick, x, y}},
        };
        auto all = sent();
        EXPECT_EQ(std::vector(all.end() - 2, all.end()), expected) << "mask " << mask;
    }
}

TEST_F(WinPlatformServicesTest, PointerSettingsWriteOnlyWhatDiffersAndNeverPersist) {
    calls->speed = 10;
    calls->mouse = {6, 10, 1};
    calls->wheelLines = 3;
    services->applyPointerSettings(50, 0, 3);
    // Speed 10 and three lines were already set: only the acceleration row.
    EXPECT_EQ(calls->writes, (std::vector<SpiWrite>{{SPI_SETMOUSE, 0, 0, {0, 0, 0}, 0}}));

    calls->writes.clear();
    services->applyPointerSettings(100, 100, 7);
    const std::vector<SpiWrite> full = {
        {SPI_SETMOUSESPEED, 0, 20, {}, 0}, // the value as the pointer argument
        {SPI_SETMOUSE, 0, 0, {4, 64, 4}, 0},
        {SPI_SETWHEELSCROLLLINES, 7, 0, {}, 0},
    };
    EXPECT_EQ(calls->writes, full);

    calls->writes.clear();
    services->applyPointerSettings(0, 100, 7);
    EXPECT_EQ(calls->writes, (std::vector<SpiWrite>{{SPI_SETMOUSESPEED, 0, 1, {}, 0}}));
}

TEST_F(WinPlatformServicesTest, TheAccelerationRowFollowsTheRateInThirds) {
    const std::pair<int, std::array<int, 3>> rates[] = {
        {-5, {0, 0, 0}},   {33, {0, 0, 0}},   {34, {10, 128, 3}}, {66, {10, 128, 3}},
        {67, {10, 64, 3}}, {99, {10, 64, 3}}, {100, {4, 64, 4}},  {250, {4, 64, 4}},
    };
    for (const auto& [rate, row] : rates) {
        calls->mouse = {1, 1, 1};
        services->applyPointerSettings(50, rate, 3);
        EXPECT_EQ(calls->mouse, row) << "rate " << rate;
    }
    // Speeds: a fifth of the scale, truncated, from 1 to 20.
    for (const auto& [speed, value] : {std::pair{9, 1}, {14, 2}, {99, 19}, {150, 20}, {-10, 1}}) {
        services->applyPointerSettings(speed, 0, 3);
        EXPECT_EQ(calls->speed, value) << "speed " << speed;
    }
}

TEST_F(WinPlatformServicesTest, TheSystemQueriesScaleTheSystemValues) {
    calls->speed = 7;
    calls->mouse = {6, 10, 1};
    calls->wheelLines = 5;
    EXPECT_EQ(services->systemPointerSpeed(), 35);
    EXPECT_EQ(services->systemAccelerationRate(), 10);
    EXPECT_EQ(services->systemWheelLines(), 5);
    EXPECT_FALSE(services->systemScrollInvert());
    calls->mouse = {0, 0, 0};
    EXPECT_EQ(services->systemAccelerationRate(), 0);
}

TEST_F(WinPlatformServicesTest, WindowCommandsGoToTheForegroundWindowAndUnknownNamesOnlyLog) {
    LogCapture log;
    // Handles as the fake reads them: odd is visible, /0x100 the process.
    const auto window = [](std::uintptr_t value) { return reinterpret_cast<HWND>(value); };
    calls->foreground = window(0x301);
    calls->windows = {window(0x301), window(0x303), window(0x401), window(0x402), window(0x501)};
    services->runSystemAction("maximizeWindow", {});
    services->runSystemAction("minimizeWindow", {});
    services->runSystemAction("closeWindow", {});
    services->runSystemAction("minimizeAll", {});
    services->runSystemAction("lockWorkstation", {});
    const std::vector<test::PostedMessage> expected = {
        {window(0x301), WM_SYSCOMMAND, SC_MAXIMIZE},
        {window(0x301), WM_SYSCOMMAND, SC_MINIMIZE},
        {window(0x301), WM_SYSCOMMAND, SC_CLOSE},
        // Not the foreground window, nor another of its process, nor a hidden one.
        {window(0x401), WM_SYSCOMMAND, SC_MINIMIZE},
        {window(0x501), WM_SYSCOMMAND, SC_MINIMIZE},
    };
    EXPECT_EQ(calls->posted, expected);
    EXPECT_EQ(calls->locks, 1);
    EXPECT_TRUE(log.records().empty());

    calls->posted.clear();
    services->runSystemAction("MinimizeWindow", {});
    EXPECT_TRUE(calls->posted.empty());
    EXPECT_EQ(log.records(),
              (std::vector<LogRecord>{
                  {LogLevel::error, "Could not found handler for system action 'MinimizeWindow'"}}));

    // Without a foreground window nothing is posted (it would reach this thread's queue).
    calls->foreground = nullptr;
    services->runSystemAction("closeWindow", {});
    EXPECT_TRUE(calls->posted.empty());
}

TEST_F(WinPlatformServicesTest, AnItemOpensWithTheDesktopAsItsFolder) {
    services->openItem("C:\\Daten\\Zo\xC3\xAB.txt", {"ignored"}, 3);
    ASSERT_EQ(calls->executed.size(), 1u);
    EXPECT_EQ(calls->executed[0].first, L"C:\\Daten\\Zo\u00eb.txt");
    EXPECT_EQ(calls->executed[0].second, L"C:\\Users\\Zo\u00eb\\Desktop");
}

TEST_F(WinPlatformServicesTest, TheTwoSlotSnippetMenuHasOneChoosableItemCaptionedByItsContent) {
    calls->foreground = reinterpret_cast<HWND>(0x700);
    calls->choice = 1;
    EXPECT_EQ(services->showSnippetMenu({"", "second content"}, {"first label", ""}), "second content");
    const std::vector<test::MenuItem> expected = {
        {0, MF_STRING | MF_DISABLED, 1000, L"Quellane"},
        {1, MF_SEPARATOR, 1001, L""},
        {static_cast<UINT>(-1), MF_STRING, 1, L"second content"},
    };
    EXPECT_EQ(calls->menu, expected);
    EXPECT_EQ(calls->trackFlags & (TPM_RETURNCMD | TPM_RIGHTBUTTON), TPM_RETURNCMD | TPM_RIGHTBUTTON);
    EXPECT_EQ(calls->trackedAt.x, RecordingWin32Calls::fakeCursor.x);
    EXPECT_EQ(calls->trackedAt.y, RecordingWin32Calls::fakeCursor.y);
    // The foreground goes to the menu's owner and back, the input joined meanwhile.
    ASSERT_EQ(calls->foregroundChanges.size(), 2u);
    EXPECT_EQ(calls->foregroundChanges[1], calls->foreground);
    EXPECT_EQ(calls->attachments, (std::vector<DWORD>{77, 0}));
    EXPECT_EQ(calls->menusDestroyed, 1);

    // Dismissed, or an identifier that names no snippet: nothing.
    for (UINT choice : {0u, 2u, 1000u}) {
        calls->choice = choice;
        EXPECT_EQ(services->showSnippetMenu({"", "second content"}, {"first label", ""}), "") << choice;
    }
    EXPECT_EQ(calls->menusDestroyed, 4);
}

TEST_F(WinPlatformServicesTest, LongCaptionsAreCutAt128BytesInTheMenu) {
    services->showSnippetMenu({std::string(200, 'x')}, {""});
    ASSERT_EQ(calls->menu.size(), 3u);
    EXPECT_EQ(calls->menu[2].text, std::wstring(128, L'x') + L"...");
}

TEST_F(WinPlatformServicesTest, ScrollingByKeysPressesAndReleasesTheArrowPerLine) {
    services->scrollByKeys(2, 2);
    const std::vector<std::vector<Record>> down = {
        {key(VK_DOWN, KEYEVENTF_EXTENDEDKEY)},
        {key(VK_DOWN, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP)},
        {key(VK_DOWN, KEYEVENTF_EXTENDEDKEY)},
        {key(VK_DOWN, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP)},
    };
    EXPECT_EQ(sent(), down);
    calls->sent.clear();
    services->scrollByKeys(0, 3);
    services->scrollByKeys(5, 3);
    services->scrollByKeys(1, 0);
    services->scrollByKeys(3, -1);
    EXPECT_TRUE(calls->sent.empty());
    services->scrollByKeys(3, 1);
    EXPECT_EQ(sent().front(), std::vector<Record>{key(VK_LEFT, KEYEVENTF_EXTENDEDKEY)});
}

} // namespace
} // namespace obx::windows
