#pragma once

// What every trackball session has: its identity as the driver reported it
// and the configuration it currently uses.

#include "devices/IObxDevice.h"

namespace obx {

class DeviceBase : public IObxDevice {
public:
    // A sequence this trackball started ends with it.
    ~DeviceBase() override;
    std::uint16_t getId() const override { return id_; }
    std::string getName() const override { return name_; }
    std::uint16_t getFirmwareVersion() const override { return firmwareVersion_; }
    std::uint16_t getCapabilities() const override { return capabilities_; }
    // The platform services always produce the input.
    bool keystroke(std::uint32_t, std::uint32_t, bool, bool) override { return false; }
    bool mouseButton(std::uint32_t, bool) override { return false; }
    bool scroll(std::uint32_t, std::int32_t) override { return false; }
    std::uint16_t getRealId() const override { return realId_; }
    DeviceInterfaceKind getInterface() const override { return interfaceKind_; }
    // Compares configurations by identity, not by content. A change of
    // configuration (a profile switch, new settings) cuts short a sequence
    // this trackball started.
    bool setConfig(DeviceConfig* config, bool force) override;
    DeviceConfig* getConfig() const override { return config_; }

protected:
    std::uint16_t id_ = 0;
    std::uint16_t realId_ = 0;
    std::uint16_t firmwareVersion_ = 0;
    std::uint16_t capabilities_ = 0;
    std::string name_;
    DeviceInterfaceKind interfaceKind_ = DeviceInterfaceKind::unknown;
    DeviceConfig* config_ = nullptr;
};

} // namespace obx
