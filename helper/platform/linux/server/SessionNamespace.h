#pragma once

// Where a process of the user runs: in the user's session, or apart from it
// in a sandbox. Flatpak, Snap and bubblewrap all give their programs a mount
// namespace of their own while leaving them the host's network, so the mount
// namespace is what tells a sandboxed program from the user's own.

#include <cstddef>
#include <cstdint>
#include <string>

namespace obx::linuxos {

// The mount namespace of the user's session: that of the logind session
// leader (of the helper's session, else of the user's graphical one), else
// that of the user's service manager (systemd --user), else the helper's
// own. The first that can be read: a session leader usually runs as root.
// The helper itself may run in a namespace of its own (a systemd unit with
// ProtectSystem=), which is why its own comes last.
std::string sessionMountNamespace();

// True when a process of this user in the session's namespace holds the
// socket with this inode and none of this user's processes outside it does:
// a sandbox that shares its connection with a process of the host (an
// inherited or passed descriptor) is still a sandbox. The processes outside
// are looked through whole, those of the session newest first until one
// holds it (a client that just connected is usually among the newest). A
// process that hides its descriptors is not seen; at most entryLimit
// descriptors are looked at, and past them the answer is false.
bool socketHeldInSessionOnly(std::uint64_t inode, const std::string& sessionNamespace,
                             std::size_t entryLimit = 200000);

} // namespace obx::linuxos
