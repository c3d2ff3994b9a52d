#pragma once

// One trackball served by the daemon: the driver's filter device with the HID source below it, the
// class driver and mouse sink above it, its timers and its control socket.

#include "ClassDriver.h"
#include "ControlEndpoint.h"
#include "EventLoop.h"
#include "HidBelow.h"
#include "HidSource.h"
#include "HostServices.h"
#include "MouseSink.h"
#include "SocketAccess.h"
#include "TimerFd.h"
#include "driver/core/FilterDevice.h"
#include "driver/hid/ReportDescriptorParser.h"

#include <filesystem>
#include <memory>

namespace obx::kernd {

class Trackball final : private ITimerTarget {
public:
    // Starts the device and offers its control socket to those whom `access` admits. Throws
    // std::runtime_error.
    Trackball(EventLoop& loop, uint32_t instance, std::unique_ptr<HidSource> source,
              std::unique_ptr<MouseSink> sink, const std::filesystem::path& runtimeDir, SocketAccess& access);
    // The device goes away: waiting reads are cancelled, the handles closed, the socket removed.
    ~Trackball() override;
    Trackball(const Trackball&) = delete;
    Trackball& operator=(const Trackball&) = delete;

private:
    void timerFired(uint32_t id) override { device_.timerFired(id); }

    MutexLock deviceLock_, fileLock_, readLock_, registrationLock_, controlLock_, ringStoreLock_,
        ringTakeLock_;
    BootClock clock_;
    LogTrace trace_;
    TimerFd chordTimer_, inertiaTimer_, autoScrollTimer_;
    std::unique_ptr<HidSource> source_;
    std::unique_ptr<MouseSink> sink_;
    HidBelow below_;
    // Buttons read as the kernel's own input reads them, whose mouse the daemon stands in for.
    hid::ReportDescriptorParser parser_{hid::ExcessElements::Ignored};
    driver::FilterDevice device_;
    ClassDriver classDriver_;
    std::unique_ptr<ControlEndpoint> control_;
};

} // namespace obx::kernd
