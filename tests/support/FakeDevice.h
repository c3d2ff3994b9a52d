#pragma once

// An IObxDevice without a driver: answers its hooks as the test chooses and
// records what the hooks were asked.

#include "devices/IObxDevice.h"

#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

namespace obx::test {

class FakeDevice : public IObxDevice {
public:
    std::uint16_t id = 0x1001;
    std::uint16_t realId = 0x1001;
    std::uint16_t capabilities = 0;
    std::string name = "Test trackball";
    bool handleHooks = false; // answer of the three hooks
    std::vector<nlohmann::json> hookCalls;
    DeviceConfig* config = nullptr;
    int setConfigCalls = 0;
    int pointerApplied = 0;
    int scrollApplied = 0;
    int buttonsApplied = 0;
    // When not empty, setConfig and every apply fail with this message, after
    // the device took the configuration, as a driver session does when the
    // driver refuses a setting.
    std::string applyFailure;

    std::uint16_t getId() const override { return id; }
    std::string getName() const override { return name; }
    std::uint16_t getFirmwareVersion() const override { return 0x0100; }
    std::uint16_t getCapabilities() const override { return capabilities; }
    bool keystroke(std::uint32_t modifiers, std::uint32_t keyCode, bool down, bool modifiersOnly) override {
        hookCalls.push_back({"keystroke", modifiers, keyCode, down, modifiersOnly});
        return handleHooks;
    }
    bool mouseButton(std::uint32_t buttonMask, bool down) override {
        hookCalls.push_back({"mouseButton", buttonMask, down});
        return handleHooks;
    }
    bool scroll(std::uint32_t direction, std::int32_t lines) override {
        hookCalls.push_back({"scroll", direction, lines});
        return handleHooks;
    }
    std::uint16_t getRealId() const override { return realId; }
    DeviceInterfaceKind getInterface() const override { return DeviceInterfaceKind::usb; }
    bool setConfig(DeviceConfig* newConfig, bool force) override {
        if (newConfig == config && !force) {
            return false;
        }
        ++setConfigCalls;
        config = newConfig;
        failIfAsked();
        return true;
    }
    DeviceConfig* getConfig() const override { return config; }
    void applyPointerConfig() override {
        ++pointerApplied;
        failIfAsked();
    }
    void applyScrollConfig() override {
        ++scrollApplied;
        failIfAsked();
    }
    bool applyButtonConfig() override {
        ++buttonsApplied;
        failIfAsked();
        return true;
    }

private:
    void failIfAsked() const {
        if (!applyFailure.empty()) {
            throw std::runtime_error(applyFailure);
        }
    }
};

} // namespace obx::test
