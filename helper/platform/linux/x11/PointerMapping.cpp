#include "platform/linux/x11/PointerMapping.h"

#include <algorithm>
#include <array>
#include <numeric>

namespace obx::x11 {

namespace {

struct AccelerationRow {
    int gain;
    int threshold;
};

// X has one threshold and one factor where the system that the rows come
// from has two thresholds: rows 1 and 2 share their first threshold, and the
// lower second threshold of row 2 becomes a stronger factor.
constexpr std::array<AccelerationRow, 4> rows = {{{1, 1}, {2, 10}, {3, 10}, {4, 4}}};

} // namespace

int speedLevel(int speed) {
    const float target = std::max(static_cast<float>(speed) / 100.0f * 20.0f, 1.0f);
    return std::min(static_cast<int>(target), 20);
}

int accelerationRow(int accelerationRate) {
    const float index = std::min(static_cast<float>(accelerationRate) / 100.0f * 3.0f, 3.0f);
    return std::max(static_cast<int>(index), 0);
}

PointerControl pointerControlFor(int level, int row) {
    const auto& chosen = rows[static_cast<std::size_t>(std::clamp(row, 0, 3))];
    const int numerator = std::clamp(level, 1, 20) * chosen.gain;
    const int divisor = std::gcd(numerator, 10);
    return {numerator / divisor, 10 / divisor, chosen.threshold};
}

bool sameFactor(const PointerControl& a, const PointerControl& b) {
    return static_cast<long>(a.numerator) * b.denominator == static_cast<long>(b.numerator) * a.denominator;
}

} // namespace obx::x11
