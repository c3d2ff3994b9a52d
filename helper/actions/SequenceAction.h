#pragma once

// The kind "sequence": keys, texts, clicks and pauses, played by the
// sequence player on the press. Entries of older settings carry no steps
// and do nothing, as they always did.

#include "actions/ActionBase.h"
#include "actions/SequenceSteps.h"

#include <memory>

namespace obx {

class ActionSequence final : public ActionBase {
public:
    static constexpr const char* kind = "sequence";
    ActionSequence() : ActionBase(kind) {}

    // Without "steps" the older form, read as before; with it every other
    // field is refused.
    void fromJson(const nlohmann::json& json) override;
    void toJson(nlohmann::json& json) const override;
    void execute(IObxDevice& device, bool down) override;

    // Null for the older form.
    const std::shared_ptr<const SequenceSteps>& steps() const { return steps_; }

private:
    // Shared with the player, which may still play them after the settings
    // that held this action are gone.
    std::shared_ptr<const SequenceSteps> steps_;
};

} // namespace obx
