#pragma once

// Where a process of the user runs: in the user's session, or apart from it
// in a sandbox. Flatpak, Snap and bubblewrap all give their programs a mount
// namespace of their own while leaving them the host's network, so the mount
// namespace is what tells a sandboxed program from the user's own.

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>

namespace obx::linuxos {

// "mnt:[<inode>]" of /proc/<pid>/ns/mnt; nullopt when it cannot be read
// (the process ended, or belongs to someone else).
std::optional<std::string> mountNamespaceOf(pid_t pid);

// The mount namespace of the user's session: that of the logind session
// leader (of the helper's session, else of the user's graphical one), else
// that of the user's service manager (systemd --user), else the helper's
// own. The first that can be read: a session leader usually runs as root.
// The helper itself may run in a namespace of its own (a systemd unit with
// ProtectSystem=), which is why its own comes last.
std::string sessionMountNamespace();

// The process of this user that holds the socket with this inode, newest
// process first (a client that just connected is usually among the newest).
// At most entryLimit descriptors are looked at; nullopt when none of them
// is the socket.
std::optional<pid_t> socketHolder(std::uint64_t inode, std::size_t entryLimit = 200000);

} // namespace obx::linuxos
