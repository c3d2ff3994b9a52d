#pragma once

// The Resolution Multiplier (Generic Desktop 0x48, a feature control) as the kernel reads it
// (hid_calculate_multiplier, hid_apply_multiplier), for every parser the driver runs on. Header-only:
// the kernel image links no source of driver/hid.

#include "driver/hid/ValueScaling.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace obx::hid {

inline constexpr uint16_t kUsageResolutionMultiplier = 0x48;

// A collection of the descriptor, as far as a multiplier's reach needs it: indexes into one table.
struct CollectionNode {
    static constexpr uint8_t kNone = 0xFF;
    uint8_t parent = kNone;
    bool logical = false;
};

// The effective multiplier of a multiplier control holding `value`: the value selects the physical
// minimum or, at the logical maximum, the physical maximum; a result outside 1 to 255 counts as 1.
inline int32_t effectiveMultiplier(int64_t value, const ValueRange& range) {
    const int64_t logRange = int64_t{range.logicalMax} - range.logicalMin;
    const int64_t effective = logRange == 0 ? 1
                                            : (value - range.logicalMin) / logRange *
                                                      (int64_t{range.physicalMax} - range.physicalMin) +
                                                  range.physicalMin;
    return effective >= 1 && effective <= 255 ? static_cast<int32_t>(effective) : 1;
}

// What a multiplier in `collection` governs: the controls inside its nearest Logical collection, or
// every control (kNone) when that is a top-level one or there is none.
inline uint8_t multiplierScope(std::span<const CollectionNode> collections, uint8_t collection) {
    uint8_t c = collection;
    for (size_t hops = 0; c != CollectionNode::kNone && c < collections.size() && !collections[c].logical &&
                          hops < collections.size();
         ++hops)
        c = collections[c].parent;
    return c < collections.size() && collections[c].logical && collections[c].parent != CollectionNode::kNone
               ? c
               : CollectionNode::kNone;
}

// Whether a control in `collection` is governed by a multiplier of `scope`.
inline bool withinScope(std::span<const CollectionNode> collections, uint8_t collection, uint8_t scope) {
    if (scope == CollectionNode::kNone)
        return true;
    for (size_t hops = 0; collection < collections.size() && hops < collections.size(); ++hops) {
        if (collection == scope)
            return true;
        collection = collections[collection].parent;
    }
    return false;
}

} // namespace obx::hid
