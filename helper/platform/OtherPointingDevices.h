#pragma once

// The pointing devices present that the trackball driver does not serve, and the user's choice to
// have one served with the trackballs' settings, or let go. On Linux they are obxkernd's, told on
// its "pointing-devices" socket (driver/linux/wire/PointingDeviceWire.h, whose text this passes
// on); the Windows driver serves the models its package lists alone, so there the list is empty
// and no choice can be made.

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace obx {

// The driver cannot be reached, or refused the request: the text says why.
class PointingDeviceChoiceFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class OtherPointingDevices {
public:
    virtual ~OtherPointingDevices() = default;
    // From now on the list is followed, and changed() called, from a thread of its own, whenever it
    // changes (also when the driver goes or comes).
    virtual void follow(std::function<void()> changed) = 0;
    // The latest list: "pointing-devices COUNT\n" and a line a device; empty while the driver has
    // told none.
    virtual std::string list() = 0;
    // "take VVVV:PPPP [SERIAL]" or "release VVVV:PPPP [SERIAL]": the list as the driver told it
    // after the change. Throws PointingDeviceChoiceFailure. Each wait for the driver is bounded.
    virtual std::string request(const std::string& text) = 0;
};

std::unique_ptr<OtherPointingDevices> makeOtherPointingDevices();

} // namespace obx
