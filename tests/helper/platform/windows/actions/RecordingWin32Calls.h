#pragma once

// The platform services' system calls, recorded: the input records of every
// SendInput call, the pointer settings of a simulated system with every
// SystemParametersInfoW write, the posted window messages and the menu built.

#include "platform/windows/actions/Win32Calls.h"

#include <array>
#include <string>
#include <vector>

namespace obx::test {

struct SpiWrite {
    UINT action;
    UINT uiParam;
    std::intptr_t pvValue;  // the pointer argument as a value
    std::array<int, 3> row; // SPI_SETMOUSE: the three values pointed to
    UINT winIni;
    bool operator==(const SpiWrite&) const = default;
};

struct PostedMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    bool operator==(const PostedMessage&) const = default;
};

struct MenuItem {
    UINT position;
    UINT flags;
    UINT_PTR id;
    std::wstring text;
    bool operator==(const MenuItem&) const = default;
};

class RecordingWin32Calls : public windows::IWin32Calls {
public:
    // Scan codes of the fake keyboard: distinct per key and never the key.
    static UINT fakeScanCode(UINT virtualKey) { return 0xE000 | (virtualKey + 0x100); }
    static constexpr DWORD fakeTick = 4242;
    static constexpr POINT fakeCursor{17, 23};

    UINT sendInput(std::span<INPUT> records) override {
        sent.emplace_back(records.begin(), records.end());
        return static_cast<UINT>(records.size());
    }
    UINT scanCode(UINT virtualKey) override { return fakeScanCode(virtualKey); }
    DWORD tickCount() override { return fakeTick; }
    bool cursorPos(POINT& position) override {
        position = fakeCursor;
        return true;
    }
    bool systemParametersInfo(UINT action, UINT uiParam, void* pvParam, UINT winIni) override {
        switch (action) {
        case SPI_GETMOUSESPEED:
            *static_cast<int*>(pvParam) = speed;
            return true;
        case SPI_GETMOUSE:
            std::copy(mouse.begin(), mouse.end(), static_cast<int*>(pvParam));
            return true;
        case SPI_GETWHEELSCROLLLINES:
            *static_cast<UINT*>(pvParam) = wheelLines;
            return true;
        case SPI_SETMOUSESPEED:
            speed = static_cast<int>(reinterpret_cast<std::intptr_t>(pvParam));
            writes.push_back({action, uiParam, speed, {}, winIni});
            return true;
        case SPI_SETMOUSE:
            std::copy_n(static_cast<const int*>(pvParam), 3, mouse.begin());
            writes.push_back({action, uiParam, 0, mouse, winIni});
            return true;
        case SPI_SETWHEELSCROLLLINES:
            wheelLines = uiParam;
            writes.push_back({action, uiParam, reinterpret_cast<std::intptr_t>(pvParam), {}, winIni});
            return true;
        default:
            return false;
        }
    }
    bool desktopFolder(wchar_t (&folder)[MAX_PATH]) override {
        wcscpy(folder, L"C:\\Users\\Zo\u00eb\\Desktop");
        return true;
    }
    void shellExecute(const wchar_t* file, const wchar_t* directory) override {
        executed.push_back({file, directory});
    }
    HWND foregroundWindow() override { return foreground; }
    bool setForegroundWindow(HWND window) override {
        foregroundChanges.push_back(window);
        return true;
    }
    DWORD windowThreadProcess(HWND window, DWORD& processId) override {
        processId = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(window) / 0x100);
        return 77;
    }
    bool isWindowVisible(HWND window) override { return (reinterpret_cast<std::uintptr_t>(window) & 1) != 0; }
    std::vector<HWND> topLevelWindows() override { return windows; }
    void postMessage(HWND window, UINT message, WPARAM wParam, LPARAM) override {
        posted.push_back({window, message, wParam});
    }
    void lockWorkStation() override { ++locks; }
    HMENU createPopupMenu() override { return reinterpret_cast<HMENU>(0x5000); }
    bool insertMenuItem(HMENU, UINT position, UINT flags, UINT_PTR id, const wchar_t* text) override {
        menu.push_back({position, flags, id, text ? text : L""});
        return true;
    }
    bool attachThreadInput(DWORD, DWORD toThread, bool attach) override {
        attachments.push_back(attach ? toThread : 0);
        return true;
    }
    UINT trackPopupMenu(HMENU, UINT flags, POINT at, HWND) override {
        trackFlags = flags;
        trackedAt = at;
        return choice;
    }
    void destroyMenu(HMENU) override { ++menusDestroyed; }

    std::vector<std::vector<INPUT>> sent;
    int speed = 10;
    std::array<int, 3> mouse{6, 10, 1};
    UINT wheelLines = 3;
    std::vector<SpiWrite> writes;
    std::vector<std::pair<std::wstring, std::wstring>> executed;
    HWND foreground = nullptr;
    std::vector<HWND> windows;
    std::vector<HWND> foregroundChanges;
    std::vector<PostedMessage> posted;
    int locks = 0;
    std::vector<MenuItem> menu;
    std::vector<DWORD> attachments;
    UINT choice = 0;
    UINT trackFlags = 0;
    POINT trackedAt{};
    int menusDestroyed = 0;
};

} // namespace obx::test
