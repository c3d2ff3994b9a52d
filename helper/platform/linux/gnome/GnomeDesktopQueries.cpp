#include "platform/linux/gnome/GnomeDesktopQueries.h"

#include "platform/linux/wayland/WlrootsDesktopQueries.h"

namespace obx::gnome {

namespace {

// Asked on every poll of the device layer: a Shell that is slow to answer
// must not hold it up.
constexpr std::chrono::milliseconds modifierTimeout(100);

constexpr std::uint32_t clutterShift = 1u << 0;
constexpr std::uint32_t clutterControl = 1u << 2;
constexpr std::uint32_t clutterAlt = 1u << 3;

} // namespace

std::uint32_t desktopModifiers(std::uint32_t shellMask) {
    std::uint32_t modifiers = 0;
    if (shellMask & clutterShift) {
        modifiers |= desktopModifierShift;
    }
    if (shellMask & clutterControl) {
        modifiers |= desktopModifierCtrl;
    }
    if (shellMask & clutterAlt) {
        modifiers |= desktopModifierAlt;
    }
    return modifiers;
}

GnomeDesktopQueries::GnomeDesktopQueries(std::shared_ptr<ShellFocusWatch> focus, Options options)
    : focus_(std::move(focus)), options_(std::move(options)), calls_(modifierTimeout) {}

std::uint64_t GnomeDesktopQueries::foregroundWindow() {
    const auto focus = focus_->focus();
    return focus ? focus->window : 0;
}

std::string GnomeDesktopQueries::foregroundApplicationPath() {
    const auto focus = focus_->focus();
    if (!focus || focus->pid == 0) {
        return {};
    }
    return wayland::processProgram(options_.procFolder, focus->pid, focus->appId, options_.home);
}

std::uint32_t GnomeDesktopQueries::pressedModifiers() {
    if (!focus_->bridgeRunning()) {
        return 0;
    }
    try {
        return desktopModifiers(calls_.modifierMask());
    } catch (const std::exception&) {
        // The extension went away between the two questions: none held.
        return 0;
    }
}

} // namespace obx::gnome
