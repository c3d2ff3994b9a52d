#pragma once

// The application window of a Windows session: the hidden top-level window of
// class "ObxHelperWndClass" (the running instance's mark and the target of
// "quit"), the session notices through WTSRegisterSessionNotification, the
// power notices through WM_POWERBROADCAST, the notification area and the main
// thread's message loop, which also ends when the installer asks (InstallerQuitSignal).

#include "platform/windows/shell/InstallerQuitSignal.h"
#include "shared/windows/WinTrayIconDisplay.h"
#include "shell/AppWindow.h"

#include <functional>
#include <windows.h>

namespace obx::windows {

inline constexpr wchar_t appWindowClassName[] = L"ObxHelperWndClass";

class WindowsAppWindow final : public IAppWindow {
public:
    explicit WindowsAppWindow(std::function<void()> launchConfigurationApp);
    ~WindowsAppWindow() override;
    WindowsAppWindow(const WindowsAppWindow&) = delete;
    WindowsAppWindow& operator=(const WindowsAppWindow&) = delete;

    bool create(ISessionEventSink& sink) override;
    ITrayIconDisplay& trayIconDisplay() override { return trayDisplay_; }
    // The icon's balloon: Windows shows it only over an icon that is shown.
    bool showNotification(const CTrayIcon& icon, const std::string& title, const std::string& body) override;
    void postLaunchRequest() override;
    bool trackTrayMenu(const std::u16string& label) override;
    void runMessageLoop() override;

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    std::function<void()> launchConfigurationApp_;
    WinTrayIconDisplay trayDisplay_{::GetModuleHandleW(nullptr)};
    ISessionEventSink* sink_ = nullptr;
    HWND window_ = nullptr;
    bool sessionNotificationRegistered_ = false;
    InstallerQuitSignal installerQuit_;
};

} // namespace obx::windows
