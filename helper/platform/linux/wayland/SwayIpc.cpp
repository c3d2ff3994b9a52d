#include "platform/linux/wayland/SwayIpc.h"

#include "platform/linux/wayland/ForeignToplevels.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace obx::wayland {

namespace {

constexpr std::array<char, 6> magic{'i', '3', '-', 'i', 'p', 'c'};
constexpr std::size_t headerSize = magic.size() + 2 * sizeof(std::uint32_t);
// Deeper trees are cut: no real layout nests this far.
constexpr int maxTreeDepth = 64;

class Socket {
public:
    explicit Socket(const std::filesystem::path& path) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const auto& text = path.native();
        if (text.empty() || text.size() >= sizeof address.sun_path) {
            throw std::runtime_error("The sway IPC socket path is unusable");
        }
        std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
        fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0) {
            throw std::runtime_error("Cannot create a socket for sway's IPC");
        }
        const timeval limit{0, static_cast<suseconds_t>(SwayIpc::timeout.count() * 1000)};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        if (connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            close(fd_);
            throw std::runtime_error("Cannot connect to sway's IPC socket");
        }
    }
    ~Socket() { close(fd_); }

    // The process that serves the socket.
    pid_t peer() const {
        ucred credentials{};
        socklen_t size = sizeof credentials;
        return getsockopt(fd_, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 ? credentials.pid : 0;
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    void write(const std::string& bytes) const {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const auto sent = send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (sent <= 0) {
                throw std::runtime_error("Cannot send to sway's IPC socket");
            }
            done += static_cast<std::size_t>(sent);
        }
    }

    std::string read(std::size_t size) const {
        std::string bytes(size, '\0');
        std::size_t done = 0;
        while (done < size) {
            const auto got = recv(fd_, bytes.data() + done, size - done, 0);
            if (got <= 0) {
                throw std::runtime_error("No complete reply from sway's IPC socket");
            }
            done += static_cast<std::size_t>(got);
        }
        return bytes;
    }

private:
    int fd_ = -1;
};

std::string header(std::uint32_t type, std::uint32_t size) {
    std::string bytes(magic.begin(), magic.end());
    bytes.append(reinterpret_cast<const char*>(&size), sizeof size);
    bytes.append(reinterpret_cast<const char*>(&type), sizeof type);
    return bytes;
}

const nlohmann::json* focusedNode(const nlohmann::json& node, int depth) {
    if (depth > maxTreeDepth || !node.is_object()) {
        return nullptr;
    }
    if (node.value("focused", false)) {
        return &node;
    }
    for (const char* children : {"nodes", "floating_nodes"}) {
        const auto found = node.find(children);
        if (found == node.end() || !found->is_array()) {
            continue;
        }
        for (const auto& child : *found) {
            if (const auto* focused = focusedNode(child, depth + 1)) {
                return focused;
            }
        }
    }
    return nullptr;
}

} // namespace

nlohmann::json SwayIpc::request(SwayMessage type, const std::string& payload) const {
    const Socket connection(socket_);
    connection.write(header(static_cast<std::uint32_t>(type), static_cast<std::uint32_t>(payload.size())) +
                     payload);
    const auto head = connection.read(headerSize);
    if (!std::equal(magic.begin(), magic.end(), head.begin())) {
        throw std::runtime_error("A reply on sway's IPC socket has no IPC header");
    }
    std::uint32_t size = 0;
    std::memcpy(&size, head.data() + magic.size(), sizeof size);
    if (size > maxReply) {
        throw std::runtime_error("A reply on sway's IPC socket is too large");
    }
    const auto body = connection.read(size);
    auto reply = nlohmann::json::parse(body, nullptr, false);
    if (reply.is_discarded()) {
        throw std::runtime_error("A reply on sway's IPC socket is not JSON");
    }
    return reply;
}

void SwayIpc::run(const std::string& commands) const {
    const auto results = request(SwayMessage::runCommand, commands);
    if (!results.is_array()) {
        throw std::runtime_error("sway answered a command with no list of results");
    }
    for (const auto& result : results) {
        if (!result.is_object() || !result.value("success", false)) {
            throw std::runtime_error("sway refused a command");
        }
    }
}

std::filesystem::path swaySocketOf(pid_t compositorPid, const std::string& swaySock,
                                   const std::string& runtimeDir) {
    namespace fs = std::filesystem;
    if (compositorPid == 0) {
        return swaySock;
    }
    // Sway names its socket after its process, unless $SWAYSOCK named a free
    // path when it started: then it took that name. Either way the socket's
    // server is the compositor itself.
    const auto suffix = "." + std::to_string(compositorPid) + ".sock";
    std::vector<fs::path> candidates;
    std::vector<fs::path> folders;
    if (!swaySock.empty()) {
        folders.push_back(fs::path(swaySock).parent_path());
    }
    if (!runtimeDir.empty()) {
        folders.emplace_back(runtimeDir);
    }
    for (const auto& folder : folders) {
        std::error_code error;
        for (fs::directory_iterator entries(folder, error); !error && entries != fs::directory_iterator();
             entries.increment(error)) {
            const auto name = entries->path().filename().string();
            if (name.starts_with("sway-ipc.") && name.ends_with(suffix)) {
                candidates.push_back(entries->path());
            }
        }
    }
    if (!swaySock.empty()) {
        candidates.emplace_back(swaySock);
    }
    for (const auto& candidate : candidates) {
        std::error_code error;
        if (!fs::is_socket(candidate, error)) {
            continue;
        }
        try {
            if (Socket(candidate).peer() == compositorPid) {
                return candidate;
            }
        } catch (const std::runtime_error&) {
            // A socket nobody serves any more.
        }
    }
    return {};
}

SwayFocus focusedWindow(const nlohmann::json& tree) {
    SwayFocus focus;
    const auto* node = focusedNode(tree, 0);
    if (!node) {
        return focus;
    }
    if (const auto pid = node->find("pid"); pid != node->end() && pid->is_number_integer()) {
        focus.pid = pid->get<pid_t>();
    }
    if (const auto appId = node->find("app_id"); appId != node->end() && appId->is_string()) {
        focus.appId = appId->get<std::string>();
    }
    return focus;
}

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

SwaySession::SwaySession(const ForeignToplevels& toplevels)
    : SwaySession(toplevels, environment("SWAYSOCK"), environment("XDG_RUNTIME_DIR")) {}

const SwayIpc* SwaySession::ipc() {
    const auto pid = toplevels_.compositorPid();
    if (pid == 0) {
        return nullptr;
    }
    if (pid != knownPid_) {
        knownPid_ = pid;
        ipc_.reset();
        if (auto socket = swaySocketOf(pid, swaySock_, runtimeDir_); !socket.empty()) {
            ipc_.emplace(std::move(socket));
        }
    }
    return ipc_ ? &*ipc_ : nullptr;
}

} // namespace obx::wayland
