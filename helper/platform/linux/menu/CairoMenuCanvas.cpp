#include "platform/linux/menu/CairoMenuCanvas.h"

#include <pango/pangocairo.h>

namespace obx::menu {

void CairoMenuCanvas::use(const MenuColour& colour) {
    cairo_set_source_rgb(cairo_, colour.red / 255.0, colour.green / 255.0, colour.blue / 255.0);
}

void CairoMenuCanvas::fill(const MenuColour& colour, int x, int y, int width, int height) {
    use(colour);
    cairo_rectangle(cairo_, x, y, width, height);
    cairo_fill(cairo_);
}

void CairoMenuCanvas::caption(const MenuColour& colour, const PlacedCaption& caption) {
    use(colour);
    cairo_move_to(cairo_, static_cast<double>(caption.x) / PANGO_SCALE,
                  static_cast<double>(caption.y) / PANGO_SCALE);
    pango_cairo_show_layout(cairo_, caption.layout);
}

} // namespace obx::menu
