#pragma once

// A trackball that exists only as the daemon's sockets: reports come in on virtual-NN.in, packets
// leave on virtual-NN.out, beside control-NN.

#include "../EventLoop.h"
#include "../Options.h"
#include "../Trackball.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

namespace obx::kernd {

// No report id; byte 0 buttons 1 to 8 (bit n = button n + 1), bytes 1 to 4 X, Y, wheel and AC Pan,
// each signed 8-bit.
std::span<const uint8_t> builtInDescriptor();

// The descriptor file's bytes. Throws std::runtime_error when it cannot be read, is empty or is longer
// than the driver takes.
std::vector<uint8_t> loadDescriptor(const std::filesystem::path& file);

// Its control socket admits whom `access` admits. Throws std::runtime_error.
std::unique_ptr<Trackball> makeVirtualTrackball(EventLoop& loop, uint32_t instance,
                                                const VirtualTrackballOptions& options,
                                                const std::filesystem::path& runtimeDir,
                                                SocketAccess& access = openAccess());

} // namespace obx::kernd
