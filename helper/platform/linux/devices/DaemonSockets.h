#pragma once

// Where obxkernd's sockets are, and a connection to one of them.

#include <filesystem>

namespace obx {

// obxkernd's runtime folder: $OBX_RUNTIME_DIR, else /run/obxkern.
std::filesystem::path obxRuntimeFolder();

// A close-on-exec SOCK_SEQPACKET connection to socket, -1 when it cannot be made (errno says why).
int connectToDaemonSocket(const std::filesystem::path& socket);

} // namespace obx
