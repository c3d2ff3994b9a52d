#pragma once

// Gestures end to end, the same table on every desktop: a virtual trackball
// of obxkernd held, moved and turned, the driver's decision, the helper's
// action, and what reaches the focused client, each press written "key a"
// or "button 1".

#include "VirtualTrackballRig.h"
#include "support/GestureForms.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace obx::test {

struct TrackballReport {
    std::uint8_t buttons;
    std::int8_t x = 0;
    std::int8_t y = 0;
    std::int8_t wheel = 0;
};

struct GestureScenario {
    const char* name;
    std::uint32_t mask;
    nlohmann::json action;
    std::vector<TrackballReport> reports;
    std::vector<std::string> presses;
};

inline void PrintTo(const GestureScenario& scenario, std::ostream* out) {
    *out << scenario.name;
}

inline const std::vector<GestureScenario>& gestureScenarios() {
    using nlohmann::json;
    static const std::vector<GestureScenario> scenarios{
        {"travelUpOnRelease",
         0x20,
         {{"command", "gesture"}, {"up", keyAction('a')}, {"down", keyAction('b')}, {"tap", keyAction('c')}},
         {{0x20}, {0x20, 0, -100}, {0x20, 8, -100}, {0x00}},
         {"key a"}},
        {"repeatThreeThresholds",
         0x20,
         {{"command", "gesture"},
          {"mode", "repeat"},
          {"threshold", 100},
          {"up", keyAction('a')},
          {"down", keyAction('b')}},
         {{0x20}, {0x20, 0, -100}, {0x20, 0, -100}, {0x20, 0, -100}, {0x20, 0, 20}, {0x00}},
         {"key a", "key a", "key a"}},
        {"tapClicks",
         0x20,
         {{"command", "gesture"},
          {"up", keyAction('a')},
          {"tap", {{"command", "singleClick"}, {"button", 1}}}},
         {{0x20}, {0x00}},
         {"button 1"}},
        {"wheelUnderButtonFour",
         0x08,
         {{"command", "gesture"}, {"wheelUp", keyAction('a')}, {"wheelDown", keyAction('b')}},
         {{0x08}, {0x08, 0, 0, 1}, {0x08, 0, 0, 1}, {0x00}},
         {"key a", "key a"}},
    };
    return scenarios;
}

// Plays the scenario's reports on the rig's trackball.
inline void playGesture(VirtualTrackballRig& rig, const GestureScenario& scenario) {
    rig.setAction(scenario.mask, scenario.action);
    for (const auto& report : scenario.reports) {
        ASSERT_TRUE(rig.send(report.buttons, report.x, report.y, report.wheel));
    }
}

} // namespace obx::test
