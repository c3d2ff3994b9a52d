#pragma once

// The platform services on a wlroots compositor: keystrokes, exact text and
// clicks through a virtual keyboard and pointer, window commands through
// foreign-toplevel, pointer settings through sway's IPC, the session lock
// through logind, items opened with xdg-open, the snippet menu as a
// layer-shell surface at the pointer.

#include "platform/linux/desktop/WaylandDesktopServices.h"
#include "platform/linux/wayland/ForeignToplevels.h"
#include "platform/linux/wayland/LayerMenu.h"
#include "platform/linux/wayland/SwayIpc.h"
#include "platform/linux/wayland/SwayPointerSettings.h"
#include "platform/linux/wayland/ToplevelCommands.h"
#include "platform/linux/wayland/VirtualInput.h"

#include <memory>

namespace obx::wayland {

class WlrootsPlatformServices : public linuxos::WaylandDesktopServices {
public:
    WlrootsPlatformServices(std::shared_ptr<ForeignToplevels> toplevels, std::string dataFolder,
                            x11::SessionLocker locker = {});

    void sendKeystroke(std::uint16_t modifiers, std::uint16_t keyCode, bool down,
                       bool modifiersOnly) override;
    void typeText(const std::string& text) override;
    void sendMouseButton(std::uint32_t buttonMask, bool down) override;
    void applyPointerSettings(int speed, int accelerationRate, int wheelLines) override;
    void runSystemAction(const std::string& action, const nlohmann::json& params) override;
    std::string showSnippetMenu(const std::vector<std::string>& contents,
                                const std::vector<std::string>& labels) override;

private:
    PointerReadback readBack() override;

    std::shared_ptr<ForeignToplevels> toplevels_;
    SwaySession sway_;
    ToplevelCommands windows_;
    VirtualInput input_;
    LayerMenu menu_;
    bool pointerRefusalLogged_ = false;
};

} // namespace obx::wayland
