#pragma once

// The snippet menu's text: one font family at the screen's Xft.dpi, with
// fontconfig's fallback order for every character the first font lacks, so
// that each script an installed font covers is drawn (emoji too, where a
// font has them) instead of a missing-glyph box.

#include <X11/Xft/Xft.h>
#include <string>
#include <unordered_map>
#include <vector>

namespace obx::x11 {

// The size of the menu's text.
inline constexpr double menuTextPoints = 10.0;

// Xft.dpi of the screen's resources as they are now (a change made after the
// helper connected counts); 96 when unset or unreadable.
double screenDpi(Display* display);

class MenuFonts {
public:
    // points at dpi; bold for headings. Throws std::runtime_error when no
    // font at all can be opened.
    MenuFonts(Display* display, int screen, double points, double dpi, bool bold);
    ~MenuFonts();
    MenuFonts(const MenuFonts&) = delete;
    MenuFonts& operator=(const MenuFonts&) = delete;

    // The first font in fallback order that has the character; the first
    // font when none has it (it then draws its missing-glyph box).
    XftFont* fontFor(char32_t c);
    // Whether any installed font in the fallback order has the character.
    bool covers(char32_t c);

    int ascent() const { return primary_->ascent; }
    int height() const { return primary_->ascent + primary_->descent; }

    int width(const std::string& utf8);
    // Draws left to right from x on the baseline, each run of characters in
    // the font that has them.
    void draw(XftDraw* target, const XftColor& color, int x, int baseline, const std::string& utf8);

private:
    struct Run {
        XftFont* font;
        std::u32string text;
    };
    std::vector<Run> runs(const std::string& utf8);
    int runWidth(const Run& run) const;
    // -1 when no font of the order has it.
    int indexFor(char32_t c);
    XftFont* open(int index);

    Display* display_;
    FcPattern* pattern_ = nullptr;
    FcFontSet* order_ = nullptr;
    std::vector<XftFont*> opened_;
    std::unordered_map<char32_t, int> chosen_;
    XftFont* primary_ = nullptr;
};

} // namespace obx::x11
