#pragma once

// The platform services on GNOME Shell: keystrokes, clicks and text through
// Mutter's remote desktop session and our Shell extension, the snippet menu
// drawn by the extension, window commands through the extension, pointer
// settings through GSettings; the rest as on every Wayland desktop.

#include "platform/linux/desktop/WaylandDesktopServices.h"
#include "platform/linux/gnome/GnomeInput.h"
#include "platform/linux/gnome/GnomePointerSettings.h"
#include "platform/linux/gnome/ShellBridgeCalls.h"

namespace obx::gnome {

class GnomePlatformServices : public linuxos::WaylandDesktopServices {
public:
    GnomePlatformServices(std::string dataFolder, x11::SessionLocker locker = {});

    void sendKeystroke(std::uint16_t modifiers, std::uint16_t keyCode, bool down,
                       bool modifiersOnly) override;
    void typeText(const std::string& text) override;
    void sendMouseButton(std::uint32_t buttonMask, bool down) override;
    std::string showSnippetMenu(const std::vector<std::string>& contents,
                                const std::vector<std::string>& labels) override;
    void applyPointerSettings(int speed, int accelerationRate, int wheelLines) override;
    void runSystemAction(const std::string& action, const nlohmann::json& params) override;

private:
    linuxos::PointerReadback readBack() override;

    ShellBridgeCalls calls_;
    // Its own connection: it waits for the user.
    ShellBridgeCalls menuCalls_;
    GnomeInput input_;
    GnomePointerSettings pointer_;
};

} // namespace obx::gnome
