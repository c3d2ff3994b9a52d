#pragma once

// The worker's wait on Linux: poll over file descriptors. Events are
// eventfds, timers are timerfds, and posted messages wait in a queue whose
// eventfd is readable while it holds any.

#include "base/WaitPrimitive.h"

#include <deque>
#include <mutex>
#include <poll.h>
#include <vector>

namespace obx {

class LinuxWaitPrimitive final : public IWaitPrimitive {
public:
    LinuxWaitPrimitive();
    ~LinuxWaitPrimitive() override;
    LinuxWaitPrimitive(const LinuxWaitPrimitive&) = delete;
    LinuxWaitPrimitive& operator=(const LinuxWaitPrimitive&) = delete;

    WaitHandle createEvent() override;
    void setEvent(WaitHandle event) override;
    void resetEvent(WaitHandle event) override;
    bool isSignalled(WaitHandle event) override;
    void closeHandle(WaitHandle event) override;
    WaitResult wait(std::span<const WaitHandle> handles) override;
    void postMessage(WorkerMessage message) override;
    bool takeMessage(WorkerMessage& message) override;
    // Timers belong to the worker: started, stopped and read on its thread.
    void startTimer(std::uint32_t id, std::chrono::milliseconds period) override;
    void stopTimer(std::uint32_t id) override;

private:
    struct Timer {
        std::uint32_t id;
        int fd;
    };

    bool takeTimerTick(WorkerMessage& message);

    std::mutex queueMutex_;
    std::deque<WorkerMessage> queue_;
    int queueEvent_;
    std::vector<Timer> timers_;
    // Kept between waits, so that waiting on an unchanged set allocates nothing.
    std::vector<pollfd> polled_;
};

} // namespace obx
