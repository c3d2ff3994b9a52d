#include "platform/linux/x11/XftMenuCanvas.h"

#include <pango/pangoxft.h>

namespace obx::x11 {

XftMenuCanvas::XftMenuCanvas(Display* display, int screen, Drawable target)
    : display_(display), screen_(screen), draw_(XftDrawCreate(display, target, DefaultVisual(display, screen),
                                                              DefaultColormap(display, screen))) {}

XftMenuCanvas::~XftMenuCanvas() {
    for (auto& each : colours_) {
        XftColorFree(display_, DefaultVisual(display_, screen_), DefaultColormap(display_, screen_),
                     &each.colour);
    }
    XftDrawDestroy(draw_);
}

PangoFontMap* XftMenuCanvas::fonts() const {
    return pango_xft_get_font_map(display_, screen_);
}

XftColor& XftMenuCanvas::allocated(const menu::MenuColour& colour) {
    for (auto& each : colours_) {
        if (each.value.red == colour.red && each.value.green == colour.green &&
            each.value.blue == colour.blue) {
            return each.colour;
        }
    }
    // 8 bits to X's 16: 0xAB becomes 0xABAB.
    const XRenderColor value{static_cast<unsigned short>(colour.red * 257),
                             static_cast<unsigned short>(colour.green * 257),
                             static_cast<unsigned short>(colour.blue * 257), 0xFFFF};
    Allocated added{colour, {}};
    XftColorAllocValue(display_, DefaultVisual(display_, screen_), DefaultColormap(display_, screen_), &value,
                       &added.colour);
    colours_.push_back(added);
    return colours_.back().colour;
}

void XftMenuCanvas::fill(const menu::MenuColour& colour, int x, int y, int width, int height) {
    XftDrawRect(draw_, &allocated(colour), x, y, static_cast<unsigned>(width), static_cast<unsigned>(height));
}

void XftMenuCanvas::caption(const menu::MenuColour& colour, const menu::PlacedCaption& caption) {
    pango_xft_render_layout(draw_, &allocated(colour), caption.layout, caption.x, caption.y);
}

} // namespace obx::x11
