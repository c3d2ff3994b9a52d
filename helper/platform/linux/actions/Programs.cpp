#include "platform/linux/actions/Programs.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sstream>
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
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        return -1;
    }
    int status = 0;
    if (waitFor(pid, &status) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

} // namespace obx::x11
