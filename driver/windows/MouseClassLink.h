#pragma once

// The mouse class driver's side of the connect request: its connect data holds a C function and the
// class device object; the core sees only the service interface.

#include "KernelHeaders.h"
#include "driver/core/Framework.h"

#include <atomic>

namespace obx::windows {

class MouseClassLink final : public driver::IMouseClassService {
public:
    // Called once the core has accepted the connect; packets sent before arrive nowhere.
    void attach(const CONNECT_DATA& connect);

    void serviceCallback(std::span<const driver::MouseInputData> packets) override;

private:
    PDEVICE_OBJECT classDevice_ = nullptr;
    // Stored after the class device object, so a callback read here always comes with its device.
    std::atomic<PSERVICE_CALLBACK_ROUTINE> service_{nullptr};
};

} // namespace obx::windows
