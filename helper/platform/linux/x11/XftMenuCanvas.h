#pragma once

// The snippet menu painted on an X drawable through Xft, its captions through
// pangoxft.

#include "platform/linux/menu/MenuPainter.h"

#include <X11/Xft/Xft.h>
#include <vector>

namespace obx::x11 {

class XftMenuCanvas : public menu::MenuCanvas {
public:
    XftMenuCanvas(Display* display, int screen, Drawable target);
    ~XftMenuCanvas() override;
    XftMenuCanvas(const XftMenuCanvas&) = delete;
    XftMenuCanvas& operator=(const XftMenuCanvas&) = delete;

    // The fonts that lay out text for this canvas; they belong to the display
    // connection.
    PangoFontMap* fonts() const;

    void fill(const menu::MenuColour& colour, int x, int y, int width, int height) override;
    void caption(const menu::MenuColour& colour, const menu::PlacedCaption& caption) override;

private:
    // The colour allocated once per canvas.
    XftColor& allocated(const menu::MenuColour& colour);

    Display* display_;
    int screen_;
    XftDraw* draw_;
    struct Allocated {
        menu::MenuColour value;
        XftColor colour;
    };
    std::vector<Allocated> colours_;
};

} // namespace obx::x11
