#include "platform/linux/server/SessionNamespace.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <systemd/sd-login.h>
#include <unistd.h>
#include <vector>

namespace obx::linuxos {

namespace {

struct DirectoryCloser {
    void operator()(DIR* directory) const { ::closedir(directory); }
};
using Directory = std::unique_ptr<DIR, DirectoryCloser>;

std::optional<pid_t> pidOf(std::string_view name) {
    pid_t pid = 0;
    const auto end = name.data() + name.size();
    const auto [at, error] = std::from_chars(name.data(), end, pid);
    if (error != std::errc() || at != end || pid <= 0) {
        return std::nullopt;
    }
    return pid;
}

std::optional<std::string> linkText(int folder, const char* name) {
    std::array<char, 64> text;
    const auto length = ::readlinkat(folder, name, text.data(), text.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= text.size()) {
        return std::nullopt;
    }
    return std::string(text.data(), static_cast<std::size_t>(length));
}

// "mnt:[<inode>]"; nullopt when it cannot be read (the process ended, or
// hides itself).
std::optional<std::string> mountNamespaceOf(pid_t pid) {
    const auto path = "/proc/" + std::to_string(pid) + "/ns/mnt";
    return linkText(AT_FDCWD, path.c_str());
}

// A small file of the system's, whole; empty when it cannot be read.
std::string smallFile(const std::string& path) {
    const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        return {};
    }
    std::array<char, 4096> text;
    const auto length = ::read(file, text.data(), text.size());
    ::close(file);
    return length > 0 ? std::string(text.data(), static_cast<std::size_t>(length)) : std::string();
}

// logind's record of the session ("LEADER=<pid>"), which sd-login reads
// too; the library of this system's release has no call for the leader.
std::optional<pid_t> sessionLeader() {
    char* session = nullptr;
    if (sd_pid_get_session(0, &session) < 0 && sd_uid_get_display(::getuid(), &session) < 0) {
        return std::nullopt;
    }
    const std::string id(session);
    std::free(session);
    if (id.empty() ||
        id.find_first_not_of("0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ") !=
            std::string::npos) {
        return std::nullopt;
    }
    const auto record = smallFile("/run/systemd/sessions/" + id);
    constexpr std::string_view key = "\nLEADER=";
    const auto at = ("\n" + record).find(key);
    if (at == std::string::npos) {
        return std::nullopt;
    }
    const auto value = std::string_view(record).substr(at + key.size() - 1);
    return pidOf(value.substr(0, value.find('\n')));
}

// The manager's unit keeps it alone in its init.scope (cgroup v2, else the
// v1 name=systemd hierarchy).
std::optional<pid_t> userServiceManager() {
    const auto uid = std::to_string(::getuid());
    const auto scope = "user.slice/user-" + uid + ".slice/user@" + uid + ".service/init.scope/cgroup.procs";
    for (const char* root : {"/sys/fs/cgroup/", "/sys/fs/cgroup/systemd/"}) {
        const auto processes = smallFile(root + scope);
        if (!processes.empty()) {
            return pidOf(std::string_view(processes).substr(0, processes.find('\n')));
        }
    }
    return std::nullopt;
}

// Numbered entries of /proc that this user owns, newest (highest) first.
std::vector<pid_t> ownProcesses() {
    std::vector<pid_t> processes;
    const Directory proc(::opendir("/proc"));
    if (!proc) {
        return processes;
    }
    const auto uid = ::geteuid();
    while (const dirent* entry = ::readdir(proc.get())) {
        struct stat owner;
        if (const auto pid = pidOf(entry->d_name);
            pid && ::fstatat(::dirfd(proc.get()), entry->d_name, &owner, 0) == 0 && owner.st_uid == uid) {
            processes.push_back(*pid);
        }
    }
    std::sort(processes.rbegin(), processes.rend());
    return processes;
}

} // namespace

std::string sessionMountNamespace() {
    for (const auto& process : {sessionLeader(), userServiceManager()}) {
        if (process) {
            if (auto found = mountNamespaceOf(*process)) {
                return *found;
            }
        }
    }
    return mountNamespaceOf(::getpid()).value_or(std::string());
}

bool socketHeldInSessionOnly(std::uint64_t inode, const std::string& sessionNamespace,
                             std::size_t entryLimit) {
    const auto wanted = "socket:[" + std::to_string(inode) + "]";
    std::size_t looked = 0;
    bool heldInSession = false;
    for (const pid_t pid : ownProcesses()) {
        // One whose namespace cannot be read counts as outside.
        const bool inSession = mountNamespaceOf(pid) == sessionNamespace;
        if (inSession && heldInSession) {
            continue;
        }
        const auto path = "/proc/" + std::to_string(pid) + "/fd";
        const Directory descriptors(::opendir(path.c_str()));
        if (!descriptors) {
            continue;
        }
        while (const dirent* entry = ::readdir(descriptors.get())) {
            if (entry->d_name[0] == '.') {
                continue;
            }
            if (++looked > entryLimit) {
                return false;
            }
            if (linkText(::dirfd(descriptors.get()), entry->d_name) == wanted) {
                if (!inSession) {
                    return false;
                }
                heldInSession = true;
                break;
            }
        }
    }
    return heldInSession;
}

} // namespace obx::linuxos
