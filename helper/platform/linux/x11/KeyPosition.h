#pragma once

namespace obx::x11 {

// Where a keysym sits on the keyboard map.
struct KeyPosition {
    unsigned code = 0;
    bool shifted = false; // the keysym is on the key's second level
};

} // namespace obx::x11
