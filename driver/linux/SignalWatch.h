#pragma once

// Ends the event loop on SIGTERM or SIGINT. The signals must be blocked in every thread
// (blockStopSignals) before any thread starts, so that they arrive here and nowhere else.

#include "EventLoop.h"
#include "UniqueFd.h"

namespace obx::kernd {

void blockStopSignals();

class SignalWatch final : private IEventHandler {
public:
    // Throws std::runtime_error.
    explicit SignalWatch(EventLoop& loop);
    ~SignalWatch() override;
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

private:
    void onEvents(uint32_t events) override;

    EventLoop& loop_;
    UniqueFd fd_;
};

} // namespace obx::kernd
