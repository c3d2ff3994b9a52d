#include "MouseClassLink.h"

#include <cstddef>

namespace obx::windows {

namespace {

// The core's record is the system's, field for field.
static_assert(sizeof(driver::MouseInputData) == sizeof(MOUSE_INPUT_DATA));
static_assert(offsetof(driver::MouseInputData, buttonFlags) == offsetof(MOUSE_INPUT_DATA, ButtonFlags));
static_assert(offsetof(driver::MouseInputData, rawButtons) == offsetof(MOUSE_INPUT_DATA, RawButtons));
static_assert(offsetof(driver::MouseInputData, lastY) == offsetof(MOUSE_INPUT_DATA, LastY));
static_assert(offsetof(driver::MouseInputData, extraInformation) ==
              offsetof(MOUSE_INPUT_DATA, ExtraInformation));
static_assert(sizeof(driver::MouseAttributes) == sizeof(MOUSE_ATTRIBUTES));
static_assert(offsetof(driver::MouseAttributes, inputDataQueueLength) ==
              offsetof(MOUSE_ATTRIBUTES, InputDataQueueLength));
static_assert(driver::kMouseConnect == IOCTL_INTERNAL_MOUSE_CONNECT);
static_assert(driver::kMouseDisconnect == IOCTL_INTERNAL_MOUSE_DISCONNECT);
static_assert(driver::kMouseEnable == IOCTL_INTERNAL_MOUSE_ENABLE);
static_assert(driver::kMouseDisable == IOCTL_INTERNAL_MOUSE_DISABLE);
static_assert(driver::kMouseQueryAttributes == IOCTL_MOUSE_QUERY_ATTRIBUTES);
static_assert(driver::kMouseWheelFlag == MOUSE_WHEEL && driver::kMouseHorizontalWheelFlag == MOUSE_HWHEEL);

// The class driver's service callback, as it is declared for mouse input.
using MouseServiceCallback = VOID (*)(PDEVICE_OBJECT, PMOUSE_INPUT_DATA, PMOUSE_INPUT_DATA, PULONG);

MOUSE_INPUT_DATA toSystem(const driver::MouseInputData& packet) {
    MOUSE_INPUT_DATA data{};
    data.UnitId = packet.unitId;
    data.Flags = packet.flags;
    data.ButtonFlags = packet.buttonFlags;
    data.ButtonData = static_cast<USHORT>(packet.buttonData);
    data.RawButtons = packet.rawButtons;
    data.LastX = packet.lastX;
    data.LastY = packet.lastY;
    data.ExtraInformation = packet.extraInformation;
    return data;
}

} // namespace

void MouseClassLink::attach(const CONNECT_DATA& connect) {
    classDevice_ = connect.ClassDeviceObject;
    service_.store(reinterpret_cast<PSERVICE_CALLBACK_ROUTINE>(connect.ClassService),
                   std::memory_order_release);
}

void MouseClassLink::serviceCallback(std::span<const driver::MouseInputData> packets) {
    const PSERVICE_CALLBACK_ROUTINE service = service_.load(std::memory_order_acquire);
    if (service == nullptr)
        return;
    const auto callback = reinterpret_cast<MouseServiceCallback>(service);
    for (const driver::MouseInputData& packet : packets) {
        MOUSE_INPUT_DATA data = toSystem(packet);
        ULONG consumed = 0;
        // The class driver takes its input at dispatch level only.
        KIRQL previous;
        KeRaiseIrql(DISPATCH_LEVEL, &previous);
        callback(classDevice_, &data, &data + 1, &consumed);
        KeLowerIrql(previous);
    }
}

} // namespace obx::windows
