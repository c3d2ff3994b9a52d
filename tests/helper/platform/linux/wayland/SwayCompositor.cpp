#include "SwayCompositor.h"

#include "HelperProcess.h"
#include "platform/linux/actions/Programs.h"

#include <fstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace obx::test {

namespace fs = std::filesystem;

namespace {

constexpr uid_t unprivilegedId = 65534;

const nlohmann::json* findNode(const nlohmann::json& node,
                               const std::function<bool(const nlohmann::json&)>& match) {
    if (!node.is_object()) {
        return nullptr;
    }
    if (match(node)) {
        return &node;
    }
    for (const char* children : {"nodes", "floating_nodes"}) {
        if (!node.contains(children)) {
            continue;
        }
        for (const auto& child : node.at(children)) {
            if (const auto* found = findNode(child, match)) {
                return found;
            }
        }
    }
    return nullptr;
}

} // namespace

uid_t compositorUser() {
    return geteuid() == 0 ? unprivilegedId : geteuid();
}

std::vector<std::string> asCompositorUser(std::vector<std::string> command) {
    command.front() = x11::findProgram(command.front());
    if (geteuid() != 0) {
        return command;
    }
    const auto id = std::to_string(unprivilegedId);
    std::vector<std::string> wrapped{x11::findProgram("setpriv"), "--reuid=" + id, "--regid=" + id,
                                     "--clear-groups", "--"};
    wrapped.insert(wrapped.end(), command.begin(), command.end());
    return wrapped;
}

SwayCompositor::SwayCompositor() : runtime_(folder_ / "runtime") {
    fs::create_directories(runtime_);
    fs::create_directories(programFolder());
    const auto user = compositorUser();
    if (chown(runtime_.c_str(), user, user) != 0 || chmod(runtime_.c_str(), 0700) != 0) {
        throw std::runtime_error("cannot prepare the compositor's runtime folder");
    }
    std::ofstream(folder_ / "config") << "output HEADLESS-1 resolution 1024x768\n"
                                         "xwayland disable\n"
                                         "focus_on_window_activation focus\n";
    start();
}

SwayCompositor::~SwayCompositor() {
    if (sway_) {
        sway_->signal(SIGTERM);
        sway_->waitExit(kWait);
    }
}

std::vector<std::string> SwayCompositor::environment() const {
    return {"XDG_RUNTIME_DIR=" + runtime_.string(), "HOME=" + folder_.path().string(),
            "WAYLAND_DISPLAY=" + waylandDisplay(), "SWAYSOCK=" + ipcSocket_.string(), "DISPLAY="};
}

void SwayCompositor::start() {
    ++starts_;
    const auto previous = ipcSocket_;
    const std::vector<std::string> env{"XDG_RUNTIME_DIR=" + runtime_.string(),
                                       "HOME=" + folder_.path().string(),
                                       "DISPLAY=",
                                       "WAYLAND_DISPLAY=",
                                       "WLR_BACKENDS=headless",
                                       "WLR_LIBINPUT_NO_DEVICES=1",
                                       "WLR_RENDERER=pixman"};
    const auto log = folder_ / ("sway-" + std::to_string(starts_) + ".log");
    // An inherited $SWAYSOCK would name sway's socket.
    sway_ = std::make_unique<SpawnedProcess>(
        asCompositorUser({"env", "-u", "SWAYSOCK", "sway", "-c", (folder_ / "config").string()}), env, log);
    const bool up = waitUntil([&] {
        std::error_code error;
        fs::path display;
        fs::path ipc;
        for (const auto& entry : fs::directory_iterator(runtime_, error)) {
            const auto name = entry.path().filename().string();
            if (name.starts_with("sway-ipc.") && entry.path() != previous) {
                ipc = entry.path();
            } else if (name.starts_with("wayland-") && !name.ends_with(".lock")) {
                display = entry.path();
            }
        }
        if (display.empty() || ipc.empty()) {
            return false;
        }
        display_ = display;
        ipcSocket_ = ipc;
        return true;
    });
    if (!up) {
        std::ifstream output(log);
        const std::string text{std::istreambuf_iterator<char>(output), {}};
        throw std::runtime_error("sway did not start:\n" +
                                 text.substr(text.size() > 4000 ? text.size() - 4000 : 0));
    }
    // The IPC answers once sway has read its configuration.
    waitUntil([&] {
        try {
            ipc().request(wayland::SwayMessage::getTree);
            return true;
        } catch (const std::exception&) {
            return false;
        }
    });
}

void SwayCompositor::restart() {
    sway_->signal(SIGTERM);
    sway_->waitExit(kWait);
    start();
}

void SwayCompositor::kill() {
    if (!sway_) {
        return;
    }
    sway_->signal(SIGKILL);
    sway_->waitExit(kWait);
    sway_.reset();
}

std::string SwayCompositor::waylandDisplay() const {
    return display_.string();
}

std::unique_ptr<SpawnedProcess> SwayCompositor::startClient(const std::vector<std::string>& command,
                                                            const std::filesystem::path& output) const {
    static int clients = 0;
    return std::make_unique<SpawnedProcess>(
        asCompositorUser(command), environment(),
        output.empty() ? folder_ / ("client-" + std::to_string(++clients) + ".log") : output);
}

pid_t SwayCompositor::focusedPid() const {
    const auto tree = ipc().request(wayland::SwayMessage::getTree);
    return wayland::focusedWindow(tree).pid;
}

nlohmann::json SwayCompositor::window(const std::string& appId) const {
    const auto tree = ipc().request(wayland::SwayMessage::getTree);
    const auto* node = findNode(tree, [&](const nlohmann::json& candidate) {
        return candidate.contains("app_id") && candidate.at("app_id") == appId;
    });
    return node ? *node : nlohmann::json();
}

std::filesystem::path probeCopy(const std::filesystem::path& folder, const std::string& name) {
    const auto target = folder / name;
    fs::copy_file(OBX_WAYLAND_PROBE_PATH, target, fs::copy_options::overwrite_existing);
    fs::permissions(target, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    return target;
}

} // namespace obx::test
