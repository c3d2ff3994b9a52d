#pragma once

// The driver channel of one trackball on Windows: its control device opened
// for overlapped I/O, device controls waited for a bounded time, and one
// outstanding read whose event is the worker's wait handle. The system only
// ever writes into blocks of the channel's own (the overlapped blocks and
// bounce buffers), so a request that outlives its wait, or the channel, never
// writes into the caller's memory.

#include "devices/DriverChannel.h"

#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <windows.h>

namespace obx::windows {

class ControlHandleWatch;

class WindowsDriverChannel final : public IDriverChannel {
public:
    // The longest wait for a device control. The driver answers them at once;
    // one that hangs must not hold the worker, and every HTTP request waiting
    // for the worker lock, for longer.
    static constexpr std::chrono::milliseconds defaultControlTimeout{5000};
    // The largest record of the control interface, and of a read.
    static constexpr std::size_t controlCapacity = 1024;
    static constexpr std::size_t readCapacity = 64;

    // watch: where an open channel registers for its handle's notices; none,
    // and the channel is not told of removals.
    explicit WindowsDriverChannel(std::wstring path,
                                  std::chrono::milliseconds controlTimeout = defaultControlTimeout,
                                  ControlHandleWatch* watch = nullptr);
    ~WindowsDriverChannel() override;
    WindowsDriverChannel(const WindowsDriverChannel&) = delete;
    WindowsDriverChannel& operator=(const WindowsDriverChannel&) = delete;

    bool open() override;
    // Nothing when the request fails, is larger than controlCapacity, or is
    // not answered in time; a request that even its cancellation cannot end
    // leaves the channel failing every later control at once.
    std::optional<std::uint32_t> control(std::uint32_t code, std::span<const std::uint8_t> input,
                                         std::span<std::uint8_t> output) override;
    // False unless the read waits for the driver (a read that completes at
    // once is refused, as the driver always leaves it pending).
    bool queueRead(std::span<std::uint8_t> buffer) override;
    // An auto-reset event: the worker's wait takes its signal.
    WaitHandle readHandle() const override { return reinterpret_cast<WaitHandle>(readEvent_); }
    ReadState takeReadResult() override;
    // Cancels what is outstanding and waits for it, bounded, then closes.
    void close() override;
    // The system is removing the device: the read is cancelled and the
    // handle closed now; the read's event stays for the worker's wait until
    // the channel is closed. Every later request fails.
    void releaseDevice();

private:
    // Everything the system may write into while a request is outstanding.
    struct Blocks {
        OVERLAPPED read{};
        std::array<std::uint8_t, readCapacity> readBuffer{};
        OVERLAPPED control{};
        std::array<std::uint8_t, controlCapacity> controlBuffer{};
    };

    // Cancels the request of overlapped and waits for its end; false when it
    // did not end within the control time-out.
    bool cancelAndAwait(OVERLAPPED& overlapped);

    std::wstring path_;
    std::chrono::milliseconds controlTimeout_;
    ControlHandleWatch* watch_;
    HANDLE device_ = INVALID_HANDLE_VALUE;
    HANDLE readEvent_ = nullptr;
    HANDLE controlEvent_ = nullptr;
    std::unique_ptr<Blocks> blocks_;
    std::span<std::uint8_t> readTarget_;
    bool reading_ = false;
    bool controlStuck_ = false;
};

} // namespace obx::windows
