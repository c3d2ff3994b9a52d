#pragma once

#include <cstdint>
#include <span>

namespace obx::hid {

// Usages of `previous` missing from `current` go to `breakList`, those of `current` missing from
// `previous` go to `makeList`. A usage 0 ends a list. Only `length` entries of each list are looked at
// or written; the four lists must hold that many.
bool usageListDifference(std::span<const uint16_t> previous, std::span<const uint16_t> current,
                         std::span<uint16_t> breakList, std::span<uint16_t> makeList, uint32_t length);

} // namespace obx::hid
