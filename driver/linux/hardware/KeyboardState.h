#pragma once

// The modifier keys held on the keyboards of one seat, read from their evdev nodes with EVIOCGKEY (the
// kernel's state of each key, whoever reads the events). A keyboard's seat is udev's ID_SEAT of its
// node or of the nearest device above it that has one, seat0 without. The nodes are found again at most
// every two seconds, when asked, so that a keyboard plugged in counts without a watch of its own.

#include "../UniqueFd.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

struct udev;

namespace obx::kernd {

class KeyboardState {
public:
    // At most this many keyboards are followed.
    static constexpr size_t kMaxKeyboards = 32;

    explicit KeyboardState(std::string seat);
    ~KeyboardState();
    KeyboardState(const KeyboardState&) = delete;
    KeyboardState& operator=(const KeyboardState&) = delete;

    // The held modifiers as a mask of wire::kModifier*.
    uint32_t held();

private:
    void findKeyboards();

    std::string seat_;
    udev* udev_ = nullptr;
    std::vector<UniqueFd> keyboards_;
    std::chrono::steady_clock::time_point found_{};
};

} // namespace obx::kernd
