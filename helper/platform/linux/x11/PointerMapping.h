#pragma once

// The pointer speed (0..100) and acceleration rate (0..100) of the settings,
// expressed in the X server's core pointer control: motion beyond the
// threshold, in pixels per event, is multiplied by numerator / denominator.
// Pure logic; docs/platform-linux.md explains the choice.

namespace obx::x11 {

struct PointerControl {
    int numerator = 1;
    int denominator = 1;
    int threshold = 1;
    bool operator==(const PointerControl&) const = default;
};

// 1..20: speed / 100 * 20 in single precision, at least 1, truncated.
int speedLevel(int speed);
// 0..3: rate / 100 * 3 in single precision, at most 3, truncated; below 0 is 0.
int accelerationRow(int accelerationRate);

// numerator / denominator = level / 10 * the row's gain (1, 2, 3, 4), in
// lowest terms; threshold = the row's threshold (1, 10, 10, 4).
PointerControl pointerControlFor(int speedLevel, int accelerationRow);

// True when both multiply motion by the same factor.
bool sameFactor(const PointerControl& a, const PointerControl& b);

} // namespace obx::x11
