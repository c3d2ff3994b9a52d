#pragma once

// The snippet menu's text, laid out by Pango: HarfBuzz shapes every script
// (Arabic letters join, Indic clusters form), the bidirectional algorithm
// orders mixed captions, and fontconfig's fallback finds a font for each
// character the first font lacks. Drawn through Xft at the screen's Xft.dpi.

#include <X11/Xft/Xft.h>
#include <memory>
#include <string>

namespace obx::x11 {

// The size of the menu's text.
inline constexpr double menuTextPoints = 10.0;

// Xft.dpi of the screen's resources as they are now (a change made after the
// helper connected counts); 96 when unset or unreadable.
double screenDpi(Display* display);

class MenuText {
public:
    // points at dpi; bold for headings.
    MenuText(Display* display, int screen, double points, double dpi, bool bold);
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
    // Draws the caption on the baseline within [x, x + width): a caption whose
    // first strong character is left-to-right starts at x, a right-to-left one
    // ends at x + width, as menus of those scripts read.
    void draw(XftDraw* target, const XftColor& color, int x, int baseline, int width,
              const std::string& utf8);

private:
    struct Layout;
    Layout& laidOut(const std::string& utf8, int width);

    std::unique_ptr<Layout> layout_;
    int ascent_ = 0;
    int descent_ = 0;
};

} // namespace obx::x11
