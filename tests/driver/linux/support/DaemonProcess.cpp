#include "DaemonProcess.h"

#include "ControlClient.h"
#include "driver/shared/ObxControl.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace obx::test {

namespace {

sockaddr_un addressOf(const std::filesystem::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string text = path.string();
    if (text.size() >= sizeof address.sun_path)
        throw std::runtime_error(text + ": path too long for a socket");
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    return address;
}

// Waits for `fd` to become readable; false on time-out.
bool waitReadable(int fd, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        const int n = ::poll(&p, 1, static_cast<int>(std::max<int64_t>(left.count(), 0)));
        if (n < 0 && errno == EINTR)
            continue;
        return n > 0;
    }
}

} // namespace

DaemonProcess::DaemonProcess(std::filesystem::path program) : program_(std::move(program)) {
    const std::filesystem::path notify = folder_.path() / "notify";
    notify_.reset(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    const sockaddr_un address = addressOf(notify);
    if (!notify_ || ::bind(notify_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("cannot make the notification socket");
}

DaemonProcess::~DaemonProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

void DaemonProcess::launch(const std::vector<std::string>& args,
                           const std::vector<std::string>& environment) {
    std::vector<std::string> env = environment;
    env.push_back("NOTIFY_SOCKET=" + (folder_.path() / "notify").string());
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::strncmp(*e, "NOTIFY_SOCKET=", 14) != 0 && std::strncmp(*e, "OBX_RUNTIME_DIR=", 16) != 0)
            env.emplace_back(*e);
    }
    std::vector<char*> argv{const_cast<char*>(program_.c_str())};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    const std::string errors = (folder_.path() / ("stderr-" + std::to_string(++runs_))).string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    const int result = ::posix_spawn(&pid_, program_.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0)
        throw std::runtime_error(program_.string() + ": " + std::strerror(result));
}

bool DaemonProcess::start(const std::vector<std::string>& args, bool withRuntimeDir,
                          const std::vector<std::string>& environment) {
    std::vector<std::string> all;
    if (withRuntimeDir)
        all = {"--runtime-dir", runtimeDir().string()};
    all.insert(all.end(), args.begin(), args.end());
    launch(all, environment);
    std::array<char, 64> message{};
    while (waitReadable(notify_.get(), kWait)) {
        const ssize_t n = ::recv(notify_.get(), message.data(), message.size() - 1, 0);
        if (n > 0 && std::string_view(message.data(), static_cast<size_t>(n)) == "READY=1")
            return true;
    }
    return false;
}

std::optional<int> DaemonProcess::stop(int signal) {
    if (pid_ <= 0)
        return std::nullopt;
    ::kill(pid_, signal);
    return waitExit();
}

std::optional<int> DaemonProcess::waitExit() {
    if (pid_ <= 0)
        return std::nullopt;
    const kernd::UniqueFd pidfd(static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0)));
    if (!pidfd || !waitReadable(pidfd.get(), kWait))
        return std::nullopt;
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    if (!WIFEXITED(status))
        return std::nullopt;
    return WEXITSTATUS(status);
}

std::string DaemonProcess::errorOutput() const {
    std::ifstream in(folder_.path() / ("stderr-" + std::to_string(runs_)));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

kernd::UniqueFd connectSeqPacket(const std::filesystem::path& path) {
    kernd::UniqueFd fd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
    const sockaddr_un address = addressOf(path);
    if (!fd || ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error(path.string() + ": " + std::strerror(errno));
    return fd;
}

bool waitClosed(int fd, std::chrono::milliseconds timeout) {
    std::array<uint8_t, 256> skipped;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (waitReadable(fd, std::chrono::duration_cast<std::chrono::milliseconds>(
                                deadline - std::chrono::steady_clock::now()))) {
        if (::recv(fd, skipped.data(), skipped.size(), MSG_DONTWAIT) <= 0)
            return true;
    }
    return false;
}

VirtualPeer::VirtualPeer(const std::filesystem::path& runtimeDir, unsigned instance) {
    char name[32];
    std::snprintf(name, sizeof name, "virtual-%02u.in", instance);
    in_ = connectSeqPacket(runtimeDir / name);
    std::snprintf(name, sizeof name, "virtual-%02u.out", instance);
    out_ = connectSeqPacket(runtimeDir / name);
    // The daemon answers requests in rounds of its loop; by the time a request that was sent after the
    // connection is answered, the round that accepted the connection has passed.
    std::snprintf(name, sizeof name, "control-%02u", instance);
    kernd::ControlClient control(runtimeDir / name);
    if (!control.control(IOCTL_OBX_GET_DRIVER_INFO, {}, sizeof(OBX_DRIVER_INFO), kWait))
        throw std::runtime_error("the daemon does not answer");
}

bool VirtualPeer::sendReport(const std::vector<uint8_t>& report) {
    return ::send(in_.get(), report.data(), report.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(report.size());
}

bool VirtualPeer::send(uint8_t buttons, int8_t x, int8_t y, int8_t wheel, int8_t pan) {
    return sendReport({buttons, static_cast<uint8_t>(x), static_cast<uint8_t>(y), static_cast<uint8_t>(wheel),
                       static_cast<uint8_t>(pan)});
}

std::optional<std::string> VirtualPeer::nextPacket(std::chrono::milliseconds timeout) {
    if (!waitReadable(out_.get(), timeout))
        return std::nullopt;
    std::array<char, 256> text;
    const ssize_t n = ::recv(out_.get(), text.data(), text.size(), 0);
    if (n <= 0)
        return std::nullopt;
    return std::string(text.data(), static_cast<size_t>(n));
}

std::string packetText(uint16_t buttonFlags, int buttonData, int lastX, int lastY) {
    char text[96];
    std::snprintf(text, sizeof text, "buttonFlags=0x%04x buttonData=%d lastX=%d lastY=%d", buttonFlags,
                  buttonData, lastX, lastY);
    return text;
}

} // namespace obx::test
