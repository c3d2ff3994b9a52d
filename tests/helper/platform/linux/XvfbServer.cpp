#include "XvfbServer.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace obx::x11::test {

namespace {
constexpr int startTimeoutMs = 30000;
}

XvfbServer::XvfbServer() {
    int report[2];
    if (pipe(report) != 0) {
        failure_ = "pipe failed";
        return;
    }
    fcntl(report[0], F_SETFD, FD_CLOEXEC);
    const std::string fd = std::to_string(report[1]);
    pid_ = fork();
    if (pid_ == 0) {
        const int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, STDOUT_FILENO);
        dup2(devNull, STDERR_FILENO);
        execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
              "tcp", "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(report[1]);
    if (pid_ < 0) {
        failure_ = "fork failed";
        close(report[0]);
        return;
    }
    std::string number;
    pollfd wait{report[0], POLLIN, 0};
    while (poll(&wait, 1, startTimeoutMs) > 0) {
        char chunk[16];
        const ssize_t got = read(report[0], chunk, sizeof chunk);
        if (got <= 0) {
            break;
        }
        number.append(chunk, static_cast<std::size_t>(got));
        if (number.find('\n') != std::string::npos) {
            break;
        }
    }
    close(report[0]);
    while (!number.empty() && (number.back() == '\n' || number.back() == '\r')) {
        number.pop_back();
    }
    if (number.empty()) {
        failure_ = "Xvfb reported no display number";
        return;
    }
    displayName_ = ":" + number;
}

XvfbServer::~XvfbServer() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

} // namespace obx::x11::test
