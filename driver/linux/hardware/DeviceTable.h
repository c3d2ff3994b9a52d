#pragma once

// The trackball models that obxkernd drives: vendor:product pairs read from its devices.conf.
//
// Format, one model per line: VENDOR:PRODUCT, each one to four hexadecimal digits, then optional label
// text after white space. Blank lines and lines whose first non-blank character is '#' are ignored.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace obx::kernd {

inline constexpr const char* kDefaultDevicesFile = "/etc/obxkern/devices.conf";

struct DeviceModel {
    uint16_t vendor = 0;
    uint16_t product = 0;
    std::string label;
};

class DeviceTable {
public:
    // Bounds of what is read, so that a wrong file cannot make the daemon read without end.
    static constexpr size_t kMaxModels = 256;
    static constexpr size_t kMaxFileBytes = 64 * 1024;

    // `origin` names the text in error messages. Throws std::runtime_error "ORIGIN:LINE: what is wrong".
    static DeviceTable parse(std::string_view text, const std::string& origin);
    // A file that does not exist is an empty table; one that cannot be read or parsed throws.
    static DeviceTable load(const std::filesystem::path& file);

    bool matches(uint16_t vendor, uint16_t product) const;
    const std::vector<DeviceModel>& models() const { return models_; }

private:
    std::vector<DeviceModel> models_;
};

} // namespace obx::kernd
