#include "SignalWatch.h"

#include "Log.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>
#include <string>
#include <sys/epoll.h>
#include <sys/signalfd.h>

namespace obx::kernd {

namespace {

sigset_t stopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    return set;
}

} // namespace

void blockStopSignals() {
    const sigset_t set = stopSignals();
    ::sigprocmask(SIG_BLOCK, &set, nullptr);
    // A reader that left must not end the daemon; sends say MSG_NOSIGNAL, this covers the rest.
    std::signal(SIGPIPE, SIG_IGN);
}

SignalWatch::SignalWatch(EventLoop& loop) : loop_(loop) {
    const sigset_t set = stopSignals();
    fd_.reset(::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
    if (!fd_)
        throw std::runtime_error(std::string("signalfd: ") + std::strerror(errno));
    loop_.add(fd_.get(), EPOLLIN, *this);
}

SignalWatch::~SignalWatch() {
    loop_.remove(fd_.get());
}

void SignalWatch::onEvents(uint32_t) {
    signalfd_siginfo info{};
    if (::read(fd_.get(), &info, sizeof info) != sizeof info)
        return;
    logf(LogLevel::info, "%s received: stopping", strsignal(static_cast<int>(info.ssi_signo)));
    loop_.stop();
}

} // namespace obx::kernd
