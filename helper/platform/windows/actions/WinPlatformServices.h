#pragma once

// The platform services of the Windows desktop: input through SendInput, the
// pointer settings through SystemParametersInfoW (never persisted), items
// opened by the shell, window commands posted to the foreground window and
// the snippet menu as a pop-up menu owned by the device manager's window.
// Every system call whose effect is the operation goes through IWin32Calls.

#include "actions/PlatformServicesImpl.h"
#include "platform/windows/actions/Win32Calls.h"

#include <memory>

namespace obx::windows {

class WinPlatformServices final : public PlatformServicesImpl {
public:
    explicit WinPlatformServices(std::unique_ptr<IWin32Calls> calls = std::make_unique<SystemWin32Calls>());

    void sendKeystroke(std::uint16_t modifiers, std::uint16_t keyCode, bool down,
                       bool modifiersOnly) override;
    void typeText(const std::string& text) override;
    void sendMouseButton(std::uint32_t buttonMask, bool down) override;
    void applyPointerSettings(int speed, int accelerationRate, int wheelLines) override;
    void openItem(const std::string& path, const std::vector<std::string>& args, int type) override;
    std::string dataFolder() override;
    std::string logFolder() override { return dataFolder(); }
    void runSystemAction(const std::string& action, const nlohmann::json& params) override;
    // The program catalogue is a subsystem of its own; until it exists there
    // are no applications to offer.
    nlohmann::json listApplications(int maxCount, const std::set<std::string>& excludedNames) override;
    std::string showSnippetMenu(const std::vector<std::string>& contents,
                                const std::vector<std::string>& labels) override;
    int systemPointerSpeed() override;
    int systemAccelerationRate() override;
    int systemWheelLines() override;
    bool systemScrollInvert() override { return false; }
    void scrollByKeys(std::uint32_t direction, int lines) override;

private:
    void typeLine(const std::string& line);
    void minimizeOthers();

    std::unique_ptr<IWin32Calls> calls_;
};

} // namespace obx::windows
