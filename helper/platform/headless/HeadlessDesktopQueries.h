#pragma once

// The device layer's desktop queries for a session without a desktop: no
// foreground application (the global profile applies) and no modifier keys.

#include "devices/DesktopQueries.h"

namespace obx {

class HeadlessDesktopQueries : public IDesktopQueries {
public:
    std::uint64_t foregroundWindow() override { return 0; }
    std::string foregroundApplicationPath() override { return {}; }
    std::uint32_t pressedModifiers() override { return 0; }
};

} // namespace obx
