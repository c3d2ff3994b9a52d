#pragma once

// One epoll set and the handlers of its descriptors. Everything of the daemon runs on the thread that
// calls run(), so the handlers need no locks among themselves.

#include "UniqueFd.h"

#include <cstdint>
#include <unordered_map>

namespace obx::kernd {

class IEventHandler {
public:
    virtual ~IEventHandler() = default;
    // `events` are the epoll bits that are ready.
    virtual void onEvents(uint32_t events) = 0;
};

class EventLoop {
public:
    EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // Level-triggered. A handler must be removed before its descriptor is closed; afterwards no event
    // reaches it, not even one already collected in the current round.
    void add(int fd, uint32_t events, IEventHandler& handler);
    void remove(int fd);

    // Dispatches until stop() is called. Returns false when waiting itself failed.
    bool run();
    void stop() { running_ = false; }

private:
    struct Registration {
        uint64_t key;
        IEventHandler* handler;
    };

    UniqueFd epoll_;
    bool running_ = false;
    // Keys are never reused, so an event of a removed descriptor cannot reach the handler of a new
    // descriptor that got the same number.
    uint64_t nextKey_ = 1;
    std::unordered_map<int, Registration> byFd_;
    std::unordered_map<uint64_t, IEventHandler*> byKey_;
};

} // namespace obx::kernd
