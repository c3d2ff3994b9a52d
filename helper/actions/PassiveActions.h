#pragma once

// Kinds that produce nothing when they run: "none" silences a button and
// "useGlobal" is resolved by the settings before dispatch.

#include "actions/ActionBase.h"

namespace obx {

class ActionPassive : public ActionBase {
public:
    void execute(IObxDevice& device, bool down) override;

protected:
    using ActionBase::ActionBase;
};

class ActionNone final : public ActionPassive {
public:
    static constexpr const char* kind = "none";
    ActionNone() : ActionPassive(kind) {}
};

class ActionUseGlobal final : public ActionPassive {
public:
    static constexpr const char* kind = "useGlobal";
    ActionUseGlobal() : ActionPassive(kind) {}
};

} // namespace obx
