#include "actions/SequenceAction.h"

#include "actions/SequencePlayer.h"

namespace obx {

void ActionSequence::fromJson(const nlohmann::json& json) {
    const auto steps = json.find("steps");
    if (steps == json.end()) {
        return;
    }
    for (const auto& [key, value] : json.items()) {
        if (key != "command" && key != "steps") {
            throw ActionFieldError("Sequence has no field \"" + key + "\" (it takes \"steps\")");
        }
    }
    steps_ = std::make_shared<const SequenceSteps>(sequenceStepsFromJson(*steps));
}

void ActionSequence::toJson(nlohmann::json& json) const {
    if (steps_) {
        json["steps"] = sequenceStepsToJson(*steps_);
    }
}

void ActionSequence::execute(IObxDevice& device, bool down) {
    if (down && steps_) {
        sequencePlayer().play(steps_, &device);
    }
}

} // namespace obx
