#pragma once

// Where the mouse packets that the driver hands to the class driver go: the virtual trackball's readers,
// or later a virtual input device of the system.

#include "driver/core/Framework.h"

namespace obx::kernd {

class MouseSink {
public:
    virtual ~MouseSink() = default;
    virtual void deliver(const driver::MouseInputData& packet) = 0;
};

} // namespace obx::kernd
