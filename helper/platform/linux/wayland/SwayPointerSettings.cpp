#include "platform/linux/wayland/SwayPointerSettings.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace obx::wayland {

namespace {

// The helper's pointer speed is one of twenty levels (speed / 100 × 20, at
// least 1); level 10 is libinput's neutral speed 0.
constexpr int neutralLevel = 10;
constexpr int maxLevel = 20;
// A wheel notch scrolls three lines at libinput's factor 1, as toolkits
// scroll it.
constexpr double linesPerFactor = 3.0;

std::string decimal(double value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 3).ptr;
    return std::string(text, end);
}

int speedLevel(int speed) {
    const float level = static_cast<float>(speed) / 100.0f * 20.0f;
    return std::min(static_cast<int>(std::max(level, 1.0f)), maxLevel);
}

const nlohmann::json* firstPointer(const nlohmann::json& inputs, const char* key) {
    if (!inputs.is_array()) {
        return nullptr;
    }
    for (const auto& device : inputs) {
        if (!device.is_object() || device.value("type", "") != "pointer") {
            continue;
        }
        const auto* holder = &device;
        if (key != std::string_view("scroll_factor")) {
            const auto found = device.find("libinput");
            if (found == device.end() || !found->is_object()) {
                continue;
            }
            holder = &*found;
        }
        if (holder->contains(key)) {
            return holder;
        }
    }
    return nullptr;
}

} // namespace

double libinputPointerAccel(int speed) {
    return static_cast<double>(speedLevel(speed) - neutralLevel) / neutralLevel;
}

int speedFromLibinputAccel(double accel) {
    const int level = static_cast<int>(std::lround(accel * neutralLevel + neutralLevel));
    return std::clamp(level, 1, maxLevel) * 5;
}

bool adaptiveProfile(int accelerationRate) {
    // The rate's rows 1 to 3 all accelerate; libinput has one adaptive curve.
    return static_cast<float>(accelerationRate) / 100.0f * 3.0f >= 1.0f;
}

std::string swayPointerCommands(int speed, int accelerationRate, int wheelLines) {
    const double accel = libinputPointerAccel(speed);
    const bool accelerated = adaptiveProfile(accelerationRate);
    const double factor = std::max(wheelLines, 1) / linesPerFactor;
    const std::string target = "input type:pointer ";
    return target + "pointer_accel " + decimal(accel) + "; " + target + "accel_profile " +
           (accelerated ? "adaptive" : "flat") + "; " + target + "scroll_factor " + decimal(factor);
}

PointerReadback readPointerSettings(const nlohmann::json& inputs) {
    PointerReadback values;
    if (const auto* libinput = firstPointer(inputs, "accel_speed");
        libinput && libinput->at("accel_speed").is_number()) {
        values.speed = speedFromLibinputAccel(libinput->at("accel_speed").get<double>());
    }
    if (const auto* libinput = firstPointer(inputs, "accel_profile")) {
        values.accelerationRate = libinput->at("accel_profile") == "adaptive" ? 10 : 0;
    }
    if (const auto* libinput = firstPointer(inputs, "natural_scroll")) {
        values.scrollInvert = libinput->at("natural_scroll") == "enabled";
    }
    if (const auto* device = firstPointer(inputs, "scroll_factor");
        device && device->at("scroll_factor").is_number()) {
        const double factor = device->at("scroll_factor").get<double>();
        values.wheelLines = std::max(1, static_cast<int>(std::lround(factor * linesPerFactor)));
    }
    return values;
}

} // namespace obx::wayland
