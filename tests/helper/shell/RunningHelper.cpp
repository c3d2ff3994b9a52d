#include "RunningHelper.h"

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace obx::test {

RunningHelper::RunningHelper(const HelperSetting& setting, const std::vector<std::string>& args)
    : setting_(setting), process_(setting, args) {
    started_ =
        waitUntil([&] { return httpAnswers(setting.port()) || !process_.running(); }) && process_.running();
}

::testing::AssertionResult RunningHelper::started() const {
    if (started_) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "the helper did not come up; its output: " << process_.errorOutput()
           << "; its log: " << setting_.log();
}

VirtualTrackball::VirtualTrackball(const HelperSetting& setting)
    : runtime_(setting.folder() / "run"),
      daemon_({OBXKERND_PATH, "--runtime-dir", runtime_.string(), "--virtual"}, {},
              setting.folder() / "obxkernd.log") {}

VirtualTrackball::~VirtualTrackball() {
    if (input_ >= 0) {
        ::close(input_);
    }
}

bool VirtualTrackball::ready() {
    const auto path = (runtime_ / "virtual-01.in").string();
    return waitUntil([&] {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            input_ = fd;
            return true;
        }
        ::close(fd);
        return false;
    });
}

bool VirtualTrackball::sendButtons(std::uint8_t buttons) {
    const std::uint8_t report[5] = {buttons, 0, 0, 0, 0};
    return ::send(input_, report, sizeof report, MSG_NOSIGNAL) == sizeof report;
}

} // namespace obx::test
