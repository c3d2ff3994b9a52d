#pragma once

// Runs the obxhelper program as a user would, in folders of its own: its
// settings and log under a temporary XDG_CONFIG_HOME, its own HTTP port, a
// session id of its own (so parallel tests never share the instance mark)
// and no X display.

#include "SpawnedProcess.h"
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

// obxkernd serving one virtual trackball in the setting's runtime folder.
class VirtualTrackball {
public:
    explicit VirtualTrackball(const HelperSetting& setting);
    ~VirtualTrackball();
    VirtualTrackball(const VirtualTrackball&) = delete;
    VirtualTrackball& operator=(const VirtualTrackball&) = delete;

    // Connects to the trackball's report socket once the daemon offers it.
    bool ready();
    // A report of the built-in layout with only the buttons set.
    bool sendButtons(std::uint8_t buttons);

private:
    std::filesystem::path runtime_;
    SpawnedProcess daemon_;
    int input_ = -1;
};

// A running helper whose helper core is up: its HTTP port answers.
class RunningHelper {
public:
    RunningHelper(const HelperSetting& setting, const std::vector<std::string>& args = {})
        : setting_(setting), process_(setting, args) {
        started_ = waitUntil([&] { return httpAnswers(setting.port()) || !process_.running(); }) &&
                   process_.running();
    }
    ::testing::AssertionResult started() const {
        if (started_) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure()
               << "the helper did not come up; its output: " << process_.errorOutput()
               << "; its log: " << setting_.log();
    }
    HelperProcess& process() { return process_; }

private:
    const HelperSetting& setting_;
    HelperProcess process_;
    bool started_ = false;
};

// Runs the program to its end; the exit code, or empty as above.
std::optional<int> runHelper(const HelperSetting& setting, const std::vector<std::string>& args);

} // namespace obx::test
