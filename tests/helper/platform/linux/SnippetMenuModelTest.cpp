#include "platform/linux/x11/SnippetMenuModel.h"

#include <gtest/gtest.h>

namespace obx::x11 {
namespace {

TEST(MenuCaption, CutAfter128Bytes) {
    const std::string exact(128, 'x');
    EXPECT_EQ(menuCaption(exact), exact);
    EXPECT_EQ(menuCaption(exact + "y"), exact + "...");
    EXPECT_EQ(menuCaption(""), "");
}

TEST(MenuCaption, NeverSplitsACharacter) {
    // 127 ASCII bytes and a two-byte letter straddle the limit.
    const std::string caption = std::string(127, 'x') + "é" + "tail";
    EXPECT_EQ(menuCaption(caption), std::string(127, 'x') + "...");
    // A four-byte emoji that ends exactly at the limit is kept whole.
    const std::string emoji = std::string(124, 'x') + "😀" + "z";
    EXPECT_EQ(menuCaption(emoji), std::string(124, 'x') + "😀...");
}

TEST(SnippetMenuEntries, EmptyContentsTakeNoEntryAndLabelsWin) {
    const auto entries = snippetMenuEntries({"", "second", "third", "fourth"}, {"label one", "", "Third!"});
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].caption, "second");
    EXPECT_EQ(entries[0].content, "second");
    EXPECT_EQ(entries[1].caption, "Third!");
    EXPECT_EQ(entries[1].content, "third");
    // No label at all for the last one: the content is the caption.
    EXPECT_EQ(entries[2].caption, "fourth");
    EXPECT_TRUE(snippetMenuEntries({"", ""}, {"a", "b"}).empty());
}

TEST(SnippetMenuEntries, LongCaptionsAreCutButContentsAreNot) {
    const std::string content(300, 'c');
    const auto entries = snippetMenuEntries({content}, {});
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].caption, std::string(128, 'c') + "...");
    EXPECT_EQ(entries[0].content, content);
}

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
