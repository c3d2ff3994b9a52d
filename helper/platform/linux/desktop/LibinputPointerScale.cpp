#include "platform/linux/desktop/LibinputPointerScale.h"

#include <algorithm>
#include <cmath>

namespace obx::linuxos {

namespace {

// The helper's pointer speed is one of twenty levels (speed / 100 × 20, at
// least 1); level 10 is libinput's neutral speed 0.
constexpr int neutralLevel = 10;
constexpr int maxLevel = 20;
// A wheel notch scrolls three lines at libinput's factor 1, as toolkits
// scroll it.
constexpr double linesPerFactor = 3.0;

int speedLevel(int speed) {
    const float level = static_cast<float>(speed) / 100.0f * 20.0f;
    return std::min(static_cast<int>(std::max(level, 1.0f)), maxLevel);
}

} // namespace

LibinputPointer libinputPointer(int speed, int accelerationRate, int wheelLines) {
    LibinputPointer values;
    values.acceleration = static_cast<double>(speedLevel(speed) - neutralLevel) / neutralLevel;
    // The rate's rows 1 to 3 all accelerate; libinput has one adaptive curve.
    values.adaptive = static_cast<float>(accelerationRate) / 100.0f * 3.0f >= 1.0f;
    values.scrollFactor = std::max(wheelLines, 1) / linesPerFactor;
    return values;
}

int speedOfAcceleration(double acceleration) {
    const double level =
        std::isfinite(acceleration) ? acceleration * neutralLevel + neutralLevel : neutralLevel;
    return static_cast<int>(std::clamp(std::lround(level), 1L, static_cast<long>(maxLevel))) * 5;
}

int wheelLinesOfScrollFactor(double factor) {
    // Beyond a screenful per notch the value is no line count any more.
    constexpr double largest = 1000.0;
    if (!std::isfinite(factor)) {
        return 1;
    }
    return std::max(1, static_cast<int>(std::lround(std::min(factor, largest) * linesPerFactor)));
}

} // namespace obx::linuxos
