// The platform services through the real system calls, under Wine on a
// private display: a probe window of this process, made the foreground
// window, receives what SendInput synthesises. (Wine delivers SendInput to
// its own windows only, never to X clients outside it, so the probe is a
// Win32 window.) The pointer settings are read back from the system.

#include "platform/windows/actions/WinPlatformServices.h"

#include <array>
#include <chrono>
#include <gtest/gtest.h>
#include <vector>

namespace obx::windows {
namespace {

using namespace std::chrono_literals;

struct KeyDown {
    WPARAM key;
    bool ctrlHeld;
    bool operator==(const KeyDown&) const = default;
};

// What the probe window received.
struct Received {
    std::vector<KeyDown> keyDowns;
    std::vector<wchar_t> chars;
    int leftClicks = 0;
};

Received* receiving = nullptr;

LRESULT CALLBACK probeProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (receiving) {
        switch (message) {
        case WM_KEYDOWN:
            receiving->keyDowns.push_back({wParam, ::GetKeyState(VK_CONTROL) < 0});
            return 0;
        case WM_CHAR:
            receiving->chars.push_back(static_cast<wchar_t>(wParam));
            return 0;
        case WM_LBUTTONDOWN:
            ++receiving->leftClicks;
            return 0;
        default:
            break;
        }
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

// Pumps this thread's messages until done() or a generous limit.
template <typename Done>
bool pumpUntil(Done&& done, std::chrono::seconds limit = 20s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

class ProbeWindow {
public:
    ProbeWindow() {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = probeProcedure;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"ObxSendInputProbe";
        ::RegisterClassExW(&windowClass);
        window_ =
            ::CreateWindowExW(WS_EX_TOPMOST, L"ObxSendInputProbe", L"probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                              100, 100, 320, 240, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
        receiving = &received;
    }
    ~ProbeWindow() {
        receiving = nullptr;
        ::DestroyWindow(window_);
    }

    // The probe as the foreground window with the keyboard focus.
    bool takeForeground() {
        return pumpUntil([this] {
            if (::GetForegroundWindow() != window_) {
                ::SetForegroundWindow(window_);
                ::SetFocus(window_);
            }
            return ::GetForegroundWindow() == window_ && ::GetFocus() == window_;
        });
    }

    HWND handle() const { return window_; }
    Received received;

private:
    HWND window_;
};

TEST(SendInputProbe, TheProbeWindowReceivesTheKeystrokeTheTextAndTheClick) {
    ProbeWindow probe;
    ASSERT_TRUE(probe.handle());
    ASSERT_TRUE(probe.takeForeground());
    WinPlatformServices services;

    services.sendKeystroke(0x04, 'C', true, false);
    services.sendKeystroke(0x04, 'C', false, false);
    ASSERT_TRUE(pumpUntil([&] { return probe.received.keyDowns.size() >= 2; }));
    EXPECT_EQ(probe.received.keyDowns, (std::vector<KeyDown>{{VK_CONTROL, true}, {'C', true}}));
    EXPECT_GE(::GetAsyncKeyState(VK_CONTROL), 0) << "Ctrl must be up again";

    probe.received.chars.clear();
    services.typeText("a\xC3\xBC\xF0\x9F\x98\x80"); // a, ü, U+1F600
    ASSERT_TRUE(pumpUntil([&] { return probe.received.chars.size() >= 4; }));
    EXPECT_EQ(probe.received.chars, (std::vector<wchar_t>{L'a', 0xFC, 0xD83D, 0xDE00}));

    RECT client{};
    ::GetClientRect(probe.handle(), &client);
    POINT centre{(client.left + client.right) / 2, (client.top + client.bottom) / 2};
    ::ClientToScreen(probe.handle(), &centre);
    ::SetCursorPos(centre.x, centre.y);
    ASSERT_TRUE(probe.takeForeground());
    services.sendMouseButton(1, true);
    services.sendMouseButton(1, false);
    ASSERT_TRUE(pumpUntil([&] { return probe.received.leftClicks >= 1; }));
    EXPECT_EQ(probe.received.leftClicks, 1);
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

} // namespace
} // namespace obx::windows
