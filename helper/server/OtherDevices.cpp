#include "server/OtherDevices.h"

#include "base/Log.h"
#include "driver/linux/wire/PointingDeviceList.h"

#include <cstdio>
#include <stdexcept>

namespace obx {

using nlohmann::json;

namespace {

json deviceOf(const wire::ListedPointingDevice& device) {
    return {{"vendor", device.vendor}, {"product", device.product},       {"id", device.id},
            {"bus", device.bus},       {"buttons", device.buttons},       {"wheel", device.wheel},
            {"pan", device.pan},       {"unservable", device.unservable}, {"serial", device.serial},
            {"name", device.name}};
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
    for (const auto& device : wire::readPointingDeviceList(list, [](std::string_view line) {
             log(LogLevel::warning, "Ignoring a pointing device that obxkernd told as '", std::string(line),
                 "'");
         })) {
        devices.push_back(deviceOf(device));
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
        if (serial.size() > wire::kMaxSerialBytes) {
            throw std::invalid_argument("\"serial\" is longer than " + std::to_string(wire::kMaxSerialBytes) +
                                        " bytes");
        }
    }
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x", vendor, product);
    return (take->get<bool>() ? "take " : "release ") + std::string(ids) +
           (serial.empty() ? "" : " " + serial);
}

} // namespace obx
