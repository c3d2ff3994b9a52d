#include "platform/linux/catalogue/SmallFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace obx::linuxos {

std::optional<std::string> readSmallFile(const std::filesystem::path& path, std::size_t limit) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return std::nullopt;
    }
    std::optional<std::string> content;
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
        static_cast<std::size_t>(status.st_size) <= limit) {
        // One byte more than the limit tells a file that grew meanwhile.
        std::string bytes(limit + 1, '\0');
        std::size_t filled = 0;
        ssize_t got = 0;
        while (filled < bytes.size() &&
               (got = ::read(fd, bytes.data() + filled, bytes.size() - filled)) > 0) {
            filled += static_cast<std::size_t>(got);
        }
        if (got >= 0 && filled <= limit) {
            bytes.resize(filled);
            content = std::move(bytes);
        }
    }
    ::close(fd);
    return content;
}

} // namespace obx::linuxos
