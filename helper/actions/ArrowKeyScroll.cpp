#include "actions/ArrowKeyScroll.h"

namespace obx {

void scrollByArrowKeys(PlatformServicesImpl& services, std::uint32_t direction, int lines) {
    // The virtual keys of the arrows, by direction.
    static constexpr std::uint16_t arrows[] = {0x26, 0x28, 0x25, 0x27};
    if (direction < 1 || direction > 4) {
        return;
    }
    for (int i = 0; i < lines; ++i) {
        services.sendKeystroke(0, arrows[direction - 1], true, false);
        services.sendKeystroke(0, arrows[direction - 1], false, false);
    }
}

} // namespace obx
