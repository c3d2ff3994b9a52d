#include "platform/linux/x11/WindowProcesses.h"

#include "platform/linux/x11/XProperties.h"

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

} // namespace

WindowProcesses::WindowProcesses(Display* display, std::filesystem::path procFolder)
    : display_(display), procFolder_(std::move(procFolder)), host_(hostName()),
      pidAtom_(display ? XInternAtom(display, "_NET_WM_PID", False) : None),
      clientIds_(display && serverAnswersClientIds(display)) {}

std::string WindowProcesses::executable(Window window) const {
    const auto pid = localPid(window);
    if (pid == 0) {
        return {};
    }
    std::error_code error;
    const auto path = std::filesystem::read_symlink(procFolder_ / std::to_string(pid) / "exe", error);
    return error ? std::string{} : path.string();
}

unsigned long WindowProcesses::localPid(Window window) const {
    const auto machine = readTextProperty(display_, window, XA_WM_CLIENT_MACHINE);
    if (machine && !sameHost(*machine, host_)) {
        // A remote client's pid names an unrelated local process.
        return 0;
    }
    if (machine) {
        const auto pid = readListProperty(display_, window, pidAtom_, XA_CARDINAL);
        if (!pid.empty() && pid.front() != 0) {
            return pid.front();
        }
    }
    return serverKnownPid(window);
}

unsigned long WindowProcesses::serverKnownPid(Window window) const {
    if (!clientIds_) {
        return 0;
    }
    // The server knows the pids of local clients only.
    XResClientIdSpec wanted{window, XRES_CLIENT_ID_PID_MASK};
    long count = 0;
    XResClientIdValue* values = nullptr;
    if (XResQueryClientIds(display_, 1, &wanted, &count, &values) != Success) {
        return 0;
    }
    pid_t pid = -1;
    for (long i = 0; i < count && pid <= 0; ++i) {
        pid = XResGetClientPid(&values[i]);
    }
    XResClientIdsDestroy(count, values);
    return pid > 0 ? static_cast<unsigned long>(pid) : 0;
}

} // namespace obx::x11
