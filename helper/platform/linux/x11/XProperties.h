#pragma once

// Reading the properties that EWMH and ICCCM keep on windows.

#include <X11/Xlib.h>
#include <optional>
#include <string>
#include <vector>

namespace obx::x11 {

// The items of a 32-bit property of the type; empty when it is missing or of
// another type or format.
std::vector<unsigned long> readListProperty(Display* display, Window window, Atom property, Atom type);

// The text of an 8-bit text property (STRING or UTF8_STRING, WM_CLIENT_MACHINE
// for example); nothing when it is missing or of another format.
std::optional<std::string> readTextProperty(Display* display, Window window, Atom property);

// The window that _NET_ACTIVE_WINDOW names on the root window; None when
// there is none.
Window activeWindow(Display* display);

} // namespace obx::x11
