#include "platform/linux/x11/X11DesktopQueries.h"

#include "platform/linux/x11/KeyboardMap.h"
#include "platform/linux/x11/ModifierKeys.h"
#include "platform/linux/x11/XProperties.h"

#include <X11/Xatom.h>
#include <system_error>

namespace obx::x11 {

X11DesktopQueries::X11DesktopQueries(const std::string& displayName, std::filesystem::path procFolder)
    : connection_(displayName), procFolder_(std::move(procFolder)) {}

std::uint64_t X11DesktopQueries::foregroundWindow() {
    return connection_.valid() ? activeWindow(connection_.display()) : 0;
}

std::string X11DesktopQueries::foregroundApplicationPath() {
    const Window window = static_cast<Window>(foregroundWindow());
    if (window == None) {
        return {};
    }
    const auto pid =
        readListProperty(connection_.display(), window, connection_.atom("_NET_WM_PID"), XA_CARDINAL);
    if (pid.empty() || pid.front() == 0) {
        return {};
    }
    std::error_code error;
    const auto path = std::filesystem::read_symlink(procFolder_ / std::to_string(pid.front()) / "exe", error);
    return error ? std::string{} : path.string();
}

std::uint32_t X11DesktopQueries::pressedModifiers() {
    if (!connection_.valid()) {
        return 0;
    }
    char keys[32] = {};
    XQueryKeymap(connection_.display(), keys);
    const KeyboardMap map(connection_.display());
    std::vector<unsigned long> keysyms(256, NoSymbol);
    for (unsigned code = 0; code < keysyms.size(); ++code) {
        const auto row = map.row(code);
        keysyms[code] = row.empty() ? NoSymbol : row.front();
    }
    return modifiersFromKeys(keys, keysyms);
}

} // namespace obx::x11
