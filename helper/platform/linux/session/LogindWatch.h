#pragma once

// Session and power notices from logind on the system bus: PrepareForSleep
// (true before the system sleeps, false after it woke) and the Active
// property of the user's session (false while another session has the seat).
// While awake the watch holds a "sleep" delay lock, released once the
// suspend notice has been handled, so that the system does not sleep before
// the helper has let go of its trackballs and port.

#include "platform/linux/shell/PollLoop.h"
#include "shell/SessionEvents.h"

#include <string>
#include <systemd/sd-bus.h>

namespace obx::linuxos {

class LogindWatch : public PollSource {
public:
    // Without a system bus or a session the watch logs why and delivers what
    // it still can; the helper runs on as if always on the console.
    explicit LogindWatch(ISessionEventSink& sink);
    ~LogindWatch() override;
    LogindWatch(const LogindWatch&) = delete;
    LogindWatch& operator=(const LogindWatch&) = delete;

    void addDescriptors(std::vector<pollfd>& fds) override;
    int timeoutMs() override;
    void handle(std::span<const pollfd> fds) override;

private:
    bool findSession();
    bool readActive(bool& active);
    void activeChanged(bool active);
    void takeSleepLock();
    void releaseSleepLock();
    static int onPrepareForSleep(sd_bus_message* message, void* self, sd_bus_error* error);
    static int onSessionProperties(sd_bus_message* message, void* self, sd_bus_error* error);

    ISessionEventSink& sink_;
    sd_bus* bus_ = nullptr;
    sd_bus_slot* sleepSlot_ = nullptr;
    sd_bus_slot* sessionSlot_ = nullptr;
    std::string sessionPath_;
    bool active_ = true;
    int sleepLock_ = -1;
};

} // namespace obx::linuxos
