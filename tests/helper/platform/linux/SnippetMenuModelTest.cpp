#include "platform/linux/x11/SnippetMenuModel.h"

#include <gtest/gtest.h>

namespace obx::x11 {
namespace {

TEST(MenuHighlight, MovesAndWraps) {
    MenuHighlight down(3);
    EXPECT_EQ(down.index(), -1);
    down.next();
    EXPECT_EQ(down.index(), 0);
    down.next();
    down.next();
    down.next();
    EXPECT_EQ(down.index(), 0);
    down.previous();
    EXPECT_EQ(down.index(), 2);

    MenuHighlight up(3);
    up.previous();
    EXPECT_EQ(up.index(), 2);
    up.first();
    EXPECT_EQ(up.index(), 0);
    up.last();
    EXPECT_EQ(up.index(), 2);
    up.set(3);
    EXPECT_EQ(up.index(), -1);
    up.set(1);
    EXPECT_EQ(up.index(), 1);
}

TEST(MenuHighlight, EmptyMenuHighlightsNothing) {
    MenuHighlight none(0);
    none.next();
    none.previous();
    none.first();
    none.last();
    EXPECT_EQ(none.index(), -1);
}

} // namespace
} // namespace obx::x11
