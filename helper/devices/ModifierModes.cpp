#include "devices/ModifierModes.h"

#include "base/Log.h"
#include "devices/Device.h"
#include "settings/DeviceConfig.h"

#include <array>
#include <stdexcept>

namespace obx {

namespace {

using Switch = std::array<std::uint8_t, 4>;

bool queryMode(Device& device, std::uint32_t code, const char* failure) {
    Switch value{};
    if (!device.queryDriver(code, value)) {
        throw std::runtime_error(failure);
    }
    return (value[0] | value[1] | value[2] | value[3]) != 0;
}

void setMode(Device& device, std::uint32_t code, bool on, const char* failure) {
    const Switch value{static_cast<std::uint8_t>(on ? 1 : 0), 0, 0, 0};
    if (!device.sendToDriver(code, value)) {
        throw std::runtime_error(failure);
    }
}

} // namespace

void ModifierModes::poll(const std::vector<std::shared_ptr<IObxDevice>>& devices) {
    // Only Shift, Ctrl and Alt are watched, whatever a desktop reports: a
    // mask with the Windows key never switches its mode on.
    const auto state = desktop_.pressedModifiers() & watchedModifiers;
    if (state == modifierState_) {
        return;
    }
    log(LogLevel::debug, "Modifier key status changed: 0x", Hex{state});
    for (const auto& present : devices) {
        auto* device = dynamic_cast<Device*>(present.get());
        if (device == nullptr || device->getConfig() == nullptr) {
            continue;
        }
        try {
            update(*device, state);
        } catch (const std::exception&) {
            // The driver refused: this trackball keeps its modes until the
            // next change of the keys.
        }
    }
    modifierState_ = state;
}

void ModifierModes::update(Device& device, std::uint32_t state) {
    const auto snap = device.getConfig()->snapModifiers;
    const auto slow = device.getConfig()->slowModifiers;
    const bool axisWasOn =
        queryMode(device, IOCTL_OBX_GET_SINGLE_AXIS, "Error quering driver single axis movement status");
    if (snap != 0) {
        if (axisWasOn && (snap & state) == 0) {
            log(LogLevel::debug, "Disable lock pointer axis");
            setMode(device, IOCTL_OBX_SET_SINGLE_AXIS, false, "Error enabling single axis movement");
        } else if (!axisWasOn && state == snap) {
            log(LogLevel::debug, "Enable lock pointer axis");
            setMode(device, IOCTL_OBX_SET_SINGLE_AXIS, true, "Error enabling single axis movement");
        }
    }
    const bool slowWasOn = queryMode(device, IOCTL_OBX_GET_SLOW_POINTER, "Error quering driver slow pointer");
    if (slow != 0) {
        if (slowWasOn && (slow & state) == 0) {
            log(LogLevel::debug, "Disable slow pointer");
            setMode(device, IOCTL_OBX_SET_SLOW_POINTER, false, "Error enabling slow pointer");
        } else if (!slowWasOn && state == slow) {
            log(LogLevel::debug, "Enable slow pointer");
            setMode(device, IOCTL_OBX_SET_SLOW_POINTER, true, "Error enabling slow pointer");
        }
    }
    const auto both = snap | slow;
    if (snap != 0 && slow != 0 && state == both && both != snap && both != slow) {
        if (!axisWasOn) {
            log(LogLevel::info, "Enabling locked axis pointer movement");
            setMode(device, IOCTL_OBX_SET_SINGLE_AXIS, true, "Error enabling single axis movement");
        }
        if (!slowWasOn) {
            log(LogLevel::info, "Enabling slow pointer");
            setMode(device, IOCTL_OBX_SET_SLOW_POINTER, true, "Error enabling slow pointer");
        }
    }
}

} // namespace obx
