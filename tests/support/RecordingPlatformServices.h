#pragma once

// Platform services that produce nothing and keep every call, with its
// arguments, in the order the calls were made. Queries answer what the test
// sets.

#include "actions/PlatformServicesImpl.h"

#include <mutex>
#include <string>
#include <vector>

namespace obx::test {

struct PlatformCall {
    std::string operation;
    nlohmann::json args; // array of the arguments in declaration order
    bool operator==(const PlatformCall&) const = default;
};

std::ostream& operator<<(std::ostream& out, const PlatformCall& call);

class RecordingPlatformServices : public PlatformServicesImpl {
public:
    // Scripted answers.
    int pointerSpeed = 50;
    int accelerationRate = 0;
    int wheelLines = 1;
    bool scrollInvert = false;
    // When not empty, the system pointer speed query fails with this message.
    std::string systemQueryFailure;
    std::string folder;
    std::string snippetMenuChoice;
    nlohmann::json applications = nlohmann::json::array();

    std::vector<PlatformCall> calls() const;
    // Only the calls that produce input or change the system, in order.
    std::vector<PlatformCall> inputCalls() const;
    void clear();

    void sendKeystroke(std::uint16_t modifiers, std::uint16_t keyCode, bool down,
                       bool modifiersOnly) override;
    void typeText(const std::string& text) override;
    void sendMouseButton(std::uint32_t buttonMask, bool down) override;
    void applyPointerSettings(int speed, int accelerationRate, int wheelLines) override;
    void openItem(const std::string& path, const std::vector<std::string>& args, int type) override;
    std::string dataFolder() override;
    std::string logFolder() override;
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
    void record(std::string operation, nlohmann::json args, bool input);

    mutable std::mutex mutex_;
    struct Recorded {
        PlatformCall call;
        bool input; // produces input or changes the system
    };
    std::vector<Recorded> calls_;
};

// Installs a fresh recorder as the process-wide platform services for the
// lifetime of the object.
class ScopedRecordingPlatform {
public:
    ScopedRecordingPlatform();
    ~ScopedRecordingPlatform();
    RecordingPlatformServices& operator*() const { return *services_; }
    RecordingPlatformServices* operator->() const { return services_; }

private:
    RecordingPlatformServices* services_;
};

} // namespace obx::test
