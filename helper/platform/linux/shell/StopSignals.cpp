#include "platform/linux/shell/StopSignals.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace obx::linuxos {

namespace {

volatile sig_atomic_t wakeDescriptor = -1;

void onStopSignal(int) {
    const int saved = errno;
    const std::uint64_t one = 1;
    (void)!::write(wakeDescriptor, &one, sizeof one);
    errno = saved;
}

void setHandler(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signal, &action, nullptr);
}

} // namespace

StopSignals::StopSignals() {
    const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
    wakeDescriptor = fd;
    setHandler(SIGTERM, onStopSignal);
    setHandler(SIGINT, onStopSignal);
}

StopSignals::~StopSignals() {
    setHandler(SIGTERM, SIG_DFL);
    setHandler(SIGINT, SIG_DFL);
    ::close(wakeDescriptor);
    wakeDescriptor = -1;
}

void StopSignals::addDescriptors(std::vector<pollfd>& fds) {
    fds.push_back({wakeDescriptor, POLLIN, 0});
}

void StopSignals::handle(std::span<const pollfd> fds) {
    std::uint64_t count = 0;
    if ((fds[0].revents & POLLIN) && ::read(wakeDescriptor, &count, sizeof count) == sizeof count) {
        received_ = true;
    }
}

} // namespace obx::linuxos
