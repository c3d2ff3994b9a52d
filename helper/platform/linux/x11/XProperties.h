#pragma once

// Reading the 32-bit list properties that EWMH keeps on windows.

#include <X11/Xlib.h>
#include <vector>

namespace obx::x11 {

// The items of a 32-bit property of the type; empty when it is missing or of
// another type or format.
std::vector<unsigned long> readListProperty(Display* display, Window window, Atom property, Atom type);

// The window that _NET_ACTIVE_WINDOW names on the root window; None when
// there is none.
Window activeWindow(Display* display);

} // namespace obx::x11
