#include "actions/DeviceInput.h"

#include "actions/PlatformServicesImpl.h"
#include "devices/IObxDevice.h"

namespace obx {

void pokeKeystroke(IObxDevice& device, std::uint32_t modifiers, std::uint32_t keyCode, bool down,
                   bool modifiersOnly) {
    if (!device.keystroke(modifiers, keyCode, down, modifiersOnly)) {
        platformServices().sendKeystroke(static_cast<std::uint16_t>(modifiers),
                                         static_cast<std::uint16_t>(keyCode), down, modifiersOnly);
    }
}

void pokeModifiers(IObxDevice& device, std::uint32_t modifiers, bool down) {
    if (modifiers != 0) {
        pokeKeystroke(device, modifiers, 0, down, true);
    }
}

void pokeMouseButton(IObxDevice& device, std::uint32_t buttonMask, bool down) {
    if (!device.mouseButton(buttonMask, down)) {
        platformServices().sendMouseButton(buttonMask, down);
    }
}

void pokeScroll(IObxDevice& device, std::uint32_t direction, std::int32_t lines) {
    if (!device.scroll(direction, lines)) {
        platformServices().scrollByKeys(direction, lines);
    }
}

} // namespace obx
