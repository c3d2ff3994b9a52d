#include "actions/ActionBase.h"
#include "base/LogCapture.h"
#include "settings/DeviceConfig.h"
#include "support/FakeDevice.h"
#include "support/RecordingPlatformServices.h"

#include <gtest/gtest.h>

namespace obx {
namespace {

using nlohmann::json;

// An action kind that records its runs, so dispatch is seen without any
// platform behaviour in between.
std::vector<std::string>& runs() {
    static std::vector<std::string> list;
    return list;
}

class RecordedAction : public ActionBase {
public:
    RecordedAction() : ActionBase("testRecorded") {}
    void fromJson(const json& object) override { tag_ = object.at("tag").get<std::string>(); }
    void execute(IObxDevice&, bool down) override {
        runs().push_back(tag_ + (down ? " down" : " up"));
        if (tag_ == "throws") {
            throw std::runtime_error("action failed");
        }
    }

private:
    std::string tag_;
};

json recorded(const std::string& tag) {
    return {{"command", "testRecorded"}, {"tag", tag}};
}

class ButtonDispatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        registerActionKind("testRecorded", [] { return std::make_unique<RecordedAction>(); });
        runs().clear();
    }
    test::ScopedRecordingPlatform platform;
    test::FakeDevice device;
    DeviceConfig config{nullptr};
    LogCapture capture;
};

TEST_F(ButtonDispatchTest, OnlyTheExactMaskRuns) {
    config.setButtonAction(0x2, recorded("two"));
    config.dispatchButtonEvent(device, 0x2, 0);
    config.dispatchButtonEvent(device, 0, 0x2);
    config.dispatchButtonEvent(device, 0x6, 0);
    EXPECT_EQ(runs(), (std::vector<std::string>{"two down", "two up"}));
    EXPECT_TRUE(capture.contains(LogLevel::debug, "Button event: DOWN: 6 UP: 0"));
    EXPECT_TRUE(capture.contains(LogLevel::debug, "Button down event: no actions found for the buttons"));
}

TEST_F(ButtonDispatchTest, ChordEntryRunsOnlyForTheWholeChord) {
    config.setButtonAction(0x6, recorded("chord"));
    config.dispatchButtonEvent(device, 0x6, 0);
    EXPECT_EQ(runs(), (std::vector<std::string>{"chord down"}));
    capture.clear();
    config.dispatchButtonEvent(device, 0x20, 0x20);
    EXPECT_EQ(capture.texts(),
              (std::vector<std::string>{"Button event: DOWN: 20 UP: 20",
                                        "Button down event: no actions found for the buttons",
                                        "Button up event: no actions found for the buttons"}));
}

TEST_F(ButtonDispatchTest, PressRunsBeforeReleaseInOneEvent) {
    config.setButtonAction(0x1, recorded("one"));
    config.setButtonAction(0x2, recorded("two"));
    config.dispatchButtonEvent(device, 0x1, 0x2);
    EXPECT_EQ(runs(), (std::vector<std::string>{"one down", "two up"}));
}

TEST_F(ButtonDispatchTest, EmptyEventOnlyLogsTheEventLine) {
    config.dispatchButtonEvent(device, 0, 0);
    EXPECT_TRUE(runs().empty());
    EXPECT_EQ(capture.texts(), (std::vector<std::string>{"Button event: DOWN: 0 UP: 0"}));
}

TEST_F(ButtonDispatchTest, ThrowingPressSkipsTheReleaseAndPassesTheError) {
    config.setButtonAction(0x1, recorded("throws"));
    config.setButtonAction(0x2, recorded("two"));
    EXPECT_THROW(config.dispatchButtonEvent(device, 0x1, 0x2), std::runtime_error);
    EXPECT_EQ(runs(), (std::vector<std::string>{"throws down"}));
}

TEST_F(ButtonDispatchTest, ReleaseUsesTheConfigurationCurrentAtTheRelease) {
    DeviceConfig other(nullptr);
    config.setButtonAction(0x8, recorded("old"));
    other.setButtonAction(0x8, recorded("new"));
    config.dispatchButtonEvent(device, 0x8, 0);
    other.dispatchButtonEvent(device, 0, 0x8);
    EXPECT_EQ(runs(), (std::vector<std::string>{"old down", "new up"}));
}

TEST_F(ButtonDispatchTest, DefaultClickWithoutModifiersProducesNoInput) {
    config.dispatchButtonEvent(device, 0x1, 0);
    config.dispatchButtonEvent(device, 0, 0x1);
    EXPECT_TRUE(platform->inputCalls().empty()) << "plain clicks are the driver's job";
}

} // namespace
} // namespace obx
