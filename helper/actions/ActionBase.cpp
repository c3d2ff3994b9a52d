#include "actions/ActionBase.h"

namespace obx {

void ActionBase::fromJson(const nlohmann::json&) {}

void ActionBase::toJson(nlohmann::json&) const {}

} // namespace obx
