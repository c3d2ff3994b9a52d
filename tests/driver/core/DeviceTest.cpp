#include "core/DriverHarness.h"
#include "hid/TestDescriptors.h"

#include <atomic>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

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

TEST(ReportIdDevice, AReportOfAnotherIdLeavesTheButtonsItDoesNotCarry) {
    DriverHarness h{kTwoButtonReports};
    h.start();
    h.hid.deliver({0x01, 0x01, 0, 0});
    h.hid.deliver({0x02, 0x00}); // the keypad, nothing pressed: button 1 is still held
    h.hid.deliver({0x01, 0x01, 3, 0});
    h.hid.deliver({0x01, 0x00, 0, 0});
    const auto packets = h.takePackets();
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(packets[0].buttonFlags, 0x0001);
    EXPECT_EQ(packets[1].lastX, 3);
    EXPECT_EQ(packets[2].buttonFlags, 0x0002);
}

TEST_F(FiveButtonDevice, AnAxisOutOfRangeIsClampedAndTheOtherKept) {
    h.hid.deliver({0x00, 0x00, 0x80, 0x05, 0, 0}); // X -128, below its minimum of -127
    const auto packets = h.takePackets();
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].lastX, -127);
    EXPECT_EQ(packets[0].lastY, 5);
}

// One wheel or pan report of the mouse with Resolution Multipliers, with its feature report as the
// device gives it (none: it cannot be read), and the wheel packet it makes.
struct WheelCase {
    const char* name;
    std::vector<uint8_t> feature;
    int16_t wheel;
    int8_t pan;
    uint16_t flags;
    int16_t data;
};

class HighResolutionWheel : public ::testing::TestWithParam<WheelCase> {};

TEST_P(HighResolutionWheel, CountsFractionsOfADetent) {
    const WheelCase& c = GetParam();
    DriverHarness h{kHighResolutionMouse};
    if (!c.feature.empty())
        h.hid.features[0x02] = c.feature;
    h.start();
    const auto w = static_cast<uint16_t>(c.wheel);
    h.hid.deliver({0x01, 0, 0, 0, 0, 0, uint8_t(w), uint8_t(w >> 8), static_cast<uint8_t>(c.pan)});
    const auto packets = h.takePackets();
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].buttonFlags, c.flags);
    EXPECT_EQ(packets[0].buttonData, c.data);
}

INSTANTIATE_TEST_SUITE_P(
    Multipliers, HighResolutionWheel,
    ::testing::Values(WheelCase{"EighthOfADetent", {0x02, 0x05}, 1, 0, kMouseWheelFlag, 15},
                      WheelCase{"WholeDetent", {0x02, 0x05}, -8, 0, kMouseWheelFlag, -120},
                      WheelCase{"QuarterPan", {0x02, 0x05}, 0, 1, kMouseHorizontalWheelFlag, 30},
                      WheelCase{"WheelAtItsMinimum", {0x02, 0x04}, 1, 0, kMouseWheelFlag, 120},
                      WheelCase{"PanAtItsMinimum", {0x02, 0x01}, 0, -1, kMouseHorizontalWheelFlag, -120},
                      WheelCase{"Unreadable", {}, 1, 0, kMouseWheelFlag, 120},
                      WheelCase{"LargeCountClamped", {}, 300, 0, kMouseWheelFlag, INT16_MAX},
                      WheelCase{"LargeNegativeCountClamped", {}, -300, 0, kMouseWheelFlag, INT16_MIN}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DeviceSetUp, InstanceNumbersAndTexts) {
    InstanceCounter counter;
    DriverHarness first{kFiveButtonTrackball, 1, &counter};
    DriverHarness second{kFiveButtonTrackball, 1, &counter};
    EXPECT_STREQ(first.device->controlDevice().identity().description.data(), "Ombrix 01");
    EXPECT_STREQ(second.device->controlDevice().identity().instanceId.data(), "02");
    DriverHarness third{kFiveButtonTrackball, 1, &counter};
    EXPECT_EQ(third.device->controlDevice().identity().instance, 3u);
    // Formatted as "%02u" would, with no digit lost at the top of the range.
    EXPECT_STREQ(ControlDeviceIdentity(0).instanceId.data(), "00");
    EXPECT_STREQ(ControlDeviceIdentity(10).description.data(), "Ombrix 10");
    EXPECT_STREQ(ControlDeviceIdentity(4294967295u).description.data(), "Ombrix 4294967295");
    EXPECT_STREQ(ControlDeviceIdentity(4294967295u).instanceId.data(), "4294967295");
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
    EXPECT_EQ(info.Capabilities, 5u | OBX_CAPABILITY_WHEEL | OBX_CAPABILITY_PAN);
    EXPECT_EQ(info.SerialNumberString[0], 0);
    EXPECT_EQ(h.hid.lastStringBufferChars, 63u);
    EXPECT_EQ(info.ProductString[62], u'x');
    EXPECT_EQ(info.ProductString[63], 0);
}

TEST(DeviceSetUp, PassiveLevelParserCallsAreMadeOutsideTheDeviceLock) {
    DriverHarness h{kFiveButtonTrackball};
    ASSERT_EQ(h.device->prepareHardware(), OBX_STATUS_SUCCESS);
    ASSERT_EQ(h.device->prepareHardware(), OBX_STATUS_SUCCESS); // a restart asks again
    EXPECT_EQ(h.parser.passiveCallsUnderSpinLock, 0);
}

TEST(DeviceSetUp, DescriptorStorageIsTheParsersAndGivenBackOnFailure) {
    DriverHarness failing{kFiveButtonTrackball};
    failing.hid.descriptorStatus = OBX_STATUS_NOT_SUPPORTED;
    EXPECT_EQ(failing.device->prepareHardware(), OBX_STATUS_NOT_SUPPORTED);
    EXPECT_EQ(failing.parser.releases, 1);
    DriverHarness empty{kFiveButtonTrackball};
    empty.hid.info.descriptorSize = 0;
    EXPECT_EQ(empty.device->prepareHardware(), OBX_STATUS_DEVICE_DATA_ERROR);

    DriverHarness h{kFiveButtonTrackball};
    h.start();
    h.device->releaseHardware();
    EXPECT_EQ(h.parser.releases, 1);
    EXPECT_TRUE(h.hid.deliver({0x00, 0x01, 5, 0, 0, 0})); // the loop goes on, the report is not read
    EXPECT_TRUE(h.takePackets().empty());
    ASSERT_EQ(h.device->prepareHardware(), OBX_STATUS_SUCCESS); // a restart reads the descriptor again
    EXPECT_TRUE(h.hid.deliver({0x00, 0x00, 5, 0, 0, 0}));
    EXPECT_EQ(h.takePackets().size(), 1u);
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
    Completion c = h.device->internalDeviceControl(kMouseQueryAttributes, attrs);
    EXPECT_EQ(c.information, 12u);
    MouseAttributes a;
    std::memcpy(&a, attrs.data(), sizeof a);
    EXPECT_EQ(a.mouseIdentifier, 0x0100);
    EXPECT_EQ(a.numberOfButtons, 32);
    EXPECT_EQ(a.sampleRate, 0xABAB);
    EXPECT_EQ(a.inputDataQueueLength, 32u);
    std::vector<uint8_t> shortOut(11);
    EXPECT_EQ(h.device->internalDeviceControl(kMouseQueryAttributes, shortOut).status,
              OBX_STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(h.connect().status, OBX_STATUS_SUCCESS);
    PacketRecorder other;
    EXPECT_EQ(h.device->connect(other).status, OBX_STATUS_SHARING_VIOLATION);
    EXPECT_EQ(h.device->internalDeviceControl(kMouseDisconnect, {}).status, OBX_STATUS_NOT_IMPLEMENTED);
    EXPECT_EQ(h.device->internalDeviceControl(kMouseEnable, {}).status, OBX_STATUS_NOT_SUPPORTED);
    EXPECT_TRUE(h.device->internalDeviceControl(0x000F9999, {}).forBelow);
    EXPECT_FALSE(h.device->internalDeviceControl(kMouseEnable, {}).forBelow);
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

TEST(ClassDriverProtocol, AFailedReadTargetOpenStillCompletesTheCreateBelow) {
    DriverHarness h{kFiveButtonTrackball};
    ASSERT_EQ(h.device->prepareHardware(), OBX_STATUS_SUCCESS);
    ASSERT_EQ(h.connect().status, OBX_STATUS_SUCCESS);
    h.hid.openFails = true;
    // The create went through below: failing it here would leak the file object there.
    EXPECT_EQ(h.device->fileCreate(&h.classFile, false), OBX_STATUS_SUCCESS);
    EXPECT_EQ(h.hid.creates, 1);
    EXPECT_EQ(h.hid.reads, 0);
    h.hid.openFails = false;
    int nextFile = 0;
    ASSERT_EQ(h.device->fileCreate(&nextFile, false), OBX_STATUS_SUCCESS);
    EXPECT_EQ(h.hid.reads, 1);
    h.hid.deliver({0x00, 0, 1, 0, 0, 0});
    EXPECT_EQ(h.recorder.packets.size(), 1u);
}

TEST(ClassDriverProtocol, NoPacketsBeforeConnect) {
    DriverHarness h{kFiveButtonTrackball};
    ASSERT_EQ(h.device->prepareHardware(), OBX_STATUS_SUCCESS);
    ASSERT_EQ(h.device->fileCreate(&h.classFile, false), OBX_STATUS_SUCCESS);
    h.hid.deliver({0x00, 0x01, 1, 0, 0, 0});
    EXPECT_TRUE(h.recorder.packets.empty());
}

TEST(ClassDriverProtocol, AParserFailureSkipsOnlyItsPartOfTheReport) {
    DriverHarness h{kFiveButtonTrackball};
    h.start();
    h.parser.failUsages = true;
    h.hid.deliver({0x00, 0x01, 5, 0, 0, 0});
    auto packets = h.takePackets();
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].lastX, 5);
    h.parser.failUsages = false;
    h.parser.failDifference = true;
    h.hid.deliver({0x00, 0x01, 0, 0, 1, 0});
    packets = h.takePackets();
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].buttonFlags, kMouseWheelFlag);
    h.parser.failDifference = false;
    h.parser.failValue = hid::kUsageY; // X still moves, and the wheel counts
    h.hid.deliver({0x00, 0x00, 5, 5, 1, 0});
    packets = h.takePackets();
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].lastX, 5);
    EXPECT_EQ(packets[0].lastY, 0);
    EXPECT_EQ(packets[1].buttonFlags, kMouseWheelFlag);
}

TEST(ClassDriverProtocol, ReportsThatCompleteInsideTheirSendAreReadWithoutNesting) {
    DriverHarness h{kFiveButtonTrackball};
    for (int i = 0; i < 2000; ++i)
        h.hid.backlog.push_back({0x00, static_cast<uint8_t>(i & 1), 0, 0, 0, 0});
    h.start();
    EXPECT_TRUE(h.hid.backlog.empty());
    EXPECT_EQ(h.takePackets().size(), 1999u); // each report after the first presses or releases button 1
    EXPECT_EQ(h.hid.maxSendDepth, 1);
    EXPECT_NE(h.hid.pending, nullptr); // and the loop still has a read in flight
}

// A device below that checks what a system's I/O target would not survive: a send on a closed target,
// and a second target opened over the first.
class TargetCheckingHid final : public IHidDevice {
public:
    ObxStatus collectionInformation(HidCollectionInformation& info) override {
        info = {0x1234, 1, static_cast<uint32_t>(kFiveButtonTrackball.size())};
        return OBX_STATUS_SUCCESS;
    }
    ObxStatus collectionDescriptor(std::span<uint8_t> out) override {
        std::copy(kFiveButtonTrackball.begin(), kFiveButtonTrackball.end(), out.begin());
        return OBX_STATUS_SUCCESS;
    }
    ObxStatus string(HidString, std::span<uint16_t>) override { return OBX_STATUS_NOT_SUPPORTED; }
    ObxStatus create(FileObject) override { return OBX_STATUS_SUCCESS; }
    ObxStatus openReadTarget(FileObject) override {
        std::lock_guard lock(mutex_);
        faults += open_ ? 1 : 0;
        open_ = true;
        return OBX_STATUS_SUCCESS;
    }
    void closeReadTarget() override {
        faults += sending_ > 0 ? 1 : 0; // the target would be deleted under a send
        IReadCompletion* read = nullptr;
        {
            std::lock_guard lock(mutex_);
            open_ = false;
            read = std::exchange(pending_, nullptr);
        }
        if (read != nullptr)
            read->readCompleted(OBX_STATUS_CANCELLED, 0);
    }
    ObxStatus sendRead(std::span<uint8_t> buffer, IReadCompletion& completion) override {
        ++sending_;
        std::this_thread::yield(); // a send takes its time: a close must wait for it
        {
            std::lock_guard lock(mutex_);
            faults += open_ ? 0 : 1;
            faults += pending_ != nullptr ? 1 : 0;
            buffer_ = buffer;
            pending_ = &completion;
        }
        --sending_;
        return OBX_STATUS_SUCCESS;
    }
    // Completes the read in flight, if any, with a report of a small movement.
    void deliver() {
        IReadCompletion* read = nullptr;
        {
            std::lock_guard lock(mutex_);
            read = std::exchange(pending_, nullptr);
            if (read != nullptr)
                std::copy_n(std::begin({0x00, 0x00, 0x01, 0x00, 0x00, 0x00}), buffer_.size(),
                            buffer_.begin());
        }
        if (read != nullptr)
            read->readCompleted(OBX_STATUS_SUCCESS, static_cast<uint32_t>(buffer_.size()));
    }

    std::atomic<int> faults{0};

private:
    std::mutex mutex_;
    std::atomic<int> sending_{0};
    bool open_ = false;
    IReadCompletion* pending_ = nullptr;
    std::span<uint8_t> buffer_;
};

TEST(ClassDriverProtocol, CreatesAndClosesRaceNeitherEachOtherNorTheReadLoop) {
    TargetCheckingHid hid;
    ScriptedParser parser;
    ManualClock clock;
    ManualTimer chord{0}, inertia{kInertiaPeriodMs}, autoScroll{kAutoScrollPeriodMs};
    for (ManualTimer* t : {&chord, &inertia, &autoScroll})
        t->clock = &clock;
    StdLock deviceLock, fileLock, readLock, registrationLock, controlLock, ringStore, ringTake;
    FilterDevice device({hid,
                         parser,
                         clock,
                         deviceLock,
                         fileLock,
                         readLock,
                         {&chord, &inertia, &autoScroll},
                         ControlDeviceLocks{registrationLock, controlLock, ringStore, ringTake}},
                        1);
    ASSERT_EQ(device.prepareHardware(), OBX_STATUS_SUCCESS);
    PacketRecorder recorder;
    device.connect(recorder);

    std::atomic<int> running{2};
    const auto openAndClose = [&](FileObject file) {
        for (int i = 0; i < 300; ++i) {
            device.fileCreate(file, false);
            device.fileClose(file);
        }
        --running;
    };
    int first = 0, second = 0;
    std::thread a(openAndClose, &first), b(openAndClose, &second);
    while (running > 0)
        hid.deliver();
    a.join();
    b.join();
    EXPECT_EQ(hid.faults, 0);
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
