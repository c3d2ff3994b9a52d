#pragma once

// Scrolling by keys, on every desktop: the arrow key of the direction (1 up,
// 2 down, 3 left, 4 right) pressed and released once per line, each its own
// keystroke; any other direction, or no lines, sends nothing.

#include "actions/PlatformServicesImpl.h"

#include <cstdint>

namespace obx {

void scrollByArrowKeys(PlatformServicesImpl& services, std::uint32_t direction, int lines);

} // namespace obx
