#include "platform/linux/base/LinuxWaitPrimitive.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <system_error>
#include <unistd.h>

namespace obx {

namespace {

int newEventFd() {
    const int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
    return fd;
}

// Reads the counter of an eventfd or timerfd, which clears it; 0 when it was clear.
std::uint64_t drain(int fd) {
    std::uint64_t count = 0;
    if (::read(fd, &count, sizeof count) != static_cast<ssize_t>(sizeof count)) {
        return 0;
    }
    return count;
}

void signal(int fd) {
    const std::uint64_t one = 1;
    // Fails only when the counter is full, which leaves it signalled anyway.
    [[maybe_unused]] const auto written = ::write(fd, &one, sizeof one);
}

} // namespace

LinuxWaitPrimitive::LinuxWaitPrimitive() : queueEvent_(newEventFd()) {}

LinuxWaitPrimitive::~LinuxWaitPrimitive() {
    for (auto& timer : timers_) {
        ::close(timer.fd);
    }
    ::close(queueEvent_);
}

WaitHandle LinuxWaitPrimitive::createEvent() {
    return newEventFd();
}

void LinuxWaitPrimitive::setEvent(WaitHandle event) {
    signal(static_cast<int>(event));
}

void LinuxWaitPrimitive::resetEvent(WaitHandle event) {
    drain(static_cast<int>(event));
}

bool LinuxWaitPrimitive::isSignalled(WaitHandle event) {
    pollfd polled{static_cast<int>(event), POLLIN, 0};
    return ::poll(&polled, 1, 0) == 1;
}

void LinuxWaitPrimitive::closeHandle(WaitHandle event) {
    ::close(static_cast<int>(event));
}

WaitResult LinuxWaitPrimitive::wait(std::span<const WaitHandle> handles) {
    polled_.resize(handles.size() + 1 + timers_.size());
    std::size_t position = 0;
    for (auto handle : handles) {
        polled_[position++] = pollfd{static_cast<int>(handle), POLLIN, 0};
    }
    polled_[position++] = pollfd{queueEvent_, POLLIN, 0};
    for (auto& timer : timers_) {
        polled_[position++] = pollfd{timer.fd, POLLIN, 0};
    }
    if (::poll(polled_.data(), polled_.size(), -1) < 0) {
        if (errno == EINTR) {
            return {WaitResult::Kind::alerted};
        }
        return {WaitResult::Kind::failed, 0, errno};
    }
    for (std::size_t i = 0; i < handles.size(); ++i) {
        if (polled_[i].revents != 0) {
            return {WaitResult::Kind::signalled, i};
        }
    }
    return {WaitResult::Kind::input};
}

void LinuxWaitPrimitive::postMessage(WorkerMessage message) {
    std::lock_guard guard(queueMutex_);
    queue_.push_back(std::move(message));
    signal(queueEvent_);
}

bool LinuxWaitPrimitive::takeMessage(WorkerMessage& message) {
    {
        std::lock_guard guard(queueMutex_);
        if (!queue_.empty()) {
            message = std::move(queue_.front());
            queue_.pop_front();
            return true;
        }
        drain(queueEvent_);
    }
    return takeTimerTick(message);
}

bool LinuxWaitPrimitive::takeTimerTick(WorkerMessage& message) {
    for (auto& timer : timers_) {
        if (drain(timer.fd) != 0) {
            message.code = workerMessageTimer;
            message.param = timer.id;
            message.text.clear();
            return true;
        }
    }
    return false;
}

void LinuxWaitPrimitive::startTimer(std::uint32_t id, std::chrono::milliseconds period) {
    stopTimer(id);
    const int fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd < 0) {
        throw std::system_error(errno, std::generic_category(), "timerfd_create");
    }
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(period);
    const timespec interval{static_cast<time_t>(seconds.count()),
                            static_cast<long>(std::chrono::nanoseconds(period - seconds).count())};
    const itimerspec schedule{interval, interval};
    if (::timerfd_settime(fd, 0, &schedule, nullptr) != 0) {
        const int error = errno;
        ::close(fd);
        throw std::system_error(error, std::generic_category(), "timerfd_settime");
    }
    timers_.push_back({id, fd});
}

void LinuxWaitPrimitive::stopTimer(std::uint32_t id) {
    std::erase_if(timers_, [id](const Timer& timer) {
        if (timer.id == id) {
            ::close(timer.fd);
            return true;
        }
        return false;
    });
}

} // namespace obx
