#pragma once

// The modifier socket: which of Shift, Ctrl and Alt the keyboards hold now. A Wayland client cannot read
// the global keyboard state, so the daemon, which may open the keyboards' event nodes, answers for every
// desktop. Each message to the socket (its content is not looked at) is answered by one message of four
// bytes: the held keys as a little-endian mask of the bits below, either key of each pair counting.
// Shared by the daemon and its clients.

#include <cstdint>

namespace obx::wire {

inline constexpr const char* kModifierSocketName = "modifiers";

inline constexpr uint32_t kModifierShift = 0x01;
inline constexpr uint32_t kModifierCtrl = 0x04;
inline constexpr uint32_t kModifierAlt = 0x10;

inline constexpr uint32_t kModifierAnswerSize = 4;

} // namespace obx::wire
