#include "base/StatusNotices.h"

#include <gtest/gtest.h>

namespace obx {
namespace {

TEST(StatusNoticesTest, KeepsOneNoticePerSourceInOrderAndCallsTheListenerOnlyOnChange) {
    StatusNotices notices;
    int calls = 0;
    notices.setListener([&] { ++calls; });
    notices.set("gnome", "off");
    notices.set("driver", "missing");
    notices.set("gnome", "off");
    notices.set("gnome", "out of date");
    notices.clear("absent");
    ASSERT_EQ(notices.notices().size(), 2u);
    EXPECT_EQ(notices.notices()[0].source, "gnome");
    EXPECT_EQ(notices.notices()[0].text, "out of date");
    notices.clear("gnome");
    ASSERT_EQ(notices.notices().size(), 1u);
    EXPECT_EQ(notices.notices()[0].source, "driver");
    EXPECT_EQ(calls, 4);
    notices.setListener({});
    notices.set("x", "y");
    EXPECT_EQ(calls, 4);
}

TEST(StatusNoticesTest, BoundsSourcesAndCutsTextsOnACharacterBoundary) {
    StatusNotices notices;
    for (std::size_t i = 0; i < StatusNotices::sourceLimit + 3; ++i) {
        notices.set("source" + std::to_string(i), "text");
    }
    EXPECT_EQ(notices.notices().size(), StatusNotices::sourceLimit);
    StatusNotices texts;
    // "é" is two bytes: one more than the limit must not leave half of it.
    texts.set("long", std::string(StatusNotices::textLimit - 1, 'a') + "é");
    EXPECT_EQ(texts.notices()[0].text, std::string(StatusNotices::textLimit - 1, 'a'));
}

} // namespace
} // namespace obx
