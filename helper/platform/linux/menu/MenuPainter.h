#pragma once

// The snippet menu's look, painted the same way on every display system: a
// canvas of the display system's own fills rectangles and draws captions.

#include "platform/linux/menu/MenuGeometry.h"

#include <cstdint>

namespace obx::menu {

struct MenuColour {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
};

namespace colours {
inline constexpr MenuColour background{0xFF, 0xFF, 0xFF};
inline constexpr MenuColour border{0x00, 0x00, 0x00};
inline constexpr MenuColour text{0x00, 0x00, 0x00};
inline constexpr MenuColour highlightText{0xFF, 0xFF, 0xFF};
inline constexpr MenuColour highlight{0x34, 0x65, 0xA4};
inline constexpr MenuColour headingBand{0xE8, 0xE8, 0xE8};
inline constexpr MenuColour separator{0x90, 0x90, 0x90};
} // namespace colours

class MenuCanvas {
public:
    virtual ~MenuCanvas() = default;
    virtual void fill(const MenuColour& colour, int x, int y, int width, int height) = 0;
    virtual void caption(const MenuColour& colour, const PlacedCaption& caption) = 0;
};

// The whole menu, background included, with its top-left corner at the
// canvas's origin; highlighted: the entry shown highlighted, -1 for none.
void paintMenu(MenuCanvas& canvas, const MenuGeometry& geometry, MenuTexts& texts,
               const std::vector<SnippetMenuEntry>& entries, int highlighted);

} // namespace obx::menu
