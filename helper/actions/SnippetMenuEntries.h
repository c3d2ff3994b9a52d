#pragma once

// What the snippet menu offers: its title and one entry per snippet, with the
// caption every desktop's menu shows for it.

#include <cstddef>
#include <string>
#include <vector>

namespace obx {

inline constexpr const char* snippetMenuTitle = "Quellane";
inline constexpr std::size_t captionLimit = 128;

struct SnippetMenuEntry {
    std::string caption;
    std::string content;
};

// The first captionLimit bytes followed by "..." when the caption is longer;
// the cut moves back to the start of a character that it would split.
std::string menuCaption(const std::string& caption);

// One entry per non-empty content, in order, captioned by its label or, when
// that is empty, by the content.
std::vector<SnippetMenuEntry> snippetMenuEntries(const std::vector<std::string>& contents,
                                                 const std::vector<std::string>& labels);

} // namespace obx
