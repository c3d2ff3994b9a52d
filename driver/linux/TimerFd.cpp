#include "TimerFd.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <sys/epoll.h>
#include <sys/timerfd.h>

namespace obx::kernd {

namespace {

timespec fromMilliseconds(uint32_t ms) {
    return timespec{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
}

} // namespace

TimerFd::TimerFd(EventLoop& loop, uint32_t id, uint32_t periodMs, ITimerTarget& target)
    : loop_(loop), id_(id), periodMs_(periodMs), target_(target),
      fd_(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC)) {
    if (!fd_)
        throw std::runtime_error(std::string("timerfd_create: ") + std::strerror(errno));
    loop_.add(fd_.get(), EPOLLIN, *this);
}

TimerFd::~TimerFd() {
    loop_.remove(fd_.get());
}

bool TimerFd::start(uint32_t milliseconds) {
    itimerspec current{};
    ::timerfd_gettime(fd_.get(), &current);
    const bool waiting = current.it_value.tv_sec != 0 || current.it_value.tv_nsec != 0;
    itimerspec next{};
    next.it_value = fromMilliseconds(milliseconds);
    if (milliseconds == 0)
        next.it_value.tv_nsec = 1; // a zero value would disarm it
    next.it_interval = fromMilliseconds(periodMs_);
    ::timerfd_settime(fd_.get(), 0, &next, nullptr);
    return waiting;
}

void TimerFd::stop() {
    // Disarming also forgets an expiry not yet read, so a stopped timer never fires late.
    const itimerspec disarmed{};
    ::timerfd_settime(fd_.get(), 0, &disarmed, nullptr);
}

void TimerFd::onEvents(uint32_t) {
    uint64_t expirations = 0;
    if (::read(fd_.get(), &expirations, sizeof expirations) != sizeof expirations)
        return;
    // Expiries missed while the loop was busy are not made up, as a late timer function runs once.
    target_.timerFired(id_);
}

} // namespace obx::kernd
