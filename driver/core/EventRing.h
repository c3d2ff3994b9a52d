#pragma once

#include "driver/core/Framework.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace obx::driver {

// A ring of fixed-size elements with one slot always left free. Storing and taking have locks of
// their own, so a producer never waits for a consumer; the indexes are atomic because each side reads
// the other's.
template <size_t ElementSize, size_t Capacity>
class EventRing {
public:
    static constexpr uint32_t kSlots = Capacity + 1;

    EventRing(ILock& storeLock, ILock& takeLock) : storeLock_(storeLock), takeLock_(takeLock) {}

    ObxStatus store(std::span<const uint8_t> element) {
        if (element.size() > ElementSize)
            return OBX_STATUS_BUFFER_OVERFLOW;
        LockGuard guard(storeLock_);
        const uint32_t free = free_.load(std::memory_order_relaxed);
        const uint32_t next = (free + 1) % kSlots;
        if (next == take_.load(std::memory_order_acquire))
            return OBX_STATUS_NO_MORE_ENTRIES;
        std::memcpy(storage_[free].data(), element.data(), element.size());
        std::memset(storage_[free].data() + element.size(), 0, ElementSize - element.size());
        free_.store(next, std::memory_order_release);
        return OBX_STATUS_SUCCESS;
    }

    ObxStatus take(std::span<uint8_t> element) {
        if (element.size() < ElementSize)
            return OBX_STATUS_BUFFER_TOO_SMALL;
        LockGuard guard(takeLock_);
        const uint32_t take = take_.load(std::memory_order_relaxed);
        if (take == free_.load(std::memory_order_acquire))
            return OBX_STATUS_NO_MORE_ENTRIES;
        std::memcpy(element.data(), storage_[take].data(), ElementSize);
        take_.store((take + 1) % kSlots, std::memory_order_release);
        return OBX_STATUS_SUCCESS;
    }

    bool empty() const {
        return take_.load(std::memory_order_acquire) == free_.load(std::memory_order_acquire);
    }

private:
    ILock& storeLock_;
    ILock& takeLock_;
    std::atomic<uint32_t> take_{0};
    std::atomic<uint32_t> free_{0};
    std::array<std::array<uint8_t, ElementSize>, kSlots> storage_{};
};

} // namespace obx::driver
