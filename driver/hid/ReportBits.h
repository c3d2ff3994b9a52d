#pragma once

#include <cstdint>
#include <span>

namespace obx::hid {

// Reads `bitSize` (1 to 32) bits at `bitOffset` of little-endian report data. The caller has checked
// that the bits lie inside `data`.
inline uint32_t readReportBits(std::span<const uint8_t> data, uint32_t bitOffset, uint8_t bitSize) {
    uint64_t acc = 0;
    const uint32_t firstByte = bitOffset / 8;
    const uint32_t lastByte = (bitOffset + bitSize - 1) / 8;
    for (uint32_t b = lastByte + 1; b-- > firstByte;)
        acc = (acc << 8) | data[b];
    acc >>= bitOffset % 8;
    const uint64_t mask = (uint64_t{1} << bitSize) - 1;
    return static_cast<uint32_t>(acc & mask);
}

inline int32_t signExtend(uint32_t raw, uint8_t bitSize) {
    if (bitSize >= 32)
        return static_cast<int32_t>(raw);
    const uint32_t sign = uint32_t{1} << (bitSize - 1);
    return static_cast<int32_t>((raw ^ sign) - sign);
}

} // namespace obx::hid
