#pragma once

// Every piece of input an action produces is first offered to the trackball
// that reported the event; only input the device declines goes through the
// platform services.

#include <cstdint>

namespace obx {

class IObxDevice;

void pokeKeystroke(IObxDevice& device, std::uint32_t modifiers, std::uint32_t keyCode, bool down,
                   bool modifiersOnly);
// Presses or releases the modifier keys alone; an empty mask sends nothing.
void pokeModifiers(IObxDevice& device, std::uint32_t modifiers, bool down);
void pokeMouseButton(IObxDevice& device, std::uint32_t buttonMask, bool down);
void pokeScroll(IObxDevice& device, std::uint32_t direction, std::int32_t lines);

// Button numbers count from 1 (left); the shift wraps at 32 so that no
// stored number can make it undefined.
constexpr std::uint32_t mouseButtonMask(std::int32_t button) {
    return std::uint32_t{1} << ((static_cast<std::uint32_t>(button) - 1) % 32);
}

} // namespace obx
