#include "ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace obx::x11::test {

namespace {

// Servers start slowly on a loaded machine.
constexpr int reportTimeoutMs = 30000;
const std::string reportPlaceholder = "{report}";
constexpr int reportDescriptor = 3;

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> items;
    for (auto& text : texts) {
        items.push_back(text.data());
    }
    items.push_back(nullptr);
    return items;
}

// The program's environment: the given entries replace this process's
// entries of the same name.
std::vector<std::string> environmentWith(const std::vector<std::string>& entries) {
    std::vector<std::string> result(entries);
    for (char** item = environ; *item; ++item) {
        const std::string existing(*item);
        const std::string name = existing.substr(0, existing.find('=') + 1);
        bool replaced = false;
        for (const auto& entry : entries) {
            replaced = replaced || entry.compare(0, name.size(), name) == 0;
        }
        if (!replaced) {
            result.push_back(existing);
        }
    }
    return result;
}

} // namespace

ChildProcess::ChildProcess(std::vector<std::string> command, const std::vector<std::string>& environment) {
    int report[2] = {-1, -1};
    for (auto& argument : command) {
        const auto at = argument.find(reportPlaceholder);
        if (at == std::string::npos) {
            continue;
        }
        if (report[0] < 0 && pipe(report) != 0) {
            failure_ = "pipe failed";
            return;
        }
        // Only the write end goes to the program, as its descriptor 3.
        fcntl(report[0], F_SETFD, FD_CLOEXEC);
        argument.replace(at, reportPlaceholder.size(), std::to_string(reportDescriptor));
    }
    const bool wantsReport = report[0] >= 0;
    auto argv = pointers(command);
    auto variables = environmentWith(environment);
    auto envp = pointers(variables);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (wantsReport) {
        posix_spawn_file_actions_adddup2(&actions, report[1], reportDescriptor);
    }
    // The test's own sockets and files stay with the test.
    posix_spawn_file_actions_addclosefrom_np(&actions, reportDescriptor + (wantsReport ? 1 : 0));
    const int result = posix_spawn(&pid_, argv.front(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (wantsReport) {
        close(report[1]);
    }
    if (result != 0) {
        pid_ = -1;
        failure_ = command.front() + " could not start: " + std::strerror(result);
    } else if (wantsReport) {
        readReport(report[0]);
    }
    if (wantsReport) {
        close(report[0]);
    }
}

void ChildProcess::readReport(int fd) {
    std::string line;
    pollfd wait{fd, POLLIN, 0};
    while (line.find('\n') == std::string::npos && poll(&wait, 1, reportTimeoutMs) > 0) {
        char chunk[256];
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got <= 0) {
            break;
        }
        line.append(chunk, static_cast<std::size_t>(got));
    }
    line = line.substr(0, line.find('\n'));
    if (line.empty()) {
        failure_ = "the program reported nothing";
    }
    report_ = line;
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

} // namespace obx::x11::test
