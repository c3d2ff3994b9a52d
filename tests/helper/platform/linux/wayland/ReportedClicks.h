#pragma once

// The probe client's button lines ("button CODE down|up TIME"), as the input
// tests of every desktop read them.

#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace obx::test {

// Expects left-button presses and releases in turn; their time stamps.
inline std::vector<long> leftClickTimes(const std::vector<std::string>& buttons) {
    std::vector<long> times;
    for (std::size_t index = 0; index < buttons.size(); ++index) {
        std::istringstream fields(buttons[index]);
        std::string word;
        std::string state;
        unsigned code = 0;
        long time = 0;
        fields >> word >> code >> state >> time;
        EXPECT_EQ(code, 0x110u) << buttons[index];
        EXPECT_EQ(state, index % 2 == 0 ? "down" : "up") << buttons[index];
        times.push_back(time);
    }
    return times;
}

} // namespace obx::test
