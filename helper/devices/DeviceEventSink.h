#pragma once

// Where the worker reports what a watcher of the trackballs wants to see as
// it happens. Called on the worker thread, under the worker lock: an
// implementation hands the notice over and returns, it never waits.

#include <cstdint>

namespace obx {

class DeviceEventSink {
public:
    virtual ~DeviceEventSink() = default;

    // A button event from the driver; the masks' bit n is button n+1.
    virtual void buttonEvent(std::uint16_t device, std::uint32_t pressed, std::uint32_t released) = 0;
    // A trackball arrived or went away.
    virtual void devicesChanged() = 0;
    // The trackballs of a configuration id began or ended learning their buttons.
    virtual void learningChanged(std::uint16_t device, bool learning) = 0;
};

} // namespace obx
