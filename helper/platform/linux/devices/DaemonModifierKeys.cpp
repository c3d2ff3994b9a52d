#include "platform/linux/devices/DaemonModifierKeys.h"

#include "devices/DesktopQueries.h"
#include "driver/linux/wire/ModifierWire.h"
#include "platform/linux/devices/DaemonSockets.h"

#include <array>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace obx {

namespace {

static_assert(wire::kModifierShift == desktopModifierShift && wire::kModifierCtrl == desktopModifierCtrl &&
              wire::kModifierAlt == desktopModifierAlt);

constexpr int answerTimeoutMs = 100;
constexpr auto reconnectPause = std::chrono::seconds(1);

} // namespace

DaemonModifierKeys::DaemonModifierKeys(std::filesystem::path runtimeFolder)
    : socket_(std::move(runtimeFolder) / wire::kModifierSocketName) {}

DaemonModifierKeys::~DaemonModifierKeys() {
    disconnect();
}

bool DaemonModifierKeys::connect() {
    const auto now = std::chrono::steady_clock::now();
    if (now < nextAttempt_) {
        return false;
    }
    nextAttempt_ = now + reconnectPause;
    fd_ = connectToDaemonSocket(socket_);
    return fd_ >= 0;
}

void DaemonModifierKeys::disconnect() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

std::uint32_t DaemonModifierKeys::held() {
    if (fd_ < 0 && !connect()) {
        return 0;
    }
    std::array<std::uint8_t, wire::kModifierAnswerSize> answer{};
    pollfd ready{fd_, POLLIN, 0};
    if (::send(fd_, "?", 1, MSG_NOSIGNAL) != 1 || ::poll(&ready, 1, answerTimeoutMs) != 1 ||
        ::recv(fd_, answer.data(), answer.size(), MSG_DONTWAIT) != static_cast<ssize_t>(answer.size())) {
        // Gone, or too slow: an answer that comes late must not be taken for
        // the next question's, so the connection goes.
        disconnect();
        return 0;
    }
    const std::uint32_t mask = answer[0] | answer[1] << 8 | answer[2] << 16 | std::uint32_t{answer[3]} << 24;
    return mask & watchedModifiers;
}

} // namespace obx
