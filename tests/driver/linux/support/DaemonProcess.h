#pragma once

// Runs the obxkernd program in a runtime folder of its own and talks to its virtual trackballs. Waits
// are on sockets and process descriptors, each with a time-out.

#include "UniqueFd.h"
#include "support/TempFolder.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace obx::test {

using namespace std::chrono_literals;

// Generous: CI machines are small and busy.
inline constexpr std::chrono::milliseconds kWait = 10s;

class DaemonProcess {
public:
    // `program` is the obxkernd binary.
    explicit DaemonProcess(std::filesystem::path program);
    // Kills a daemon still running.
    ~DaemonProcess();
    DaemonProcess(const DaemonProcess&) = delete;
    DaemonProcess& operator=(const DaemonProcess&) = delete;

    // The folder that `--runtime-dir` names by default.
    std::filesystem::path runtimeDir() const { return folder_.path() / "run"; }
    std::filesystem::path socket(const std::string& name) const { return runtimeDir() / name; }

    // Starts it with these arguments (and `--runtime-dir runtimeDir()` unless `withRuntimeDir` is false)
    // and waits until it says it is ready. `environment` entries ("NAME=value") are added to ours.
    bool start(const std::vector<std::string>& args, bool withRuntimeDir = true,
               const std::vector<std::string>& environment = {});
    // Starts it without waiting for readiness; for runs that are expected to fail.
    void launch(const std::vector<std::string>& args, const std::vector<std::string>& environment = {});

    // Sends the signal and waits for the end; the exit code, or empty when it did not end in time or was
    // killed by a signal.
    std::optional<int> stop(int signal);
    // Waits for the end of a daemon that ends by itself.
    std::optional<int> waitExit();

    // What it wrote to standard error so far.
    std::string errorOutput() const;

private:
    std::filesystem::path program_;
    TempFolder folder_;
    kernd::UniqueFd notify_;
    pid_t pid_ = -1;
    int runs_ = 0;
};

// The peer of a virtual trackball: writes reports to virtual-NN.in, reads packets from virtual-NN.out.
class VirtualPeer {
public:
    // Returns once the daemon has taken the reader's connection, so that no packet passes it by.
    VirtualPeer(const std::filesystem::path& runtimeDir, unsigned instance);

    bool sendReport(const std::vector<uint8_t>& report);
    // Report of the built-in layout.
    bool send(uint8_t buttons, int8_t x = 0, int8_t y = 0, int8_t wheel = 0, int8_t pan = 0);
    // The next packet's text; empty when none came in time.
    std::optional<std::string> nextPacket(std::chrono::milliseconds timeout = kWait);

private:
    kernd::UniqueFd in_;
    kernd::UniqueFd out_;
};

// A SOCK_SEQPACKET connection to a socket file; throws std::runtime_error.
kernd::UniqueFd connectSeqPacket(const std::filesystem::path& path);
// Whether the peer closed the connection within the time-out (messages before the end are skipped).
bool waitClosed(int fd, std::chrono::milliseconds timeout = kWait);

// Packet texts for expectations.
std::string packetText(uint16_t buttonFlags, int buttonData = 0, int lastX = 0, int lastY = 0);

} // namespace obx::test
