#pragma once

// Platform services for a session without a desktop: every operation logs
// what it would have done and produces nothing; the queries answer the
// documented "cannot tell" values.

#include "actions/PlatformServicesImpl.h"

namespace obx {

class HeadlessPlatformServices : public PlatformServicesImpl {
public:
    explicit HeadlessPlatformServices(std::string dataFolder) : dataFolder_(std::move(dataFolder)) {}

    void sendKeystroke(std::uint16_t modifiers, std::uint16_t keyCode, bool down,
                       bool modifiersOnly) override;
    void typeText(const std::string& text) override;
    void sendMouseButton(std::uint32_t buttonMask, bool down) override;
    void applyPointerSettings(int speed, int accelerationRate, int wheelLines) override;
    void openItem(const std::string& path, const std::vector<std::string>& args, int type) override;
    std::string dataFolder() override { return dataFolder_; }
    std::string logFolder() override { return dataFolder_; }
    void runSystemAction(const std::string& action, const nlohmann::json& params) override;
    nlohmann::json listApplications(int maxCount, const std::set<std::string>& excludedNames) override;
    std::string showSnippetMenu(const std::vector<std::string>& contents,
                                const std::vector<std::string>& labels) override;
    int systemPointerSpeed() override { return 50; }
    int systemAccelerationRate() override { return 0; }
    int systemWheelLines() override { return 1; }
    bool systemScrollInvert() override { return false; }
    void scrollByKeys(std::uint32_t direction, int lines) override;

private:
    std::string dataFolder_;
};

} // namespace obx
