#pragma once

// The snippet menu's text, laid out by Pango: HarfBuzz shapes every script
// (Arabic letters join, Indic clusters form), the bidirectional algorithm
// orders mixed captions, and fontconfig's fallback finds a font for each
// character the first font lacks. The font map decides how it is drawn (Xft
// on X11, cairo on Wayland); the layout rules are the same for both.

#include <memory>
#include <pango/pango.h>
#include <string>

namespace obx::menu {

// The size of the menu's text.
inline constexpr double menuTextPoints = 10.0;
// The resolution a menu is laid out at where the desktop names none.
inline constexpr double defaultDpi = 96.0;

// A caption ready to be drawn: its layout and where the layout's top-left
// corner goes, in Pango units.
struct PlacedCaption {
    PangoLayout* layout;
    int x;
    int y;
};

class MenuText {
public:
    // points at dpi; bold for headings. The font map must outlive the text.
    MenuText(PangoFontMap* fonts, double points, double dpi, bool bold);
    ~MenuText();
    MenuText(const MenuText&) = delete;
    MenuText& operator=(const MenuText&) = delete;

    int ascent() const { return ascent_; }
    int height() const { return ascent_ + descent_; }

    // The caption's advance in pixels, as laid out on one line.
    int width(const std::string& utf8);
    // Characters of the caption that no installed font has: they are drawn as
    // boxes showing their code.
    int missingGlyphs(const std::string& utf8);
    // The caption laid out on the baseline within [x, x + width): a caption
    // whose first strong character is left-to-right starts at x, a
    // right-to-left one ends at x + width, as menus of those scripts read.
    // Valid until the next call.
    PlacedCaption place(const std::string& utf8, int x, int baseline, int width);

private:
    struct Layout;
    PangoLayout* laidOut(const std::string& utf8, int width);

    std::unique_ptr<Layout> layout_;
    int ascent_ = 0;
    int descent_ = 0;
};

} // namespace obx::menu
