#include "base/DesktopNotifier.h"

#include <mutex>

namespace obx {

namespace {

struct Installed {
    std::mutex mutex;
    DesktopNotifier notifier;
};

Installed& installed() {
    static Installed* one = new Installed;
    return *one;
}

} // namespace

void setDesktopNotifier(DesktopNotifier notifier) {
    std::lock_guard guard(installed().mutex);
    installed().notifier = std::move(notifier);
}

bool notifyDesktop(const std::string& title, const std::string& body) {
    // Held while the notifier runs, so that it is never called after its removal; a notifier
    // waits a bounded time.
    std::lock_guard guard(installed().mutex);
    return installed().notifier && installed().notifier(title, body);
}

} // namespace obx
