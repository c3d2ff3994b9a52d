#pragma once

// Which local program owns a window: _NET_WM_PID counts only beside a
// WM_CLIENT_MACHINE that names this host; without it the X Resource
// extension asks the server which local process the window's client is.

#include <X11/Xlib.h>
#include <filesystem>
#include <string>

namespace obx::x11 {

class WindowProcesses {
public:
    // procFolder: where the processes' folders are (tests give another).
    WindowProcesses(Display* display, std::filesystem::path procFolder);

    // The executable's path; empty when the window's process is not local or
    // cannot be read.
    std::string executable(Window window) const;

private:
    unsigned long localPid(Window window) const;
    unsigned long serverKnownPid(Window window) const;

    Display* display_;
    std::filesystem::path procFolder_;
    std::string host_;
    Atom pidAtom_;
    bool clientIds_; // the server answers client-id queries
};

} // namespace obx::x11
