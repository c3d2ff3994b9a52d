#pragma once

// A visible top-level window of the test program that records the input it
// receives, and can make itself the foreground window with the keyboard
// focus. Under Wine, SendInput reaches only Wine's own windows: this one.

#include <chrono>
#include <vector>
#include <windows.h>

namespace obx::test {

// Pumps this thread's messages until done() or a generous limit.
template <typename Done>
bool pumpUntil(Done&& done, std::chrono::seconds limit = std::chrono::seconds(20)) {
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
    struct KeyDown {
        WPARAM key;
        bool ctrlHeld;
        bool operator==(const KeyDown&) const = default;
    };

    ProbeWindow() {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"ObxInputProbe";
        ::RegisterClassExW(&windowClass);
        window_ =
            ::CreateWindowExW(WS_EX_TOPMOST, L"ObxInputProbe", L"probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                              100, 100, 320, 240, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
        ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~ProbeWindow() { ::DestroyWindow(window_); }
    ProbeWindow(const ProbeWindow&) = delete;
    ProbeWindow& operator=(const ProbeWindow&) = delete;

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

    std::vector<KeyDown> keyDowns;
    std::vector<wchar_t> chars;
    int leftClicks = 0;

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (auto* self = reinterpret_cast<ProbeWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA))) {
            switch (message) {
            case WM_KEYDOWN:
                self->keyDowns.push_back({wParam, ::GetKeyState(VK_CONTROL) < 0});
                return 0;
            case WM_CHAR:
                self->chars.push_back(static_cast<wchar_t>(wParam));
                return 0;
            case WM_LBUTTONDOWN:
                ++self->leftClicks;
                return 0;
            default:
                break;
            }
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }

    HWND window_;
};

} // namespace obx::test
