#include "platform/linux/wayland/ReaderPace.h"

#include <algorithm>
#include <cstdint>
#include <thread>

namespace obx::wayland {

namespace {

// A quarter of the kernel's buffer (50 KiB of the usual 208 KiB, some 800
// characters in flight) leaves room for the keys sent before the next look
// and for the client's other events.
constexpr std::uint32_t bufferShare = 4;
// A look costs a walk over every socket of the system (a millisecond or more
// on a desktop), so it is taken after every few batches only: 8 batches of 32
// taps add some 18 KiB, which the quarter's room takes.
constexpr std::size_t batchesPerLook = 8;
constexpr auto lookInterval = std::chrono::milliseconds(1);
// Where the kernel does not tell, the typing pauses this long per batch: up
// to about 1,600 characters a second, which a program reads unless it stalls.
constexpr auto blindPause = std::chrono::milliseconds(20);

bool keepsUp(const ClientQueues& start, const ClientQueues& now) {
    return std::all_of(now.begin(), now.end(), [&](const auto& entry) {
        const auto& [inode, queue] = entry;
        const auto before = start.find(inode);
        const std::uint32_t held = before == start.end() ? 0 : before->second.unread;
        return queue.unread <= std::max(held, queue.sendBuffer / bufferShare);
    });
}

std::uint64_t totalUnread(const ClientQueues& queues) {
    std::uint64_t total = 0;
    for (const auto& [inode, queue] : queues) {
        total += queue.unread;
    }
    return total;
}

} // namespace

ReaderPace::ReaderPace(int displayFd, std::chrono::milliseconds stallLimit,
                       std::chrono::milliseconds textLimit)
    : queues_(displayFd), stallLimit_(stallLimit), textLimit_(textLimit) {}

void ReaderPace::begin() {
    start_ = queues_.read();
    batches_ = 0;
    textDeadline_ = std::chrono::steady_clock::now() + textLimit_;
}

bool ReaderPace::keepUp() {
    if (++batches_ % batchesPerLook != 0) {
        return true;
    }
    using Clock = std::chrono::steady_clock;
    auto lastRead = Clock::now();
    std::uint64_t leastUnread = UINT64_MAX;
    for (;;) {
        const auto now = start_ ? queues_.read() : std::nullopt;
        if (!now) {
            std::this_thread::sleep_for(blindPause * batchesPerLook);
            return true;
        }
        if (keepsUp(*start_, *now)) {
            return true;
        }
        // Reading shows as less unread in all; only a client that reads
        // nothing at all is given up on.
        const auto unread = totalUnread(*now);
        if (unread < leastUnread) {
            leastUnread = unread;
            lastRead = Clock::now();
        }
        const auto time = Clock::now();
        if (time >= lastRead + stallLimit_ || time >= textDeadline_) {
            return false;
        }
        std::this_thread::sleep_for(lookInterval);
    }
}

} // namespace obx::wayland
