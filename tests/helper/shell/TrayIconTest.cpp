#include "shared/CTrayIcon.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace obx {
namespace {

using ::testing::_;
using ::testing::Return;

class MockDisplay : public ITrayIconDisplay {
public:
    MOCK_METHOD(bool, add, (const CTrayIcon&), (override));
    MOCK_METHOD(bool, remove, (const CTrayIcon&), (override));
    MOCK_METHOD(void, updateTooltip, (const CTrayIcon&), (override));
    MOCK_METHOD(void, updateImage, (const CTrayIcon&), (override));
    MOCK_METHOD(void, destroyImage, (TrayIconHandle), (override));
};

class RecordingListener : public ITrayIconListener {
public:
    void onMouseMove(CTrayIcon&) override { calls.push_back("mouseMove"); }
    void onLButtonDown(CTrayIcon&) override { calls.push_back("lButtonDown"); }
    void onLButtonUp(CTrayIcon&) override { calls.push_back("lButtonUp"); }
    void onLButtonDblClk(CTrayIcon&) override { calls.push_back("lButtonDblClk"); }
    void onRButtonDown(CTrayIcon&) override { calls.push_back("rButtonDown"); }
    void onRButtonUp(CTrayIcon&) override { calls.push_back("rButtonUp"); }
    void onRButtonDblClk(CTrayIcon&) override { calls.push_back("rButtonDblClk"); }
    void onMButtonDown(CTrayIcon&) override { calls.push_back("mButtonDown"); }
    void onMButtonUp(CTrayIcon&) override { calls.push_back("mButtonUp"); }
    void onMButtonDblClk(CTrayIcon&) override { calls.push_back("mButtonDblClk"); }
    void onSelect(CTrayIcon&) override { calls.push_back("select"); }
    void onBalloonShow(CTrayIcon&) override { calls.push_back("balloonShow"); }
    void onBalloonHide(CTrayIcon&) override { calls.push_back("balloonHide"); }
    void onBalloonTimeout(CTrayIcon&) override { calls.push_back("balloonTimeout"); }
    void onBalloonUserClick(CTrayIcon&) override { calls.push_back("balloonUserClick"); }
    std::vector<std::string> calls;
};

const void* image(int n) {
    static int images[4];
    return &images[n];
}

TEST(TrayIconTest, IdsGrowByOneAndTheRegistryLivesWithItsIcons) {
    ::testing::NiceMock<MockDisplay> display;
    EXPECT_EQ(CTrayIcon::registeredCount(), 0u);
    auto first = std::make_unique<CTrayIcon>(display, u"a", nullptr);
    auto second = std::make_unique<CTrayIcon>(display, u"b", nullptr);
    EXPECT_EQ(second->id(), first->id() + 1);
    EXPECT_EQ(CTrayIcon::find(first->id()), first.get());
    EXPECT_EQ(CTrayIcon::registeredCount(), 2u);
    const auto firstId = first->id();
    first.reset();
    EXPECT_EQ(CTrayIcon::find(firstId), nullptr);
    EXPECT_EQ(CTrayIcon::registeredCount(), 1u);
    second.reset();
    EXPECT_EQ(CTrayIcon::registeredCount(), 0u);
    EXPECT_GT(CTrayIcon(display, u"c", nullptr).id(), firstId + 1);
}

TEST(TrayIconTest, ListenerMapsEveryNotificationToItsHandler) {
    ::testing::NiceMock<MockDisplay> display;
    CTrayIcon icon(display, u"tip", nullptr);
    RecordingListener listener;
    icon.setListener(&listener);
    for (std::uint32_t message : {0x200u, 0x201u, 0x202u, 0x203u, 0x204u, 0x205u, 0x206u, 0x207u, 0x208u,
                                  0x209u, 0x400u, 0x401u, 0x402u, 0x403u, 0x404u, 0x405u, 0x464u}) {
        EXPECT_EQ(icon.onMessage(message), 0);
    }
    EXPECT_EQ(listener.calls,
              (std::vector<std::string>{"mouseMove", "lButtonDown", "lButtonUp", "lButtonDblClk",
                                        "rButtonDown", "rButtonUp", "rButtonDblClk", "mButtonDown",
                                        "mButtonUp", "mButtonDblClk", "select", "balloonShow", "balloonHide",
                                        "balloonTimeout", "balloonUserClick"}));
}

TEST(TrayIconTest, CallbackRunsFirstAndAnswersOnlyWithoutListener) {
    ::testing::NiceMock<MockDisplay> display;
    CTrayIcon icon(display, u"tip", nullptr);
    static std::vector<std::uint32_t> seen;
    seen.clear();
    icon.setCallback([](CTrayIcon&, std::uint32_t message) -> std::intptr_t {
        seen.push_back(message);
        return 7;
    });
    EXPECT_EQ(icon.onMessage(0x203), 7);
    RecordingListener listener;
    icon.setListener(&listener);
    EXPECT_EQ(icon.onMessage(0x203), 0);
    EXPECT_EQ(seen, (std::vector<std::uint32_t>{0x203, 0x203}));
    EXPECT_EQ(listener.calls, std::vector<std::string>{"lButtonDblClk"});
}

TEST(TrayIconTest, DispatchReachesTheIconOfTheIdOnly) {
    ::testing::NiceMock<MockDisplay> display;
    CTrayIcon one(display, u"1", nullptr);
    CTrayIcon two(display, u"2", nullptr);
    RecordingListener first;
    RecordingListener second;
    one.setListener(&first);
    two.setListener(&second);
    CTrayIcon::dispatch(two.id(), 0x205);
    CTrayIcon::dispatch(two.id() + 100, 0x205);
    EXPECT_TRUE(first.calls.empty());
    EXPECT_EQ(second.calls, std::vector<std::string>{"rButtonUp"});
}

TEST(TrayIconTest, VisibilityChangesReachTheDisplayOnlyWhenTheyChangeSomething) {
    MockDisplay display;
    CTrayIcon icon(display, u"tip", nullptr);
    EXPECT_TRUE(icon.setVisible(false));
    EXPECT_CALL(display, add(_)).WillOnce(Return(false));
    EXPECT_FALSE(icon.setVisible(true));
    EXPECT_TRUE(icon.visible());
    EXPECT_TRUE(icon.setVisible(true));
    EXPECT_CALL(display, remove(_)).WillOnce(Return(true));
    EXPECT_TRUE(icon.setVisible(false));
}

TEST(TrayIconTest, TooltipAndImageReachTheDisplayWhileVisible) {
    MockDisplay display;
    CTrayIcon icon(display, u"tip", image(0));
    icon.setTooltip(u"hidden");
    icon.setIcon(image(1), false);
    EXPECT_CALL(display, add(_)).WillOnce(Return(true));
    icon.setVisible(true);
    EXPECT_CALL(display, updateTooltip(_));
    icon.setTooltip(u"shown");
    EXPECT_EQ(icon.tooltip(), u"shown");
    EXPECT_CALL(display, destroyImage(image(1)));
    EXPECT_CALL(display, updateImage(_));
    icon.setIcon(image(2), true);
    icon.setIcon(image(2), true);
    EXPECT_EQ(icon.image(), image(2));
    EXPECT_CALL(display, remove(_)).WillOnce(Return(true));
}

TEST(TrayIconTest, DestructionDestroysAnOwnedImage) {
    MockDisplay display;
    auto icon = std::make_unique<CTrayIcon>(display, u"tip", image(3));
    icon->setOwnsIcon(true);
    EXPECT_CALL(display, destroyImage(image(3)));
    EXPECT_CALL(display, remove(_)).Times(0);
    icon.reset();
}

TEST(TrayIconTest, VisibleIconsAreAddedAgainAfterTheAreaRestarts) {
    MockDisplay display;
    CTrayIcon shown(display, u"shown", nullptr);
    CTrayIcon hidden(display, u"hidden", nullptr);
    EXPECT_CALL(display, add(::testing::Ref(shown))).Times(2).WillRepeatedly(Return(true));
    shown.setVisible(true);
    CTrayIcon::addVisibleIconsAgain();
    EXPECT_CALL(display, remove(::testing::Ref(shown))).WillOnce(Return(true));
}

} // namespace
} // namespace obx
