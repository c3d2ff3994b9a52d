#pragma once

// The resolution X11 desktops name for text: the Xft.dpi resource.

#include <X11/Xlib.h>

namespace obx::x11 {

// Xft.dpi of the screen's resources as they are now (a change made after the
// helper connected counts); 96 when unset or unreadable.
double screenDpi(Display* display);

} // namespace obx::x11
