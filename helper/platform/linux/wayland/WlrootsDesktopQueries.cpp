#include "platform/linux/wayland/WlrootsDesktopQueries.h"

#include "base/Log.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace obx::wayland {

namespace fs = std::filesystem;

namespace {

// A sandboxed program sees its own files under /app; the path says nothing
// outside the sandbox.
bool sandboxed(const std::string& executable) {
    return executable.starts_with("/app/");
}

bool plainAppId(const std::string& appId) {
    return !appId.empty() && appId.size() <= 255 && appId.front() != '.' &&
           std::all_of(appId.begin(), appId.end(),
                       [](unsigned char c) { return std::isalnum(c) || c == '.' || c == '_' || c == '-'; });
}

} // namespace

std::string flatpakProgram(const std::string& appId, const std::string& home) {
    if (!plainAppId(appId)) {
        return {};
    }
    const fs::path user = fs::path(home) / ".local/share/flatpak/exports/bin" / appId;
    std::error_code error;
    if (!home.empty() && fs::exists(user, error)) {
        return user.string();
    }
    return (fs::path("/var/lib/flatpak/exports/bin") / appId).string();
}

std::string processProgram(const fs::path& procFolder, pid_t pid, const std::string& appId,
                           const std::string& home) {
    if (pid <= 0) {
        return {};
    }
    std::error_code error;
    const auto executable = fs::read_symlink(procFolder / std::to_string(pid) / "exe", error);
    if (error) {
        return {};
    }
    return sandboxed(executable.string()) ? flatpakProgram(appId, home) : executable.string();
}

WlrootsDesktopQueries::WlrootsDesktopQueries(std::shared_ptr<ForeignToplevels> toplevels, Options options)
    : toplevels_(std::move(toplevels)), options_(std::move(options)), sway_(*toplevels_),
      programs_(options_.entries), modifiers_(options_.runtimeFolder) {}

std::uint64_t WlrootsDesktopQueries::foregroundWindow() {
    const auto window = toplevels_->focused();
    return window ? window->id : 0;
}

std::string WlrootsDesktopQueries::foregroundApplicationPath() {
    const auto window = toplevels_->focused();
    if (!window) {
        return {};
    }
    if (const auto* ipc = sway_.ipc()) {
        try {
            const auto focus = focusedWindow(ipc->request(SwayMessage::getTree));
            // Another window took the focus between the two answers: asked
            // again on the next tick. (X11 programs have no app id in the tree.)
            if (focus.pid == 0 || (!focus.appId.empty() && focus.appId != window->appId)) {
                return {};
            }
            return processProgram(options_.procFolder, focus.pid, window->appId, options_.home);
        } catch (const std::exception& error) {
            log(LogLevel::warning, "WlrootsDesktopQueries::foregroundApplicationPath - ", error.what());
            return {};
        }
    }
    return programs_.program(window->appId);
}

} // namespace obx::wayland
