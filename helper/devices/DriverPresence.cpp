#include "devices/DriverPresence.h"

#include "base/DesktopNotifier.h"
#include "base/Log.h"
#include "base/StatusNotices.h"

#include <atomic>

namespace obx {

namespace {

constexpr const char* noticeSource = "driver";

} // namespace

void reportDriverPresence(const std::string& missing) {
    StatusNotices::instance().set(noticeSource, missing);
    if (missing.empty()) {
        return;
    }
    // Once per start of the helper, however often the device layer is made again.
    static std::atomic<bool> notified{false};
    if (notified.exchange(true)) {
        return;
    }
    log(LogLevel::warning, "No trackball driver: ", missing);
    if (!notifyDesktop("Trackball driver missing", missing)) {
        logText(LogLevel::info, "The desktop showed no notification of the missing driver");
    }
}

} // namespace obx
