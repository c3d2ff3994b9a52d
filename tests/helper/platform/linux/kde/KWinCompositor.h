#pragma once

// A headless KWin of the test's own (its virtual backend), run as an
// unprivileged user with a private runtime folder and a private session bus;
// and probe clients on it.

#include "support/PrivateBus.h"
#include "support/SpawnedProcess.h"
#include "support/TempFolder.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace obx::test {

// A client of the compositor and the file its output goes to.
struct KWinClient {
    std::unique_ptr<SpawnedProcess> process;
    std::filesystem::path output;
};

// What the session of a KWin holds before it starts.
struct KWinSetup {
    // The user's keyboard layout as Plasma's settings store it (kxkbrc);
    // empty for KWin's default.
    std::string keyboardLayout;
    // A program copied into the program folder and authorised for fake
    // input by the package's desktop file, its Exec= naming the copy.
    std::filesystem::path fakeInputProgram;
};

class KWinCompositor {
public:
    // Throws std::runtime_error when KWin does not come up.
    explicit KWinCompositor(KWinSetup setup = {});
    ~KWinCompositor();
    KWinCompositor(const KWinCompositor&) = delete;
    KWinCompositor& operator=(const KWinCompositor&) = delete;

    // Ends KWin and starts a new one on the same socket and bus.
    void restart();

    // The socket's absolute path, for WAYLAND_DISPLAY.
    std::string waylandDisplay() const { return (runtime_ / socketName).string(); }
    // "DBUS_SESSION_BUS_ADDRESS=..." of the bus KWin is on.
    std::string busEnvironment() const { return bus_.environmentEntry(); }
    sd_bus* bus() const { return bus_.bus(); }
    // A folder readable by the compositor's user, for programs and scripts.
    std::filesystem::path programFolder() const { return folder_ / "programs"; }
    // KWin's home folder (its user's, not readable by others).
    std::filesystem::path homeFolder() const { return folder_ / "home"; }

    // A renamed copy of the probe with the app id, started as the
    // compositor's user.
    KWinClient startProbe(const std::string& program, const std::string& appId) const;
    // The program from the folder (or on PATH), started as the compositor's
    // user with the session's environment; its output into the file.
    std::unique_ptr<SpawnedProcess> start(std::vector<std::string> command,
                                          const std::filesystem::path& output) const;
    // Has KWin run the script text once (soon after the call).
    void runScript(const std::string& name, const std::string& text) const;
    // Makes the window of the app id the active one.
    void activate(const std::string& appId) const;
    // Whether KWin has the window of the app id minimized, as a script
    // prints it into KWin's output.
    bool minimized(const std::string& appId) const;

    static constexpr const char* socketName = "wayland-kde";

private:
    void startKWin();
    std::vector<std::string> clientEnvironment() const;

    TempFolder folder_;
    std::filesystem::path runtime_;
    PrivateBus bus_{PrivateBus::Kind::session};
    std::filesystem::path log_;
    std::unique_ptr<SpawnedProcess> kwin_;
    int starts_ = 0;
};

} // namespace obx::test
