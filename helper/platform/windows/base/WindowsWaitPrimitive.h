#pragma once

// The worker's wait on Windows: MsgWaitForMultipleObjectsEx over the handles
// and the worker thread's message queue. The thread's message-only window of
// class "DeviceMgrMsgWindowClass" carries the timers and the wake-ups for
// posted messages; the messages themselves (a device path among them) wait in
// a queue of their own, since a window message carries no string. That queue
// is the truth: a wake-up only ends a wait, and may be lost to a nested loop.

#include "base/WaitPrimitive.h"

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <windows.h>

namespace obx::windows {

// The window of the worker that created one last (the device manager's); null
// while there is none.
HWND deviceManagerWindow();
// The owner of that worker's menus (the snippet menu), created on the calling
// thread, which must be the worker's; null while there is no worker window.
HWND deviceManagerMenuOwner();

class WindowsWaitPrimitive final : public IWaitPrimitive {
public:
    // MsgWaitForMultipleObjectsEx takes at most MAXIMUM_WAIT_OBJECTS - 1 handles.
    static constexpr std::size_t maxHandles = MAXIMUM_WAIT_OBJECTS - 1;
    // Posted messages not taken yet; beyond it the oldest is dropped, so a
    // stalled worker cannot grow the queue without end.
    static constexpr std::size_t maxQueuedMessages = 1024;

    WindowsWaitPrimitive();
    ~WindowsWaitPrimitive() override;
    WindowsWaitPrimitive(const WindowsWaitPrimitive&) = delete;
    WindowsWaitPrimitive& operator=(const WindowsWaitPrimitive&) = delete;

    WaitHandle createEvent() override;
    void setEvent(WaitHandle event) override;
    void resetEvent(WaitHandle event) override;
    bool isSignalled(WaitHandle event) override;
    void closeHandle(WaitHandle event) override;
    // The thread that waits first owns the window: the worker.
    WaitResult wait(std::span<const WaitHandle> handles) override;
    void postMessage(WorkerMessage message) override;
    bool takeMessage(WorkerMessage& message) override;
    void startTimer(std::uint32_t id, std::chrono::milliseconds period) override;
    void stopTimer(std::uint32_t id) override;
    std::size_t maxWaitHandles() const override { return maxHandles; }

    // The worker's window; created on the calling thread when it has none yet.
    HWND window();
    // A hidden top-level window of the worker to own its menus: a menu's owner
    // must be able to take the foreground, which a message-only window cannot,
    // or the menu would not close when the user clicks elsewhere. Created on
    // the calling thread when there is none yet.
    HWND menuOwner();
    // Posts WM_CANCELMODE to the menu owner: the menu's loop hands it to
    // DefWindowProcW, which closes the menu.
    void endModalLoop() override;
    // Receives the device notices (WM_DEVICECHANGE) that the system sends to
    // the window, on the worker thread; empty: none.
    using DeviceChangeListener = std::function<void(WPARAM event, LPARAM record)>;
    void setDeviceChangeListener(DeviceChangeListener listener) { listener_ = std::move(listener); }

private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool hasQueuedMessages();
    bool takeQueued(WorkerMessage& message);

    std::mutex queueMutex_;
    std::deque<WorkerMessage> queue_;
    HWND window_ = nullptr;
    std::atomic<HWND> menuOwner_{nullptr};
    DWORD ownerThread_ = 0;
    DeviceChangeListener listener_;
};

} // namespace obx::windows
