#pragma once

// The worker's wait on Windows: MsgWaitForMultipleObjectsEx over the handles
// and the worker thread's message queue. The thread's message-only window of
// class "DeviceMgrMsgWindowClass" carries the timers and the wake-ups for
// posted messages; the messages themselves (a device path among them) wait in
// a queue of their own, since a window message carries no string.

#include "base/WaitPrimitive.h"

#include <deque>
#include <mutex>
#include <windows.h>

namespace obx::windows {

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

private:
    // Creates the window on the calling thread when it has none yet.
    HWND window();

    std::mutex queueMutex_;
    std::deque<WorkerMessage> queue_;
    HWND window_ = nullptr;
    DWORD ownerThread_ = 0;
};

} // namespace obx::windows
