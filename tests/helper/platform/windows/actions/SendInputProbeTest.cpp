// The platform services through the real system calls, under Wine on a
// private display: a probe window of this process, made the foreground
// window, receives what SendInput synthesises. (Wine delivers SendInput to
// its own windows only, never to X clients outside it, so the probe is a
// Win32 window.) The snippet menu is chosen from and dismissed by keys; the
// pointer settings are read back from the system; the data folder is the
// one the system names.

#include "helper/platform/windows/ProbeWindow.h"
#include "platform/windows/actions/WinPlatformServices.h"
#include "platform/windows/base/WindowsWaitPrimitive.h"

// clang-format off
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>
// clang-format on

#include <array>
#include <atomic>
#include <boost/locale/encoding_utf.hpp>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace obx::windows {
namespace {

using namespace std::chrono_literals;
using test::ProbeWindow;
using test::pumpUntil;
using KeyDown = ProbeWindow::KeyDown;

TEST(SendInputProbe, TheProbeWindowReceivesTheKeystrokeTheTextAndTheClick) {
    ProbeWindow probe;
    ASSERT_TRUE(probe.handle());
    ASSERT_TRUE(probe.takeForeground());
    WinPlatformServices services;

    services.sendKeystroke(0x04, 'C', true, false);
    services.sendKeystroke(0x04, 'C', false, false);
    ASSERT_TRUE(pumpUntil([&] { return probe.keyDowns.size() >= 2; }));
    EXPECT_EQ(probe.keyDowns, (std::vector<KeyDown>{{VK_CONTROL, true}, {'C', true}}));
    EXPECT_GE(::GetAsyncKeyState(VK_CONTROL), 0) << "Ctrl must be up again";

    ASSERT_TRUE(probe.takeForeground());
    probe.chars.clear();
    services.typeText("a\xC3\xBC\xF0\x9F\x98\x80"); // a, ü, U+1F600
    ASSERT_TRUE(pumpUntil([&] { return probe.chars.size() >= 4; }));
    EXPECT_EQ(probe.chars, (std::vector<wchar_t>{L'a', 0xFC, 0xD83D, 0xDE00}));

    RECT client{};
    ::GetClientRect(probe.handle(), &client);
    POINT centre{(client.left + client.right) / 2, (client.top + client.bottom) / 2};
    ::ClientToScreen(probe.handle(), &centre);
    ::SetCursorPos(centre.x, centre.y);
    ASSERT_TRUE(probe.takeForeground());
    services.sendMouseButton(1, true);
    services.sendMouseButton(1, false);
    ASSERT_TRUE(pumpUntil([&] { return probe.leftClicks >= 1; }));
    EXPECT_EQ(probe.leftClicks, 1);
}

// Sends one key press and release.
void tap(WORD key) {
    std::array<INPUT, 2> records{};
    for (auto& record : records) {
        record.type = INPUT_KEYBOARD;
        record.ki.wVk = key;
    }
    records[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ::SendInput(2, records.data(), sizeof(INPUT));
}

// The snippet menu as a worker shows it: owned by the worker's hidden
// top-level window, on the worker's thread, while the probe has the
// foreground. close acts on the open menu.
std::string chooseFromMenu(const std::function<void(WindowsWaitPrimitive&)>& close) {
    ProbeWindow probe;
    EXPECT_TRUE(probe.takeForeground());
    std::string chosen = "(not returned)";
    std::atomic<bool> returned{false};
    std::atomic<WindowsWaitPrimitive*> shownBy{nullptr};
    std::thread worker([&] {
        WindowsWaitPrimitive waits;
        waits.window();
        shownBy = &waits;
        WinPlatformServices services;
        chosen = services.showSnippetMenu({"", "first snippet", "second snippet"}, {"empty", "", "Second"});
        returned = true;
    });
    const bool shown = pumpUntil([] { return ::FindWindowW(L"#32768", nullptr) != nullptr; });
    EXPECT_TRUE(shown) << "no menu";
    if (shown) {
        close(*shownBy.load());
    }
    // The probe's thread answers while the foreground goes back to it.
    const bool closed = pumpUntil([&] { return returned.load(); });
    if (!closed) {
        tap(VK_ESCAPE);
        pumpUntil([&] { return returned.load(); });
    }
    worker.join();
    EXPECT_TRUE(closed);
    return chosen;
}

std::function<void(WindowsWaitPrimitive&)> pressUpThen(WORD key) {
    // Up from no highlight reaches the last entry: the second snippet.
    return [key](WindowsWaitPrimitive&) {
        tap(VK_UP);
        tap(key);
    };
}

TEST(SnippetMenuProbe, AChosenEntryReturnsItsContentAndADismissedMenuNothing) {
    EXPECT_EQ(chooseFromMenu(pressUpThen(VK_RETURN)), "second snippet");
    EXPECT_EQ(chooseFromMenu(pressUpThen(VK_ESCAPE)), "");
}

// Suspend, disconnection and --quit stop the worker while the menu may be open.
TEST(SnippetMenuProbe, EndingTheWorkersModalLoopClosesTheMenuWithoutAChoice) {
    EXPECT_EQ(chooseFromMenu([](WindowsWaitPrimitive& waits) { waits.endModalLoop(); }), "");
}

// The real calls, with the pointer speed's write recorded.
class SpeedRecordingCalls final : public SystemWin32Calls {
public:
    explicit SpeedRecordingCalls(std::vector<std::intptr_t>& speeds) : speeds_(speeds) {}
    bool systemParametersInfo(UINT action, UINT uiParam, void* pvParam, UINT winIni) override {
        if (action == SPI_SETMOUSESPEED) {
            speeds_.push_back(reinterpret_cast<std::intptr_t>(pvParam));
        }
        return SystemWin32Calls::systemParametersInfo(action, uiParam, pvParam, winIni);
    }

private:
    std::vector<std::intptr_t>& speeds_;
};

TEST(SystemPointerSettings, TheAccelerationRowAndWheelLinesReadBackAndTheSpeedIsWrittenInWindowsForm) {
    int savedSpeed = 0;
    std::array<int, 3> savedRow{};
    UINT savedLines = 0;
    ASSERT_TRUE(::SystemParametersInfoW(SPI_GETMOUSESPEED, 0, &savedSpeed, 0));
    ASSERT_TRUE(::SystemParametersInfoW(SPI_GETMOUSE, 0, savedRow.data(), 0));
    ASSERT_TRUE(::SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &savedLines, 0));

    std::vector<std::intptr_t> speeds;
    WinPlatformServices services(std::make_unique<SpeedRecordingCalls>(speeds));
    // Two settings that differ from each other, so that the second is written
    // whatever the system had.
    services.applyPointerSettings(25, 50, 7);
    services.applyPointerSettings(50, 100, 8);

    std::array<int, 3> readRow{};
    UINT readLines = 0;
    EXPECT_TRUE(::SystemParametersInfoW(SPI_GETMOUSE, 0, readRow.data(), 0));
    EXPECT_TRUE(::SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &readLines, 0));
    EXPECT_EQ(readRow, (std::array<int, 3>{4, 64, 4}));
    EXPECT_EQ(readLines, 8u);
    EXPECT_EQ(services.systemAccelerationRate(), 10);
    EXPECT_EQ(services.systemWheelLines(), 8);
    // Wine reads SPI_SETMOUSESPEED's value from uiParam, where Windows reads
    // the pointer argument: the speed written in Windows' form reads back as
    // 0 under Wine. So the write is checked as recorded: speed 50 is 10 of 20,
    // passed as the pointer argument.
    ASSERT_FALSE(speeds.empty());
    EXPECT_EQ(speeds.back(), 10);
    EXPECT_LE(speeds.size(), 2u);
    EXPECT_EQ(speeds.front(), speeds.size() == 2 ? 5 : 10);

    // The session's values as they were, for the programs that run after
    // this one in the same Wine session; the speed in both forms.
    ::SystemParametersInfoW(SPI_SETMOUSESPEED, static_cast<UINT>(savedSpeed),
                            reinterpret_cast<void*>(static_cast<std::intptr_t>(savedSpeed)), 0);
    ::SystemParametersInfoW(SPI_SETMOUSE, 0, savedRow.data(), 0);
    ::SystemParametersInfoW(SPI_SETWHEELSCROLLLINES, savedLines, nullptr, 0);
}

TEST(DataFolder, IsTheHelpersFolderBelowTheRoamingFolderForLogAndSettingsAlike) {
    PWSTR roaming = nullptr;
    ASSERT_EQ(::SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &roaming), S_OK);
    const std::string expected =
        boost::locale::conv::utf_to_utf<char>(std::wstring(roaming)) + "\\Halvex\\Ombrix";
    ::CoTaskMemFree(roaming);
    WinPlatformServices services;
    EXPECT_EQ(services.dataFolder(), expected);
    EXPECT_EQ(services.logFolder(), expected);
}

} // namespace
} // namespace obx::windows
