#pragma once

// A trackball as settings, dispatch and actions see it.

#include <cstdint>
#include <string>

namespace obx {

class DeviceConfig;

enum class DeviceInterfaceKind : std::uint32_t { unknown = 0, usb = 1, bluetooth = 2 };

class IObxDevice {
public:
    // Configuration id: the key of the trackball's entry in the settings.
    virtual std::uint16_t getId() const = 0;
    virtual std::string getName() const = 0;
    virtual std::uint16_t getFirmwareVersion() const = 0;
    // OBX_DEVICE_INFO.Capabilities: the buttons, wheel and pan its descriptor declares (0: not known).
    virtual std::uint16_t getCapabilities() const = 0;

    // Hooks through which a device may produce input itself; true means
    // handled, false that the caller goes through the platform services.
    virtual bool keystroke(std::uint32_t modifiers, std::uint32_t keyCode, bool down, bool modifiersOnly) = 0;
    virtual bool mouseButton(std::uint32_t buttonMask, bool down) = 0;
    virtual bool scroll(std::uint32_t direction, std::int32_t lines) = 0;

    virtual ~IObxDevice() = default;

    virtual std::uint16_t getRealId() const = 0;
    virtual DeviceInterfaceKind getInterface() const = 0;

    // Makes config the current configuration and applies it; without force
    // nothing happens when it already is the current one.
    virtual bool setConfig(DeviceConfig* config, bool force) = 0;
    virtual DeviceConfig* getConfig() const = 0;
    virtual void applyPointerConfig() = 0;
    virtual void applyScrollConfig() = 0;
    virtual bool applyButtonConfig() = 0;
};

} // namespace obx
