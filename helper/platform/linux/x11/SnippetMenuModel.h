#pragma once

// What the snippet menu shows and how its keyboard moves between entries.
// Pure logic; PopupMenu draws it.

#include <cstddef>
#include <string>
#include <vector>

namespace obx::x11 {

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

// The highlighted entry, moved as a menu moves it: the first step down from
// nothing reaches the first entry, up the last, and both wrap around.
class MenuHighlight {
public:
    explicit MenuHighlight(std::size_t count) : count_(count) {}

    void next();
    void previous();
    void first();
    void last();
    void set(int index);
    // -1: none.
    int index() const { return index_; }

private:
    std::size_t count_;
    int index_ = -1;
};

} // namespace obx::x11
