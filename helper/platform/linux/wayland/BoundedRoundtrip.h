#pragma once

#include <chrono>
#include <wayland-client.h>

namespace obx::wayland {

// wl_display_roundtrip with a time limit, so a compositor that hangs cannot
// hold the caller: false when the connection failed or the answer is late.
bool boundedRoundtrip(wl_display* display, std::chrono::milliseconds timeout);

} // namespace obx::wayland
