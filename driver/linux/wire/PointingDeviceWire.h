#pragma once

// The socket of the pointing devices present that obxkernd does not serve, so that a user can choose
// one without a terminal. A client gets the list when it connects, again whenever a device arrives or
// leaves, and again for every message it sends (whose content is not looked at). One message is the
// whole list, UTF-8 text:
//
//   pointing-devices COUNT\n
//   VVVV:PPPP\tBUS\tBUTTONS\tWHEEL\tPAN\tREASON\tSERIAL\tNAME\n      (COUNT lines)
//
// ids and bus in four lower-case hexadecimal digits; BUTTONS the highest button its descriptor
// declares; WHEEL and PAN 1 or 0; REASON empty when the driver could serve it, else why not; SERIAL
// (empty when it has none) and NAME as the device reports them, control characters replaced by spaces.
// At most kMaxListed devices.
//
// Requests "take VVVV:PPPP [SERIAL]" and "release VVVV:PPPP [SERIAL]" choose a device to be served or
// let it go, by its ids and serial, or by its ids alone; the answer is "ok" or "error: WHY". Shared by
// the daemon and its clients.

#include <cstddef>

namespace obx::wire {

inline constexpr const char* kPointingDeviceSocketName = "pointing-devices";
inline constexpr const char* kPointingDeviceHeader = "pointing-devices";
inline constexpr size_t kMaxListed = 64;
inline constexpr size_t kMaxNameBytes = 127;
inline constexpr size_t kMaxSerialBytes = 63;

} // namespace obx::wire
