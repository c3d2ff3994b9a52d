#include "platform/linux/wayland/SwayPointerSettings.h"

#include <charconv>

namespace obx::wayland {

namespace {

std::string decimal(double value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 3).ptr;
    return std::string(text, end);
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

std::string swayPointerCommands(int speed, int accelerationRate, int wheelLines) {
    const auto values = linuxos::libinputPointer(speed, accelerationRate, wheelLines);
    const std::string target = "input type:pointer ";
    return target + "pointer_accel " + decimal(values.acceleration) + "; " + target + "accel_profile " +
           (values.adaptive ? "adaptive" : "flat") + "; " + target + "scroll_factor " +
           decimal(values.scrollFactor);
}

PointerReadback readPointerSettings(const nlohmann::json& inputs) {
    PointerReadback values;
    if (const auto* libinput = firstPointer(inputs, "accel_speed");
        libinput && libinput->at("accel_speed").is_number()) {
        values.speed = linuxos::speedOfAcceleration(libinput->at("accel_speed").get<double>());
    }
    if (const auto* libinput = firstPointer(inputs, "accel_profile")) {
        values.accelerationRate =
            linuxos::accelerationRateOfProfile(libinput->at("accel_profile") == "adaptive");
    }
    if (const auto* libinput = firstPointer(inputs, "natural_scroll")) {
        values.scrollInvert = libinput->at("natural_scroll") == "enabled";
    }
    if (const auto* device = firstPointer(inputs, "scroll_factor");
        device && device->at("scroll_factor").is_number()) {
        values.wheelLines = linuxos::wheelLinesOfScrollFactor(device->at("scroll_factor").get<double>());
    }
    return values;
}

} // namespace obx::wayland
