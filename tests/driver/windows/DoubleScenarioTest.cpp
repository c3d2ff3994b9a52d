// The Windows binding driven through the framework double as the system would drive it. Each scenario
// loads the driver through its loader stub, and fails on any rule of Driver Verifier's that the driver
// breaks on the way.

#include "CorpusText.h" // generated: kCorpusFiles, the texts of tests/driver/data/corpus
#include "InfText.h"    // generated: kInfText, the text of obxkern.inf
#include "double/Machine.h"
#include "double/Verifier.h"
#include "hid/TestDescriptors.h"
#include "shared/ReportPacketTable.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string_view>

namespace obx::kmdf_double {
namespace {

constexpr uint32_t kSuccess = OBX_STATUS_SUCCESS;
// The class driver's codes, as the system defines them.
constexpr uint32_t IOCTL_MOUSE_QUERY_ATTRIBUTES = driver::kMouseQueryAttributes;
constexpr uint32_t IOCTL_INTERNAL_MOUSE_DISCONNECT = driver::kMouseDisconnect;
constexpr uint32_t IOCTL_INTERNAL_MOUSE_ENABLE = driver::kMouseEnable;

// The hardware ids of the INF: product id to vendor id.
std::map<uint16_t, uint16_t> infHardwareIds() {
    std::map<uint16_t, uint16_t> ids;
    const std::string text(kInfText);
    const std::regex id(R"(HID\\VID_([0-9A-F]{4})&PID_([0-9A-F]{4}))");
    for (auto m = std::sregex_iterator(text.begin(), text.end(), id); m != std::sregex_iterator(); ++m)
        ids[static_cast<uint16_t>(std::stoul((*m)[2], nullptr, 16))] =
            static_cast<uint16_t>(std::stoul((*m)[1], nullptr, 16));
    return ids;
}

// A collection of the INF's; the descriptor is the one the model's reports are written for.
HidModel modelOf(uint16_t productId, const test::Bytes& descriptor) {
    const auto ids = infHardwareIds();
    const auto found = ids.find(productId);
    EXPECT_NE(found, ids.end()) << "obxkern.inf has no hardware id with product id " << productId;
    const uint16_t vendorId = found != ids.end() ? found->second : 0;
    return HidModel{vendorId, productId, 0x0100, descriptor, L"Ombrix trackball", L"SN-0042"};
}

HidModel fiveButtonModel() {
    return modelOf(0x0F22, test::kFiveButtonTrackball);
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

template <typename Record>
Bytes bytesOf(const Record& record) {
    Bytes bytes(sizeof record);
    std::memcpy(bytes.data(), &record, sizeof record);
    return bytes;
}

Bytes switchOn() {
    return {1, 0, 0, 0};
}

// Buttons that no map entry takes go to the registered helper as events.
void registerHelperWithEmptyMap(Handle handle) {
    ASSERT_EQ(Machine::control(handle, IOCTL_OBX_SET_BUTTON_MAP, bytesOf(OBX_BUTTON_MAP{}), 0).status,
              kSuccess);
    ASSERT_EQ(Machine::control(handle, IOCTL_OBX_REGISTER_HELPER, {}, 0).status, kSuccess);
}

template <typename Record = OBX_BUTTON_EVENT>
Record eventOf(const RequestResult& result) {
    Record event{};
    EXPECT_EQ(result.output.size(), sizeof event);
    std::memcpy(&event, result.output.data(), std::min(result.output.size(), sizeof event));
    return event;
}

TEST_F(DoubleTest, StartsTheFilterAndItsControlDeviceAndLoadsClean) {
    ASSERT_EQ(Machine::addDevice(fiveButtonModel()), kSuccess);
    const ControlIdentity identity = Machine::controlIdentity();
    EXPECT_TRUE(identity.raw);
    EXPECT_TRUE(identity.staticChildOfFilter);
    EXPECT_TRUE(identity.interfaceRegistered);
    EXPECT_FALSE(identity.defaultQueuePowerManaged);
    EXPECT_EQ(identity.securityDescriptor, L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;GRGW;;;IU)");
    EXPECT_EQ(identity.deviceId, L"{4F1FD8B4-05A8-4E91-B42C-8942B49AE606}\\HLXOBX");
    EXPECT_EQ(identity.location, L"Halvex Ombrix Driver");
    EXPECT_EQ(identity.description, L"Ombrix " + identity.instanceId);
    EXPECT_EQ(identity.instanceId.size(), 2u);
    Machine::unload();
}

TEST_F(DoubleTest, ReportsCompletingTheReadLoopBecomeMousePackets) {
    startConnected(fiveButtonModel());
    Machine::report({0x00, 0x01, 5, 0xFD, 0, 0});
    Machine::report({0x00, 0x00, 0, 0, 0, 0});
    const auto packets = Machine::takePackets();
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(packets[0].buttonFlags, 0x0001);
    EXPECT_EQ(packets[1].lastX, 5);
    EXPECT_EQ(packets[1].lastY, -3);
    EXPECT_EQ(packets[2].buttonFlags, 0x0002);
    EXPECT_TRUE(Machine::readWaitingBelow());
    EXPECT_EQ(Machine::connectClass(), static_cast<uint32_t>(OBX_STATUS_SHARING_VIOLATION));
    Machine::unload();
}

// The table that the Linux host is held to as well: the same core must make the same packets. Each
// model is a device of its own, added after the one before was removed.
TEST_F(DoubleTest, EveryServedModelMakesTheTablesPackets) {
    const std::vector<test::ModelReports> models = test::loadReportPacketTable();
    ASSERT_EQ(models.size(), infHardwareIds().size()) << "the table covers every model of the INF";
    for (const test::ModelReports& model : models) {
        SCOPED_TRACE(model.descriptorName);
        startConnected(modelOf(model.productId, *model.descriptor));
        for (const test::ReportCase& c : model.cases) {
            SCOPED_TRACE(::testing::PrintToString(c.report));
            Machine::report(c.report);
            const auto packets = Machine::takePackets();
            ASSERT_EQ(packets.size(), c.packets.size()) << test::describe(packets);
            for (size_t i = 0; i < c.packets.size(); ++i)
                EXPECT_TRUE(test::samePacket(packets[i], c.packets[i]))
                    << "got " << test::describe(packets) << "expected " << test::describe(c.packets);
        }
        Machine::surpriseRemove();
    }
    Machine::unload();
}

// The descriptor of a real device of the corpus, by its file's name.
test::Bytes corpusDescriptor(std::string_view name) {
    test::Bytes bytes;
    for (const CorpusFile& file : kCorpusFiles) {
        std::istringstream lines(name == file.name ? file.text : "");
        for (std::string line; std::getline(lines, line);) {
            std::istringstream words(line);
            std::string keyword;
            unsigned byte = 0;
            if (words >> keyword && keyword == "descriptor")
                while (words >> std::hex >> byte)
                    bytes.push_back(static_cast<uint8_t>(byte));
        }
    }
    EXPECT_FALSE(bytes.empty()) << "the corpus has " << name;
    return bytes;
}

driver::MouseInputData packetOf(uint16_t flags, int16_t data, int32_t x = 0, int32_t y = 0) {
    driver::MouseInputData packet;
    packet.buttonFlags = flags;
    packet.buttonData = data;
    packet.lastX = x;
    packet.lastY = y;
    return packet;
}

// What the system's parser tells of real descriptors, read as the kernel reads them. anon-05: report 26
// with five buttons and 16-bit X, Y, wheel and AC Pan, the wheel and the pan each governed by a
// Resolution Multiplier of physical range 1 to 12 (logical 0 to 1); anon-04: report 17 with 8-bit X, Y,
// wheel and pan, a multiplier of 1 to 4 in the wheel's Logical collection; anon-03: no report id, 16 buttons,
// 16-bit X and Y, 8-bit wheel and pan, no multiplier. Each report goes to a device of its own.
TEST_F(DoubleTest, RealDescriptorsAreReadAsTheKernelReadsThem) {
    struct Case {
        const char* what;
        const char* device;
        Bytes report;
        driver::MouseInputData packet;
    };
    const Case cases[] = {
        {"a count of a multiplied wheel is a twelfth of a detent",
         "anon-05",
         {0x1A, 0, 0, 0, 0, 0, 0x01, 0x00, 0, 0},
         packetOf(driver::kMouseWheelFlag, 10)},
        {"twelve counts are a detent",
         "anon-05",
         {0x1A, 0, 0, 0, 0, 0, 0xF4, 0xFF, 0, 0},
         packetOf(driver::kMouseWheelFlag, -120)},
        {"a held pan steps a twelfth of a detent",
         "anon-05",
         {0x1A, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x00},
         packetOf(driver::kMouseHorizontalWheelFlag, 10)},
        {"wheel data beyond 16 bits is clamped",
         "anon-05",
         {0x1A, 0, 0, 0, 0, 0, 0xA0, 0x0F, 0, 0},
         packetOf(driver::kMouseWheelFlag, INT16_MAX)},
        {"an X below its range is clamped, the Y kept",
         "anon-05",
         {0x1A, 0, 0x00, 0x80, 0x05, 0x00, 0, 0, 0, 0},
         packetOf(0, 0, -32767, 5)},
        {"a multiplier of 4 governs its own Logical collection's wheel",
         "anon-04",
         {0x11, 0, 0, 0, 0x01, 0},
         packetOf(driver::kMouseWheelFlag, 30)},
        {"but not the pan outside it",
         "anon-04",
         {0x11, 0, 0, 0, 0, 0x01},
         packetOf(driver::kMouseHorizontalWheelFlag, 120)},
        {"a count without a multiplier is a detent",
         "anon-03",
         {0x00, 0, 0, 0, 0, 0, 0, 0x01, 0},
         packetOf(driver::kMouseWheelFlag, 120)},
        {"a held pan without a multiplier steps a detent",
         "anon-03",
         {0x00, 0, 0, 0, 0, 0, 0, 0, 0xFF},
         packetOf(driver::kMouseHorizontalWheelFlag, -120)},
        {"a Y below its range is clamped, the X kept",
         "anon-03",
         {0x00, 0, 0, 0xFD, 0xFF, 0x00, 0x80, 0, 0},
         packetOf(0, 0, -3, -32767)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.device) + ": " + c.what);
        startConnected(modelOf(0x0F22, corpusDescriptor(c.device)));
        Machine::report(c.report);
        const auto packets = Machine::takePackets();
        ASSERT_EQ(packets.size(), 1u) << test::describe(packets);
        EXPECT_TRUE(test::samePacket(packets[0], c.packet)) << test::describe(packets);
        Machine::surpriseRemove();
    }
    Machine::unload();
}

TEST_F(DoubleTest, TheDeviceInfoTellsWhatTheDescriptorDeclares) {
    const struct {
        const char* device;
        uint16_t capabilities;
    } cases[] = {{"anon-01", 3}, // three buttons, X and Y
                 {"anon-03", 16 | OBX_CAPABILITY_WHEEL | OBX_CAPABILITY_PAN},
                 {"anon-05", 5 | OBX_CAPABILITY_WHEEL | OBX_CAPABILITY_PAN}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device);
        ASSERT_EQ(Machine::addDevice(modelOf(0x0F22, corpusDescriptor(c.device))), kSuccess);
        const Handle helper = Machine::openControl();
        OBX_DEVICE_INFO info{};
        const RequestResult device = Machine::control(helper, IOCTL_OBX_GET_DEVICE_INFO, {}, sizeof info);
        ASSERT_EQ(device.output.size(), sizeof info);
        std::memcpy(&info, device.output.data(), sizeof info);
        EXPECT_EQ(info.Capabilities, c.capabilities);
        Machine::surpriseRemove();
    }
    Machine::unload();
}

TEST_F(DoubleTest, ReportsKeptBeforeTheCreateAreReadWithoutNestedSends) {
    ASSERT_EQ(Machine::addDevice(fiveButtonModel()), kSuccess);
    ASSERT_EQ(Machine::connectClass(), kSuccess);
    for (int i = 0; i < 20; ++i)
        Machine::report({0x00, 0x00, 1, 0, 0, 0});
    ASSERT_EQ(Machine::openClass(), kSuccess);
    EXPECT_EQ(Machine::takePackets().size(), 20u);
    EXPECT_EQ(Machine::maxSendDepth(), 1);
    EXPECT_TRUE(Machine::readWaitingBelow());
    Machine::unload();
}

TEST_F(DoubleTest, InternalRequestsOfTheClassDriver) {
    startConnected(fiveButtonModel());
    const RequestResult attributes = Machine::internalControl(IOCTL_MOUSE_QUERY_ATTRIBUTES, 12, 0x5A);
    EXPECT_EQ(attributes.status, kSuccess);
    EXPECT_EQ(attributes.information, 12u);
    EXPECT_EQ(Machine::internalControl(IOCTL_MOUSE_QUERY_ATTRIBUTES, 8).status,
              static_cast<uint32_t>(OBX_STATUS_BUFFER_TOO_SMALL));
    EXPECT_EQ(Machine::internalControl(IOCTL_INTERNAL_MOUSE_DISCONNECT, 0).status,
              static_cast<uint32_t>(OBX_STATUS_NOT_IMPLEMENTED));
    EXPECT_EQ(Machine::internalControl(IOCTL_INTERNAL_MOUSE_ENABLE, 0).status,
              static_cast<uint32_t>(OBX_STATUS_NOT_SUPPORTED));
    // A code the filter does not know goes on down, to be answered there.
    constexpr uint32_t unknownCode = 0x000F9FFF;
    EXPECT_EQ(Machine::internalControl(unknownCode, 0).completions, 1);
    EXPECT_EQ(Machine::passedDown(), std::vector<uint32_t>{unknownCode});
    Machine::unload();
}

struct ControlCase {
    const char* name;
    uint32_t code;
    Bytes input;
    size_t outputLength;
    uint32_t status;
    uint64_t information;
};

TEST_F(DoubleTest, EveryControlCodeCompletesWithItsStatusAndByteCount) {
    startConnected(fiveButtonModel());
    const Handle helper = Machine::openControl();
    OBX_INJECT_BUTTONS badInject{};
    badInject.Kind = 7;
    const ControlCase cases[] = {
        {"driver info",
         IOCTL_OBX_GET_DRIVER_INFO,
         {},
         sizeof(OBX_DRIVER_INFO),
         kSuccess,
         sizeof(OBX_DRIVER_INFO)},
        {"driver info, short",
         IOCTL_OBX_GET_DRIVER_INFO,
         {},
         sizeof(OBX_DRIVER_INFO) - 1,
         OBX_STATUS_BUFFER_TOO_SMALL,
         0},
        {"set slow pointer", IOCTL_OBX_SET_SLOW_POINTER, switchOn(), 0, kSuccess, 4},
        {"set slow pointer, short", IOCTL_OBX_SET_SLOW_POINTER, {1, 0}, 0, OBX_STATUS_BUFFER_TOO_SMALL, 0},
        {"get slow pointer", IOCTL_OBX_GET_SLOW_POINTER, {}, 4, kSuccess, 4},
        {"set single axis", IOCTL_OBX_SET_SINGLE_AXIS, switchOn(), 0, kSuccess, 4},
        {"get single axis", IOCTL_OBX_GET_SINGLE_AXIS, {}, 4, kSuccess, 4},
        {"reserved 1", IOCTL_OBX_RESERVED_1, {}, 0, kSuccess, 0},
        {"reserved 2", IOCTL_OBX_RESERVED_2, {}, 0, kSuccess, 0},
        {"set scroll", IOCTL_OBX_SET_SCROLL_PARAMS, bytesOf(OBX_SCROLL_PARAMS{}), 0, kSuccess,
         sizeof(OBX_SCROLL_PARAMS)},
        {"get scroll",
         IOCTL_OBX_GET_SCROLL_PARAMS,
         {0},
         sizeof(OBX_SCROLL_PARAMS),
         kSuccess,
         sizeof(OBX_SCROLL_PARAMS)},
        {"get scroll, no wheel",
         IOCTL_OBX_GET_SCROLL_PARAMS,
         {},
         sizeof(OBX_SCROLL_PARAMS),
         OBX_STATUS_BUFFER_TOO_SMALL,
         0},
        {"device info",
         IOCTL_OBX_GET_DEVICE_INFO,
         {},
         sizeof(OBX_DEVICE_INFO),
         kSuccess,
         sizeof(OBX_DEVICE_INFO)},
        {"button map", IOCTL_OBX_SET_BUTTON_MAP, bytesOf(OBX_BUTTON_MAP{}), 0, kSuccess, 0},
        {"inject, bad kind", IOCTL_OBX_INJECT_BUTTONS, bytesOf(badInject), 0, OBX_STATUS_INVALID_PARAMETER,
         0},
        {"register", IOCTL_OBX_REGISTER_HELPER, {}, 0, kSuccess, 0},
        {"unknown", OBX_CONTROL_CODE(0x8FF), {}, 0, OBX_STATUS_INVALID_DEVICE_REQUEST, 0},
        // A caller's output buffer too small for what a set request reports taken: the system would copy
        // the count back into it.
        {"set slow pointer, small output", IOCTL_OBX_SET_SLOW_POINTER, switchOn(), 2, kSuccess, 2},
    };
    for (const ControlCase& c : cases) {
        SCOPED_TRACE(c.name);
        const RequestResult result = Machine::control(helper, c.code, c.input, c.outputLength);
        EXPECT_EQ(result.completions, 1);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.information, c.information);
    }
    // An injected click reaches the class driver from a passive-level request: the binding raises the
    // IRQL for the class service callback.
    OBX_BUTTON_MAP map{};
    map.Count = 1;
    map.Entries[0].Buttons = 0x1;
    map.Entries[0].Kind = OBX_MAP_BUTTONS;
    map.Entries[0].Data.OutputButtons = 0x1;
    ASSERT_EQ(Machine::control(helper, IOCTL_OBX_SET_BUTTON_MAP, bytesOf(map), 0).status, kSuccess);
    OBX_INJECT_BUTTONS click{};
    click.Kind = OBX_INJECT_KIND_BUTTONS;
    click.Buttons = 0x1;
    click.What = OBX_INJECT_CLICK;
    EXPECT_EQ(Machine::control(helper, IOCTL_OBX_INJECT_BUTTONS, bytesOf(click), 0).status, kSuccess);
    const auto packets = Machine::takePackets();
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].buttonFlags, 0x0001);
    EXPECT_EQ(packets[1].buttonFlags, 0x0002);
    const RequestResult slow = Machine::control(helper, IOCTL_OBX_GET_SLOW_POINTER, {}, 4);
    EXPECT_EQ(slow.output, switchOn());
    OBX_DEVICE_INFO info{};
    const RequestResult device = Machine::control(helper, IOCTL_OBX_GET_DEVICE_INFO, {}, sizeof info);
    std::memcpy(&info, device.output.data(), sizeof info);
    EXPECT_EQ(info.ProductId, 0x0F22);
    EXPECT_EQ(info.ProductString[0], u'O');
    EXPECT_EQ(info.SerialNumberString[3], u'0');
    Machine::unload();
}

TEST_F(DoubleTest, PendedReadsCompleteWithButtonEventsOrAreCancelled) {
    startConnected(fiveButtonModel());
    const Handle helper = Machine::openControl();
    registerHelperWithEmptyMap(helper);
    const RequestId tooShort = Machine::read(helper, sizeof(OBX_BUTTON_EVENT) - 1);
    EXPECT_EQ(Machine::result(tooShort).status, static_cast<uint32_t>(OBX_STATUS_BUFFER_TOO_SMALL));
    const RequestId first = Machine::read(helper, sizeof(OBX_BUTTON_EVENT));
    const RequestId second = Machine::read(helper, sizeof(OBX_BUTTON_EVENT));
    EXPECT_EQ(Machine::result(first).completions, 0);

    Machine::advance(250);
    Machine::report({0x00, 0x01, 0, 0, 0, 0});
    EXPECT_TRUE(Machine::takePackets().empty());
    ASSERT_EQ(Machine::result(first).completions, 1);
    EXPECT_EQ(Machine::result(first).status, kSuccess);
    EXPECT_EQ(Machine::result(first).information, sizeof(OBX_BUTTON_EVENT));
    const OBX_BUTTON_EVENT event = eventOf(Machine::result(first));
    EXPECT_EQ(event.Pressed, 1u);
    EXPECT_EQ(event.Flags, OBX_BUTTON_EVENT_FLAGS);
    EXPECT_EQ(event.TimeMs, 250u);
    EXPECT_EQ(Machine::result(second).completions, 0);

    Machine::cancel(second);
    EXPECT_EQ(Machine::result(second).completions, 1);
    EXPECT_EQ(Machine::result(second).status, static_cast<uint32_t>(OBX_STATUS_CANCELLED));
    // The release waits in the ring for the next read.
    Machine::report({0x00, 0x00, 0, 0, 0, 0});
    const RequestId third = Machine::read(helper, 64);
    EXPECT_EQ(eventOf(Machine::result(third)).Released, 1u);
    Machine::unload();
}

// A map of one gesture entry.
uint32_t setGesture(Handle helper, uint32_t buttons, OBX_MAP_GESTURE_DATA gesture) {
    OBX_BUTTON_MAP map{sizeof(OBX_BUTTON_MAP), 0, 1, {}};
    map.Entries[0].Buttons = buttons;
    map.Entries[0].Kind = OBX_MAP_GESTURE;
    map.Entries[0].Data.Gesture = gesture;
    return Machine::control(helper, IOCTL_OBX_SET_BUTTON_MAP, bytesOf(map), 0).status;
}

TEST_F(DoubleTest, AGestureEventCompletesAPendedRead) {
    startConnected(fiveButtonModel());
    const Handle helper = Machine::openControl();
    ASSERT_EQ(setGesture(helper, 0x8, {OBX_GESTURE_TRAVEL_ONCE, 0, 10}), kSuccess);
    ASSERT_EQ(Machine::control(helper, IOCTL_OBX_REGISTER_HELPER, {}, 0).status, kSuccess);
    const RequestId read = Machine::read(helper, sizeof(OBX_GESTURE_EVENT));
    Machine::report({0x00, 0x08, 12, 3, 0, 0});
    Machine::report({0x00, 0x00, 0, 0, 0, 0});
    EXPECT_TRUE(Machine::takePackets().empty()) << "the travel was the gesture's";
    const auto event = eventOf<OBX_GESTURE_EVENT>(Machine::result(read));
    EXPECT_EQ(event.Flags, 0x0010);
    EXPECT_EQ(event.Buttons, 0x8u);
    EXPECT_EQ(event.Direction, OBX_GESTURE_RIGHT);
    Machine::unload();
}

// The release that the first report after waking shows is not a tap: nobody clicked.
TEST_F(DoubleTest, AGestureHeldIntoSleepEndsWithoutATap) {
    startConnected(fiveButtonModel());
    const Handle helper = Machine::openControl();
    ASSERT_EQ(setGesture(helper, 0x1, {OBX_GESTURE_TRAVEL_ONCE, OBX_GESTURE_TAP_CLICK, 0}), kSuccess);
    Machine::report({0x00, 0x01, 0, 0, 0, 0});
    Machine::sleep();
    Machine::resume();
    Machine::report({0x00, 0x00, 0, 0, 0, 0});
    for (const auto& packet : Machine::takePackets())
        EXPECT_EQ(packet.buttonFlags, 0) << "a click after waking";
    Machine::unload();
}

// The binding lets a cancel and the core's completion race: whichever of the two comes second
// completes the read, once, with the event the core had for it.
TEST_F(DoubleTest, ACancelRacingAnEventCompletesTheReadOnceWithTheEvent) {
    startConnected(fiveButtonModel());
    const Handle helper = Machine::openControl();
    registerHelperWithEmptyMap(helper);
    const struct {
        const char* name;
        bool routineFirst;
        Bytes report;
    } races[] = {{"cancel routine first", true, {0x00, 0x01, 0, 0, 0, 0}},
                 {"cancel routine last", false, {0x00, 0x00, 0, 0, 0, 0}}};
    for (const auto& race : races) {
        SCOPED_TRACE(race.name);
        const RequestId read = Machine::read(helper, sizeof(OBX_BUTTON_EVENT));
        Machine::cancelDuringCompletion(read, race.routineFirst);
        Machine::report(race.report);
        ASSERT_EQ(Machine::result(read).completions, 1);
        EXPECT_EQ(Machine::result(read).status, kSuccess);
        const OBX_BUTTON_EVENT event = eventOf(Machine::result(read));
        EXPECT_EQ(event.Pressed | event.Released, 1u);
    }
    Machine::unload();
}

TEST_F(DoubleTest, ClosingAHandleCancelsItsWaitingReadsOnly) {
    startConnected(fiveButtonModel());
    const Handle helper = Machine::openControl();
    const Handle other = Machine::openControl();
    registerHelperWithEmptyMap(helper);
    const RequestId a = Machine::read(helper, sizeof(OBX_BUTTON_EVENT));
    const RequestId b = Machine::read(helper, sizeof(OBX_BUTTON_EVENT));
    const RequestId kept = Machine::read(other, sizeof(OBX_BUTTON_EVENT));
    Machine::closeControl(helper);
    for (const RequestId id : {a, b}) {
        EXPECT_EQ(Machine::result(id).completions, 1);
        EXPECT_EQ(Machine::result(id).status, static_cast<uint32_t>(OBX_STATUS_CANCELLED));
    }
    EXPECT_EQ(Machine::result(kept).completions, 0);
    Machine::closeControl(other);
    EXPECT_EQ(Machine::result(kept).status, static_cast<uint32_t>(OBX_STATUS_CANCELLED));
    Machine::unload();
}

TEST_F(DoubleTest, ChordRunsOnTheFrameworkTimer) {
    startConnected(fiveButtonModel());
    const Handle helper = Machine::openControl();
    OBX_BUTTON_MAP map{};
    map.ChordMask = 0x3;
    map.Count = 1;
    map.Entries[0].Buttons = 0x3;
    map.Entries[0].Data.OutputButtons = 0x4;
    ASSERT_EQ(Machine::control(helper, IOCTL_OBX_SET_BUTTON_MAP, bytesOf(map), 0).status, kSuccess);
    ASSERT_EQ(Machine::control(helper, IOCTL_OBX_REGISTER_HELPER, {}, 0).status, kSuccess);
    Machine::report({0x00, 0x01, 0, 0, 0, 0});
    Machine::advance(40);
    Machine::report({0x00, 0x03, 0, 0, 0, 0});
    Machine::advance(99);
    EXPECT_TRUE(Machine::takePackets().empty());
    Machine::advance(1);
    const auto packets = Machine::takePackets();
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].buttonFlags, 0x0010);
    EXPECT_EQ(packets[1].buttonFlags, 0x0020);
    Machine::unload();
}

// A helper that ignores its handle's notices keeps the device: the query cancels its waiting reads,
// and once the removal is taken back reads wait again.
TEST_F(DoubleTest, AHandleLeftOpenVetoesTheRemovalAndReadsWaitAgain) {
    startConnected(fiveButtonModel());
    const Handle helper = Machine::openControl();
    const RequestId waiting = Machine::read(helper, sizeof(OBX_BUTTON_EVENT));
    EXPECT_EQ(Machine::queryRemove(), kRemovalVetoed);
    EXPECT_EQ(Machine::result(waiting).status, static_cast<uint32_t>(OBX_STATUS_CANCELLED));
    const RequestId again = Machine::read(helper, sizeof(OBX_BUTTON_EVENT));
    EXPECT_EQ(Machine::result(again).completions, 0);
    Machine::closeControl(helper);
    EXPECT_EQ(Machine::result(again).status, static_cast<uint32_t>(OBX_STATUS_CANCELLED));
    Machine::unload();
}

TEST_F(DoubleTest, SurpriseRemovalThenTheDeviceAddedAgain) {
    startConnected(fiveButtonModel());
    const Handle helper = Machine::openControl();
    const RequestId waiting = Machine::read(helper, sizeof(OBX_BUTTON_EVENT));
    Machine::surpriseRemove();
    EXPECT_EQ(Machine::result(waiting).status, static_cast<uint32_t>(OBX_STATUS_CANCELLED));

    startConnected(fiveButtonModel());
    Machine::report({0x00, 0x00, 7, 0, 0, 0});
    const auto packets = Machine::takePackets();
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].lastX, 7);
    Machine::unload();
}

// Each case fails reads at the given times (ms from the first); the loop is sent again after every
// failure but the third within 10 s.
TEST_F(DoubleTest, AFailedReadIsSentAgainUntilTheThirdFailureWithin10s) {
    const struct {
        const char* name;
        std::vector<uint32_t> failuresAt;
        bool reading;
    } cases[] = {
        {"one failure", {0}, true},
        {"two failures", {0, 5}, true},
        {"three within 10 s", {0, 5, 9999}, false},
        {"the first ages out at 10 s", {0, 5, 10000}, true},
        {"three after one aged out", {0, 5, 10000, 10004}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        startConnected(fiveButtonModel());
        uint32_t now = 0;
        for (const uint32_t at : c.failuresAt) {
            Machine::advance(at - now);
            now = at;
            ASSERT_TRUE(Machine::readWaitingBelow());
            Machine::failRead(OBX_STATUS_DEVICE_DATA_ERROR);
        }
        EXPECT_EQ(Machine::readWaitingBelow(), c.reading);
        EXPECT_EQ(Machine::debugOutput().find("reads failed 3 times in 10 s") != std::string::npos,
                  !c.reading);
        // A return to the working state starts a stopped loop again.
        Machine::sleep();
        Machine::resume();
        EXPECT_TRUE(Machine::readWaitingBelow());
        Machine::surpriseRemove();
        Machine::reset();
        ASSERT_EQ(Machine::load(), kSuccess);
    }
}

TEST_F(DoubleTest, TheReadLoopStopsWithTheWorkingStateAndStartsAgainWithIt) {
    const struct {
        const char* name;
        void (*leave)();
        void (*enter)();
    } transitions[] = {{"sleep and resume", Machine::sleep, Machine::resume},
                       {"stop and restart", Machine::stop, Machine::restart}};
    startConnected(fiveButtonModel());
    for (const auto& t : transitions) {
        SCOPED_TRACE(t.name);
        t.leave();
        EXPECT_FALSE(Machine::readWaitingBelow());
        Machine::report({0x00, 0x00, 3, 0, 0, 0}); // kept by the HID class
        t.enter();
        const auto packets = Machine::takePackets();
        ASSERT_EQ(packets.size(), 1u);
        EXPECT_EQ(packets[0].lastX, 3);
        EXPECT_TRUE(Machine::readWaitingBelow());
    }
    Machine::unload();
}

// The helper's part as it registered for its handle's notices: it closes the handle on the query and
// opens it again when the removal is cancelled.
TEST_F(DoubleTest, AnOrderlyRemovalWaitsForTheHelpersHandleAndACancelReopensIt) {
    startConnected(fiveButtonModel());
    std::optional<Handle> helper = Machine::openControl();
    std::vector<ControlNotice> notices;
    Machine::watchControl([&](ControlNotice notice) {
        notices.push_back(notice);
        if (notice == ControlNotice::QueryRemove && helper) {
            Machine::closeControl(*helper);
            helper.reset();
        } else if (notice == ControlNotice::RemoveCancelled && !helper) {
            helper = Machine::openControl();
        }
    });
    ASSERT_EQ(Machine::queryRemove(), kSuccess);
    EXPECT_FALSE(helper.has_value());
    Machine::cancelRemove();
    ASSERT_TRUE(helper.has_value());
    registerHelperWithEmptyMap(*helper);
    const RequestId read = Machine::read(*helper, sizeof(OBX_BUTTON_EVENT));
    Machine::report({0x00, 0x01, 0, 0, 0, 0});
    EXPECT_EQ(Machine::result(read).status, kSuccess);

    ASSERT_EQ(Machine::queryRemove(), kSuccess);
    Machine::remove();
    EXPECT_EQ(notices,
              (std::vector<ControlNotice>{ControlNotice::QueryRemove, ControlNotice::RemoveCancelled,
                                          ControlNotice::QueryRemove, ControlNotice::RemoveComplete}));
    Machine::unload();
}

// Auto-scroll steps on its timer while the ball rests. A tick already queued when the button switches
// auto-scroll off (and on again) must not step once more.
TEST_F(DoubleTest, NoTimerTickRunsAfterItsStop) {
    startConnected(fiveButtonModel());
    const Handle helper = Machine::openControl();
    OBX_BUTTON_MAP map{};
    map.Count = 1;
    map.Entries[0].Buttons = 0x2;
    map.Entries[0].Kind = OBX_MAP_ACTION;
    map.Entries[0].Data.Action = OBX_MAP_ACTION_DATA{OBX_ACTION_AUTO_SCROLL, 10, {}};
    ASSERT_EQ(Machine::control(helper, IOCTL_OBX_SET_BUTTON_MAP, bytesOf(map), 0).status, kSuccess);
    const auto toggle = [] {
        Machine::report({0x00, 0x02, 0, 0, 0, 0});
        Machine::report({0x00, 0x00, 0, 0, 0, 0});
    };
    toggle();
    for (int i = 0; i < 6; ++i)
        Machine::report({0x00, 0x00, 0, 10, 0, 0});
    Machine::advance(600);
    Machine::takePackets();
    Machine::advance(300);
    ASSERT_EQ(Machine::takePackets().size(), 1u) << "auto-scroll steps while the ball rests";

    Machine::holdTicks();
    Machine::advance(300);
    toggle();
    toggle();
    Machine::releaseTicks();
    EXPECT_TRUE(Machine::takePackets().empty());
    Machine::unload();
}

} // namespace
} // namespace obx::kmdf_double
