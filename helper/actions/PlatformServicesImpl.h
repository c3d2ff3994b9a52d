#pragma once

// Everything the helper's logic asks of the desktop goes through this one
// process-wide object. Operations never throw; failures are logged by the
// implementation and leave the operation without effect.

#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

namespace obx {

class PlatformServicesImpl {
public:
    virtual ~PlatformServicesImpl() = default;

    virtual void sendKeystroke(std::uint16_t modifiers, std::uint16_t keyCode, bool down,
                               bool modifiersOnly) = 0;
    virtual void typeText(const std::string& text) = 0;
    virtual void sendMouseButton(std::uint32_t buttonMask, bool down) = 0;
    virtual void applyPointerSettings(int speed, int accelerationRate, int wheelLines) = 0;
    virtual void openItem(const std::string& path, const std::vector<std::string>& args, int type) = 0;
    virtual std::string dataFolder() = 0;
    virtual std::string logFolder() = 0;
    virtual void runSystemAction(const std::string& action, const nlohmann::json& params) = 0;
    virtual nlohmann::json listApplications(int maxCount, const std::set<std::string>& excludedNames) = 0;
    virtual std::string showSnippetMenu(const std::vector<std::string>& contents,
                                        const std::vector<std::string>& labels) = 0;
    virtual int systemPointerSpeed() = 0;
    virtual int systemAccelerationRate() = 0;
    virtual int systemWheelLines() = 0;
    virtual bool systemScrollInvert() = 0;
    virtual void scrollByKeys(std::uint32_t direction, int lines) = 0;
};

using PlatformServicesFactory = std::function<std::unique_ptr<PlatformServicesImpl>()>;

// The process-wide instance, created on first use by the installed factory.
PlatformServicesImpl& platformServices();

// Chooses how the instance is made (the desktop implementation, the headless
// one, a test fake). Takes effect at the next creation.
void setPlatformServicesFactory(PlatformServicesFactory factory);

// Replaces the instance at once (tests); returns the new one.
PlatformServicesImpl& installPlatformServices(std::unique_ptr<PlatformServicesImpl> services);

// Shutdown: destroys the instance; a later use creates a new one.
void destroyPlatformServices();

} // namespace obx
