#include "server/OtherDevices.h"

#include "base/Log.h"

#include <charconv>
#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace obx {

using nlohmann::json;

namespace {

// The driver's limit: a longer serial is no device's.
constexpr std::size_t maxSerialBytes = 63;

std::uint16_t hexId(std::string_view text) {
    std::uint16_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (text.size() != 4 || error != std::errc() || end != text.data() + text.size()) {
        throw std::invalid_argument("no id");
    }
    return value;
}

json deviceOf(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream parts(line);
    for (std::string field; std::getline(parts, field, '\t');) {
        fields.push_back(field);
    }
    // The name is last, and may be empty.
    fields.resize(std::max<std::size_t>(fields.size(), 8));
    const std::string& ids = fields[0];
    if (fields.size() != 8 || ids.size() != 9 || ids[4] != ':') {
        throw std::invalid_argument("no device");
    }
    int buttons = 0;
    const auto [end, error] = std::from_chars(fields[2].data(), fields[2].data() + fields[2].size(), buttons);
    if (error != std::errc() || end != fields[2].data() + fields[2].size()) {
        throw std::invalid_argument("no count");
    }
    return {{"vendor", hexId(std::string_view(ids).substr(0, 4))},
            {"product", hexId(std::string_view(ids).substr(5))},
            {"id", ids},
            {"bus", fields[1]},
            {"buttons", buttons},
            {"wheel", fields[3] == "1"},
            {"pan", fields[4] == "1"},
            {"unservable", fields[5]},
            {"serial", fields[6]},
            {"name", fields[7]}};
}

std::uint16_t idField(const json& body, const char* name) {
    const auto found = body.find(name);
    if (found == body.end() || !found->is_number_integer() || *found < 0 || *found > 0xffff) {
        throw std::invalid_argument(std::string("\"") + name + "\" must be a number from 0 to 65535");
    }
    return found->get<std::uint16_t>();
}

} // namespace

json otherDevicesDocument(const std::string& list) {
    json devices = json::array();
    std::istringstream lines(list);
    std::string line;
    std::getline(lines, line); // "pointing-devices COUNT"
    while (std::getline(lines, line)) {
        try {
            devices.push_back(deviceOf(line));
        } catch (const std::exception&) {
            log(LogLevel::warning, "Ignoring a pointing device that obxkernd told as '", line, "'");
        }
    }
    return {{"devices", std::move(devices)}};
}

std::string pointingDeviceRequest(const json& body) {
    if (!body.is_object()) {
        throw std::invalid_argument("The body must be an object with \"take\", \"vendor\" and \"product\"");
    }
    const auto take = body.find("take");
    if (take == body.end() || !take->is_boolean()) {
        throw std::invalid_argument("\"take\" must be true (serve the device) or false (let it go)");
    }
    const std::uint16_t vendor = idField(body, "vendor");
    const std::uint16_t product = idField(body, "product");
    std::string serial;
    if (const auto found = body.find("serial"); found != body.end()) {
        if (!found->is_string()) {
            throw std::invalid_argument("\"serial\" must be a string");
        }
        serial = found->get<std::string>();
        if (serial.size() > maxSerialBytes) {
            throw std::invalid_argument("\"serial\" is longer than " + std::to_string(maxSerialBytes) +
                                        " bytes");
        }
    }
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x", vendor, product);
    return (take->get<bool>() ? "take " : "release ") + std::string(ids) +
           (serial.empty() ? "" : " " + serial);
}

} // namespace obx
