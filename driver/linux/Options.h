#pragma once

// The daemon's command line. Options of a virtual trackball apply to the --virtual that they follow.

#include "Log.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace obx::kernd {

inline constexpr const char* kDefaultRuntimeDir = "/run/obxkern";
inline constexpr const char* kRuntimeDirVariable = "OBX_RUNTIME_DIR";
// The unit's StateDirectory=: the devices chosen from the page are kept there.
inline constexpr const char* kDefaultStateDir = "/var/lib/obxkern";

struct VirtualTrackballOptions {
    uint16_t productId = 0x0001;
    uint16_t version = 0x0100;
    std::string product = "Virtual Trackball";
    // Unset: "VIRTUAL-NN" with the trackball's instance number.
    std::optional<std::string> serial;
    // Unset: the built-in five-byte layout.
    std::optional<std::filesystem::path> descriptor;
};

struct DaemonOptions {
    std::filesystem::path runtimeDir;
    LogLevel logLevel = LogLevel::info;
    std::vector<VirtualTrackballOptions> virtuals;
    // hidraw nodes named by --device; when there are some, the match table is not used.
    std::vector<std::string> devices;
    std::filesystem::path devicesFile;
    std::filesystem::path stateDir;
    // Tests only: hidraw devices are found in this folder instead of the system's (hardware/Hardware.h).
    std::filesystem::path hardwareRoot;
    // --virtual-plug: virtual trackballs plugged and unplugged at run time through the plug socket.
    bool virtualPlug = false;
    bool help = false;

    // Real trackballs are served unless only virtual ones were asked for.
    bool servesHardware() const { return (virtuals.empty() && !virtualPlug) || !devices.empty(); }
};

struct ParsedOptions {
    std::optional<DaemonOptions> options; // empty on an error
    std::string error;
};

// `args` excludes the program name; `runtimeDirVariable` is the environment's value or null.
ParsedOptions parseOptions(std::span<const std::string_view> args, const char* runtimeDirVariable);

// Decimal or 0x-hexadecimal, at most `max`.
bool parseNumber(std::string_view text, uint32_t max, uint32_t& value);

const char* usageText();

} // namespace obx::kernd
