#include "platform/windows/catalogue/ApplicationWindows.h"

#include "platform/windows/catalogue/DevicePaths.h"

#include <array>
#include <exception>

// <windows.h> first: the other system headers build on it.
// clang-format off
#include <windows.h>
#include <psapi.h>
// clang-format on

namespace obx::windows {

namespace {

// Caption, system menu, sizing frame, minimise and maximise boxes.
constexpr LONG applicationFrame = 0xCF0000;
constexpr int maxTitle = 1024;
constexpr DWORD maxImagePath = 1024;

bool applicationWindow(HWND window) {
    std::array<wchar_t, maxTitle> title{};
    if (!::IsWindowVisible(window) || ::GetWindowTextW(window, title.data(), maxTitle) <= 0) {
        return false;
    }
    if (!(::GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_APPWINDOW) &&
        !(::GetWindowLongW(window, GWL_STYLE) & applicationFrame)) {
        return false;
    }
    RECT frame{};
    if (!::GetWindowRect(window, &frame) || frame.right == frame.left || frame.bottom == frame.top) {
        return false;
    }
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    return ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &thread);
}

std::wstring programOf(HWND window) {
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    // The limited right names the image and is granted for elevated programs too,
    // which refuse a normal user's full query.
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process) {
        return {};
    }
    std::array<wchar_t, maxImagePath> image{};
    const DWORD length = ::K32GetProcessImageFileNameW(process, image.data(), maxImagePath);
    ::CloseHandle(process);
    return length == 0 ? std::wstring() : devicePathToDosPath(std::wstring_view(image.data(), length));
}

struct Walk {
    const std::function<bool(const std::wstring&)>& visit;
    std::exception_ptr failure;
};

// The system calls this between frames of its own: nothing may be thrown
// through it.
BOOL CALLBACK visitWindow(HWND window, LPARAM context) {
    auto& walk = *reinterpret_cast<Walk*>(context);
    try {
        if (!applicationWindow(window)) {
            return TRUE;
        }
        const auto program = programOf(window);
        return program.empty() || walk.visit(program);
    } catch (...) {
        walk.failure = std::current_exception();
        return FALSE;
    }
}

} // namespace

void visitApplicationWindows(const std::function<bool(const std::wstring& program)>& visit) {
    HDESK desktop = ::OpenDesktopW(L"default", 0, FALSE, GENERIC_READ);
    if (!desktop) {
        return;
    }
    Walk walk{visit, nullptr};
    ::EnumDesktopWindows(desktop, visitWindow, reinterpret_cast<LPARAM>(&walk));
    ::CloseDesktop(desktop);
    if (walk.failure) {
        std::rethrow_exception(walk.failure);
    }
}

} // namespace obx::windows
