#pragma once

#include <chrono>
#include <functional>
#include <wayland-client.h>

namespace obx::wayland {

// wl_display_roundtrip with a time limit, so a compositor that hangs cannot
// hold the caller: false when the connection failed or the answer is late.
bool boundedRoundtrip(wl_display* display, std::chrono::milliseconds timeout);

// Dispatches events until done() holds: false when the connection failed or
// the time ran out first (wl_display_get_error tells which).
bool dispatchUntil(wl_display* display, const std::function<bool()>& done, std::chrono::milliseconds timeout);

} // namespace obx::wayland
