#pragma once

// Stands where the mouse class driver stands above the filter: it queries the attributes, connects
// its service callback and opens the device, which starts the read loop. Packets go to a mouse sink.

#include "MouseSink.h"
#include "driver/core/FilterDevice.h"

namespace obx::kernd {

class ClassDriver final : private driver::IMouseClassService {
public:
    ClassDriver(driver::FilterDevice& device, MouseSink& sink) : device_(device), sink_(sink) {}
    ClassDriver(const ClassDriver&) = delete;
    ClassDriver& operator=(const ClassDriver&) = delete;

    // Throws std::runtime_error when the device refuses.
    void open();
    // Ends the read loop.
    void close();

private:
    void serviceCallback(std::span<const driver::MouseInputData> packets) override;

    driver::FilterDevice& device_;
    MouseSink& sink_;
    int file_ = 0; // its address identifies the class driver's handle
    bool open_ = false;
};

} // namespace obx::kernd
