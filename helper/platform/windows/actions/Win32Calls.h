#pragma once

// The system calls of the platform services whose effect is the point of the
// operation: the input they synthesise, the pointer settings they write, the
// windows they command, the menu they show. The services make every such call
// through this seam, so that a test can record the exact records and values
// while the product makes the real calls (SystemWin32Calls).

#include <span>
#include <string>
#include <vector>
#include <windows.h>

namespace obx::windows {

class IWin32Calls {
public:
    virtual ~IWin32Calls() = default;

    // Input.
    virtual UINT sendInput(std::span<INPUT> records) = 0;
    // MapVirtualKeyExW(virtualKey, MAPVK_VK_TO_VSC_EX, GetKeyboardLayout(0)).
    virtual UINT scanCode(UINT virtualKey) = 0;
    virtual DWORD tickCount() = 0;
    virtual bool cursorPos(POINT& position) = 0;

    // Pointer settings: SystemParametersInfoW.
    virtual bool systemParametersInfo(UINT action, UINT uiParam, void* pvParam, UINT winIni) = 0;

    // Shell: SHGetFolderPathW into a buffer of MAX_PATH units, ShellExecuteW.
    virtual bool desktopFolder(wchar_t (&folder)[MAX_PATH]) = 0;
    virtual void shellExecute(const wchar_t* file, const wchar_t* directory) = 0;

    // Windows and the session.
    virtual HWND foregroundWindow() = 0;
    virtual bool setForegroundWindow(HWND window) = 0;
    virtual DWORD windowThreadProcess(HWND window, DWORD& processId) = 0;
    virtual bool isWindowVisible(HWND window) = 0;
    // EnumWindows.
    virtual std::vector<HWND> topLevelWindows() = 0;
    virtual void postMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
    virtual void lockWorkStation() = 0;

    // The pop-up menu.
    virtual HMENU createPopupMenu() = 0;
    virtual bool insertMenuItem(HMENU menu, UINT position, UINT flags, UINT_PTR id, const wchar_t* text) = 0;
    virtual bool attachThreadInput(DWORD thread, DWORD toThread, bool attach) = 0;
    virtual UINT trackPopupMenu(HMENU menu, UINT flags, POINT at, HWND owner) = 0;
    virtual void destroyMenu(HMENU menu) = 0;
};

// The real calls.
class SystemWin32Calls : public IWin32Calls {
public:
    UINT sendInput(std::span<INPUT> records) override;
    UINT scanCode(UINT virtualKey) override;
    DWORD tickCount() override;
    bool cursorPos(POINT& position) override;
    bool systemParametersInfo(UINT action, UINT uiParam, void* pvParam, UINT winIni) override;
    bool desktopFolder(wchar_t (&folder)[MAX_PATH]) override;
    void shellExecute(const wchar_t* file, const wchar_t* directory) override;
    HWND foregroundWindow() override;
    bool setForegroundWindow(HWND window) override;
    DWORD windowThreadProcess(HWND window, DWORD& processId) override;
    bool isWindowVisible(HWND window) override;
    std::vector<HWND> topLevelWindows() override;
    void postMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    void lockWorkStation() override;
    HMENU createPopupMenu() override;
    bool insertMenuItem(HMENU menu, UINT position, UINT flags, UINT_PTR id, const wchar_t* text) override;
    bool attachThreadInput(DWORD thread, DWORD toThread, bool attach) override;
    UINT trackPopupMenu(HMENU menu, UINT flags, POINT at, HWND owner) override;
    void destroyMenu(HMENU menu) override;
};

} // namespace obx::windows
