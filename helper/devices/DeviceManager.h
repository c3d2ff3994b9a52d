#pragma once

// The helper's one device manager: the worker thread on which every device
// event, notice and poll runs, the table of open trackball sessions, the
// loaded settings and each trackball's choice of configuration.

#include "actions/SequencePlayer.h"
#include "base/MsgWFMOHandler.h"
#include "devices/ButtonLearning.h"
#include "devices/DeviceLayerPlatform.h"
#include "devices/DeviceManagerBase.h"
#include "devices/ForegroundProfiles.h"
#include "devices/ModifierModes.h"
#include "devices/SettingsFileChangeMonitor.h"

#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace obx {

using DeviceLayerPlatformFactory = std::function<DeviceLayerPlatform()>;

// The platform that the next DeviceManager::instance is built on.
void setDeviceLayerPlatformFactory(DeviceLayerPlatformFactory factory);

class DeviceManager final : public DeviceManagerBase, public MsgWFMOHandler, private SequenceClock {
public:
    static constexpr std::uint32_t pollTimerId = 1000;
    // Continues a sequence after its pause.
    static constexpr std::uint32_t sequenceTimerId = 1001;
    static constexpr std::chrono::milliseconds pollPeriod{300};
    // Ends the learning of buttons when its time is up.
    static constexpr std::uint32_t learningTimerId = 1002;
    // Posted to the worker: the learning times changed, and the timer (which
    // only the worker may set) follows them.
    static constexpr std::uint32_t learningChangedMessage = workerMessageUser + 1;

    // Creates the manager on first use, from the installed platform factory.
    static DeviceManager& instance();
    // Stops the worker, releases every trackball and the manager itself.
    static void destroyDeviceManager();

    explicit DeviceManager(DeviceLayerPlatform platform);
    ~DeviceManager() override;

    // Starts the worker and waits until its start-up has ended; throws
    // "Error initializing device manager" when it failed.
    void startWorker();

    // The worker lock, so that callers exclude all device work.
    void lock() override { MsgWFMOHandler::lock(); }
    void unlock() override { MsgWFMOHandler::unlock(); }

    // Asks the worker to reload the settings file; any thread.
    void requestReload();

    // Any thread; the worker's timer ends the learning.
    void startLearning(std::uint16_t device, std::chrono::seconds duration) override;
    void stopLearning(std::uint16_t device) override;

    void onThreadStart() override;
    void onThreadExit(bool graceful) override;
    void dispatchMessage(const WorkerMessage& message) override;

    void enumerateDevices();
    void onDeviceArrival(const std::string& path);
    void onDeviceDeparture(const std::string& path);
    void reload();
    void onPollTimer();

private:
    void wakeAfter(std::chrono::milliseconds delay) override;
    void stopWaking() override;
    void onSequenceTimer();
    // Every present trackball of device learns, or takes its own map again;
    // the sink hears of it.
    void setLearning(std::uint16_t device, bool learning);
    void endLearningThatIsOver();
    // Ends the learning whose time is up and sets the timer for the next end.
    void onLearningTimer();
    void startUp();
    void reportDevicesChanged();
    // The driver notice: while no trackball is served, what the platform says is missing.
    void checkDriverPresence();
    void signalInitEvent(bool initialized);
    // Re-points every device into settings, each one even when an earlier
    // one failed to apply; answers the first failure.
    std::exception_ptr pointDevicesInto(Settings& settings);

    DeviceLayerPlatform platform_;
    ForegroundProfiles foreground_;
    ModifierModes modifiers_;
    std::unique_ptr<SettingsFileChangeMonitor> settingsMonitor_;
    ButtonLearning learning_;
    bool noticesStarted_ = false;
    // Poll ticks until the driver is looked for again while no trackball is served.
    static constexpr int driverCheckTicks = 10;
    int ticksToDriverCheck_ = driverCheckTicks;

    std::mutex initMutex_;
    std::condition_variable initChanged_;
    bool initEvent_ = false;
    bool initialized_ = false;
};

} // namespace obx
