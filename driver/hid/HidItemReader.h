#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace obx::hid {

enum class ItemType : uint8_t { Main = 0, Global = 1, Local = 2, Reserved = 3 };

struct HidItem {
    ItemType type = ItemType::Main;
    uint8_t tag = 0;
    uint8_t size = 0; // data bytes: 0, 1, 2 or 4
    uint32_t data = 0;

    // Minimum, maximum and physical extents are signed numbers whose width is the item's size.
    int32_t signedData() const;
};

// Walks the short items of a report descriptor; long items are skipped. Never reads past the end: a
// truncated item ends the walk with an error.
class HidItemReader {
public:
    explicit HidItemReader(std::span<const uint8_t> descriptor) : bytes_(descriptor) {}

    enum class Result : uint8_t { Item, End, Truncated };
    Result next(HidItem& item);

private:
    std::span<const uint8_t> bytes_;
    size_t pos_ = 0;
};

} // namespace obx::hid
