#pragma once

// The device layer's desktop queries on Windows: the image of the process
// that owns the foreground window, and the modifier keys through
// GetAsyncKeyState.

#include "devices/DesktopQueries.h"

namespace obx::windows {

class WindowsDesktopQueries final : public IDesktopQueries {
public:
    std::uint64_t foregroundWindow() override;
    // Lower-cased with the wide-character case mapping of the process's
    // locale, in UTF-8; empty when the process cannot be opened or named
    // (one of higher rights, for instance).
    std::string foregroundApplicationPath() override;
    std::uint32_t pressedModifiers() override;
};

} // namespace obx::windows
