#include "Daemon.h"

#include "EventLoop.h"
#include "Log.h"
#include "ModifierEndpoint.h"
#include "PointingDeviceEndpoint.h"
#include "SeqPacketSocket.h"
#include "ServiceNotice.h"
#include "SignalWatch.h"
#include "Trackball.h"
#include "driver/core/FilterDevice.h"
#include "hardware/HardwareWatch.h"
#include "hardware/SeatAccess.h"
#include "virtual/VirtualPlug.h"
#include "virtual/VirtualTrackball.h"

#include <exception>
#include <filesystem>
#include <memory>
#include <vector>

namespace obx::kernd {

namespace {

// Trackballs are declared after the loop and the signal watch, so they go first at the end: their
// sockets are removed before anything else is torn down.
struct Served {
    EventLoop loop;
    SignalWatch signals{loop};
    driver::InstanceCounter instances;
    std::vector<std::unique_ptr<Trackball>> trackballs;
    std::unique_ptr<VirtualPlug> plug;
    std::unique_ptr<SeatAccess> seatAccess;
    std::unique_ptr<ModifierEndpoint> modifiers;
    std::unique_ptr<PointingDeviceEndpoint> pointingDevices;
    std::unique_ptr<HardwareWatch> hardware;
};

void serveHardware(Served& served, const DaemonOptions& options) {
    HardwareSettings settings;
    settings.devnodes = options.devices;
    settings.runtimeDir = options.runtimeDir;
    settings.stateDir = options.stateDir;
    if (options.devices.empty()) {
        settings.table = DeviceTable::load(options.devicesFile);
        logf(LogLevel::info, "%s: %zu trackball model(s)%s", options.devicesFile.c_str(),
             settings.table.models().size(),
             std::filesystem::exists(options.devicesFile) ? "" : " (the file does not exist)");
    }
    served.seatAccess = std::make_unique<SeatAccess>(served.loop);
    served.modifiers = std::make_unique<ModifierEndpoint>(served.loop, options.runtimeDir, *served.seatAccess,
                                                          SeatAccess::kSeat);
    served.pointingDevices =
        std::make_unique<PointingDeviceEndpoint>(served.loop, options.runtimeDir, *served.seatAccess);
    served.hardware = std::make_unique<HardwareWatch>(
        served.loop, served.instances, *served.seatAccess, *served.pointingDevices, std::move(settings),
        options.hardwareRoot.empty() ? makeUdevHardware() : makeFolderHardware(options.hardwareRoot));
    served.pointingDevices->chooseThrough(*served.hardware);
}

} // namespace

int runDaemon(const DaemonOptions& options) {
    try {
        std::filesystem::create_directories(options.runtimeDir);
        removeSocketsLeftBehind(options.runtimeDir);
        Served served;
        for (const VirtualTrackballOptions& virtualOptions : options.virtuals)
            served.trackballs.push_back(makeVirtualTrackball(served.loop, served.instances.next(),
                                                             virtualOptions, options.runtimeDir));
        if (options.virtualPlug)
            served.plug = std::make_unique<VirtualPlug>(served.loop, served.instances, options.runtimeDir);
        if (options.servesHardware())
            serveHardware(served, options);
        notifyServiceManager("READY=1");
        logf(LogLevel::info, "serving %zu trackball(s) in %s",
             served.trackballs.size() + (served.hardware ? served.hardware->attachedCount() : 0),
             options.runtimeDir.c_str());
        const bool ran = served.loop.run();
        notifyServiceManager("STOPPING=1");
        if (!ran) {
            logf(LogLevel::error, "the event loop failed");
            return 1;
        }
        return 0;
    } catch (const std::exception& e) {
        logf(LogLevel::error, "%s", e.what());
        return 1;
    }
}

} // namespace obx::kernd
