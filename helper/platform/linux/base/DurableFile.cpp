#include "platform/DurableFile.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace obx {

namespace {

std::error_code lastError() {
    return {errno, std::generic_category()};
}

std::error_code writeAll(int fd, std::string_view content) {
    while (!content.empty()) {
        const auto written = ::write(fd, content.data(), content.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return lastError();
        }
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

} // namespace

std::error_code writeFileDurably(const std::filesystem::path& path, std::string_view content) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        return lastError();
    }
    auto error = writeAll(fd, content);
    // The file's own clock ticks coarsely (milliseconds): stamped with the
    // precise time, this version is told from a later write in place, even
    // one of the same length in the same tick.
    timespec times[2] = {{0, UTIME_OMIT}, {}};
    if (!error && (::clock_gettime(CLOCK_REALTIME, &times[1]) != 0 || ::futimens(fd, times) != 0)) {
        error = lastError();
    }
    if (!error && ::fsync(fd) != 0) {
        error = lastError();
    }
    // A failing close can be the first report of a failed write.
    if (::close(fd) != 0 && !error) {
        error = lastError();
    }
    return error;
}

std::error_code replaceFileDurably(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        return lastError();
    }
    // The rename lives in the folder's entries: without this a power loss
    // may bring back the old name.
    auto folder = to.parent_path();
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return lastError();
    }
    std::error_code error;
    if (::fsync(fd) != 0) {
        error = lastError();
    }
    ::close(fd);
    return error;
}

} // namespace obx
