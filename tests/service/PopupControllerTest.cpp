#include "service/PopupController.h"

#include "ServiceFakes.h"
#include "shared/ITrayIconListener.h"

#include <gtest/gtest.h>

namespace obx::test {
namespace {

using namespace std::chrono_literals;

// A desktop whose timer fires when the test says the time is up.
class FakeHost : public PopupHost {
public:
    explicit FakeHost(Events& events) : events_(events) {}
    bool showIcon() override {
        events_.push_back("icon");
        return iconTaken;
    }
    void showBalloon(const PopupTexts& texts) override {
        events_.push_back("balloon " + utf16ToUtf8(texts.message));
    }
    void startTimer(std::chrono::milliseconds duration) override {
        events_.push_back("timer " + std::to_string(duration.count()));
    }
    void stopTimer() override { events_.push_back("stop timer"); }
    void postClose() override { events_.push_back("close"); }
    bool iconTaken = true;

private:
    Events& events_;
};

class FakeOpener : public PageOpener {
public:
    explicit FakeOpener(Events& events) : events_(events) {}
    int open(const char* address) override {
        events_.push_back(std::string("open ") + address);
        return error;
    }
    int error = 0;

private:
    Events& events_;
};

class PopupControllerTest : public ::testing::Test {
protected:
    Events events;
    FakeHost host{events};
    FakeOpener opener{events};
    RecordingSink sink;
    ServiceLog log{sink};
    PopupController popup{host, opener, log};
    const PopupTexts texts{u"Halvex", u"Bitte"};
    const std::string openPage = std::string("open ") + productPageAddress;
};

TEST_F(PopupControllerTest, ShowsTheBalloonAndGivesItSixtySeconds) {
    popup.start(texts);
    EXPECT_EQ(events, (Events{"icon", "balloon Bitte", "timer 60000"}));
}

TEST_F(PopupControllerTest, AClickOnTheBalloonOpensThePageOnceAndCloses) {
    popup.start(texts);
    events.clear();
    popup.onIconEvent(trayMessage::balloonUserClick);
    popup.onIconEvent(trayMessage::balloonUserClick);
    popup.onTimeUp();
    EXPECT_EQ(events, (Events{openPage, "close", "stop timer", "close"}));
    EXPECT_EQ(sink.text(), "Quellane product webpage started\n");
}

TEST_F(PopupControllerTest, OtherIconEventsAreIgnoredAndTheTimeEndsThePopup) {
    popup.start(texts);
    events.clear();
    for (auto notification : {trayMessage::lButtonDblClk, trayMessage::rButtonUp, trayMessage::balloonTimeout,
                              trayMessage::balloonHide, trayMessage::select}) {
        popup.onIconEvent(notification);
    }
    EXPECT_TRUE(events.empty());
    popup.onTimeUp();
    EXPECT_EQ(events, (Events{"stop timer", "close"}));
    // A click that the desktop delivers after the close was asked for is late.
    popup.onIconEvent(trayMessage::balloonUserClick);
    EXPECT_EQ(events.size(), 2u);
}

TEST_F(PopupControllerTest, WithoutAnIconThereIsNoBalloonButThePopupStillEnds) {
    host.iconTaken = false;
    popup.start(texts);
    EXPECT_EQ(events, (Events{"icon", "timer 60000"}));
}

TEST_F(PopupControllerTest, APageThatCannotOpenIsLoggedAndThePopupClosesAllTheSame) {
    opener.error = 2;
    popup.start(texts);
    popup.onIconEvent(trayMessage::balloonUserClick);
    EXPECT_EQ(events.back(), "close");
    EXPECT_EQ(sink.text(), "Error creating launching product webpage, rc: 2\n");
}

} // namespace
} // namespace obx::test
