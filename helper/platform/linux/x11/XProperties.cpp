#include "platform/linux/x11/XProperties.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

namespace obx::x11 {

std::vector<unsigned long> readListProperty(Display* display, Window window, Atom property, Atom type) {
    Atom actualType = None;
    int actualFormat = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(display, window, property, 0, 0x10000, False, type, &actualType,
                                          &actualFormat, &count, &remaining, &data);
    std::vector<unsigned long> items;
    if (status == Success && data && actualType == type && actualFormat == 32) {
        // Xlib hands 32-bit items over as longs.
        const auto* values = reinterpret_cast<const unsigned long*>(data);
        items.assign(values, values + count);
    }
    if (data) {
        XFree(data);
    }
    return items;
}

std::optional<std::string> readTextProperty(Display* display, Window window, Atom property) {
    XTextProperty text{};
    if (XGetTextProperty(display, window, &text, property) == 0) {
        return std::nullopt;
    }
    std::optional<std::string> result;
    if (text.format == 8 && text.value != nullptr) {
        result.emplace(reinterpret_cast<const char*>(text.value), text.nitems);
    }
    if (text.value != nullptr) {
        XFree(text.value);
    }
    return result;
}

Window activeWindow(Display* display) {
    const auto items = readListProperty(display, DefaultRootWindow(display),
                                        XInternAtom(display, "_NET_ACTIVE_WINDOW", False), XA_WINDOW);
    return items.empty() ? None : static_cast<Window>(items.front());
}

} // namespace obx::x11
