#include "platform/windows/shell/WindowsAppWindow.h"

#include "base/Log.h"
#include "platform/windows/shell/AppResources.h"
#include "shared/CTrayIcon.h"

#include <boost/locale/encoding_utf.hpp>
#include <exception>
#include <wtsapi32.h>

namespace obx::windows {

namespace {

// The one entry of the icon's context menu.
constexpr UINT trayMenuEntry = 3;

INT_PTR CALLBACK aboutProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        ::EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

} // namespace

WindowsAppWindow::WindowsAppWindow(std::function<void()> launchConfigurationApp)
    : launchConfigurationApp_(std::move(launchConfigurationApp)) {}

WindowsAppWindow::~WindowsAppWindow() {
    if (window_) {
        ::DestroyWindow(window_);
    }
}

bool WindowsAppWindow::create(ISessionEventSink& sink) {
    sink_ = &sink;
    const HINSTANCE module = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = module;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszMenuName = MAKEINTRESOURCEW(OBX_APP_MENU);
    windowClass.lpszClassName = appWindowClassName;
    if (!::RegisterClassExW(&windowClass)) {
        return false;
    }
    wchar_t title[256] = L"";
    ::LoadStringW(module, OBX_APP_TITLE, title, 256);
    window_ = ::CreateWindowExW(0, appWindowClassName, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, 320, 240,
                                nullptr, nullptr, module, this);
    if (!window_) {
        return false;
    }
    // Hidden for the life of the program.
    ::ShowWindow(window_, SW_HIDE);
    ::UpdateWindow(window_);
    return true;
}

bool WindowsAppWindow::showNotification(const CTrayIcon& icon, const std::string& title,
                                        const std::string& body) {
    constexpr UINT shownMs = 10000;
    return trayDisplay_.showBalloon(icon, boost::locale::conv::utf_to_utf<char16_t>(title),
                                    boost::locale::conv::utf_to_utf<char16_t>(body), shownMs);
}

void WindowsAppWindow::postLaunchRequest() {
    ::PostMessageW(window_, CTrayIcon::callbackMessage, 0, 0);
}

bool WindowsAppWindow::trackTrayMenu(const std::u16string& label) {
    POINT at;
    if (!::GetCursorPos(&at)) {
        return false;
    }
    HMENU menu = ::CreatePopupMenu();
    if (!menu) {
        return false;
    }
    const std::wstring text(label.begin(), label.end());
    ::AppendMenuW(menu, MF_STRING, trayMenuEntry, text.c_str());
    // The menu closes when the user clicks elsewhere only while the window is
    // in the foreground.
    HWND previous = ::GetForegroundWindow();
    const DWORD previousThread = previous ? ::GetWindowThreadProcessId(previous, nullptr) : 0;
    const bool attached =
        previousThread != 0 && ::AttachThreadInput(::GetCurrentThreadId(), previousThread, TRUE);
    ::SetForegroundWindow(window_);
    const BOOL chosen =
        ::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr);
    if (previous) {
        ::SetForegroundWindow(previous);
    }
    if (attached) {
        ::AttachThreadInput(::GetCurrentThreadId(), previousThread, FALSE);
    }
    ::DestroyMenu(menu);
    return chosen == trayMenuEntry;
}

void WindowsAppWindow::runMessageLoop() {
    // The installer's request closes the window as --quit does, once: the event stays set until the
    // installer is through.
    HANDLE quit = installerQuit_.handle();
    while (true) {
        const DWORD waited =
            ::MsgWaitForMultipleObjectsEx(quit ? 1 : 0, &quit, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (quit && waited == WAIT_OBJECT_0) {
            logText(LogLevel::info, "The installer asks the helper to quit");
            quit = nullptr;
            ::PostMessageW(window_, WM_CLOSE, 0, 0);
        } else if (waited == WAIT_FAILED) {
            // A failure of the call itself, which no later call would end.
            break;
        }
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                logText(LogLevel::debug, "WindowsAppWindow - main loop ended");
                return;
            }
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    logText(LogLevel::debug, "WindowsAppWindow - main loop ended");
}

LRESULT CALLBACK WindowsAppWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
        static_cast<WindowsAppWindow*>(creation->lpCreateParams)->window_ = window;
    }
    auto* self = reinterpret_cast<WindowsAppWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) {
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    // Nothing may unwind through the system's frames.
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    }
    try {
        return self->handle(window, message, wParam, lParam);
    } catch (const std::exception& error) {
        log(LogLevel::error, "WindowsAppWindow - exception: ", error.what());
    } catch (...) {
        logText(LogLevel::error, "WindowsAppWindow - Unknown exception");
    }
    return 0;
}

LRESULT WindowsAppWindow::handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        sessionNotificationRegistered_ = ::WTSRegisterSessionNotification(window, NOTIFY_FOR_THIS_SESSION);
        break;
    case WM_DESTROY:
        if (sessionNotificationRegistered_) {
            ::WTSUnRegisterSessionNotification(window);
            sessionNotificationRegistered_ = false;
        }
        window_ = nullptr;
        ::PostQuitMessage(0);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        ::BeginPaint(window, &paint);
        ::EndPaint(window, &paint);
        return 0;
    }
    case WM_SIZE:
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == OBX_ABOUT_COMMAND) {
            ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(OBX_ABOUT_DIALOG), window,
                              aboutProcedure, 0);
            return 0;
        }
        if (LOWORD(wParam) == OBX_EXIT_COMMAND) {
            ::DestroyWindow(window);
            return 0;
        }
        break;
    case WM_POWERBROADCAST:
        return sink_->onPowerBroadcast(static_cast<std::uint32_t>(wParam));
    case WM_WTSSESSION_CHANGE:
        sink_->onSessionChange(static_cast<std::uint32_t>(wParam));
        return 0;
    case CTrayIcon::callbackMessage:
        launchConfigurationApp_();
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

} // namespace obx::windows
