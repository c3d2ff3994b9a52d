#include "platform/linux/x11/KeyboardMap.h"

#include <algorithm>

namespace obx::x11 {

KeyboardMap::KeyboardMap(Display* display) {
    XDisplayKeycodes(display, &minCode_, &maxCode_);
    const int count = maxCode_ - minCode_ + 1;
    KeySym* symbols = XGetKeyboardMapping(display, static_cast<KeyCode>(minCode_), count, &perKeycode_);
    if (!symbols) {
        maxCode_ = minCode_ - 1;
        perKeycode_ = 0;
        return;
    }
    symbols_.assign(symbols, symbols + static_cast<std::size_t>(count) * perKeycode_);
    XFree(symbols);

    modifierKeys_.assign(static_cast<std::size_t>(count), false);
    if (XModifierKeymap* modifiers = XGetModifierMapping(display)) {
        for (int i = 0; i < 8 * modifiers->max_keypermod; ++i) {
            const int code = modifiers->modifiermap[i];
            if (code >= minCode_ && code <= maxCode_) {
                modifierKeys_[static_cast<std::size_t>(code - minCode_)] = true;
            }
        }
        XFreeModifiermap(modifiers);
    }

    // The unshifted level wins over the shifted one, the lower keycode over a
    // higher one.
    for (int level = std::min(perKeycode_, 2) - 1; level >= 0; --level) {
        for (int code = maxCode_; code >= minCode_; --code) {
            const KeySymbol keysym = row(static_cast<unsigned>(code))[static_cast<std::size_t>(level)];
            if (keysym != NoSymbol) {
                positions_[keysym] = KeyPosition{static_cast<unsigned>(code), level == 1};
            }
        }
    }
}

std::optional<KeyPosition> KeyboardMap::find(KeySymbol keysym) const {
    const auto found = positions_.find(keysym);
    if (found == positions_.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::vector<unsigned> KeyboardMap::spareKeycodes() const {
    std::vector<unsigned> spare;
    for (int code = minCode_; code <= maxCode_; ++code) {
        const auto symbols = row(static_cast<unsigned>(code));
        const bool empty =
            std::all_of(symbols.begin(), symbols.end(), [](KeySymbol s) { return s == NoSymbol; });
        if (empty && !modifierKeys_[static_cast<std::size_t>(code - minCode_)]) {
            spare.push_back(static_cast<unsigned>(code));
        }
    }
    return spare;
}

std::vector<KeySymbol> KeyboardMap::row(unsigned code) const {
    if (static_cast<int>(code) < minCode_ || static_cast<int>(code) > maxCode_) {
        return std::vector<KeySymbol>(static_cast<std::size_t>(perKeycode_), NoSymbol);
    }
    const auto first = symbols_.begin() + static_cast<std::ptrdiff_t>(code - minCode_) * perKeycode_;
    return {first, first + perKeycode_};
}

} // namespace obx::x11
