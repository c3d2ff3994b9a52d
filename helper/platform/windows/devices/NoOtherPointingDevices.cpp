#include "platform/OtherPointingDevices.h"

namespace obx {

namespace {

// The driver's package binds it to the models it lists: no other device can be offered.
class NoOtherPointingDevices final : public OtherPointingDevices {
public:
    void follow(std::function<void()>) override {}
    std::string list() override { return "pointing-devices 0\n"; }
    std::string request(const std::string&) override {
        throw PointingDeviceChoiceFailure(
            "On Windows the driver serves only the trackballs its package lists");
    }
};

} // namespace

std::unique_ptr<OtherPointingDevices> makeOtherPointingDevices() {
    return std::make_unique<NoOtherPointingDevices>();
}

} // namespace obx
