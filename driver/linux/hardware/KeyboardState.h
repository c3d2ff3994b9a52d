#pragma once

// The modifier keys held on the keyboards of the machine, read from their evdev nodes with EVIOCGKEY
// (the kernel's state of each key, whoever reads the events). The nodes are found again at most every
// two seconds, when asked, so that a keyboard plugged in counts without a watch of its own.

#include "../UniqueFd.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace obx::kernd {

class KeyboardState {
public:
    // At most this many keyboards are followed.
    static constexpr size_t kMaxKeyboards = 32;

    explicit KeyboardState(std::filesystem::path folder = "/dev/input");

    // The held modifiers as a mask of wire::kModifier*.
    uint32_t held();

private:
    void findKeyboards();

    std::filesystem::path folder_;
    std::vector<UniqueFd> keyboards_;
    std::chrono::steady_clock::time_point found_{};
};

} // namespace obx::kernd
