#include "EventLoop.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <sys/epoll.h>

namespace obx::kernd {

namespace {

[[noreturn]] void fail(const char* what) {
    throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

} // namespace

EventLoop::EventLoop() : epoll_(::epoll_create1(EPOLL_CLOEXEC)) {
    if (!epoll_)
        fail("epoll_create1");
}

void EventLoop::add(int fd, uint32_t events, IEventHandler& handler) {
    const uint64_t key = nextKey_++;
    epoll_event event{};
    event.events = events;
    event.data.u64 = key;
    if (::epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, fd, &event) != 0)
        fail("epoll_ctl add");
    byFd_[fd] = Registration{key, &handler};
    byKey_[key] = &handler;
}

void EventLoop::remove(int fd) {
    const auto found = byFd_.find(fd);
    if (found == byFd_.end())
        return;
    ::epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, fd, nullptr);
    byKey_.erase(found->second.key);
    byFd_.erase(found);
}

bool EventLoop::run() {
    running_ = true;
    std::array<epoll_event, 32> events;
    while (running_) {
        const int n = ::epoll_wait(epoll_.get(), events.data(), static_cast<int>(events.size()), -1);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        for (int i = 0; i < n && running_; ++i) {
            const auto found = byKey_.find(events[i].data.u64);
            if (found != byKey_.end())
                found->second->onEvents(events[i].events);
        }
    }
    return true;
}

} // namespace obx::kernd
