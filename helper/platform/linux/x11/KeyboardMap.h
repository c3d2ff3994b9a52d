#pragma once

// A snapshot of the server's core keyboard map: where a keysym sits, and which
// keycodes carry nothing and may be lent out for a moment.

#include "platform/linux/x11/KeyPosition.h"
#include "platform/linux/x11/VirtualKeys.h"

#include <X11/Xlib.h>
#include <optional>
#include <unordered_map>
#include <vector>

namespace obx::x11 {

class KeyboardMap {
public:
    explicit KeyboardMap(Display* display);

    // The first key that gives the keysym in the first group without a
    // modifier or with Shift alone.
    std::optional<KeyPosition> find(KeySymbol keysym) const;
    // Keycodes with no keysym and no modifier role.
    std::vector<unsigned> spareKeycodes() const;
    std::vector<KeySymbol> row(unsigned code) const;
    int symbolsPerKeycode() const { return perKeycode_; }

private:
    int minCode_ = 0;
    int maxCode_ = -1;
    int perKeycode_ = 0;
    std::vector<KeySymbol> symbols_;
    std::vector<bool> modifierKeys_;
    std::unordered_map<KeySymbol, KeyPosition> positions_;
};

} // namespace obx::x11
