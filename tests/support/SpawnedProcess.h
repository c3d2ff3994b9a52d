#pragma once

// A program run by a test: started with posix_spawn, its standard output and
// error into one file, waited for through a process descriptor, killed if
// still running when the object goes.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace obx::test {

class SpawnedProcess {
public:
    // command: the program's path and its arguments. environment: "NAME=value"
    // entries that replace or add to the test's own. Throws std::runtime_error.
    SpawnedProcess(const std::vector<std::string>& command, const std::vector<std::string>& environment,
                   const std::filesystem::path& output);
    ~SpawnedProcess();
    SpawnedProcess(const SpawnedProcess&) = delete;
    SpawnedProcess& operator=(const SpawnedProcess&) = delete;

    // The exit code, or empty when it did not end in time or a signal ended it.
    std::optional<int> waitExit(std::chrono::milliseconds timeout);
    bool running() const;
    void signal(int number) const;

private:
    pid_t pid_ = -1;
    int pidfd_ = -1;
};

} // namespace obx::test
