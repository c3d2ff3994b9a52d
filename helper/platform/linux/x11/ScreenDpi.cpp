#include "platform/linux/x11/ScreenDpi.h"

#include "platform/linux/menu/MenuText.h"

#include <X11/Xatom.h>
#include <X11/Xresource.h>
#include <cstdlib>
#include <string>

namespace obx::x11 {

double screenDpi(Display* display) {
    // Read from the root window rather than from the connection's copy, which
    // was taken when the helper connected.
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    double dpi = menu::defaultDpi;
    constexpr long longestResources = 1 << 20;
    if (XGetWindowProperty(display, DefaultRootWindow(display), XA_RESOURCE_MANAGER, 0, longestResources / 4,
                           False, XA_STRING, &type, &format, &count, &after, &data) == Success &&
        data && format == 8) {
        XrmInitialize();
        std::string text(reinterpret_cast<const char*>(data), count);
        if (XrmDatabase database = XrmGetStringDatabase(text.c_str())) {
            char* kind = nullptr;
            XrmValue value{};
            if (XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &kind, &value) && value.addr) {
                char* end = nullptr;
                const double read = std::strtod(value.addr, &end);
                // A few pixels per inch to far beyond any screen: anything
                // else is a typing error, not a display.
                if (end != value.addr && read >= 24.0 && read <= 960.0) {
                    dpi = read;
                }
            }
            XrmDestroyDatabase(database);
        }
    }
    if (data) {
        XFree(data);
    }
    return dpi;
}

} // namespace obx::x11
