#pragma once

// The configuration access operations through which the command server reads
// and changes the settings, and the lock that keeps them apart from the
// device work.

#include "devices/DeviceEventSink.h"

#include <chrono>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace obx {

// An application identifier; absent names the global profile.
using AppId = std::optional<std::string>;

class IObxDeviceManager {
public:
    virtual nlohmann::json getSettings() = 0;
    virtual void setSettings(const nlohmann::json& body) = 0;
    virtual nlohmann::json getGeneralConfig() = 0;
    virtual void setGeneralConfig(const nlohmann::json& body) = 0;
    virtual nlohmann::json getDevices() = 0;
    // {"buttons":N,"wheel":bool,"pan":bool} as the driver of the trackball present under that
    // configuration id tells them; buttons 0 when it does not (an older driver, or none present).
    virtual nlohmann::json getDeviceCapabilities(std::uint16_t device) = 0;
    virtual nlohmann::json getApps(std::uint16_t device) = 0;
    virtual void createApp(std::uint16_t device, const nlohmann::json& body) = 0;
    virtual void deleteApp(std::uint16_t device, const nlohmann::json& body) = 0;
    virtual nlohmann::json getPointerConfig(const AppId& app, std::uint16_t device) = 0;
    virtual void setPointerConfig(const AppId& app, std::uint16_t device, const nlohmann::json& body) = 0;
    virtual nlohmann::json getScrollWheelConfig(const AppId& app, std::uint16_t device) = 0;
    virtual void setScrollWheelConfig(const AppId& app, std::uint16_t device, const nlohmann::json& body) = 0;
    virtual nlohmann::json getButtonAction(const AppId& app, std::uint16_t device,
                                           std::uint32_t buttonMask) = 0;
    virtual void setButtonAction(const AppId& app, std::uint16_t device, std::uint32_t buttonMask,
                                 const nlohmann::json& value) = 0;
    virtual nlohmann::json getSnippets(const AppId& app, std::uint16_t device) = 0;
    // Replaces the profile's snippet slots by the body's {"snippets":[…]} (the form getSnippets
    // answers); a body that does not fit changes nothing.
    virtual void setSnippets(const AppId& app, std::uint16_t device, const nlohmann::json& body) = 0;
    // Gives the profile the body's {"name":"…"}.
    virtual void renameApp(const AppId& app, std::uint16_t device, const nlohmann::json& body) = 0;
    // Counts the changes of the settings in memory, from 1: each change made through these
    // operations, settings read again from the file, a trackball's first entry.
    virtual std::uint64_t settingsRevision() = 0;

    // For duration every button of the trackballs present under that configuration id goes to
    // the helper and runs no action, so that a page can tell which button is which; starting
    // again while learning starts the time anew. Throws when none is present.
    virtual void startLearning(std::uint16_t device, std::chrono::seconds duration) = 0;
    // Gives them their own button map again; nothing when they are not learning.
    virtual void stopLearning(std::uint16_t device) = 0;

    virtual ~IObxDeviceManager() = default;

    // Who hears of button events and arrivals; none by default. Set before
    // the worker starts, and kept until it has ended.
    virtual void reportEventsTo(DeviceEventSink* sink) = 0;

    // The flag is set in memory only; it is saved with the next change.
    virtual void setTrayIcon(bool show) = 0;
    virtual bool getTrayIcon() = 0;

    // Recursive: an operation may call into the device layer, which takes it
    // again.
    virtual void lock() = 0;
    virtual void unlock() = 0;
};

} // namespace obx
