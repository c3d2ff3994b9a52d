#pragma once

// The configuration access operations over the owned settings and the list
// of present devices, under the manager's own recursive lock. Usable without
// a worker thread: the device layer derives from it and replaces the lock.

#include "devices/IObxDevice.h"
#include "devices/IObxDeviceManager.h"

#include <exception>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

namespace obx {

class DeviceConfig;
class Settings;

class DeviceManagerBase : public IObxDeviceManager {
public:
    DeviceManagerBase();
    ~DeviceManagerBase() override;

    nlohmann::json getSettings() override;
    void setSettings(const nlohmann::json& body) override;
    nlohmann::json getGeneralConfig() override;
    void setGeneralConfig(const nlohmann::json& body) override;
    nlohmann::json getDevices() override;
    nlohmann::json getDeviceCapabilities(std::uint16_t device) override;
    nlohmann::json getApps(std::uint16_t device) override;
    void createApp(std::uint16_t device, const nlohmann::json& body) override;
    void deleteApp(std::uint16_t device, const nlohmann::json& body) override;
    nlohmann::json getPointerConfig(const AppId& app, std::uint16_t device) override;
    void setPointerConfig(const AppId& app, std::uint16_t device, const nlohmann::json& body) override;
    nlohmann::json getScrollWheelConfig(const AppId& app, std::uint16_t device) override;
    void setScrollWheelConfig(const AppId& app, std::uint16_t device, const nlohmann::json& body) override;
    nlohmann::json getButtonAction(const AppId& app, std::uint16_t device, std::uint32_t buttonMask) override;
    void setButtonAction(const AppId& app, std::uint16_t device, std::uint32_t buttonMask,
                         const nlohmann::json& value) override;
    nlohmann::json getSnippets(const AppId& app, std::uint16_t device) override;
    void setSnippets(const AppId& app, std::uint16_t device, const nlohmann::json& body) override;
    void renameApp(const AppId& app, std::uint16_t device, const nlohmann::json& body) override;
    std::uint64_t settingsRevision() override;
    // Without the device worker there is no timer to end learning: refused.
    void startLearning(std::uint16_t device, std::chrono::seconds duration) override;
    void stopLearning(std::uint16_t device) override;
    void setTrayIcon(bool show) override;
    bool getTrayIcon() override;
    void lock() override;
    void unlock() override;

    // The settings in use; none until the device layer installs them. Every
    // operation fails while there are none.
    Settings* settings() const { return settings_.get(); }
    // Takes over settings; the previous object goes, so no device may still
    // use one of its configurations.
    void useSettings(std::unique_ptr<Settings> settings);
    void reportEventsTo(DeviceEventSink* sink) override { eventSink_ = sink; }
    DeviceEventSink* eventSink() const { return eventSink_; }
    // The present devices in order of arrival, kept by the device layer.
    std::vector<std::shared_ptr<IObxDevice>>& devices() { return devices_; }

protected:
    struct DeviceMove {
        IObxDevice* device;
        DeviceConfig* config;
    };
    // Forces each device onto its configuration. A device whose apply fails
    // is logged and the others still move, so that none is left on a
    // configuration about to go; the first failure is returned.
    static std::exception_ptr moveDevices(std::span<const DeviceMove> moves);
    // The settings in memory changed in a way no operation of this class counted.
    void countSettingsChange() { ++revision_; }

private:
    Settings& currentSettings() const;
    // The identifier of the profile whose configuration device uses; absent
    // when it uses none of the current settings.
    AppId activeIdentifier(const IObxDevice& device) const;
    // Every present device that uses the changed configuration. A device on
    // another profile of the same name is not concerned: what it would
    // re-apply did not change.
    std::vector<IObxDevice*> devicesShowing(const DeviceConfig& changed) const;
    // Runs change, which may return or throw, and counts a change when what
    // take() copies is different afterwards.
    template <typename Take, typename Change>
    void countedChange(Take take, Change change);
    // Runs change on the profile of config and saves, counted as above.
    template <typename Change>
    void changeProfile(DeviceConfig& config, Change change);

    std::recursive_mutex mutex_;
    std::unique_ptr<Settings> settings_;
    DeviceEventSink* eventSink_ = nullptr;
    std::uint64_t revision_ = 1;
    // After the settings, so that the devices go first.
    std::vector<std::shared_ptr<IObxDevice>> devices_;
};

} // namespace obx
