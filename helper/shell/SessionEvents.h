#pragma once

// Session and power notices as the main thread receives them. The codes are
// those of the system that defined them, so the handling reads the same on
// every system; a backend translates its own notices into them.

#include <cstdint>

namespace obx {

namespace sessionEvent {
inline constexpr std::uint32_t consoleConnect = 1;
inline constexpr std::uint32_t consoleDisconnect = 2;
} // namespace sessionEvent

namespace powerEvent {
inline constexpr std::uint32_t suspend = 4;
inline constexpr std::uint32_t resumeAutomatic = 18;
} // namespace powerEvent

class ISessionEventSink {
public:
    virtual ~ISessionEventSink() = default;
    virtual void onSessionChange(std::uint32_t event) = 0;
    // Always answers 1, the "handled" answer of the system's protocol.
    virtual int onPowerBroadcast(std::uint32_t event) = 0;
};

} // namespace obx
