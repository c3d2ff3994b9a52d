#pragma once

// A framework timer over a timerfd: one-shot or periodic, its expiry delivered through the event loop.

#include "EventLoop.h"
#include "UniqueFd.h"
#include "driver/core/Framework.h"

namespace obx::kernd {

class ITimerTarget {
public:
    virtual ~ITimerTarget() = default;
    virtual void timerFired(uint32_t id) = 0;
};

class TimerFd final : public driver::ITimer, private IEventHandler {
public:
    // `periodMs` 0 makes a one-shot timer. Throws std::runtime_error.
    TimerFd(EventLoop& loop, uint32_t id, uint32_t periodMs, ITimerTarget& target);
    ~TimerFd() override;
    TimerFd(const TimerFd&) = delete;
    TimerFd& operator=(const TimerFd&) = delete;

    bool start(uint32_t milliseconds) override;
    void stop() override;

private:
    void onEvents(uint32_t events) override;

    EventLoop& loop_;
    uint32_t id_;
    uint32_t periodMs_;
    ITimerTarget& target_;
    UniqueFd fd_;
};

} // namespace obx::kernd
