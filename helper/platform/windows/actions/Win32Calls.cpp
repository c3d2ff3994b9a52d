#include "platform/windows/actions/Win32Calls.h"

// <windows.h> first: the shell's headers build on it.
// clang-format off
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
// clang-format on

namespace obx::windows {

UINT SystemWin32Calls::sendInput(std::span<INPUT> records) {
    return ::SendInput(static_cast<UINT>(records.size()), records.data(), sizeof(INPUT));
}

UINT SystemWin32Calls::scanCode(UINT virtualKey) {
    return ::MapVirtualKeyExW(virtualKey, MAPVK_VK_TO_VSC_EX, ::GetKeyboardLayout(0));
}

DWORD SystemWin32Calls::tickCount() {
    return ::GetTickCount();
}

bool SystemWin32Calls::cursorPos(POINT& position) {
    return ::GetCursorPos(&position) != FALSE;
}

bool SystemWin32Calls::systemParametersInfo(UINT action, UINT uiParam, void* pvParam, UINT winIni) {
    return ::SystemParametersInfoW(action, uiParam, pvParam, winIni) != FALSE;
}

bool SystemWin32Calls::desktopFolder(wchar_t (&folder)[MAX_PATH]) {
    return SUCCEEDED(
        ::SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, folder));
}

void SystemWin32Calls::shellExecute(const wchar_t* file, const wchar_t* directory) {
    ::ShellExecuteW(nullptr, nullptr, file, nullptr, directory, SW_SHOWNORMAL);
}

HWND SystemWin32Calls::foregroundWindow() {
    return ::GetForegroundWindow();
}

bool SystemWin32Calls::setForegroundWindow(HWND window) {
    return ::SetForegroundWindow(window) != FALSE;
}

DWORD SystemWin32Calls::windowThreadProcess(HWND window, DWORD& processId) {
    return ::GetWindowThreadProcessId(window, &processId);
}

bool SystemWin32Calls::isWindowVisible(HWND window) {
    return ::IsWindowVisible(window) != FALSE;
}

std::vector<HWND> SystemWin32Calls::topLevelWindows() {
    std::vector<HWND> windows;
    ::EnumWindows(
        [](HWND window, LPARAM list) {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

void SystemWin32Calls::postMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ::PostMessageW(window, message, wParam, lParam);
}

void SystemWin32Calls::lockWorkStation() {
    ::LockWorkStation();
}

HMENU SystemWin32Calls::createPopupMenu() {
    return ::CreatePopupMenu();
}

bool SystemWin32Calls::insertMenuItem(HMENU menu, UINT position, UINT flags, UINT_PTR id,
                                      const wchar_t* text) {
    return ::InsertMenuW(menu, position, flags | MF_BYPOSITION, id, text) != FALSE;
}

bool SystemWin32Calls::attachThreadInput(DWORD thread, DWORD toThread, bool attach) {
    return ::AttachThreadInput(thread, toThread, attach ? TRUE : FALSE) != FALSE;
}

UINT SystemWin32Calls::trackPopupMenu(HMENU menu, UINT flags, POINT at, HWND owner) {
    return static_cast<UINT>(::TrackPopupMenu(menu, flags, at.x, at.y, 0, owner, nullptr));
}

void SystemWin32Calls::destroyMenu(HMENU menu) {
    ::DestroyMenu(menu);
}

} // namespace obx::windows
