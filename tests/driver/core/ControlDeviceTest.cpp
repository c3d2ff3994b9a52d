#include "core/DriverHarness.h"
#include "hid/TestDescriptors.h"

#include <deque>
#include <gtest/gtest.h>

namespace obx::test {
namespace {

class ControlDeviceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(h.device->prepareHardware(), OBX_STATUS_SUCCESS); }
    ControlDevice& control() { return h.device->controlDevice(); }
    RecordedRead& newRead(FileObject file = nullptr, size_t size = sizeof(OBX_BUTTON_EVENT)) {
        reads.emplace_back(file ? file : &h.helperFile, size);
        return reads.back();
    }
    void event(uint32_t n) { control().postEvent(n, 0); }

    DriverHarness h{kFiveButtonTrackball};
    std::deque<RecordedRead> reads;
};

TEST_F(ControlDeviceTest, ReadWaitsUntilAnEventComes) {
    RecordedRead& r = newRead();
    control().read(r);
    EXPECT_EQ(r.completions, 0);
    event(7);
    EXPECT_EQ(r.completions, 1);
    EXPECT_EQ(r.status, OBX_STATUS_SUCCESS);
    EXPECT_EQ(r.information, 42u);
    EXPECT_EQ(r.event().Pressed, 7u);
}

TEST_F(ControlDeviceTest, RingKeepsThirtyTwoEventsInOrderAndDropsTheRest) {
    for (uint32_t i = 1; i <= 33; ++i)
        event(i);
    for (uint32_t i = 1; i <= 33; ++i)
        control().read(newRead());
    for (uint32_t i = 0; i < 32; ++i) {
        EXPECT_EQ(reads[i].completions, 1);
        EXPECT_EQ(reads[i].event().Pressed, i + 1);
    }
    EXPECT_EQ(reads[32].completions, 0);
}

TEST_F(ControlDeviceTest, ShortReadFailsWithoutTakingAnEvent) {
    event(5);
    RecordedRead& shortRead = newRead(nullptr, 10);
    control().read(shortRead);
    EXPECT_EQ(shortRead.status, OBX_STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(shortRead.information, 0u);
    RecordedRead& r = newRead();
    control().read(r);
    EXPECT_EQ(r.event().Pressed, 5u);
}

TEST_F(ControlDeviceTest, RemovalQueryCancelsWaitingAndLaterReads) {
    RecordedRead& waiting = newRead();
    control().read(waiting);
    h.device->queryRemove();
    EXPECT_EQ(waiting.status, OBX_STATUS_CANCELLED);
    RecordedRead& later = newRead();
    control().read(later);
    EXPECT_EQ(later.completions, 1);
    EXPECT_EQ(later.status, OBX_STATUS_CANCELLED);
}

TEST_F(ControlDeviceTest, CancelledRemovalLetsReadsWaitAgain) {
    h.device->queryRemove();
    h.device->removeCancelled();
    RecordedRead& r = newRead();
    control().read(r);
    EXPECT_EQ(r.completions, 0);
    event(3);
    EXPECT_EQ(r.status, OBX_STATUS_SUCCESS);
    EXPECT_EQ(r.event().Pressed, 3u);
}

TEST_F(ControlDeviceTest, CancellingOneWaitingReadLeavesTheOthersInOrder) {
    RecordedRead& first = newRead();
    RecordedRead& middle = newRead();
    RecordedRead& last = newRead();
    for (RecordedRead* r : {&first, &middle, &last})
        control().read(*r);
    EXPECT_TRUE(control().cancelRead(middle));
    EXPECT_EQ(middle.completions, 0); // the host completes what it cancelled
    EXPECT_FALSE(control().cancelRead(middle));
    EXPECT_TRUE(control().cancelRead(last)); // the tail: a later read queues behind `first`
    RecordedRead& later = newRead();
    control().read(later);
    event(1);
    event(2);
    EXPECT_EQ(first.event().Pressed, 1u);
    EXPECT_EQ(later.event().Pressed, 2u);
    EXPECT_FALSE(control().cancelRead(first)); // already completed by an event
    EXPECT_EQ(last.completions, 0);
}

TEST_F(ControlDeviceTest, ReadCancelledBeforeItWaitsIsCompletedAsCancelled) {
    RecordedRead& cancelled = newRead();
    cancelled.cancelledBeforeWaiting = true;
    control().read(cancelled);
    EXPECT_EQ(cancelled.status, OBX_STATUS_CANCELLED);
    event(4); // kept for the next read, not lost on the cancelled one
    RecordedRead& r = newRead();
    control().read(r);
    EXPECT_EQ(r.event().Pressed, 4u);
}

TEST_F(ControlDeviceTest, RequestsWhoseInputAndOutputShareOneBuffer) {
    // Buffered control requests of a system carry input and output in the same bytes.
    h.control(IOCTL_OBX_SET_SCROLL_PARAMS, {1, 1, 0, 0, 0, 0, 0, 0});
    std::vector<uint8_t> shared = {5, 0, 0, 0, 0, 0, 0, 0};
    const Completion c = control().deviceControl(&h.helperFile, IOCTL_OBX_GET_SCROLL_PARAMS,
                                                 std::span<const uint8_t>(shared.data(), 1), shared);
    EXPECT_EQ(c.information, 8u);
    EXPECT_EQ(shared, (std::vector<uint8_t>{5, 1, 0, 0, 0, 0, 0, 0}));
}

TEST_F(ControlDeviceTest, ClosingAHandleCancelsOnlyItsReads) {
    int otherFile = 0;
    RecordedRead& mine = newRead();
    RecordedRead& theirs = newRead(&otherFile);
    control().read(mine);
    control().read(theirs);
    control().fileClose(&otherFile);
    EXPECT_EQ(theirs.status, OBX_STATUS_CANCELLED);
    EXPECT_EQ(mine.completions, 0);
    event(1);
    EXPECT_EQ(mine.completions, 1);
}

TEST_F(ControlDeviceTest, RegistrationFollowsTheRegisteredHandle) {
    int first = 0, second = 0;
    OBX_BUTTON_MAP map{};
    map.ChordMask = 0x1;
    h.control(IOCTL_OBX_SET_BUTTON_MAP, std::vector<uint8_t>(reinterpret_cast<uint8_t*>(&map),
                                                             reinterpret_cast<uint8_t*>(&map) + sizeof map));
    auto singlePressReachesHelper = [&] {
        // Earlier releases left events behind: take them, so that the read waits for the press.
        RecordedRead* pending = nullptr;
        do {
            pending = &newRead();
            control().read(*pending);
        } while (pending->completions != 0);
        RecordedRead& r = *pending;
        OBX_INJECT_BUTTONS in{};
        in.Kind = 1;
        in.Buttons = 0x1;
        in.What = OBX_INJECT_PRESS;
        h.control(IOCTL_OBX_INJECT_BUTTONS,
                  std::vector<uint8_t>(reinterpret_cast<uint8_t*>(&in),
                                       reinterpret_cast<uint8_t*>(&in) + sizeof in));
        h.advance(100);
        const bool reached = r.completions == 1 && r.event().Pressed == 0x1;
        control().fileClose(&h.helperFile); // drop the read if it still waits
        in.What = OBX_INJECT_RELEASE;
        h.control(IOCTL_OBX_INJECT_BUTTONS,
                  std::vector<uint8_t>(reinterpret_cast<uint8_t*>(&in),
                                       reinterpret_cast<uint8_t*>(&in) + sizeof in));
        h.advance(100);
        return reached;
    };
    EXPECT_FALSE(singlePressReachesHelper());
    EXPECT_EQ(h.control(IOCTL_OBX_REGISTER_HELPER, {}, 0, nullptr, &first).information, 0u);
    h.control(IOCTL_OBX_REGISTER_HELPER, {}, 0, nullptr, &second);
    control().fileClose(&first);
    EXPECT_TRUE(singlePressReachesHelper());
    control().fileClose(&second);
    EXPECT_FALSE(singlePressReachesHelper());
}

TEST_F(ControlDeviceTest, RequestSizesStatusesAndByteCounts) {
    std::vector<uint8_t> out;
    Completion c = h.control(IOCTL_OBX_GET_DRIVER_INFO, {}, 8, &out);
    EXPECT_EQ(c.information, 8u);
    EXPECT_EQ(out, (std::vector<uint8_t>{8, 0, 0, 0, 0x00, 0x00, 0x02, 0x02}));
    EXPECT_EQ(h.control(IOCTL_OBX_GET_DRIVER_INFO, {}, 7).status, OBX_STATUS_BUFFER_TOO_SMALL);

    EXPECT_EQ(h.control(IOCTL_OBX_SET_SLOW_POINTER, {1, 0}).status, OBX_STATUS_BUFFER_TOO_SMALL);
    h.control(IOCTL_OBX_GET_SLOW_POINTER, {}, 4, &out);
    EXPECT_EQ(out, u32(0));
    c = h.control(IOCTL_OBX_SET_SINGLE_AXIS, u32(2));
    EXPECT_EQ(c.status, OBX_STATUS_SUCCESS);
    EXPECT_EQ(c.information, 4u);
    h.control(IOCTL_OBX_GET_SINGLE_AXIS, {}, 4, &out);
    EXPECT_EQ(out, u32(1));

    c = h.control(IOCTL_OBX_SET_SCROLL_PARAMS, {7, 1, 1, 0, 0, 0, 0, 0});
    EXPECT_EQ(c.information, 8u);
    h.control(IOCTL_OBX_GET_SCROLL_PARAMS, {0}, 8, &out);
    EXPECT_EQ(out, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0}));
    c = h.control(IOCTL_OBX_GET_SCROLL_PARAMS, {3}, 8, &out);
    EXPECT_EQ(c.information, 8u);
    EXPECT_EQ(out, (std::vector<uint8_t>{3, 1, 1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(h.control(IOCTL_OBX_GET_SCROLL_PARAMS, {}, 8).status, OBX_STATUS_BUFFER_TOO_SMALL);

    EXPECT_EQ(h.control(IOCTL_OBX_SET_BUTTON_MAP, std::vector<uint8_t>(299)).status,
              OBX_STATUS_BUFFER_TOO_SMALL);
    c = h.control(IOCTL_OBX_SET_BUTTON_MAP, std::vector<uint8_t>(300));
    EXPECT_EQ(c.status, OBX_STATUS_SUCCESS);
    EXPECT_EQ(c.information, 0u);

    std::vector<uint8_t> inject(264);
    inject[4] = 2; // kind 2
    inject[12] = 1;
    EXPECT_EQ(h.control(IOCTL_OBX_INJECT_BUTTONS, inject).status, OBX_STATUS_INVALID_PARAMETER);
    inject[4] = 1;
    inject[12] = 4;
    EXPECT_EQ(h.control(IOCTL_OBX_INJECT_BUTTONS, inject).status, OBX_STATUS_INVALID_PARAMETER);
    EXPECT_EQ(h.control(IOCTL_OBX_INJECT_BUTTONS, std::vector<uint8_t>(263)).status,
              OBX_STATUS_BUFFER_TOO_SMALL);

    out.assign(1, 0);
    c = h.control(IOCTL_OBX_RESERVED_1, {}, 16, &out);
    EXPECT_EQ(c.status, OBX_STATUS_SUCCESS);
    EXPECT_EQ(c.information, 0u);
    EXPECT_EQ(h.control(IOCTL_OBX_RESERVED_2, {}).status, OBX_STATUS_SUCCESS);
    EXPECT_EQ(h.control(OBX_CONTROL_CODE(0x804), {}).status, OBX_STATUS_INVALID_DEVICE_REQUEST);
    EXPECT_EQ(h.control(0x12345678, {}).status, OBX_STATUS_INVALID_DEVICE_REQUEST);
}

TEST(ControlCodes, MatchTheInterfaceTable) {
    EXPECT_EQ(IOCTL_OBX_GET_DRIVER_INFO, 0x0022200Cu);
    EXPECT_EQ(IOCTL_OBX_SET_SLOW_POINTER, 0x00222014u);
    EXPECT_EQ(IOCTL_OBX_GET_SLOW_POINTER, 0x00222018u);
    EXPECT_EQ(IOCTL_OBX_SET_SINGLE_AXIS, 0x0022201Cu);
    EXPECT_EQ(IOCTL_OBX_GET_SINGLE_AXIS, 0x00222020u);
    EXPECT_EQ(IOCTL_OBX_RESERVED_1, 0x00222024u);
    EXPECT_EQ(IOCTL_OBX_RESERVED_2, 0x00222028u);
    EXPECT_EQ(IOCTL_OBX_SET_SCROLL_PARAMS, 0x0022202Cu);
    EXPECT_EQ(IOCTL_OBX_GET_SCROLL_PARAMS, 0x00222030u);
    EXPECT_EQ(IOCTL_OBX_GET_DEVICE_INFO, 0x00222034u);
    EXPECT_EQ(IOCTL_OBX_SET_BUTTON_MAP, 0x00222038u);
    EXPECT_EQ(IOCTL_OBX_INJECT_BUTTONS, 0x0022203Cu);
    EXPECT_EQ(IOCTL_OBX_REGISTER_HELPER, 0x00222040u);
    const OBX_GUID guid = OBX_GUID_DEVINTERFACE_OBX_CONTROL_INIT;
    EXPECT_EQ(guid.Data1, 0x1A629312u);
    EXPECT_EQ(guid.Data4[7], 0x3A);
}

} // namespace
} // namespace obx::test
