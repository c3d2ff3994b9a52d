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
    OBX_SCROLL_PARAMS params{0, 0, 1, {}};
    h.device->controlDevice().deviceControl(
        &h.helperFile, IOCTL_OBX_SET_SCROLL_PARAMS,
        std::span(reinterpret_cast<const uint8_t*>(&params), sizeof params), {});
    const std::vector<std::vector<uint8_t>> reports = {{0x00, 0x01, 0x05, 0xFB, 0x00, 0x00},
                                                       {0x00, 0x00, 0x00, 0x00, 0x01, 0x00},
                                                       {0x00, 0x20, 0, 0, 0, 0},
                                                       {0x00, 0x00, 0x00, 0x00, 0x00, 0xFF},
                                                       {0x00, 0x00, 0x03, 0x03, 0x00, 0x00}};
    const long before = allocations.load();
    for (int round = 0; round < 100; ++round) {
        for (const auto& r : reports)
            h.hid.deliver(r);
        h.advance(80);
    }
    EXPECT_EQ(allocations.load() - before, 0);
    EXPECT_GT(h.recorder.packets.size(), 500u);
}

} // namespace
} // namespace obx::test
