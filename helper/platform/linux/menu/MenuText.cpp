#include "platform/linux/menu/MenuText.h"

namespace obx::menu {

namespace {

// Pango takes only UTF-8: other text is shown byte by byte, each byte as the
// character of that number, so that a caption is never dropped.
std::string displayable(const std::string& text) {
    if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) {
        return text;
    }
    std::string converted;
    for (unsigned char byte : text) {
        if (byte < 0x80) {
            converted += static_cast<char>(byte);
        } else {
            converted += static_cast<char>(0xC0 | (byte >> 6));
            converted += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return converted;
}

int pixels(int pangoUnits) {
    return PANGO_PIXELS_CEIL(pangoUnits);
}

} // namespace

struct MenuText::Layout {
    PangoContext* context = nullptr;
    PangoFontDescription* font = nullptr;
    PangoLayout* layout = nullptr;

    ~Layout() {
        if (layout) {
            g_object_unref(layout);
        }
        if (font) {
            pango_font_description_free(font);
        }
        if (context) {
            g_object_unref(context);
        }
    }
};

MenuText::MenuText(PangoFontMap* fonts, double points, double dpi, bool bold)
    : layout_(std::make_unique<Layout>()) {
    layout_->context = pango_font_map_create_context(fonts);
    layout_->font = pango_font_description_from_string("sans-serif");
    pango_font_description_set_weight(layout_->font, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    // Sized in pixels, so that the resolution the caller names counts rather
    // than the one the font map was made with.
    pango_font_description_set_absolute_size(layout_->font, points * dpi / 72.0 * PANGO_SCALE);
    layout_->layout = pango_layout_new(layout_->context);
    pango_layout_set_font_description(layout_->layout, layout_->font);
    pango_layout_set_single_paragraph_mode(layout_->layout, TRUE);
    PangoFontMetrics* metrics = pango_context_get_metrics(layout_->context, layout_->font, nullptr);
    ascent_ = pixels(pango_font_metrics_get_ascent(metrics));
    descent_ = pixels(pango_font_metrics_get_descent(metrics));
    pango_font_metrics_unref(metrics);
}

MenuText::~MenuText() = default;

PangoLayout* MenuText::laidOut(const std::string& utf8, int width) {
    const auto text = displayable(utf8);
    pango_layout_set_text(layout_->layout, text.data(), static_cast<int>(text.size()));
    // With a width, a right-to-left paragraph's left alignment becomes right.
    pango_layout_set_width(layout_->layout, width < 0 ? -1 : width * PANGO_SCALE);
    return layout_->layout;
}

int MenuText::width(const std::string& utf8) {
    PangoRectangle logical{};
    pango_layout_get_pixel_extents(laidOut(utf8, -1), nullptr, &logical);
    return logical.width;
}

int MenuText::missingGlyphs(const std::string& utf8) {
    return pango_layout_get_unknown_glyphs_count(laidOut(utf8, -1));
}

PlacedCaption MenuText::place(const std::string& utf8, int x, int baseline, int width) {
    PangoLayout* layout = laidOut(utf8, width);
    return {layout, x * PANGO_SCALE, baseline * PANGO_SCALE - pango_layout_get_baseline(layout)};
}

} // namespace obx::menu
