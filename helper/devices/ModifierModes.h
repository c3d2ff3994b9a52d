#pragma once

// Holds the slow-pointer and locked-axis modes of each trackball on in its
// driver while exactly the modifier keys of its configuration are pressed.

#include "devices/DesktopQueries.h"
#include "devices/IObxDevice.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace obx {

class Device;

class ModifierModes {
public:
    explicit ModifierModes(IDesktopQueries& desktop) : desktop_(desktop) {}

    void poll(const std::vector<std::shared_ptr<IObxDevice>>& devices);

private:
    // Throws on a failed driver request, ending this device's steps.
    void update(Device& device, std::uint32_t state);

    IDesktopQueries& desktop_;
    std::uint32_t modifierState_ = 0;
};

} // namespace obx
