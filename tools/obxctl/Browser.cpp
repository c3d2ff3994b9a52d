#include "Browser.h"

#include <cerrno>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace obxctl {

void openInBrowser(const std::string& address) {
    std::string program = "xdg-open";
    std::string argument = address;
    std::vector<char*> argv{program.data(), argument.data(), nullptr};
    pid_t child = 0;
    if (::posix_spawnp(&child, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        throw std::runtime_error("cannot start xdg-open to open " + address);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            throw std::runtime_error("lost track of xdg-open while it opened " + address);
        }
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("xdg-open could not open " + address);
    }
}

} // namespace obxctl
