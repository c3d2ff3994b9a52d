#include "platform/FileIdentity.h"

#include <sys/stat.h>

namespace obx {

namespace {

std::int64_t nanoseconds(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

} // namespace

std::optional<FileIdentity> fileIdentity(const std::filesystem::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    return FileIdentity{static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino),
                        static_cast<std::uint64_t>(status.st_size), nanoseconds(status.st_mtim),
                        nanoseconds(status.st_ctim)};
}

} // namespace obx
