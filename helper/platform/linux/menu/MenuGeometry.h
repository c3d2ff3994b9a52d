#pragma once

// Where the snippet menu's parts go: the title on a band of its own, a
// separator, one row per entry; sizes follow the text and the resolution.
// Coordinates are the menu's own, its top-left corner at 0, 0.

#include "actions/SnippetMenuEntries.h"
#include "platform/linux/menu/MenuText.h"

#include <pango/pango.h>
#include <vector>

namespace obx::menu {

// The title's and the entries' text at one resolution.
struct MenuTexts {
    MenuTexts(PangoFontMap* fonts, double dpi)
        : heading(fonts, menuTextPoints, dpi, true), entries(fonts, menuTextPoints, dpi, false) {}

    MenuText heading;
    MenuText entries;
};

class MenuGeometry {
public:
    // Measures the title and the captions; a caption with characters that no
    // installed font has is logged once here.
    MenuGeometry(MenuTexts& texts, const std::vector<SnippetMenuEntry>& entries, double dpi);

    int width() const { return width_; }
    int height() const { return height_; }
    int padding() const { return padding_; }
    int headingHeight() const { return headingHeight_; }
    int separatorY() const { return headingHeight_ + separatorHeight_ / 2; }
    int rowHeight() const { return rowHeight_; }
    int rowTop(std::size_t row) const;

    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
    // The entry at the point; -1 for the title, the separator and outside.
    int entryAt(int x, int y) const;

private:
    std::size_t count_;
    int padding_;
    int separatorHeight_;
    int headingHeight_;
    int rowHeight_;
    int width_;
    int height_;
};

} // namespace obx::menu
