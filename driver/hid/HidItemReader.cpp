#include "driver/hid/HidItemReader.h"

namespace obx::hid {

namespace {
constexpr uint8_t kLongItemPrefix = 0xFE;
}

int32_t HidItem::signedData() const {
    switch (size) {
    case 1:
        return static_cast<int8_t>(data);
    case 2:
        return static_cast<int16_t>(data);
    case 4:
        return static_cast<int32_t>(data);
    default:
        return 0;
    }
}

HidItemReader::Result HidItemReader::next(HidItem& item) {
    while (pos_ < bytes_.size()) {
        const uint8_t prefix = bytes_[pos_];
        if (prefix == kLongItemPrefix) {
            if (bytes_.size() - pos_ < 3)
                return Result::Truncated;
            const size_t dataSize = bytes_[pos_ + 1];
            if (bytes_.size() - pos_ - 3 < dataSize)
                return Result::Truncated;
            pos_ += 3 + dataSize;
            continue;
        }
        const uint8_t sizeCode = prefix & 0x03;
        const uint8_t size = sizeCode == 3 ? 4 : sizeCode;
        if (bytes_.size() - pos_ - 1 < size)
            return Result::Truncated;
        item.type = static_cast<ItemType>((prefix >> 2) & 0x03);
        item.tag = static_cast<uint8_t>(prefix >> 4);
        item.size = size;
        item.data = 0;
        for (uint8_t i = 0; i < size; ++i)
            item.data |= static_cast<uint32_t>(bytes_[pos_ + 1 + i]) << (8 * i);
        pos_ += 1 + size;
        return Result::Item;
    }
    return Result::End;
}

} // namespace obx::hid
