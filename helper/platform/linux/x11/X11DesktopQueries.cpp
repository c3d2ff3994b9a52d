#include "platform/linux/x11/X11DesktopQueries.h"

#include "platform/linux/x11/KeyboardMap.h"
#include "platform/linux/x11/XProperties.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/extensions/XRes.h>
#include <array>
#include <climits>
#include <system_error>
#include <unistd.h>

namespace obx::x11 {

namespace {

std::string hostName() {
    std::array<char, HOST_NAME_MAX + 1> name{};
    if (gethostname(name.data(), name.size() - 1) != 0) {
        return {};
    }
    return name.data();
}

// Equal names, or one the first label of the other ("box" and "box.lan").
bool sameHost(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) {
        return false;
    }
    const auto& shorter = a.size() <= b.size() ? a : b;
    const auto& longer = a.size() <= b.size() ? b : a;
    return longer.compare(0, shorter.size(), shorter) == 0 &&
           (longer.size() == shorter.size() || longer[shorter.size()] == '.');
}

bool serverAnswersClientIds(Display* display) {
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    return XResQueryExtension(display, &event, &error) != 0 &&
           XResQueryVersion(display, &major, &minor) != 0 && (major > 1 || (major == 1 && minor >= 2));
}

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
    : connection_(displayName), procFolder_(std::move(procFolder)), host_(hostName()),
      clientIds_(connection_.valid() && serverAnswersClientIds(connection_.display())),
      keyboardMapEvent_(connection_.valid() ? keyboardMapEvents(connection_.display()) : 0) {}

std::uint64_t X11DesktopQueries::foregroundWindow() {
    return connection_.valid() ? activeWindow(connection_.display()) : 0;
}

std::string X11DesktopQueries::foregroundApplicationPath() {
    const Window window = static_cast<Window>(foregroundWindow());
    if (window == None) {
        return {};
    }
    const auto pid = localPid(window);
    if (pid == 0) {
        return {};
    }
    std::error_code error;
    const auto path = std::filesystem::read_symlink(procFolder_ / std::to_string(pid) / "exe", error);
    return error ? std::string{} : path.string();
}

unsigned long X11DesktopQueries::localPid(Window window) const {
    Display* display = connection_.display();
    const auto machine = readTextProperty(display, window, XA_WM_CLIENT_MACHINE);
    if (machine && !sameHost(*machine, host_)) {
        // A remote client's pid names an unrelated local process.
        return 0;
    }
    if (machine) {
        const auto pid = readListProperty(display, window, connection_.atom("_NET_WM_PID"), XA_CARDINAL);
        if (!pid.empty() && pid.front() != 0) {
            return pid.front();
        }
    }
    return serverKnownPid(window);
}

unsigned long X11DesktopQueries::serverKnownPid(Window window) const {
    if (!clientIds_) {
        return 0;
    }
    // The server knows the pids of local clients only.
    XResClientIdSpec wanted{window, XRES_CLIENT_ID_PID_MASK};
    long count = 0;
    XResClientIdValue* values = nullptr;
    if (XResQueryClientIds(connection_.display(), 1, &wanted, &count, &values) != Success) {
        return 0;
    }
    pid_t pid = -1;
    for (long i = 0; i < count && pid <= 0; ++i) {
        pid = XResGetClientPid(&values[i]);
    }
    XResClientIdsDestroy(count, values);
    return pid > 0 ? static_cast<unsigned long>(pid) : 0;
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
