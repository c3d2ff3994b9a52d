#pragma once

// The window KWin has active, as a KWin script of ours reports it: the helper
// serves an object on the session bus that the script calls at every
// activation. The script calls the helper's own unique bus name, written into
// a private copy of it, and the helper takes the calls of KWin only, so that
// the reports go from KWin to this helper and nowhere else. A thread of its
// own serves the connection. The script is loaded at start and again whenever
// org.kde.KWin gets a new owner (a KWin restart), and unloaded at the end.

#include "platform/linux/kde/KWinBus.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>

namespace obx::kde {

struct ActiveWindow {
    // Changes with every other window; 0 when none is active.
    std::uint64_t id = 0;
    pid_t pid = 0;
    // The X11 class or the Wayland app id.
    std::string resourceClass;
};

class KWinActiveWindow {
public:
    // The object the focus script calls.
    static constexpr const char* objectPath = "/org/obx/Helper/Desktop";
    static constexpr const char* interfaceName = "org.obx.Helper.Desktop1";
    static constexpr const char* scriptName = "obx-focus";

    explicit KWinActiveWindow(std::filesystem::path scriptFolder);
    ~KWinActiveWindow();
    KWinActiveWindow(const KWinActiveWindow&) = delete;
    KWinActiveWindow& operator=(const KWinActiveWindow&) = delete;

    ActiveWindow active() const;
    // The unique bus name that the focus script calls; empty until the
    // connection is made.
    std::string busName() const;

private:
    class Connection;

    void run();
    void report(pid_t pid, std::string resourceClass, std::string windowKey);
    void forget();
    void named(std::string busName);

    std::filesystem::path script_;
    int wakeFd_ = -1;
    std::atomic<bool> stopping_{false};

    mutable std::mutex mutex_;
    ActiveWindow active_;
    std::string windowKey_;
    std::string busName_;
    std::uint64_t nextId_ = 1;

    std::thread thread_;
};

} // namespace obx::kde
