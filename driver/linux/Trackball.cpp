#include "Trackball.h"

#include "Log.h"
#include "RuntimeNames.h"

#include <cstdio>
#include <stdexcept>

namespace obx::kernd {

Trackball::Trackball(EventLoop& loop, uint32_t instance, std::unique_ptr<HidSource> source,
                     std::unique_ptr<MouseSink> sink, const std::filesystem::path& runtimeDir,
                     SocketAccess& access)
    : trace_(instance), chordTimer_(loop, driver::kChordTimer, 0, *this),
      inertiaTimer_(loop, driver::kInertiaTimer, driver::kInertiaPeriodMs, *this),
      autoScrollTimer_(loop, driver::kAutoScrollTimer, driver::kAutoScrollPeriodMs, *this),
      source_(std::move(source)), sink_(std::move(sink)), below_(*source_),
      device_(driver::FilterDeviceServices{below_,
                                           parser_,
                                           clock_,
                                           deviceLock_,
                                           fileLock_,
                                           readLock_,
                                           {&chordTimer_, &inertiaTimer_, &autoScrollTimer_},
                                           driver::ControlDeviceLocks{registrationLock_, controlLock_,
                                                                      ringStoreLock_, ringTakeLock_},
                                           &trace_},
              instance),
      classDriver_(device_, *sink_) {
    const driver::ObxStatus status = device_.prepareHardware();
    if (status != OBX_STATUS_SUCCESS) {
        char text[96];
        std::snprintf(text, sizeof text, "trackball %02u does not start (status 0x%08X)", instance, status);
        throw std::runtime_error(text);
    }
    classDriver_.open();
    control_ = std::make_unique<ControlEndpoint>(loop, runtimeDir / controlSocketName(instance),
                                                 device_.controlDevice(), access);
    logf(LogLevel::info, "trackball %02u: %s", instance, control_->path().c_str());
}

Trackball::~Trackball() {
    device_.queryRemove();
    control_.reset();
    classDriver_.close();
    device_.releaseHardware();
}

} // namespace obx::kernd
