#include "platform/linux/menu/MenuGeometry.h"

#include "base/Log.h"

#include <algorithm>

namespace obx::menu {

namespace {

// Sizes at 96 dpi, scaled with the resolution.
constexpr int basePadding = 8;
constexpr int baseSeparatorHeight = 9;
constexpr int baseMinimumWidth = 120;

int scaled(int pixels, double dpi) {
    return std::max(1, static_cast<int>(pixels * dpi / defaultDpi + 0.5));
}

} // namespace

MenuGeometry::MenuGeometry(MenuTexts& texts, const std::vector<SnippetMenuEntry>& entries, double dpi)
    : count_(entries.size()), padding_(scaled(basePadding, dpi)),
      separatorHeight_(scaled(baseSeparatorHeight, dpi)),
      headingHeight_(texts.heading.height() + padding_ / 2),
      rowHeight_(texts.entries.height() + padding_ / 2) {
    width_ = std::max(scaled(baseMinimumWidth, dpi), texts.heading.width(snippetMenuTitle));
    for (const auto& entry : entries) {
        width_ = std::max(width_, texts.entries.width(entry.caption));
        if (const int missing = texts.entries.missingGlyphs(entry.caption); missing > 0) {
            log(LogLevel::warning, "Snippet menu - no installed font has ", missing,
                " character(s) of the caption \"", entry.caption, "\"; they show as boxes");
        }
    }
    width_ += 2 * padding_;
    height_ = headingHeight_ + rowHeight_ * static_cast<int>(count_) + separatorHeight_ + 2;
}

int MenuGeometry::rowTop(std::size_t row) const {
    return headingHeight_ + separatorHeight_ + rowHeight_ * static_cast<int>(row);
}

int MenuGeometry::entryAt(int x, int y) const {
    const int top = rowTop(0);
    if (x < 0 || x >= width_ || y < top) {
        return -1;
    }
    const int row = (y - top) / rowHeight_;
    return row < static_cast<int>(count_) ? row : -1;
}

} // namespace obx::menu
