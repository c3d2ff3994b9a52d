#include "platform/linux/actions/Programs.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <linux/close_range.h>
#include <spawn.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace obx::x11 {

namespace {

std::vector<char*> argumentVector(const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const auto& argument : command) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    return argv;
}

// Programs get none of the helper's descriptors beyond the standard three:
// a socket they held would keep the helper's port or its log busy after the
// helper ended. Every descriptor is opened close-on-exec already; this also
// covers one that a library opened without. Marked rather than closed, so
// that the exec's failure report still goes out.
void closeOnExecAboveStandard(int highestDescriptor) {
    if (::close_range(3, ~0u, CLOSE_RANGE_CLOEXEC) == 0) {
        return;
    }
    for (int fd = 3; fd <= highestDescriptor; ++fd) {
        const int flags = ::fcntl(fd, F_GETFD);
        if (flags >= 0) {
            ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
        }
    }
}

// Bounds the fallback walk of closeOnExecAboveStandard.
int highestPossibleDescriptor() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return 65535;
    }
    return static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 1u << 20)) - 1;
}

pid_t waitFor(pid_t pid, int* status) {
    pid_t result;
    do {
        result = waitpid(pid, status, 0);
    } while (result < 0 && errno == EINTR);
    return result;
}

} // namespace

std::string findProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) {
        return access(name.c_str(), X_OK) == 0 ? name : std::string{};
    }
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "/usr/local/bin:/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

bool openWithDefaultApplication(const std::string& path) {
    const char* home = std::getenv("HOME");
    return startDetached({"xdg-open", path}, home ? home : "");
}

bool startDetached(const std::vector<std::string>& command, const std::string& workingFolder) {
    const std::string program = command.empty() ? std::string{} : findProgram(command.front());
    if (program.empty()) {
        return false;
    }
    auto argv = argumentVector(command);
    // The grandchild reports a failed exec through this pipe; a successful
    // exec closes it empty.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        return false;
    }
    const int highestDescriptor = highestPossibleDescriptor();
    // Only async-signal-safe calls between fork and exec: the helper has
    // other threads.
    const pid_t child = fork();
    if (child == 0) {
        setsid();
        const pid_t grandchild = fork();
        if (grandchild == 0) {
            // Without the folder the program still runs, from the inherited one.
            if (!workingFolder.empty()) {
                (void)!chdir(workingFolder.c_str());
            }
            closeOnExecAboveStandard(highestDescriptor);
            execv(program.c_str(), argv.data());
            const int error = errno;
            (void)!write(report[1], &error, sizeof error);
            _exit(127);
        }
        _exit(grandchild > 0 ? 0 : 1);
    }
    close(report[1]);
    bool started = false;
    if (child > 0) {
        int status = 0;
        waitFor(child, &status);
        int error = 0;
        ssize_t got;
        do {
            got = read(report[0], &error, sizeof error);
        } while (got < 0 && errno == EINTR);
        started = got == 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    close(report[0]);
    return started;
}

int runProgram(const std::vector<std::string>& command) {
    const std::string program = command.empty() ? std::string{} : findProgram(command.front());
    if (program.empty()) {
        return -1;
    }
    auto argv = argumentVector(command);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return -1;
    }
    int status = 0;
    if (waitFor(pid, &status) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

} // namespace obx::x11
