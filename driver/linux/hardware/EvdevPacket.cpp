#include "EvdevPacket.h"

#include <linux/input-event-codes.h>

namespace obx::kernd {

namespace {

struct ButtonFlags {
    uint16_t down;
    uint16_t up;
    uint16_t code;
};

// The class driver's flags of buttons 1 to 5 (left, right, middle, back, forward).
constexpr ButtonFlags kButtons[] = {
    {0x0001, 0x0002, BTN_LEFT}, {0x0004, 0x0008, BTN_RIGHT}, {0x0010, 0x0020, BTN_MIDDLE},
    {0x0040, 0x0080, BTN_SIDE}, {0x0100, 0x0200, BTN_EXTRA},
};

class EventWriter {
public:
    explicit EventWriter(EvdevPacketTranslator::Events& out) : out_(out) {}
    void add(uint16_t type, uint16_t code, int32_t value) { out_[count_++] = EvdevEvent{type, code, value}; }
    std::span<const EvdevEvent> done() {
        add(EV_SYN, SYN_REPORT, 0);
        return std::span<const EvdevEvent>(out_.data(), count_);
    }

private:
    EvdevPacketTranslator::Events& out_;
    size_t count_ = 0;
};

// A wheel's high-resolution amount and the whole notches that it completes with what was left over.
void addWheel(EventWriter& writer, uint16_t hiResCode, uint16_t notchCode, int32_t amount,
              int32_t& remainder) {
    writer.add(EV_REL, hiResCode, amount);
    if ((remainder < 0 && amount > 0) || (remainder > 0 && amount < 0))
        remainder = 0; // turning back starts a new notch, as the kernel's own wheels do
    remainder += amount;
    const int32_t notches = remainder / driver::kWheelDelta;
    remainder -= notches * driver::kWheelDelta;
    if (notches != 0)
        writer.add(EV_REL, notchCode, notches);
}

} // namespace

std::span<const EvdevEvent> EvdevPacketTranslator::translate(const driver::MouseInputData& packet,
                                                             Events& out) {
    EventWriter writer(out);
    // A press and a release of one button in the same packet come out in that order.
    for (const ButtonFlags& button : kButtons) {
        if (packet.buttonFlags & button.down)
            writer.add(EV_KEY, button.code, 1);
        if (packet.buttonFlags & button.up)
            writer.add(EV_KEY, button.code, 0);
    }
    if (packet.lastX != 0)
        writer.add(EV_REL, REL_X, packet.lastX);
    if (packet.lastY != 0)
        writer.add(EV_REL, REL_Y, packet.lastY);
    if ((packet.buttonFlags & driver::kMouseWheelFlag) && packet.buttonData != 0)
        addWheel(writer, REL_WHEEL_HI_RES, REL_WHEEL, packet.buttonData, verticalRemainder_);
    if ((packet.buttonFlags & driver::kMouseHorizontalWheelFlag) && packet.buttonData != 0)
        addWheel(writer, REL_HWHEEL_HI_RES, REL_HWHEEL, packet.buttonData, horizontalRemainder_);
    return writer.done();
}

} // namespace obx::kernd
