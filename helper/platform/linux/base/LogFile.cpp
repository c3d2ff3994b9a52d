#include "platform/LogFile.h"

#include <fcntl.h>
#include <unistd.h>

namespace obx {

std::FILE* openLogFile(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "a");
    if (file == nullptr) {
        ::close(fd);
    }
    return file;
}

} // namespace obx
