#pragma once

// The snippet menu painted with cairo, its captions through pangocairo.

#include "platform/linux/menu/MenuPainter.h"

#include <cairo.h>

namespace obx::menu {

class CairoMenuCanvas : public MenuCanvas {
public:
    explicit CairoMenuCanvas(cairo_t* cairo) : cairo_(cairo) {}

    void fill(const MenuColour& colour, int x, int y, int width, int height) override;
    void caption(const MenuColour& colour, const PlacedCaption& caption) override;

private:
    void use(const MenuColour& colour);

    cairo_t* cairo_;
};

} // namespace obx::menu
