#include "ServiceNotice.h"

#include "Log.h"
#include "UniqueFd.h"

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>

namespace obx::kernd {

void notifyServiceManager(const char* state) {
    const char* path = std::getenv("NOTIFY_SOCKET");
    if (path == nullptr || *path == '\0')
        return;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const size_t length = std::strlen(path);
    if (length >= sizeof address.sun_path) {
        logf(LogLevel::warning, "NOTIFY_SOCKET is too long");
        return;
    }
    std::memcpy(address.sun_path, path, length);
    if (path[0] == '@')
        address.sun_path[0] = '\0'; // abstract namespace
    const UniqueFd fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    const socklen_t size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length);
    if (!fd || ::sendto(fd.get(), state, std::strlen(state), MSG_NOSIGNAL,
                        reinterpret_cast<const sockaddr*>(&address), size) < 0)
        logf(LogLevel::warning, "telling the service manager %s: %s", state, std::strerror(errno));
}

} // namespace obx::kernd
