#include "platform/windows/base/WindowsWaitPrimitive.h"

#include <atomic>
#include <system_error>

namespace obx::windows {

namespace {

constexpr wchar_t windowClassName[] = L"DeviceMgrMsgWindowClass";
// A class of its own, so that a program looking for the worker's window by
// its class never finds the menu owner instead.
constexpr wchar_t menuOwnerClassName[] = L"ObxMenuOwnerWindowClass";
// Posted once per queued message to end the wait; only a nudge, as a nested
// loop may hand it to the window procedure, which drops it.
constexpr UINT wakeMessage = WM_APP + 1;

std::atomic<HWND> lastWorkerWindow{nullptr};

HANDLE toHandle(WaitHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

[[noreturn]] void throwLastError(const char* what) {
    throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), what);
}

} // namespace

HWND deviceManagerWindow() {
    return lastWorkerWindow.load();
}

HWND deviceManagerMenuOwner() {
    HWND worker = lastWorkerWindow.load();
    auto* self = worker ? reinterpret_cast<WindowsWaitPrimitive*>(::GetWindowLongPtrW(worker, GWLP_USERDATA))
                        : nullptr;
    return self ? self->menuOwner() : nullptr;
}

LRESULT CALLBACK WindowsWaitPrimitive::windowProcedure(HWND window, UINT message, WPARAM wParam,
                                                       LPARAM lParam) {
    if (message == WM_DEVICECHANGE) {
        auto* self = reinterpret_cast<WindowsWaitPrimitive*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self && self->listener_) {
            self->listener_(wParam, lParam);
        }
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

namespace {

bool registerWindowClass(const wchar_t* name, WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = name;
    return ::RegisterClassExW(&windowClass) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

} // namespace

WindowsWaitPrimitive::WindowsWaitPrimitive() {
    static const bool registered = registerWindowClass(windowClassName, windowProcedure) &&
                                   registerWindowClass(menuOwnerClassName, ::DefWindowProcW);
    if (!registered) {
        throwLastError("RegisterClassExW");
    }
}

WindowsWaitPrimitive::~WindowsWaitPrimitive() {
    HWND own = window_;
    lastWorkerWindow.compare_exchange_strong(own, nullptr);
    if (window_) {
        ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    }
    // A window can only be destroyed by its own thread; when that thread has
    // ended, the system destroyed the window with it.
    if (ownerThread_ == ::GetCurrentThreadId()) {
        if (window_) {
            ::DestroyWindow(window_);
        }
        if (HWND owner = menuOwner_.load()) {
            ::DestroyWindow(owner);
        }
    }
}

WaitHandle WindowsWaitPrimitive::createEvent() {
    HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!event) {
        throwLastError("CreateEventW");
    }
    return reinterpret_cast<WaitHandle>(event);
}

void WindowsWaitPrimitive::setEvent(WaitHandle event) {
    ::SetEvent(toHandle(event));
}

void WindowsWaitPrimitive::resetEvent(WaitHandle event) {
    ::ResetEvent(toHandle(event));
}

bool WindowsWaitPrimitive::isSignalled(WaitHandle event) {
    return ::WaitForSingleObject(toHandle(event), 0) == WAIT_OBJECT_0;
}

void WindowsWaitPrimitive::closeHandle(WaitHandle event) {
    ::CloseHandle(toHandle(event));
}

HWND WindowsWaitPrimitive::window() {
    if (window_) {
        return window_;
    }
    HWND created = ::CreateWindowExW(0, windowClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     ::GetModuleHandleW(nullptr), nullptr);
    if (!created) {
        throwLastError("CreateWindowExW");
    }
    ::SetWindowLongPtrW(created, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    lastWorkerWindow = created;
    std::lock_guard guard(queueMutex_);
    window_ = created;
    ownerThread_ = ::GetCurrentThreadId();
    // Messages posted before the window existed still need their wake-up.
    for (std::size_t i = 0; i < queue_.size(); ++i) {
        ::PostMessageW(window_, wakeMessage, 0, 0);
    }
    return window_;
}

bool WindowsWaitPrimitive::hasQueuedMessages() {
    std::lock_guard guard(queueMutex_);
    return !queue_.empty();
}

HWND WindowsWaitPrimitive::menuOwner() {
    if (HWND owner = menuOwner_.load()) {
        return owner;
    }
    // Top-level and never shown; a tool window, so that it has no button on
    // the taskbar even while it holds the foreground.
    HWND created = ::CreateWindowExW(WS_EX_TOOLWINDOW, menuOwnerClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                     nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (!created) {
        throwLastError("CreateWindowExW");
    }
    menuOwner_ = created;
    return created;
}

void WindowsWaitPrimitive::endModalLoop() {
    if (HWND owner = menuOwner_.load()) {
        ::PostMessageW(owner, WM_CANCELMODE, 0, 0);
    }
}

WaitResult WindowsWaitPrimitive::wait(std::span<const WaitHandle> handles) {
    window();
    const auto count = static_cast<DWORD>(handles.size());
    // The queue, not its wake-ups, says whether messages wait: a nested loop
    // on this thread (a menu's, the shell's) hands the wake-ups to
    // DefWindowProcW, which drops them. Queued messages only make the wait a
    // look, so that signalled handles still come first.
    const DWORD timeout = hasQueuedMessages() ? 0 : INFINITE;
    // MWMO_INPUTAVAILABLE: a message that stayed queued while a handle was
    // served in an earlier pass still ends the wait; without it only input
    // that arrived since the last look at the queue would.
    const DWORD result =
        ::MsgWaitForMultipleObjectsEx(count, reinterpret_cast<const HANDLE*>(handles.data()), timeout,
                                      QS_ALLINPUT, MWMO_ALERTABLE | MWMO_INPUTAVAILABLE);
    if (result < WAIT_OBJECT_0 + count) {
        return {WaitResult::Kind::signalled, result - WAIT_OBJECT_0};
    }
    if (result == WAIT_OBJECT_0 + count) {
        return {WaitResult::Kind::input};
    }
    if (result == WAIT_IO_COMPLETION) {
        return {WaitResult::Kind::alerted};
    }
    if (result == WAIT_TIMEOUT) {
        return {timeout == 0 ? WaitResult::Kind::input : WaitResult::Kind::timedOut};
    }
    return {WaitResult::Kind::failed, 0, static_cast<int>(::GetLastError())};
}

void WindowsWaitPrimitive::postMessage(WorkerMessage message) {
    std::lock_guard guard(queueMutex_);
    if (queue_.size() == maxQueuedMessages) {
        // A full queue already ends every wait.
        queue_.pop_front();
    } else if (window_) {
        ::PostMessageW(window_, wakeMessage, 0, 0);
    }
    queue_.push_back(std::move(message));
}

bool WindowsWaitPrimitive::takeMessage(WorkerMessage& message) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            message = {workerMessageQuit, static_cast<std::uint64_t>(msg.wParam), {}};
            return true;
        }
        if (msg.hwnd == window_ && msg.message == WM_TIMER) {
            message = {workerMessageTimer, static_cast<std::uint64_t>(msg.wParam), {}};
            return true;
        }
        // Other programs ask for a settings reload with WM_USER posted to the
        // window; it carries no string, so it needs no queue entry.
        if (msg.hwnd == window_ && msg.message == WM_USER) {
            message = {workerMessageUser, static_cast<std::uint64_t>(msg.wParam), {}};
            return true;
        }
        if (msg.hwnd == window_ && msg.message == wakeMessage) {
            if (takeQueued(message)) {
                return true;
            }
            continue;
        }
        // Other windows of the worker (a menu, a notice registration) get
        // their own procedures.
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    // Messages whose wake-up a nested loop swallowed.
    return takeQueued(message);
}

bool WindowsWaitPrimitive::takeQueued(WorkerMessage& message) {
    std::lock_guard guard(queueMutex_);
    if (queue_.empty()) {
        return false;
    }
    message = std::move(queue_.front());
    queue_.pop_front();
    return true;
}

void WindowsWaitPrimitive::startTimer(std::uint32_t id, std::chrono::milliseconds period) {
    if (::SetTimer(window(), id, static_cast<UINT>(period.count()), nullptr) == 0) {
        throwLastError("SetTimer");
    }
}

void WindowsWaitPrimitive::stopTimer(std::uint32_t id) {
    if (window_) {
        ::KillTimer(window_, id);
    }
}

} // namespace obx::windows
