#include "actions/SnippetMenuEntries.h"

#include <gtest/gtest.h>

namespace obx {
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

} // namespace
} // namespace obx
