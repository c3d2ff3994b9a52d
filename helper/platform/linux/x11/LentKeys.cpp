#include "platform/linux/x11/LentKeys.h"

#include <algorithm>

namespace obx::x11 {

void LentKeys::refresh(std::vector<unsigned> emptyKeycodes,
                       const std::function<bool(unsigned, KeySymbol)>& carries) {
    std::erase_if(lent_, [&](const Entry& entry) { return !carries(entry.code, entry.keysym); });
    free_ = std::move(emptyKeycodes);
}

bool LentKeys::lends(unsigned code) const {
    return std::any_of(lent_.begin(), lent_.end(), [&](const Entry& entry) { return entry.code == code; });
}

bool LentKeys::reusable(const Entry& entry, Clock::time_point now) const {
    return entry.lastUse != inUse &&
           ((entry.lastUse >= readSince_ && entry.lastUse <= readUpTo_) || now - entry.lastUse >= hold_);
}

std::optional<LentKeys::Lease> LentKeys::lease(KeySymbol keysym, Clock::time_point now) {
    const auto carrying =
        std::find_if(lent_.begin(), lent_.end(), [&](const Entry& entry) { return entry.keysym == keysym; });
    if (carrying != lent_.end()) {
        carrying->lastUse = inUse;
        return Lease{carrying->code, false};
    }
    if (!free_.empty()) {
        lent_.push_back({free_.back(), keysym, inUse});
        free_.pop_back();
        return Lease{lent_.back().code, true};
    }
    Entry* oldest = nullptr;
    for (auto& entry : lent_) {
        if (reusable(entry, now) && (!oldest || entry.lastUse < oldest->lastUse)) {
            oldest = &entry;
        }
    }
    if (!oldest) {
        return std::nullopt;
    }
    *oldest = {oldest->code, keysym, inUse};
    return Lease{oldest->code, true};
}

void LentKeys::delivered(Clock::time_point at) {
    for (auto& entry : lent_) {
        if (entry.lastUse == inUse) {
            entry.lastUse = at;
        }
    }
}

LentKeys::Clock::time_point LentKeys::reusableAt() const {
    auto at = inUse;
    for (const auto& entry : lent_) {
        if (entry.lastUse != inUse) {
            at = std::min(at, entry.lastUse + hold_);
        }
    }
    return at;
}

LentKeys::Clock::time_point LentKeys::restoreAt() const {
    Clock::time_point newest{};
    for (const auto& entry : lent_) {
        if (entry.lastUse == inUse) {
            return inUse;
        }
        newest = std::max(newest, entry.lastUse);
    }
    return newest + hold_;
}

std::vector<std::pair<unsigned, KeySymbol>> LentKeys::giveBack() {
    std::vector<std::pair<unsigned, KeySymbol>> returned;
    for (const auto& entry : lent_) {
        returned.emplace_back(entry.code, entry.keysym);
        free_.push_back(entry.code);
    }
    lent_.clear();
    return returned;
}

} // namespace obx::x11
