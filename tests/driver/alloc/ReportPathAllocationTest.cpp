// The report path must not allocate: every global allocation is counted while reports, timer ticks and
// helper events run through a started device.

#include "core/DriverHarness.h"
#include "hid/TestDescriptors.h"
#include "support/AllocationCounter.h"

#include <gtest/gtest.h>

namespace obx::test {
namespace {

TEST(ReportPath, AllocatesNothing) {
    DriverHarness h{kFiveButtonTrackball};
    h.start();
    h.recorder.packets.reserve(4096);
    ControlDevice& control = h.device->controlDevice();
    OBX_SCROLL_PARAMS params{0, 0, 1, {}};
    control.deviceControl(&h.helperFile, IOCTL_OBX_SET_SCROLL_PARAMS,
                          std::span(reinterpret_cast<const uint8_t*>(&params), sizeof params), {});
    // Button 3 holds a gesture that steps with the travel and takes the wheel; its events go to the ring.
    OBX_BUTTON_MAP map{sizeof(OBX_BUTTON_MAP), 0, 2, {}};
    map.Entries[0] = {0x1, OBX_MAP_BUTTONS, {0x1}};
    map.Entries[1].Buttons = 0x4;
    map.Entries[1].Kind = OBX_MAP_GESTURE;
    map.Entries[1].Data.Gesture = {OBX_GESTURE_TRAVEL_REPEAT, OBX_GESTURE_WHEEL, 10};
    control.deviceControl(&h.helperFile, IOCTL_OBX_SET_BUTTON_MAP,
                          std::span(reinterpret_cast<const uint8_t*>(&map), sizeof map), {});
    control.deviceControl(&h.helperFile, IOCTL_OBX_REGISTER_HELPER, {}, {});
    const std::vector<std::vector<uint8_t>> reports = {{0x00, 0x01, 0x05, 0xFB, 0x00, 0x00},
                                                       {0x00, 0x00, 0x00, 0x00, 0x01, 0x00},
                                                       {0x00, 0x04, 25, 0, 1, 0},
                                                       {0x00, 0x00, 0x00, 0x00, 0x00, 0xFF},
                                                       {0x00, 0x00, 0x03, 0x03, 0x00, 0x00}};
    const long before = allocations.load();
    for (int round = 0; round < 100; ++round) {
        for (const auto& r : reports)
            h.hid.deliver(r);
        h.advance(80);
    }
    EXPECT_EQ(allocations.load() - before, 0);
    EXPECT_GE(h.recorder.packets.size(), 500u);
    RecordedRead read(&h.helperFile);
    control.read(read);
    EXPECT_EQ(read.event().Flags, OBX_GESTURE_EVENT_FLAGS) << "the gesture's steps were in the ring";
}

} // namespace
} // namespace obx::test
