#include "platform/linux/x11/X11DesktopQueries.h"

#include "platform/linux/x11/KeyboardMap.h"
#include "platform/linux/x11/XProperties.h"

#include <X11/XKBlib.h>

namespace obx::x11 {

namespace {

// Xlib's keyboard extension takes the server's map changes in; a client sees
// them only as the extension's map notices, which it must ask for. 0 when the
// server has no such extension (core MappingNotify events come then).
int keyboardMapEvents(Display* display) {
    int opcode = 0;
    int event = 0;
    int error = 0;
    int major = XkbMajorVersion;
    int minor = XkbMinorVersion;
    if (!XkbQueryExtension(display, &opcode, &event, &error, &major, &minor)) {
        return 0;
    }
    XkbSelectEvents(display, XkbUseCoreKbd, XkbMapNotifyMask, XkbMapNotifyMask);
    return event;
}

} // namespace

X11DesktopQueries::X11DesktopQueries(const std::string& displayName, std::filesystem::path procFolder)
    : connection_(displayName), processes_(connection_.display(), std::move(procFolder)),
      keyboardMapEvent_(connection_.valid() ? keyboardMapEvents(connection_.display()) : 0) {}

std::uint64_t X11DesktopQueries::foregroundWindow() {
    return connection_.valid() ? activeWindow(connection_.display()) : 0;
}

std::string X11DesktopQueries::foregroundApplicationPath() {
    const Window window = static_cast<Window>(foregroundWindow());
    if (window == None) {
        return {};
    }
    return processes_.executable(window);
}

std::uint32_t X11DesktopQueries::pressedModifiers() {
    if (!connection_.valid()) {
        return 0;
    }
    Display* display = connection_.display();
    char keys[32] = {};
    // A round trip: the notice of a keyboard map change made before it has
    // reached the event queue by its return.
    XQueryKeymap(display, keys);
    XEvent event;
    while (XCheckTypedEvent(display, MappingNotify, &event)) {
        XRefreshKeyboardMapping(&event.xmapping);
        modifierKeys_.reset();
    }
    while (keyboardMapEvent_ != 0 && XCheckTypedEvent(display, keyboardMapEvent_, &event)) {
        modifierKeys_.reset();
    }
    if (!modifierKeys_) {
        const KeyboardMap map(display);
        std::vector<unsigned long> keysyms(256, NoSymbol);
        for (unsigned code = 0; code < keysyms.size(); ++code) {
            const auto row = map.row(code);
            keysyms[code] = row.empty() ? NoSymbol : row.front();
        }
        modifierKeys_.emplace(keysyms);
    }
    return modifierKeys_->pressed(keys);
}

} // namespace obx::x11
