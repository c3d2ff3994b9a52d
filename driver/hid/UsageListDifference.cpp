#include "driver/hid/UsageListDifference.h"

namespace obx::hid {

namespace {

bool contains(std::span<const uint16_t> list, uint32_t length, uint16_t usage) {
    for (uint32_t i = 0; i < length && list[i] != 0; ++i) {
        if (list[i] == usage)
            return true;
    }
    return false;
}

void missingFrom(std::span<const uint16_t> from, std::span<const uint16_t> other, std::span<uint16_t> out,
                 uint32_t length) {
    uint32_t n = 0;
    for (uint32_t i = 0; i < length && from[i] != 0; ++i) {
        if (!contains(other, length, from[i]))
            out[n++] = from[i];
    }
    for (; n < length; ++n)
        out[n] = 0;
}

} // namespace

bool usageListDifference(std::span<const uint16_t> previous, std::span<const uint16_t> current,
                         std::span<uint16_t> breakList, std::span<uint16_t> makeList, uint32_t length) {
    if (previous.size() < length || current.size() < length || breakList.size() < length ||
        makeList.size() < length)
        return false;
    missingFrom(previous, current, breakList, length);
    missingFrom(current, previous, makeList, length);
    return true;
}

} // namespace obx::hid
