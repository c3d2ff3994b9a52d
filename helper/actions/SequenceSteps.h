#pragma once

// The steps of a sequence action and their JSON form. The form is read
// strictly: a sequence is new, so no older client wrote it loosely, and a
// field that is unknown or out of range is refused with ActionFieldError
// naming the step, rather than run as something the user did not write.

#include <chrono>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace obx {

struct SequenceStep {
    enum class Type { keyDown, keyUp, keystroke, text, click, buttonDown, buttonUp, pause };

    Type type = Type::pause;
    std::uint32_t modifiers = 0;
    // A virtual-key code; 0 with modifiers holds or lets go the modifiers alone.
    std::uint32_t keyCode = 0;
    std::int32_t button = 0;
    std::string text;
    std::chrono::milliseconds pause{0};

    bool operator==(const SequenceStep&) const = default;
};

using SequenceSteps = std::vector<SequenceStep>;

struct SequenceLimits {
    static constexpr std::size_t maxSteps = 64;
    static constexpr std::chrono::milliseconds maxPause{5000};
    static constexpr std::chrono::milliseconds maxTotalPause{10000};
    static constexpr std::size_t maxTextBytes = 4096;
    static constexpr std::uint32_t maxKeyCode = 254;
    static constexpr std::int32_t maxButton = 5;
};

// Reads the "steps" array. Besides the bounds, a key or button let go must
// be held by an earlier step, so that no step releases what it never pressed.
SequenceSteps sequenceStepsFromJson(const nlohmann::json& steps);
nlohmann::json sequenceStepsToJson(const SequenceSteps& steps);

} // namespace obx
