#include "service/linux/StopRequests.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace obx::linuxos {

namespace {

constexpr char signalled = 's';
constexpr char finished = 'f';

int writeEnd = -1;

void onSignal(int) {
    const int saved = errno;
    (void)!::write(writeEnd, &signalled, 1);
    errno = saved;
}

} // namespace

StopRequests::StopRequests(std::function<void()> stop) {
    if (::pipe2(pipe_, O_CLOEXEC) != 0) {
        throw std::system_error(errno, std::generic_category(), "pipe2");
    }
    writeEnd = pipe_[1];
    thread_ = std::thread([this, stop = std::move(stop)] {
        char reason = 0;
        for (;;) {
            const auto got = ::read(pipe_[0], &reason, 1);
            if (got == 1 && reason == signalled) {
                stop();
            } else if (got == 1 || (got < 0 && errno != EINTR) || got == 0) {
                return;
            }
        }
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

StopRequests::~StopRequests() {
    ::signal(SIGTERM, SIG_DFL);
    ::signal(SIGINT, SIG_DFL);
    (void)!::write(pipe_[1], &finished, 1);
    thread_.join();
    writeEnd = -1;
    ::close(pipe_[0]);
    ::close(pipe_[1]);
}

} // namespace obx::linuxos
