#pragma once

// Tells the user when no trackball driver answers: the "driver" status notice
// (GET /status, the page) while the cause lasts, and a desktop notification
// the first time in this process. The icon's tooltip is not changed.

#include <string>

namespace obx {

// missing: what is wrong and the one step that fixes it; empty when the
// driver is there (a trackball may still be unplugged: that is no fault).
void reportDriverPresence(const std::string& missing);

} // namespace obx
