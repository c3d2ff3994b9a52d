#pragma once

// The platform services on KDE Plasma: keystrokes, text and clicks through
// KWin's fake input (text the layout lacks pasted through the clipboard),
// window commands as one-shot KWin scripts, pointer settings on KWin's input
// devices, the snippet menu as a layer-shell surface; the rest as on every
// Wayland desktop.

#include "platform/linux/desktop/WaylandDesktopServices.h"
#include "platform/linux/kde/KWinBus.h"
#include "platform/linux/kde/KWinInput.h"
#include "platform/linux/kde/KWinPointerSettings.h"
#include "platform/linux/wayland/LayerMenu.h"

#include <chrono>
#include <deque>
#include <filesystem>
#include <mutex>
#include <set>

namespace obx::kde {

class KdePlatformServices : public linuxos::WaylandDesktopServices {
public:
    KdePlatformServices(std::filesystem::path scriptFolder, std::string dataFolder,
                        x11::SessionLocker locker = {});
    ~KdePlatformServices() override;

    void sendKeystroke(std::uint16_t modifiers, std::uint16_t keyCode, bool down,
                       bool modifiersOnly) override;
    void typeText(const std::string& text) override;
    void sendMouseButton(std::uint32_t buttonMask, bool down) override;
    void applyPointerSettings(int speed, int accelerationRate, int wheelLines) override;
    void runSystemAction(const std::string& action, const nlohmann::json& params) override;
    std::string showSnippetMenu(const std::vector<std::string>& contents,
                                const std::vector<std::string>& labels) override;

private:
    linuxos::PointerReadback readBack() override;
    // The connection, opened at first use; the lock is held for calls that
    // wait two seconds at most.
    sd_bus* bus();
    void dropBus();
    void runScript(const std::filesystem::path& file, const std::string& stem);
    // Runs the input; what fails is logged (a refusal by KWin once).
    template <typename Input>
    void input(const char* what, Input&& body);

    std::filesystem::path scriptFolder_;
    std::mutex busMutex_;
    BusConnection bus_;
    // One-shot scripts still loaded in KWin, oldest first.
    struct LoadedScript {
        std::string name;
        std::chrono::steady_clock::time_point loaded;
    };
    std::deque<LoadedScript> loaded_;
    unsigned runs_ = 0;
    bool noPointerLogged_ = false;
    KWinInput input_;
    wayland::LayerMenu menu_;
};

} // namespace obx::kde
