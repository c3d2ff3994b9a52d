#include "shared/windows/WindowsTrayIconDisplay.h"

#include "shared/CTrayIcon.h"

#include <algorithm>

// <windows.h> first: the other system headers build on it.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

namespace obx::windows {

namespace {

constexpr wchar_t processorClassName[] = L"TRAY_ICON_MESSAGE_PROCESSOR_WND_CLASS";
constexpr wchar_t processorWindowTitle[] = L"TRAY_ICON_MESSAGE_PROCESSOR_WND";

const UINT taskbarCreatedMessage = ::RegisterWindowMessageW(L"TaskbarCreated");

LRESULT CALLBACK processorProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == CTrayIcon::callbackMessage) {
        CTrayIcon::dispatch(static_cast<std::uint32_t>(wParam), static_cast<std::uint32_t>(lParam));
        return 0;
    }
    if (message == taskbarCreatedMessage && taskbarCreatedMessage != 0) {
        // A restarted shell has forgotten every icon.
        CTrayIcon::addVisibleIconsAgain();
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

// Top-level, so that the "TaskbarCreated" broadcast reaches it; never shown
// and never destroyed. Null when it cannot be made.
HWND processorWindow() {
    static const HWND window = [] {
        const HINSTANCE module = ::GetModuleHandleW(nullptr);
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = processorProcedure;
        windowClass.hInstance = module;
        windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        windowClass.lpszClassName = processorClassName;
        ::RegisterClassExW(&windowClass);
        return ::CreateWindowExW(0, processorClassName, processorWindowTitle, WS_POPUP, 0, 0, 0, 0, nullptr,
                                 nullptr, module, nullptr);
    }();
    return window;
}

// The record in its first version, as every shell understands it: the tip
// holds 63 characters and its terminating NUL.
NOTIFYICONDATAW iconRecord(const CTrayIcon& icon, UINT flags) {
    NOTIFYICONDATAW record{};
    record.cbSize = NOTIFYICONDATAW_V1_SIZE;
    record.hWnd = processorWindow();
    record.uID = icon.id();
    record.uFlags = flags;
    record.uCallbackMessage = CTrayIcon::callbackMessage;
    HICON image = static_cast<HICON>(const_cast<void*>(icon.image()));
    record.hIcon = image ? image : ::LoadIconW(nullptr, IDI_APPLICATION);
    const std::size_t length = std::min<std::size_t>(icon.tooltip().size(), 63);
    std::copy_n(icon.tooltip().data(), length, record.szTip);
    record.szTip[length] = L'\0';
    return record;
}

} // namespace

bool WindowsTrayIconDisplay::add(const CTrayIcon& icon) {
    auto record = iconRecord(icon, NIF_MESSAGE | NIF_ICON | NIF_TIP);
    return record.hWnd && ::Shell_NotifyIconW(NIM_ADD, &record);
}

bool WindowsTrayIconDisplay::remove(const CTrayIcon& icon) {
    auto record = iconRecord(icon, 0);
    return record.hWnd && ::Shell_NotifyIconW(NIM_DELETE, &record);
}

void WindowsTrayIconDisplay::updateTooltip(const CTrayIcon& icon) {
    auto record = iconRecord(icon, NIF_TIP);
    ::Shell_NotifyIconW(NIM_MODIFY, &record);
}

void WindowsTrayIconDisplay::updateImage(const CTrayIcon& icon) {
    auto record = iconRecord(icon, NIF_ICON);
    ::Shell_NotifyIconW(NIM_MODIFY, &record);
}

void WindowsTrayIconDisplay::destroyImage(TrayIconHandle image) {
    ::DestroyIcon(static_cast<HICON>(const_cast<void*>(image)));
}

} // namespace obx::windows
