#include "shared/windows/WinTrayIconDisplay.h"

#include <algorithm>
#include <cstddef>
#include <shellapi.h>

namespace obx {

namespace {

constexpr const wchar_t* processorClass = L"TRAY_ICON_MESSAGE_PROCESSOR_WND_CLASS";
constexpr const wchar_t* processorTitle = L"TRAY_ICON_MESSAGE_PROCESSOR_WND";

// The record's first version, whose tip holds 63 characters and its end; the
// second adds the balloon's fields, which the first cannot carry. The shell
// knows a record's version by its size alone, so only these two sizes are sent.
constexpr DWORD firstVersionSize = NOTIFYICONDATAW_V1_SIZE;
constexpr std::size_t firstVersionTipLength = 64;
constexpr DWORD balloonVersionSize = NOTIFYICONDATAW_V2_SIZE;
static_assert(firstVersionSize == offsetof(NOTIFYICONDATAW, szTip) + firstVersionTipLength * sizeof(wchar_t));

// Obtained while the program starts, before any window exists.
const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");

template <std::size_t N>
void copyCut(wchar_t (&field)[N], const std::u16string& text, std::size_t capacity = N) {
    const auto length = std::min(text.size(), std::min(capacity, N) - 1);
    std::copy_n(text.data(), length, field);
    field[length] = L'\0';
}

LRESULT CALLBACK processorProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == CTrayIcon::callbackMessage) {
        CTrayIcon::dispatch(static_cast<std::uint32_t>(wParam), static_cast<std::uint32_t>(lParam));
        return 0;
    }
    if (message == taskbarCreated && taskbarCreated != 0) {
        CTrayIcon::addVisibleIconsAgain();
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

HWND WinTrayIconDisplay::messageWindow() {
    static HWND window = [this] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = processorProcedure;
        windowClass.hInstance = instance_;
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.lpszClassName = processorClass;
        RegisterClassExW(&windowClass);
        // Top-level, so that the shell's broadcast reaches it; never shown.
        return CreateWindowExW(0, processorClass, processorTitle, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                               instance_, nullptr);
    }();
    return window;
}

namespace {

NOTIFYICONDATAW record(HWND window, const CTrayIcon& icon, DWORD size) {
    NOTIFYICONDATAW data{};
    data.cbSize = size;
    data.hWnd = window;
    data.uID = icon.id();
    return data;
}

// Both programs carry their icon under this id.
constexpr WORD programIcon = 107;

// An icon without an image of its own shows the program's, and the system's
// generic one only when the program has none.
HICON iconImage(HINSTANCE instance, const CTrayIcon& icon) {
    if (icon.image()) {
        return static_cast<HICON>(const_cast<void*>(icon.image()));
    }
    HICON own = LoadIconW(instance, MAKEINTRESOURCEW(programIcon));
    return own ? own : LoadIconW(nullptr, IDI_APPLICATION);
}

} // namespace

bool WinTrayIconDisplay::add(const CTrayIcon& icon) {
    auto data = record(messageWindow(), icon, firstVersionSize);
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = CTrayIcon::callbackMessage;
    data.hIcon = iconImage(instance_, icon);
    copyCut(data.szTip, icon.tooltip(), firstVersionTipLength);
    return Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
}

bool WinTrayIconDisplay::remove(const CTrayIcon& icon) {
    auto data = record(messageWindow(), icon, firstVersionSize);
    return Shell_NotifyIconW(NIM_DELETE, &data) != FALSE;
}

void WinTrayIconDisplay::updateTooltip(const CTrayIcon& icon) {
    auto data = record(messageWindow(), icon, firstVersionSize);
    data.uFlags = NIF_TIP;
    copyCut(data.szTip, icon.tooltip(), firstVersionTipLength);
    Shell_NotifyIconW(NIM_MODIFY, &data);
}

void WinTrayIconDisplay::updateImage(const CTrayIcon& icon) {
    auto data = record(messageWindow(), icon, firstVersionSize);
    data.uFlags = NIF_ICON;
    data.hIcon = iconImage(instance_, icon);
    Shell_NotifyIconW(NIM_MODIFY, &data);
}

void WinTrayIconDisplay::destroyImage(TrayIconHandle image) {
    DestroyIcon(static_cast<HICON>(const_cast<void*>(image)));
}

bool WinTrayIconDisplay::showBalloon(const CTrayIcon& icon, const std::u16string& title,
                                     const std::u16string& text, UINT timeoutMs) {
    auto data = record(messageWindow(), icon, balloonVersionSize);
    data.uFlags = NIF_INFO;
    copyCut(data.szInfoTitle, title);
    copyCut(data.szInfo, text);
    data.dwInfoFlags = NIIF_INFO;
    data.uTimeout = timeoutMs;
    return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

} // namespace obx
