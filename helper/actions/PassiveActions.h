#pragma once

// Kinds that produce nothing when they run: "none" silences a button,
// "useGlobal" is resolved by the settings before dispatch, and "sequence"
// only marks entries kept from older settings.

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

class ActionSequence final : public ActionPassive {
public:
    static constexpr const char* kind = "sequence";
    ActionSequence() : ActionPassive(kind) {}
};

class ActionUseGlobal final : public ActionPassive {
public:
    static constexpr const char* kind = "useGlobal";
    ActionUseGlobal() : ActionPassive(kind) {}
};

} // namespace obx
