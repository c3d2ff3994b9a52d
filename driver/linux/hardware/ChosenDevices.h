#pragma once

// The pointing devices that users chose to be served besides those of devices.conf, for the whole
// machine: kept in the daemon's state folder, one VENDOR:PRODUCT a line with the device's serial after
// it when the choice names one (the format of devices.conf, the serial as its label), written whole to
// a new file that then replaces the old one, so that a failed write loses nothing.

#include "DeviceTable.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace obx::kernd {

class ChosenDevices {
public:
    static constexpr size_t kMaxChoices = 64;
    static constexpr const char* kFileName = "chosen-devices";

    // Reads the file of the folder (none: nothing chosen). Throws std::runtime_error.
    explicit ChosenDevices(const std::filesystem::path& stateDir);

    // Whether a device of these ids and this serial (empty: it has none) is chosen: by a choice of its
    // serial, or by one of its ids alone.
    bool contains(uint16_t vendor, uint16_t product, const std::string& serial) const;
    // Both throw std::runtime_error with the reason and change nothing when the choice cannot be kept.
    // `serial` empty: the choice names the ids alone.
    void take(uint16_t vendor, uint16_t product, const std::string& serial);
    void release(uint16_t vendor, uint16_t product, const std::string& serial);

private:
    void save(const std::vector<DeviceModel>& chosen) const;

    std::filesystem::path file_;
    std::vector<DeviceModel> chosen_;
};

} // namespace obx::kernd
