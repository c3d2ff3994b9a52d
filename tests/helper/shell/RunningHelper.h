#pragma once

// A helper that runs for a whole test, and the virtual trackball it may
// serve.

#include "HelperProcess.h"

#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>

namespace obx::test {

// A running helper whose helper core is up: its HTTP port answers.
class RunningHelper {
public:
    RunningHelper(const HelperSetting& setting, const std::vector<std::string>& args = {});
    ::testing::AssertionResult started() const;
    HelperProcess& process() { return process_; }

private:
    const HelperSetting& setting_;
    HelperProcess process_;
    bool started_ = false;
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

} // namespace obx::test
