#include "core/DriverHarness.h"
#include "hid/TestDescriptors.h"

#include <gtest/gtest.h>

namespace obx::test {
namespace {

std::vector<uint8_t> recordBytes(const void* record, size_t size) {
    const auto* p = static_cast<const uint8_t*>(record);
    return {p, p + size};
}

class FiveButtonDevice : public ::testing::Test {
protected:
    void SetUp() override { h.start(); }
    DriverHarness h{kFiveButtonTrackball};
};

TEST_F(FiveButtonDevice, ReportsBecomePacketsThroughTheReadLoop) {
    ASSERT_TRUE(h.hid.deliver({0x00, 0x01, 0x05, 0xFD, 0x00, 0x00}));
    auto packets = h.takePackets();
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].buttonFlags, 0x0001);
    EXPECT_EQ(packets[1].lastX, 5);
    EXPECT_EQ(packets[1].lastY, -3);
    ASSERT_TRUE(h.hid.deliver({0x00, 0x00, 0x00, 0x00, 0x02, 0x00}));
    packets = h.takePackets();
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].buttonFlags, 0x0002);
    EXPECT_EQ(packets[1].buttonFlags, kMouseWheelFlag);
    EXPECT_EQ(packets[1].buttonData, 240);
    EXPECT_EQ(h.hid.reads, 3);
}

TEST_F(FiveButtonDevice, HeldPanStepsLeftOnEveryReport) {
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(h.hid.deliver({0x00, 0x00, 0x00, 0x00, 0x00, 0xFF}));
    ASSERT_TRUE(h.hid.deliver({0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
    const auto packets = h.takePackets();
    ASSERT_EQ(packets.size(), 3u);
    for (const auto& p : packets) {
        EXPECT_EQ(p.buttonFlags, kMouseHorizontalWheelFlag);
        EXPECT_EQ(p.buttonData, -120);
    }
}

TEST_F(FiveButtonDevice, ButtonSixGoesOnlyToTheHelper) {
    // Button 6 is not in this descriptor: inject it as the helper would.
    OBX_INJECT_BUTTONS in{};
    in.Kind = OBX_INJECT_KIND_BUTTONS;
    in.Buttons = 0x20;
    in.What = OBX_INJECT_CLICK;
    EXPECT_EQ(h.control(IOCTL_OBX_INJECT_BUTTONS, recordBytes(&in, sizeof in)).status, OBX_STATUS_SUCCESS);
    EXPECT_TRUE(h.takePackets().empty());
    RecordedRead press(&h.helperFile), release(&h.helperFile);
    h.device->controlDevice().read(press);
    h.device->controlDevice().read(release);
    ASSERT_EQ(press.information, sizeof(OBX_BUTTON_EVENT));
    EXPECT_EQ(press.event().Pressed, 0x20u);
    EXPECT_EQ(press.event().Flags, OBX_BUTTON_EVENT_FLAGS);
    EXPECT_EQ(press.event().TimeMs, h.clock.now);
    EXPECT_EQ(release.event().Released, 0x20u);
}

TEST_F(FiveButtonDevice, ChordOfButtonsOneAndTwoClicksTheMiddleButton) {
    OBX_BUTTON_MAP map{};
    map.ChordMask = 0x3;
    map.Count = 1;
    map.Entries[0].Buttons = 0x3;
    map.Entries[0].Data.OutputButtons = 0x4;
    ASSERT_EQ(h.control(IOCTL_OBX_SET_BUTTON_MAP, recordBytes(&map, sizeof map)).status, OBX_STATUS_SUCCESS);
    ASSERT_EQ(h.control(IOCTL_OBX_REGISTER_HELPER, {}).status, OBX_STATUS_SUCCESS);
    h.hid.deliver({0x00, 0x01, 0, 0, 0, 0});
    h.advance(40);
    h.hid.deliver({0x00, 0x03, 0, 0, 0, 0});
    h.advance(99);
    EXPECT_TRUE(h.takePackets().empty());
    h.advance(1); // 100 ms after the second press
    auto packets = h.takePackets();
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].buttonFlags, 0x0010);
    EXPECT_EQ(packets[1].buttonFlags, 0x0020);
    h.hid.deliver({0x00, 0x00, 0, 0, 0, 0});
    EXPECT_TRUE(h.takePackets().empty());
}

TEST_F(FiveButtonDevice, InertiaRunsOnTheSeventyMillisecondTimer) {
    OBX_SCROLL_PARAMS params{0, 0, 1, {}};
    ASSERT_EQ(h.control(IOCTL_OBX_SET_SCROLL_PARAMS, recordBytes(&params, sizeof params)).information, 8u);
    for (int i = 0; i < 5; ++i) {
        h.hid.deliver({0x00, 0, 0, 0, 0x01, 0});
        h.advance(20);
    }
    h.takePackets();
    h.advance(50 + 70 * 4);
    auto packets = h.takePackets();
    ASSERT_EQ(packets.size(), 4u);
    for (const auto& p : packets)
        EXPECT_EQ(p.buttonData, 120);
    EXPECT_FALSE(h.inertia.due.has_value());
}

TEST(SplitButtonDevice, ByteFiveCarriesButtonsThreeAndFour) {
    DriverHarness h{kSplitButtonTrackball, 0x0F21};
    h.start();
    h.hid.deliver({0x00, 0x00, 0, 0, 0, 0x01});
    auto packets = h.takePackets();
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].buttonFlags, 0x0010); // middle: mask bit 2
    // One report releases button 3 and presses button 1.
    h.hid.deliver({0x00, 0x01, 0, 0, 0, 0x00});
    packets = h.takePackets();
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].buttonFlags, 0x0020);
    EXPECT_EQ(packets[1].buttonFlags, 0x0001);
}

TEST(SplitButtonDevice, ReportsOfOtherLengthsNeverTakeTheGenericPath) {
    // The model's product id on a descriptor whose reports are not 6 bytes long: the generic path
    // would read buttons from them.
    DriverHarness h{kReportIdMouse, 0x0F21};
    h.start();
    h.hid.deliver({0x01, 0x01, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00});
    const auto packets = h.takePackets();
    ASSERT_EQ(packets.size(), 1u) << "the movement still goes out";
    EXPECT_EQ(packets[0].buttonFlags, 0);
    EXPECT_EQ(packets[0].lastX, 5);
}

TEST(SplitButtonDevice, OtherProductsUseTheGenericPath) {
    DriverHarness h{kSplitButtonTrackball, 0x0F22};
    h.start();
    h.hid.deliver({0x00, 0x00, 0, 0, 0, 0x01});
    EXPECT_TRUE(h.takePackets().empty());
}

TEST(ReportIdDevice, SixteenBitMovementAndButtonsOfReportOne) {
    DriverHarness h{kReportIdMouse};
    h.start();
    h.hid.deliver({0x01, 0x80, 0x2C, 0x01, 0x9C, 0xFF, 0x00, 0x00});
    h.hid.deliver({0x02, 0xE9, 0x00}); // consumer report: nothing for the pointer
    const auto packets = h.takePackets();
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].lastX, 300);
    EXPECT_EQ(packets[0].lastY, -100);
    // Button 8 has no map entry: an event.
    RecordedRead r(&h.helperFile);
    h.device->controlDevice().read(r);
    EXPECT_EQ(r.event().Pressed, 0x80u);
}

TEST(DeviceSetUp, InstanceNumbersAndTexts) {
    InstanceCounter counter;
    DriverHarness first{kFiveButtonTrackball, 1, &counter};
    DriverHarness second{kFiveButtonTrackball, 1, &counter};
    EXPECT_STREQ(first.device->controlDevice().identity().description.data(), "Ombrix 01");
    EXPECT_STREQ(second.device->controlDevice().identity().instanceId.data(), "02");
    DriverHarness third{kFiveButtonTrackball, 1, &counter};
    EXPECT_EQ(third.device->controlDevice().identity().instance, 3u);
}

TEST(DeviceSetUp, DeviceInfoCarriesIdsAndStrings) {
    DriverHarness h{kFiveButtonTrackball, 0x0042};
    h.hid.serialReadable = false;
    h.hid.product = std::u16string(200, u'x');
    ASSERT_EQ(h.device->prepareHardware(), OBX_STATUS_SUCCESS);
    std::vector<uint8_t> out;
    EXPECT_EQ(h.control(IOCTL_OBX_GET_DEVICE_INFO, {}, 200).status, OBX_STATUS_BUFFER_TOO_SMALL);
    const Completion c = h.control(IOCTL_OBX_GET_DEVICE_INFO, {}, 514, &out);
    ASSERT_EQ(c.information, 514u);
    OBX_DEVICE_INFO info;
    std::memcpy(&info, out.data(), sizeof info);
    EXPECT_EQ(info.ProductId, 0x0042);
    EXPECT_EQ(info.VersionNumber, 0x0107);
    EXPECT_EQ(info.SerialNumberString[0], 0);
    EXPECT_EQ(h.hid.lastStringBufferChars, 63u);
    EXPECT_EQ(info.ProductString[62], u'x');
    EXPECT_EQ(info.ProductString[63], 0);
}

TEST(DeviceSetUp, MalformedDescriptorFailsTheStart) {
    DriverHarness h{{0x05, 0x09, 0x19}};
    EXPECT_EQ(h.device->prepareHardware(), OBX_STATUS_DEVICE_DATA_ERROR);
    DriverHarness big{kFiveButtonTrackball};
    big.hid.info.descriptorSize = 100000;
    EXPECT_EQ(big.device->prepareHardware(), OBX_STATUS_INSUFFICIENT_RESOURCES);
    DriverHarness noInfo{kFiveButtonTrackball};
    noInfo.hid.infoStatus = OBX_STATUS_NOT_SUPPORTED;
    EXPECT_EQ(noInfo.device->prepareHardware(), OBX_STATUS_NOT_SUPPORTED);
}

TEST(ClassDriverProtocol, AttributesConnectAndCreates) {
    DriverHarness h{kFiveButtonTrackball};
    ASSERT_EQ(h.device->prepareHardware(), OBX_STATUS_SUCCESS);
    std::vector<uint8_t> attrs(12, 0xAB);
    Completion c = h.device->internalDeviceControl(kMouseQueryAttributes, {}, attrs);
    EXPECT_EQ(c.information, 12u);
    MouseAttributes a;
    std::memcpy(&a, attrs.data(), sizeof a);
    EXPECT_EQ(a.mouseIdentifier, 0x0100);
    EXPECT_EQ(a.numberOfButtons, 32);
    EXPECT_EQ(a.sampleRate, 0xABAB);
    EXPECT_EQ(a.inputDataQueueLength, 32u);
    std::vector<uint8_t> shortOut(11);
    EXPECT_EQ(h.device->internalDeviceControl(kMouseQueryAttributes, {}, shortOut).status,
              OBX_STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(h.connect().status, OBX_STATUS_SUCCESS);
    PacketRecorder other;
    MouseConnectData second{nullptr, &other};
    EXPECT_EQ(h.device->internalDeviceControl(kMouseConnect, recordBytes(&second, sizeof second), {}).status,
              OBX_STATUS_SHARING_VIOLATION);
    EXPECT_EQ(h.device->internalDeviceControl(kMouseDisconnect, {}, {}).status, OBX_STATUS_NOT_IMPLEMENTED);
    EXPECT_EQ(h.device->internalDeviceControl(kMouseEnable, {}, {}).status, OBX_STATUS_NOT_SUPPORTED);
    EXPECT_EQ(h.device->internalDeviceControl(0x000F9999, {}, {}).status, OBX_STATUS_SUCCESS);
    EXPECT_EQ(h.device->fileCreate(&h.classFile, true), OBX_STATUS_ACCESS_DENIED);

    ASSERT_EQ(h.device->fileCreate(&h.classFile, false), OBX_STATUS_SUCCESS);
    int otherFile = 0;
    ASSERT_EQ(h.device->fileCreate(&otherFile, false), OBX_STATUS_SUCCESS);
    EXPECT_EQ(h.hid.reads, 1);
    h.device->fileClose(&otherFile); // not the read file object: the target stays
    EXPECT_TRUE(h.hid.targetOpen);
    h.hid.deliver({0x00, 0, 1, 0, 0, 0});
    EXPECT_EQ(h.recorder.packets.size(), 1u);
    EXPECT_TRUE(other.packets.empty());
    h.device->fileClose(&h.classFile);
    EXPECT_FALSE(h.hid.targetOpen);
    EXPECT_EQ(h.hid.pending, nullptr);
}

TEST(ClassDriverProtocol, FailedReadStopsInputUntilTheNextCreate) {
    DriverHarness h{kFiveButtonTrackball};
    h.start();
    ASSERT_TRUE(h.hid.fail(OBX_STATUS_CANCELLED));
    EXPECT_FALSE(h.hid.deliver({0x00, 0, 1, 0, 0, 0}));
    h.device->fileClose(&h.classFile);
    ASSERT_EQ(h.device->fileCreate(&h.classFile, false), OBX_STATUS_SUCCESS);
    EXPECT_TRUE(h.hid.deliver({0x00, 0, 1, 0, 0, 0}));
    EXPECT_EQ(h.takePackets().size(), 1u);
}

TEST(ClassDriverProtocol, NoPacketsBeforeConnect) {
    DriverHarness h{kFiveButtonTrackball};
    ASSERT_EQ(h.device->prepareHardware(), OBX_STATUS_SUCCESS);
    ASSERT_EQ(h.device->fileCreate(&h.classFile, false), OBX_STATUS_SUCCESS);
    h.hid.deliver({0x00, 0x01, 1, 0, 0, 0});
    EXPECT_TRUE(h.recorder.packets.empty());
}

TEST(ClassDriverProtocol, ShortOrHostileReportsAreReadSafely) {
    DriverHarness h{kReportIdMouse};
    h.start();
    EXPECT_TRUE(h.hid.deliver({}));
    EXPECT_TRUE(h.hid.deliver({0x01, 0xFF}));
    EXPECT_TRUE(h.hid.deliver({0x09, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_TRUE(h.takePackets().empty());
    EXPECT_TRUE(h.hid.deliver(std::vector<uint8_t>(4000, 0x01))); // longer than the buffer: cut
}

} // namespace
} // namespace obx::test
