#pragma once

// A headless GNOME Shell of the test's own with our extension in its user's
// folder, run as an unprivileged user (compositors refuse root: a test run as
// root starts it as "nobody") with a private runtime folder, a private
// session bus and a private system bus (the Shell looks logind up there).

#include "support/SpawnedProcess.h"
#include "support/TempFolder.h"

#include <filesystem>
#include <memory>
#include <string>
#include <systemd/sd-bus.h>
#include <vector>

namespace obx::test {

// One of our icons in the Shell's top bar, as the extension describes it.
struct TopBarIcon {
    std::string icon; // a theme icon's name, or "pixmap WxH"
    std::string title;
    std::vector<std::string> menu; // entry labels; a submenu's as "submenu/entry"
    bool operator==(const TopBarIcon&) const = default;
};

// The snippet menu as the extension shows it, and the pointer.
struct SnippetMenuView {
    bool open = false;
    int x = 0, y = 0, width = 0, height = 0; // the menu's box on the screen
    int pointerX = 0, pointerY = 0;
    std::vector<std::string> captions;
};

// The user's "enabled-extensions" with every copy of ours, as gsettings
// prints it.
std::string enabledExtensionsValue();

class GnomeShellSession {
public:
    // extensionEnabled: whether the user's settings enable the extension
    // before the Shell starts. Throws std::runtime_error when the Shell does
    // not come up.
    explicit GnomeShellSession(bool extensionEnabled);
    ~GnomeShellSession();
    GnomeShellSession(const GnomeShellSession&) = delete;
    GnomeShellSession& operator=(const GnomeShellSession&) = delete;

    // Ends the Shell and starts a new one on the same buses.
    void restart();

    // What a program of the session needs: the user's folders and the buses.
    std::vector<std::string> environment() const;
    // The same, set in the test's own environment.
    void enter() const;
    std::string waylandDisplay() const { return "obx-gnome-0"; }
    const std::filesystem::path& home() const { return home_; }
    // The folder that programs may be copied to (readable by the Shell's user).
    std::filesystem::path programFolder() const { return folder_ / "programs"; }

    // Starts the program as the Shell's user on its display; its output goes
    // to the file.
    std::unique_ptr<SpawnedProcess> startClient(const std::vector<std::string>& command,
                                                const std::filesystem::path& output) const;
    // Runs the program as the Shell's user to its end; its exit code, or -1.
    int run(const std::vector<std::string>& command) const;
    // Runs the program as the Shell's user to its end; what it printed.
    std::string output(const std::vector<std::string>& command) const;
    // A GSettings key's value as the user's `gsettings get` prints it.
    std::string setting(const std::string& schema, const std::string& key) const;
    // Whether the name has an owner on the session bus.
    bool owned(const std::string& name) const;
    // Our icons in the top bar; empty also when the extension does not answer.
    std::vector<TopBarIcon> topBarIcons() const;
    // Chooses the top-level menu entry of our icons with the label, as a
    // click does; whether there was one.
    bool chooseTopBarEntry(const std::string& label) const;
    // The snippet menu now; closed also when the extension does not answer.
    SnippetMenuView snippetMenu() const;
    // Whether Mutter serves a remote desktop session on the bus now.
    bool remoteDesktopSessionExists() const;
    // Whether the top bar shows the screen-sharing indicator.
    bool screenSharingShown() const;
    // Makes the layout the user's only input source ("us", "fr"...).
    void setLayout(const std::string& layout) const;

private:
    void startShell();

    TempFolder folder_;
    std::filesystem::path runtime_;
    std::filesystem::path home_;
    std::unique_ptr<SpawnedProcess> systemBus_;
    std::unique_ptr<SpawnedProcess> sessionBus_;
    std::unique_ptr<SpawnedProcess> displayManager_;
    std::unique_ptr<SpawnedProcess> shell_;
    // The test's own connection to the session bus.
    sd_bus* bus_ = nullptr;
    bool extensionEnabled_;
    int starts_ = 0;
};

} // namespace obx::test
