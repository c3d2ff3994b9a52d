#pragma once

// One open handle on a trackball's control device: synchronous device
// controls and one outstanding read at a time, whose end the worker waits for.

#include "base/WaitPrimitive.h"

#include <cstdint>
#include <optional>
#include <span>

namespace obx {

class IDriverChannel {
public:
    enum class ReadState { pending, completed, failed };

    virtual ~IDriverChannel() = default;

    // False when the control device cannot be opened.
    virtual bool open() = 0;
    // One device control, waited for; the byte count the driver reported, or
    // nothing when the request failed.
    virtual std::optional<std::uint32_t> control(std::uint32_t code, std::span<const std::uint8_t> input,
                                                 std::span<std::uint8_t> output) = 0;
    // Starts the one read into buffer; true when it waits for the driver.
    // The buffer stays in use until the read has ended or the channel is closed.
    virtual bool queueRead(std::span<std::uint8_t> buffer) = 0;
    // Signalled when the read may have ended.
    virtual WaitHandle readHandle() const = 0;
    // How the read stands, clearing the signal; never blocks.
    virtual ReadState takeReadResult() = 0;
    // Ends the session; afterwards nothing writes into a read buffer.
    virtual void close() = 0;
};

} // namespace obx
