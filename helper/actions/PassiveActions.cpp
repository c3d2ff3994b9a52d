#include "actions/PassiveActions.h"

namespace obx {

void ActionPassive::execute(IObxDevice&, bool) {}

} // namespace obx
