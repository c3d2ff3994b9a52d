#pragma once

// The text form of a mouse packet on a virtual trackball's output socket:
// "buttonFlags=0x0001 buttonData=0 lastX=0 lastY=0", flags as four hexadecimal digits (lower case), the
// other fields signed decimal.

#include "driver/core/Framework.h"

#include <array>
#include <cstdio>
#include <string_view>

namespace obx::kernd {

using PacketTextBuffer = std::array<char, 80>;

inline std::string_view formatPacket(const driver::MouseInputData& packet, PacketTextBuffer& buffer) {
    const int n =
        std::snprintf(buffer.data(), buffer.size(), "buttonFlags=0x%04x buttonData=%d lastX=%d lastY=%d",
                      packet.buttonFlags, packet.buttonData, packet.lastX, packet.lastY);
    return std::string_view(buffer.data(), static_cast<size_t>(n));
}

} // namespace obx::kernd
