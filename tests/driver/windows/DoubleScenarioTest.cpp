// The Windows binding driven through the framework double as the system would drive it. Each scenario
// loads the driver through its loader stub, and fails on any rule of Driver Verifier's that the driver
// breaks on the way.

#include "double/Machine.h"
#include "double/Verifier.h"
#include "hid/TestDescriptors.h"

#include <gtest/gtest.h>

namespace obx::kmdf_double {
namespace {

constexpr uint32_t kSuccess = 0;

HidModel fiveButtonModel() {
    return HidModel{0x0F22, 0x0100, test::kFiveButtonTrackball, L"Ombrix trackball", L"SN-0042"};
}

class DoubleTest : public ::testing::Test {
protected:
    void SetUp() override {
        Machine::reset();
        ASSERT_EQ(Machine::load(), kSuccess);
    }
    void TearDown() override {
        for (const std::string& violation : Verifier::take())
            ADD_FAILURE() << violation;
        Machine::reset();
    }
    void startConnected(const HidModel& model) {
        ASSERT_EQ(Machine::addDevice(model), kSuccess);
        ASSERT_EQ(Machine::openClass(), kSuccess);
        ASSERT_EQ(Machine::connectClass(), kSuccess);
        ASSERT_TRUE(Machine::readWaitingBelow());
    }
};

TEST_F(DoubleTest, ReportsBecomeMousePackets) {
    startConnected(fiveButtonModel());
    Machine::report({0x00, 0x01, 5, 0xFD, 0, 0});
    const auto packets = Machine::takePackets();
    ASSERT_FALSE(packets.empty());
    Machine::unload();
}

} // namespace
} // namespace obx::kmdf_double
