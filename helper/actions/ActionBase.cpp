#include "actions/ActionBase.h"

namespace obx {

void ActionBase::fromJson(const nlohmann::json&) {}

void ActionBase::toJson(nlohmann::json&) const {}

void ActionBase::runWhole(IObxDevice& device) {
    execute(device, true);
    execute(device, false);
}

} // namespace obx
