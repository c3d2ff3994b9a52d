#pragma once

// The platform services of an X11 desktop: input through XTest, the core
// pointer control, window commands through the window manager, the session
// lock through logind, items opened with xdg-open and an Xlib snippet menu.

#include "actions/PlatformServicesImpl.h"
#include "platform/linux/session/SessionLocker.h"
#include "platform/linux/x11/PointerSettings.h"
#include "platform/linux/x11/TextTyper.h"
#include "platform/linux/x11/XConnection.h"

#include <chrono>
#include <optional>

namespace obx::x11 {

class LinuxPlatformServices : public PlatformServicesImpl {
public:
    struct Options {
        std::string displayName; // empty: $DISPLAY
        // How long a lent keycode keeps its character after its last use
        // when the receiving client does not answer pings (see LentKeys).
        std::chrono::milliseconds lentKeyHold{2000};
        SessionLocker locker;
    };

    LinuxPlatformServices();
    explicit LinuxPlatformServices(Options options);

    void sendKeystroke(std::uint16_t modifiers, std::uint16_t keyCode, bool down,
                       bool modifiersOnly) override;
    void typeText(const std::string& text) override;
    void sendMouseButton(std::uint32_t buttonMask, bool down) override;
    void applyPointerSettings(int speed, int accelerationRate, int wheelLines) override;
    void openItem(const std::string& path, const std::vector<std::string>& args, int type) override;
    std::string dataFolder() override;
    std::string logFolder() override { return dataFolder(); }
    void runSystemAction(const std::string& action, const nlohmann::json& params) override;
    nlohmann::json listApplications(int maxCount, const std::set<std::string>& excludedNames) override;
    std::string showSnippetMenu(const std::vector<std::string>& contents,
                                const std::vector<std::string>& labels) override;
    int systemPointerSpeed() override;
    int systemAccelerationRate() override;
    int systemWheelLines() override;
    bool systemScrollInvert() override;
    void scrollByKeys(std::uint32_t direction, int lines) override;

private:
    // False, with one log line, when there is no display to work on.
    bool connected(const char* operation) const;

    Options options_;
    XConnection connection_;
    std::optional<PointerSettings> pointer_;
    std::optional<TextTyper> typer_;
};

} // namespace obx::x11
