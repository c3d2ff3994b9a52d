#pragma once

// Reading the pointing-devices socket's messages (PointingDeviceWire.h), for the daemon's clients: the
// helper and obxctl read the same lines and the same answers.

#include "driver/linux/wire/PointingDeviceWire.h"

#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace obx::wire {

struct ListedPointingDevice {
    uint16_t vendor = 0;
    uint16_t product = 0;
    std::string id; // "VVVV:PPPP"
    std::string bus;
    int buttons = 0;
    bool wheel = false;
    bool pan = false;
    std::string unservable; // why the daemon cannot serve it; empty when it can
    std::string serial;
    std::string name;
};

namespace detail {

inline bool readNumber(std::string_view text, int base, auto& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

} // namespace detail

// One device line of a list; nothing when the line is not one.
inline std::optional<ListedPointingDevice> readListedPointingDevice(std::string_view line) {
    std::vector<std::string_view> fields;
    for (size_t start = 0;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(
            line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos)
            break;
        start = tab + 1;
    }
    // The name is last, and may be missing when empty.
    if (fields.size() == 7)
        fields.emplace_back();
    ListedPointingDevice device;
    const std::string_view ids = fields[0];
    if (fields.size() != 8 || ids.size() != 9 || ids[4] != ':' ||
        !detail::readNumber(ids.substr(0, 4), 16, device.vendor) ||
        !detail::readNumber(ids.substr(5), 16, device.product) ||
        !detail::readNumber(fields[2], 10, device.buttons))
        return std::nullopt;
    device.id = ids;
    device.bus = fields[1];
    device.wheel = fields[3] == "1";
    device.pan = fields[4] == "1";
    device.unservable = fields[5];
    device.serial = fields[6];
    device.name = fields[7];
    return device;
}

inline bool isPointingDeviceList(std::string_view message) {
    return message.starts_with(std::string_view(kPointingDeviceHeader)) &&
           message.size() > std::string_view(kPointingDeviceHeader).size() &&
           message[std::string_view(kPointingDeviceHeader).size()] == ' ';
}

// The devices of a list message; each line that is not a device goes to `badLine`.
template <typename BadLine>
std::vector<ListedPointingDevice> readPointingDeviceList(std::string_view message, BadLine&& badLine) {
    std::vector<ListedPointingDevice> devices;
    size_t start = message.find('\n'); // past "pointing-devices COUNT"
    while (start != std::string_view::npos && start + 1 < message.size()) {
        const size_t end = message.find('\n', start + 1);
        const std::string_view line =
            message.substr(start + 1, end == std::string_view::npos ? end : end - start - 1);
        if (auto device = readListedPointingDevice(line))
            devices.push_back(std::move(*device));
        else
            badLine(line);
        start = end;
    }
    return devices;
}

// What a message that comes while a request waits is.
enum class PointingDeviceAnswer : uint8_t { Done, Refused, List, Unexpected };

inline PointingDeviceAnswer pointingDeviceAnswer(std::string_view message) {
    if (message == "ok")
        return PointingDeviceAnswer::Done;
    if (message.starts_with("error: "))
        return PointingDeviceAnswer::Refused;
    return isPointingDeviceList(message) ? PointingDeviceAnswer::List : PointingDeviceAnswer::Unexpected;
}

// The reason of a refusal ("error: WHY").
inline std::string refusalReason(std::string_view message) {
    return std::string(message.substr(7));
}

} // namespace obx::wire
