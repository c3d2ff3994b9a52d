// Gestures in the driver's button map and the driver's gesture events
// through a device session, over a driver of a chosen version.

#include "actions/Actions.h"
#include "base/MsgWFMOHandler.h"
#include "devices/ButtonMapRecord.h"
#include "devices/Device.h"
#include "settings/DeviceConfig.h"
#include "support/GestureForms.h"
#include "support/RecordingPlatformServices.h"
#include "support/ScriptedWaitPrimitive.h"

#include <cstring>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace obx {
namespace {

using nlohmann::json;
using test::gesture;
using test::PlatformCall;
using ::testing::ElementsAre;

const json keyA = test::keyAction('a');

struct MapCase {
    const char* what;
    std::uint32_t mask;
    json action;
    std::uint32_t driverVersion;
    // The entry's bytes after its mask, or none when it goes to the helper.
    std::vector<std::uint8_t> entry;
};

void PrintTo(const MapCase& mapCase, std::ostream* out) {
    *out << mapCase.what;
}

class GestureMapEntry : public ::testing::TestWithParam<MapCase> {};

TEST_P(GestureMapEntry, IsWrittenByModeFlagsAndDriverVersion) {
    test::ScopedRecordingPlatform platform;
    const auto& mapCase = GetParam();
    DeviceConfig config(nullptr, DeviceConfig::Blank{});
    config.setButtonAction(mapCase.mask, mapCase.action);
    ButtonMapBytes map;
    buildButtonMap(config, mapCase.driverVersion, map);
    const auto* entry = map.data() + offsetof(OBX_BUTTON_MAP, Entries);
    ASSERT_EQ(map[offsetof(OBX_BUTTON_MAP, Count)], mapCase.entry.empty() ? 0 : 1);
    EXPECT_EQ(map[offsetof(OBX_BUTTON_MAP, ChordMask)], config.chordMask());
    if (!mapCase.entry.empty()) {
        std::uint32_t mask = 0;
        std::memcpy(&mask, entry, 4);
        EXPECT_EQ(mask, mapCase.mask);
        EXPECT_EQ(std::vector<std::uint8_t>(entry + 4, entry + 9), mapCase.entry);
    }
}

constexpr std::uint32_t olderDriver = 0x02010000u;

INSTANTIATE_TEST_SUITE_P(
    Cases, GestureMapEntry,
    ::testing::Values(
        MapCase{"onceClicksItself",
                0x4,
                gesture({{"up", keyA}}),
                OBX_DRIVER_VERSION,
                {OBX_MAP_GESTURE, OBX_GESTURE_TRAVEL_ONCE, OBX_GESTURE_TAP_CLICK, 200, 0}},
        MapCase{
            "repeatWithWheelAndTap",
            0x4,
            gesture(
                {{"mode", "repeat"}, {"threshold", 1000}, {"down", keyA}, {"wheelUp", keyA}, {"tap", keyA}}),
            OBX_DRIVER_VERSION,
            {OBX_MAP_GESTURE, OBX_GESTURE_TRAVEL_REPEAT, OBX_GESTURE_WHEEL, 0xE8, 0x03}},
        MapCase{"panOnlyAboveFive",
                0x20,
                gesture({{"panLeft", keyA}}),
                OBX_DRIVER_VERSION,
                {OBX_MAP_GESTURE, OBX_GESTURE_TRAVEL_NONE, OBX_GESTURE_WHEEL, 200, 0}},
        MapCase{"chordTapsToTheHelper",
                0x3,
                gesture({{"left", keyA}}),
                OBX_DRIVER_VERSION,
                {OBX_MAP_GESTURE, OBX_GESTURE_TRAVEL_ONCE, 0, 200, 0}},
        MapCase{
            "olderDriverClicks", 0x8, gesture({{"up", keyA}}), olderDriver, {OBX_MAP_BUTTONS, 0x8, 0, 0, 0}},
        MapCase{"olderDriverTapsInTheHelper", 0x8, gesture({{"up", keyA}, {"tap", keyA}}), olderDriver, {}},
        MapCase{"olderDriverAboveFive", 0x20, gesture({{"up", keyA}}), olderDriver, {}}),
    [](const auto& info) { return std::string(info.param.what); });

// A driver that answers the session's requests, at a chosen version, and
// hands over the records the test gives it.
class RecordChannel final : public IDriverChannel {
public:
    explicit RecordChannel(IWaitPrimitive& waits) : waits_(waits), readEvent_(waits.createEvent()) {}
    ~RecordChannel() override { waits_.closeHandle(readEvent_); }

    bool open() override { return true; }
    std::optional<std::uint32_t> control(std::uint32_t code, std::span<const std::uint8_t> input,
                                         std::span<std::uint8_t> output) override {
        if (code == IOCTL_OBX_GET_DRIVER_INFO) {
            const OBX_DRIVER_INFO info{sizeof(OBX_DRIVER_INFO), OBX_DRIVER_VERSION};
            std::memcpy(output.data(), &info, sizeof info);
        }
        return static_cast<std::uint32_t>(input.size() + output.size());
    }
    bool queueRead(std::span<std::uint8_t> buffer) override {
        buffer_ = buffer;
        return true;
    }
    WaitHandle readHandle() const override { return readEvent_; }
    ReadState takeReadResult() override {
        waits_.resetEvent(readEvent_);
        return ReadState::completed;
    }
    void close() override {}

    template <typename Record>
    void deliver(const Record& record) {
        std::memcpy(buffer_.data(), &record, sizeof record);
        waits_.setEvent(readEvent_);
    }

private:
    IWaitPrimitive& waits_;
    const WaitHandle readEvent_;
    std::span<std::uint8_t> buffer_;
};

struct GestureSink : DeviceEventSink {
    void buttonEvent(std::uint16_t, std::uint32_t, std::uint32_t) override {}
    void gestureEvent(std::uint16_t, std::uint32_t buttons, std::uint8_t direction,
                      std::uint8_t steps) override {
        gestures.push_back({buttons, direction, steps});
    }
    void devicesChanged() override {}
    std::vector<std::array<std::uint32_t, 3>> gestures;
};

OBX_GESTURE_EVENT gestureRecord(std::uint32_t buttons, std::uint8_t direction, std::uint8_t steps,
                                std::uint16_t flags = OBX_GESTURE_EVENT_FLAGS) {
    OBX_GESTURE_EVENT record{};
    record.Flags = flags;
    record.Buttons = buttons;
    record.Direction = direction;
    record.Steps = steps;
    return record;
}

TEST(GestureEventTest, ARecordRunsTheDirectionsActionAfterTellingTheSinkAndOthersAreDropped) {
    test::ScopedRecordingPlatform platform;
    auto* waits = new test::ScriptedWaitPrimitive;
    MsgWFMOHandler worker{std::unique_ptr<IWaitPrimitive>(waits)};
    auto owned = std::make_unique<RecordChannel>(*waits);
    auto& channel = *owned;
    Device device(worker, "gesture-01", std::move(owned));
    GestureSink sink;
    device.reportEventsTo(&sink);
    device.open();
    DeviceConfig config(nullptr, DeviceConfig::Blank{});
    config.setButtonAction(
        0x20, gesture({{"up", keyA}, {"wheelDown", {{"command", "keystroke"}, {"keyCode", 0x42}}}}));
    device.setConfig(&config, true);
    platform->clear();

    waits->thenDo([&] { channel.deliver(gestureRecord(0x20, OBX_GESTURE_WHEEL_DOWN, 2)); });
    waits->thenDo([&] { channel.deliver(gestureRecord(0x20, OBX_GESTURE_UP, 1, 0x0001)); });
    waits->thenDo([&] { channel.deliver(gestureRecord(0x20, OBX_GESTURE_UP, 1)); });
    worker.run();
    const auto key = [](std::uint32_t code, bool down) {
        return PlatformCall{"sendKeystroke", json::array({0, code, down, false})};
    };
    EXPECT_THAT(platform->inputCalls(), ElementsAre(key(0x42, true), key(0x42, false), key(0x42, true),
                                                    key(0x42, false), key(0x41, true), key(0x41, false)));
    EXPECT_THAT(sink.gestures, ElementsAre(std::array<std::uint32_t, 3>{0x20, OBX_GESTURE_WHEEL_DOWN, 2},
                                           std::array<std::uint32_t, 3>{0x20, OBX_GESTURE_UP, 1}))
        << "a record of neither kind is dropped";
}

} // namespace
} // namespace obx
