#pragma once

// What the device layer asks of the desktop on every poll: which application
// owns the foreground window, and which modifier keys are held.

#include <cstdint>
#include <string>

namespace obx {

// Bits of pressedModifiers, the same as the modifier masks of the settings.
inline constexpr std::uint32_t desktopModifierShift = 0x01;
inline constexpr std::uint32_t desktopModifierCtrl = 0x04;
inline constexpr std::uint32_t desktopModifierAlt = 0x10;
inline constexpr std::uint32_t watchedModifiers =
    desktopModifierShift | desktopModifierCtrl | desktopModifierAlt;

class IDesktopQueries {
public:
    virtual ~IDesktopQueries() = default;

    // An identity of the foreground window, so that a poll can tell whether
    // it changed; 0 when there is none.
    virtual std::uint64_t foregroundWindow() = 0;
    // The full path of the executable of the process that owns the foreground
    // window; empty when there is none or it cannot be read.
    virtual std::string foregroundApplicationPath() = 0;
    // Shift, Ctrl and Alt as held now, either key of each; the Windows key
    // is never reported.
    virtual std::uint32_t pressedModifiers() = 0;
};

} // namespace obx
