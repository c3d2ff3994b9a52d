#include "platform/windows/devices/WindowsDesktopQueries.h"

#include <boost/locale/encoding_utf.hpp>
#include <cwctype>
#include <windows.h>

namespace obx::windows {

namespace {

// The longest path the system names.
constexpr DWORD imageNameCapacity = 32768;

bool keyDown(int virtualKey) {
    return (::GetAsyncKeyState(virtualKey) & 0x8000) != 0;
}

} // namespace

std::uint64_t WindowsDesktopQueries::foregroundWindow() {
    return reinterpret_cast<std::uintptr_t>(::GetForegroundWindow());
}

std::string WindowsDesktopQueries::foregroundApplicationPath() {
    HWND window = ::GetForegroundWindow();
    if (!window) {
        return {};
    }
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    // The limited right is enough for the image name and is granted for elevated
    // programs too, which refuse a normal user's full query.
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process) {
        return {};
    }
    // Polled every 300 ms, but only asked when the foreground window changed.
    std::wstring image(imageNameCapacity, L'\0');
    DWORD length = imageNameCapacity;
    const bool named = ::QueryFullProcessImageNameW(process, 0, image.data(), &length) != FALSE;
    ::CloseHandle(process);
    if (!named) {
        return {};
    }
    image.resize(length);
    for (auto& unit : image) {
        unit = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(unit)));
    }
    return boost::locale::conv::utf_to_utf<char>(image);
}

std::uint32_t WindowsDesktopQueries::pressedModifiers() {
    return (keyDown(VK_SHIFT) ? desktopModifierShift : 0) | (keyDown(VK_CONTROL) ? desktopModifierCtrl : 0) |
           (keyDown(VK_MENU) ? desktopModifierAlt : 0);
}

} // namespace obx::windows
