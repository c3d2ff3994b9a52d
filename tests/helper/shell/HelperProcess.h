#pragma once

// Runs the obxhelper program as a user would, in folders of its own: its
// settings and log under a temporary XDG_CONFIG_HOME, its own HTTP port, a
// session id and a private runtime folder of its own (so parallel tests
// never share the instance mark) and no X display.

#include "support/SpawnedProcess.h"
#include "support/TempFolder.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace obx::test {

using namespace std::chrono_literals;

// Generous: CI machines are small and busy.
inline constexpr std::chrono::milliseconds kWait = 20s;

// Polls condition until it holds or timeout passes.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = kWait);

// A loopback port that nothing listens on at the moment.
std::uint16_t freePort();
// The command server's whole answer (status line, headers, body) to a GET of
// the path; empty when nothing listens.
std::string httpGet(std::uint16_t port, const std::string& path);
// Whether the command server answers a GET /config/general with 200.
bool httpAnswers(std::uint16_t port);

// The surroundings that every run of one test shares.
class HelperSetting {
public:
    HelperSetting();

    std::filesystem::path dataFolder() const;
    std::filesystem::path logFile(int counter = 0) const;
    std::string log(int counter = 0) const;
    std::uint16_t port() const { return port_; }
    const TempFolder& folder() const { return folder_; }
    const std::string& sessionId() const { return sessionId_; }
    // Sets or replaces an entry of environment.
    void setEnvironment(const std::string& name, const std::string& value);

    // "NAME=value" entries added to the environment of every run.
    std::vector<std::string> environment;
    // The program to run; the build's obxhelper unless changed.
    std::filesystem::path program;

private:
    TempFolder folder_;
    std::uint16_t port_;
    std::string sessionId_;
};

class HelperProcess {
public:
    HelperProcess(const HelperSetting& setting, const std::vector<std::string>& args);

    std::optional<int> waitExit(std::chrono::milliseconds timeout = kWait) {
        return process_.waitExit(timeout);
    }
    bool running() const { return process_.running(); }
    void signal(int number) const { process_.signal(number); }
    // What it wrote to standard output and error.
    std::string errorOutput() const;

private:
    std::filesystem::path output_;
    SpawnedProcess process_;
};

// Runs the program to its end; the exit code, or empty as above.
std::optional<int> runHelper(const HelperSetting& setting, const std::vector<std::string>& args);

} // namespace obx::test
