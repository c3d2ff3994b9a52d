#include "support/SpawnedProcess.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace obx::test {

namespace {

bool replaced(const char* entry, const std::vector<std::string>& environment) {
    for (const auto& own : environment) {
        if (std::strncmp(entry, own.c_str(), own.find('=') + 1) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

SpawnedProcess::SpawnedProcess(const std::vector<std::string>& command,
                               const std::vector<std::string>& environment,
                               const std::filesystem::path& output) {
    std::vector<std::string> env = environment;
    for (char** entry = environ; *entry; ++entry) {
        if (!replaced(*entry, environment)) {
            env.emplace_back(*entry);
        }
    }
    std::vector<char*> argv;
    for (const auto& part : command) {
        argv.push_back(const_cast<char*>(part.c_str()));
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& entry : env) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    // The test's own sockets and files stay with the test.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    const int result = posix_spawn(&pid_, argv.front(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) {
        throw std::runtime_error(command.front() + ": " + std::strerror(result));
    }
    pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
    if (pidfd_ < 0) {
        throw std::runtime_error(std::string("pidfd_open: ") + std::strerror(errno));
    }
}

SpawnedProcess::~SpawnedProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    ::close(pidfd_);
}

std::optional<int> SpawnedProcess::waitExit(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) {
        return std::nullopt;
    }
    pollfd entry{pidfd_, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&entry, 1, static_cast<int>(timeout.count()));
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) {
        return std::nullopt;
    }
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? std::optional<int>(WEXITSTATUS(status)) : std::nullopt;
}

bool SpawnedProcess::running() const {
    pollfd entry{pidfd_, POLLIN, 0};
    return pid_ > 0 && ::poll(&entry, 1, 0) == 0;
}

void SpawnedProcess::signal(int number) const {
    if (pid_ > 0) {
        ::kill(pid_, number);
    }
}

} // namespace obx::test
