#pragma once

#include "driver/core/ButtonMap.h"
#include "driver/shared/ObxControl.h"

#include <cstdint>

namespace obx::driver {

// The settings and button input that the control device reaches in its filter device. Each call is
// atomic with respect to report processing.
class IControlTarget {
public:
    virtual bool slowPointer() = 0;
    virtual void setSlowPointer(bool on) = 0;
    virtual bool singleAxis() = 0;
    virtual void setSingleAxis(bool on) = 0;
    virtual OBX_SCROLL_PARAMS scrollParams(uint8_t wheel) = 0;
    virtual void setScrollParams(const OBX_SCROLL_PARAMS& params) = 0;
    virtual void setButtonMap(const ButtonMap& map) = 0;
    virtual void buttonChange(uint32_t pressed, uint32_t released) = 0;
    virtual void setHelperRegistered(bool registered) = 0;
    virtual OBX_DEVICE_INFO deviceInfo() = 0;

protected:
    ~IControlTarget() = default;
};

} // namespace obx::driver
