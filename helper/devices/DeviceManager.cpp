#include "devices/DeviceManager.h"

#include "actions/LowerCase.h"
#include "actions/PlatformServicesImpl.h"
#include "base/Log.h"
#include "devices/Device.h"
#include "devices/DriverPresence.h"
#include "settings/Settings.h"
#include "settings/SettingsPaths.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

namespace obx {

namespace {

DeviceLayerPlatformFactory& platformFactory() {
    static DeviceLayerPlatformFactory factory;
    return factory;
}

std::unique_ptr<DeviceManager>& theManager() {
    static std::unique_ptr<DeviceManager> manager;
    return manager;
}

// Holds the worker lock of a manager for one step.
using WorkerLock = std::lock_guard<DeviceManager>;

std::unique_ptr<Settings> readSettingsFile() {
    std::ifstream in(settingsFilePath(), std::ios::binary);
    if (!in) {
        throw std::runtime_error("Cannot open the settings file");
    }
    auto settings = std::make_unique<Settings>();
    settings->fromJson(nlohmann::json::parse(in));
    return settings;
}

} // namespace

void setDeviceLayerPlatformFactory(DeviceLayerPlatformFactory factory) {
    platformFactory() = std::move(factory);
}

DeviceManager& DeviceManager::instance() {
    auto& manager = theManager();
    if (!manager) {
        if (!platformFactory()) {
            throw std::runtime_error("No device layer platform installed");
        }
        manager = std::make_unique<DeviceManager>(platformFactory()());
    }
    return *manager;
}

void DeviceManager::destroyDeviceManager() {
    auto& manager = theManager();
    if (manager) {
        manager->stop();
        manager->devices().clear();
        manager.reset();
    }
}

DeviceManager::DeviceManager(DeviceLayerPlatform platform)
    : MsgWFMOHandler(std::move(platform.waits)), platform_(std::move(platform)),
      foreground_(*platform_.desktop), modifiers_(*platform_.desktop) {}

DeviceManager::~DeviceManager() {
    // The devices and the watch refer to the worker: they go while it exists.
    stop();
    devices().clear();
}

void DeviceManager::startWorker() {
    if (!start()) {
        throw std::runtime_error("Error initializing device manager");
    }
    std::unique_lock guard(initMutex_);
    initChanged_.wait(guard, [this] { return initEvent_; });
    if (!initialized_) {
        throw std::runtime_error("Error initializing device manager");
    }
}

void DeviceManager::signalInitEvent(bool initialized) {
    std::lock_guard guard(initMutex_);
    initialized_ = initialized;
    initEvent_ = true;
    initChanged_.notify_all();
}

void DeviceManager::onThreadStart() {
    try {
        startUp();
        signalInitEvent(true);
    } catch (const std::exception& error) {
        log(LogLevel::error, "Error initializing device manager, reason: ", error.what());
        signalInitEvent(false);
    } catch (...) {
        log(LogLevel::error, "Unknown error initializing device manager");
        signalInitEvent(false);
    }
}

void DeviceManager::startUp() {
    WorkerLock guard(*this);
    platformServices();
    auto settings = std::make_unique<Settings>();
    settings->load();
    useSettings(std::move(settings));
    if (platform_.watchFile) {
        settingsMonitor_ = std::make_unique<SettingsFileChangeMonitor>(
            *this, platform_.watchFile(settingsFilePath()), [this] { return this->settings(); },
            [this] { reload(); });
    }
    enumerateDevices();
    checkDriverPresence();
    platform_.notices->startNotices(*this);
    noticesStarted_ = true;
    waits().startTimer(pollTimerId, pollPeriod);
    sequencePlayer().useClock(this);
}

void DeviceManager::onThreadExit(bool) {
    WorkerLock guard(*this);
    if (noticesStarted_) {
        platform_.notices->stopNotices();
        noticesStarted_ = false;
    }
    waits().stopTimer(pollTimerId);
    // The trackballs stay with their own maps once the helper has gone.
    for (const auto device : learning_.takeAll()) {
        setLearning(device, false);
    }
    waits().stopTimer(learningTimerId);
    // A sequence ends with the worker that plays it.
    sequencePlayer().cutShort();
    sequencePlayer().useClock(nullptr);
    waits().stopTimer(sequenceTimerId);
    settingsMonitor_.reset();
    // The devices stay listed, unused, until the manager goes.
    useSettings(nullptr);
}

void DeviceManager::dispatchMessage(const WorkerMessage& message) {
    switch (message.code) {
    case deviceChangeMessage:
        if (message.param == deviceArrivalEvent) {
            onDeviceArrival(message.text);
        } else if (message.param == deviceRemoveCompleteEvent) {
            onDeviceDeparture(message.text);
        }
        break;
    case workerMessageTimer:
        if (message.param == pollTimerId) {
            onPollTimer();
        } else if (message.param == sequenceTimerId) {
            onSequenceTimer();
        } else if (message.param == learningTimerId) {
            onLearningTimer();
        }
        break;
    case learningChangedMessage:
        onLearningTimer();
        break;
    case reloadSettingsMessage:
        reload();
        break;
    default:
        break;
    }
}

void DeviceManager::requestReload() {
    postMessage({reloadSettingsMessage, 0, {}});
}

void DeviceManager::enumerateDevices() {
    for (const auto& path : platform_.notices->presentDevices()) {
        onDeviceArrival(path);
    }
}

void DeviceManager::onDeviceArrival(const std::string& path) {
    WorkerLock guard(*this);
    log(LogLevel::info, "Device arrival: ", path);
    auto device = std::make_shared<Device>(*this, path, platform_.notices->channelFor(path));
    device->reportEventsTo(eventSink());
    try {
        device->open();
    } catch (const std::exception& error) {
        log(LogLevel::error, "Error initializing Device, reason: ", error.what());
        return;
    }
    devices().push_back(device);
    if (learning_.learning(device->getId())) {
        device->setLearning(true);
    }
    try {
        if (!settings()->devices.contains(device->getId())) {
            countSettingsChange();
        }
        settings()->addDevice(device->getId());
        device->setConfig(&profileConfig(*settings(), device->getId(), foreground_.foregroundPath()), true);
    } catch (const std::exception& error) {
        log(LogLevel::error, "Error initializing Device, reason: ", error.what());
    }
    reportDevicesChanged();
}

void DeviceManager::onDeviceDeparture(const std::string& path) {
    WorkerLock guard(*this);
    log(LogLevel::info, "Device departure: ", path);
    const auto lowered = lowerCase(path);
    auto& list = devices();
    auto found = std::find_if(list.begin(), list.end(), [&](const auto& device) {
        const auto* session = dynamic_cast<const Device*>(device.get());
        return session != nullptr && lowerCase(session->devicePath()) == lowered;
    });
    if (found != list.end()) {
        const auto id = (*found)->getId();
        list.erase(found);
        const bool othersLeft =
            std::any_of(list.begin(), list.end(), [id](const auto& device) { return device->getId() == id; });
        if (!othersLeft && learning_.stop(id)) {
            setLearning(id, false);
            onLearningTimer();
        }
        reportDevicesChanged();
    }
}

void DeviceManager::reportDevicesChanged() {
    checkDriverPresence();
    if (eventSink() != nullptr) {
        eventSink()->devicesChanged();
    }
}

void DeviceManager::checkDriverPresence() {
    ticksToDriverCheck_ = driverCheckTicks;
    reportDriverPresence(devices().empty() ? platform_.notices->missingDriver() : std::string{});
}

void DeviceManager::reload() {
    WorkerLock guard(*this);
    log(LogLevel::debug, "Reloading settings");
    try {
        auto next = readSettingsFile();
        // Every device gets an entry first, so that none is left pointing
        // into the settings that go.
        for (const auto& device : devices()) {
            next->ensureDevice(device->getId());
        }
        const auto failure = pointDevicesInto(*next);
        useSettings(std::move(next));
        countSettingsChange();
        if (failure) {
            std::rethrow_exception(failure);
        }
    } catch (const BadSettingsFile&) {
        log(LogLevel::error, "Error reloading the settings file");
    } catch (...) {
        log(LogLevel::error, "Unknown error while reloading the settings & initing device");
    }
}

std::exception_ptr DeviceManager::pointDevicesInto(Settings& settings) {
    const auto path = foreground_.foregroundPath();
    std::vector<DeviceMove> moves;
    for (const auto& device : devices()) {
        moves.push_back({device.get(), &profileConfig(settings, device->getId(), path)});
    }
    return moveDevices(moves);
}

void DeviceManager::wakeAfter(std::chrono::milliseconds delay) {
    waits().startTimer(sequenceTimerId, delay);
}

void DeviceManager::stopWaking() {
    waits().stopTimer(sequenceTimerId);
}

void DeviceManager::onSequenceTimer() {
    WorkerLock guard(*this);
    sequencePlayer().wake();
}

void DeviceManager::startLearning(std::uint16_t device, std::chrono::seconds duration) {
    WorkerLock guard(*this);
    if (settings() == nullptr) {
        throw std::runtime_error("Settings are not loaded");
    }
    if (std::none_of(devices().begin(), devices().end(),
                     [device](const auto& present) { return present->getId() == device; })) {
        throw std::runtime_error("No trackball of this configuration id is present");
    }
    if (learning_.start(device, ButtonLearning::Clock::now() + duration)) {
        setLearning(device, true);
    }
    postMessage({learningChangedMessage, 0, {}});
}

void DeviceManager::stopLearning(std::uint16_t device) {
    WorkerLock guard(*this);
    if (learning_.stop(device)) {
        setLearning(device, false);
        postMessage({learningChangedMessage, 0, {}});
    }
}

void DeviceManager::setLearning(std::uint16_t device, bool learning) {
    for (const auto& present : devices()) {
        auto* session = dynamic_cast<Device*>(present.get());
        if (session != nullptr && session->getId() == device) {
            session->setLearning(learning);
        }
    }
    if (eventSink() != nullptr) {
        eventSink()->learningChanged(device, learning);
    }
}

void DeviceManager::endLearningThatIsOver() {
    for (const auto device : learning_.takeEnded(ButtonLearning::Clock::now())) {
        setLearning(device, false);
    }
}

void DeviceManager::onLearningTimer() {
    WorkerLock guard(*this);
    endLearningThatIsOver();
    if (const auto next = learning_.untilNextEnd(ButtonLearning::Clock::now())) {
        waits().startTimer(learningTimerId, *next);
    } else {
        waits().stopTimer(learningTimerId);
    }
}

void DeviceManager::onPollTimer() {
    WorkerLock guard(*this);
    // Also here, should the message that sets the timer have been lost (a full queue).
    endLearningThatIsOver();
    try {
        foreground_.check(*settings(), devices());
    } catch (const std::exception& error) {
        log(LogLevel::error, "Error checking the foreground application, reason: ", error.what());
    }
    try {
        modifiers_.poll(devices());
    } catch (const std::exception& error) {
        log(LogLevel::error, "Error polling the modifier keys, reason: ", error.what());
    }
    if (--ticksToDriverCheck_ <= 0) {
        checkDriverPresence();
    }
}

} // namespace obx
