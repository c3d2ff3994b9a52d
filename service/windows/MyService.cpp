#include "service/windows/MyService.h"

namespace obx::win {

MyService::MyService(ServiceLog& log)
    : ConsoleService(L"myservice"), log_(log), starter_(log),
      sequence_(record_, product_, starter_, clock_, log),
      notifyService_(sequence_, *this, log, stopEvent()) {}

DWORD MyService::run() {
    return static_cast<DWORD>(notifyService_.run());
}

DWORD MyService::sessionChange(DWORD eventType, DWORD sessionId) {
    log_.write(1, "onSessionChange - eventCode: %d, SessionId: %d\n", static_cast<int>(eventType),
               static_cast<int>(sessionId));
    return 0;
}

} // namespace obx::win
