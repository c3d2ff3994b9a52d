#include "support/RecordingPlatformServices.h"

#include <ostream>
#include <stdexcept>

namespace obx::test {

using nlohmann::json;

std::ostream& operator<<(std::ostream& out, const PlatformCall& call) {
    return out << call.operation << call.args.dump();
}

void RecordingPlatformServices::record(std::string operation, json args, bool input) {
    std::lock_guard lock(mutex_);
    calls_.push_back({{std::move(operation), std::move(args)}, input});
}

std::vector<PlatformCall> RecordingPlatformServices::calls() const {
    std::lock_guard lock(mutex_);
    std::vector<PlatformCall> result;
    for (auto& recorded : calls_) {
        result.push_back(recorded.call);
    }
    return result;
}

std::vector<PlatformCall> RecordingPlatformServices::inputCalls() const {
    std::lock_guard lock(mutex_);
    std::vector<PlatformCall> result;
    for (auto& recorded : calls_) {
        if (recorded.input) {
            result.push_back(recorded.call);
        }
    }
    return result;
}

void RecordingPlatformServices::clear() {
    std::lock_guard lock(mutex_);
    calls_.clear();
}

void RecordingPlatformServices::sendKeystroke(std::uint16_t modifiers, std::uint16_t keyCode, bool down,
                                              bool modifiersOnly) {
    record("sendKeystroke", json::array({modifiers, keyCode, down, modifiersOnly}), true);
}

void RecordingPlatformServices::typeText(const std::string& text) {
    record("typeText", json::array({text}), true);
}

void RecordingPlatformServices::sendMouseButton(std::uint32_t buttonMask, bool down) {
    record("sendMouseButton", json::array({buttonMask, down}), true);
}

void RecordingPlatformServices::applyPointerSettings(int speed, int rate, int lines) {
    record("applyPointerSettings", json::array({speed, rate, lines}), true);
}

void RecordingPlatformServices::openItem(const std::string& path, const std::vector<std::string>& args,
                                         int type) {
    record("openItem", json::array({path, args, type}), true);
}

std::string RecordingPlatformServices::dataFolder() {
    record("dataFolder", json::array(), false);
    return folder;
}

std::string RecordingPlatformServices::logFolder() {
    record("logFolder", json::array(), false);
    return folder;
}

void RecordingPlatformServices::runSystemAction(const std::string& action, const json& params) {
    record("runSystemAction", json::array({action, params}), true);
}

json RecordingPlatformServices::listApplications(int maxCount, const std::set<std::string>& excludedNames) {
    record("listApplications", json::array({maxCount, excludedNames}), false);
    return applications;
}

std::string RecordingPlatformServices::showSnippetMenu(const std::vector<std::string>& contents,
                                                       const std::vector<std::string>& labels) {
    record("showSnippetMenu", json::array({contents, labels}), true);
    return snippetMenuChoice;
}

int RecordingPlatformServices::systemPointerSpeed() {
    record("systemPointerSpeed", json::array(), false);
    if (!systemQueryFailure.empty()) {
        throw std::runtime_error(systemQueryFailure);
    }
    return pointerSpeed;
}

int RecordingPlatformServices::systemAccelerationRate() {
    record("systemAccelerationRate", json::array(), false);
    return accelerationRate;
}

int RecordingPlatformServices::systemWheelLines() {
    record("systemWheelLines", json::array(), false);
    return wheelLines;
}

bool RecordingPlatformServices::systemScrollInvert() {
    record("systemScrollInvert", json::array(), false);
    return scrollInvert;
}

void RecordingPlatformServices::scrollByKeys(std::uint32_t direction, int lines) {
    record("scrollByKeys", json::array({direction, lines}), true);
}

ScopedRecordingPlatform::ScopedRecordingPlatform()
    : services_(static_cast<RecordingPlatformServices*>(
          &installPlatformServices(std::make_unique<RecordingPlatformServices>()))) {}

ScopedRecordingPlatform::~ScopedRecordingPlatform() {
    destroyPlatformServices();
}

} // namespace obx::test
