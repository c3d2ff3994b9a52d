#pragma once

// A headless sway of the test's own, run as an unprivileged user (compositors
// refuse root: a test run as root starts it as "nobody"), with a private
// runtime folder; and probe clients on it.

#include "platform/linux/wayland/SwayIpc.h"
#include "support/SpawnedProcess.h"
#include "support/TempFolder.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace obx::test {

class SwayCompositor {
public:
    // Throws std::runtime_error when sway does not come up.
    SwayCompositor();
    ~SwayCompositor();
    SwayCompositor(const SwayCompositor&) = delete;
    SwayCompositor& operator=(const SwayCompositor&) = delete;

    // Ends sway and starts a new one (which takes the same display name
    // again, the old one being free).
    void restart();
    // Ends sway without warning, as a crash does.
    void kill();

    // The display and the IPC socket as absolute paths, for WAYLAND_DISPLAY
    // and SWAYSOCK.
    std::string waylandDisplay() const;
    const std::filesystem::path& ipcSocket() const { return ipcSocket_; }
    wayland::SwayIpc ipc() const { return wayland::SwayIpc(ipcSocket_); }
    // The folder that probe programs may be copied to (readable by the
    // compositor's user).
    std::filesystem::path programFolder() const { return folder_ / "programs"; }

    // Starts the program as the compositor's user on its display; its output
    // goes to the file given, else to one of the compositor's folder.
    std::unique_ptr<SpawnedProcess> startClient(const std::vector<std::string>& command,
                                                const std::filesystem::path& output = {}) const;

    // The pid of the focused window in sway's tree; 0 when none.
    pid_t focusedPid() const;
    // The window of app_id as sway's tree shows it; null when absent.
    nlohmann::json window(const std::string& appId) const;

private:
    void start();
    std::vector<std::string> environment() const;

    TempFolder folder_;
    std::filesystem::path runtime_;
    std::filesystem::path display_;
    std::filesystem::path ipcSocket_;
    std::unique_ptr<SpawnedProcess> sway_;
    int starts_ = 0;
};

// The user compositors run as: "nobody" when the test runs as root (they
// refuse root), else the test's own.
uid_t compositorUser();
// The command run as that user (through setpriv when the test is root), its
// program found on PATH.
std::vector<std::string> asCompositorUser(std::vector<std::string> command);

// Copies the probe client to the folder under the name; its path.
std::filesystem::path probeCopy(const std::filesystem::path& folder, const std::string& name);

} // namespace obx::test
