#include "service/linux/LinuxServiceLog.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace obx::linuxos {

namespace {

void writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const auto written = ::write(fd, text.data(), text.size());
        if (written <= 0) {
            return;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

} // namespace

std::filesystem::path LinuxServiceLogFile::defaultPath() {
    const char* folder = std::getenv("TMPDIR");
    return std::filesystem::path(folder && *folder ? folder : "/tmp") / "obxsvc.log";
}

void LinuxServiceLogFile::write(std::string_view text) {
    writeAll(STDERR_FILENO, text);
    if (path_.empty()) {
        path_ = defaultPath();
    }
    // The folder is usually shared by every user: never follow a link that
    // someone else put in the file's place, nor append to their file.
    const int fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return;
    }
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == ::geteuid()) {
        writeAll(fd, text);
    }
    ::close(fd);
}

} // namespace obx::linuxos
