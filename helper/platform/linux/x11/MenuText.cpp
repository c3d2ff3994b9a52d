#include "platform/linux/x11/MenuText.h"

#include <X11/Xatom.h>
#include <X11/Xresource.h>
#include <cstdlib>
#include <pango/pangoxft.h>

namespace obx::x11 {

namespace {

constexpr double defaultDpi = 96.0;
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

double screenDpi(Display* display) {
    // Read from the root window rather than from the connection's copy, which
    // was taken when the helper connected.
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    double dpi = defaultDpi;
    constexpr long longestResources = 1 << 20;
    if (XGetWindowProperty(display, DefaultRootWindow(display), XA_RESOURCE_MANAGER, 0, longestResources / 4,
                           False, XA_STRING, &type, &format, &count, &after, &data) == Success &&
        data && format == 8) {
        XrmInitialize();
        std::string text(reinterpret_cast<const char*>(data), count);
        if (XrmDatabase database = XrmGetStringDatabase(text.c_str())) {
            char* kind = nullptr;
            XrmValue value{};
            if (XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &kind, &value) && value.addr) {
                char* end = nullptr;
                const double read = std::strtod(value.addr, &end);
                // A few pixels per inch to far beyond any screen: anything
                // else is a typing error, not a display.
                if (end != value.addr && read >= 24.0 && read <= 960.0) {
                    dpi = read;
                }
            }
            XrmDestroyDatabase(database);
        }
    }
    if (data) {
        XFree(data);
    }
    return dpi;
}

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

MenuText::MenuText(Display* display, int screen, double points, double dpi, bool bold)
    : layout_(std::make_unique<Layout>()) {
    // The font map belongs to the display connection and goes with it.
    layout_->context = pango_font_map_create_context(pango_xft_get_font_map(display, screen));
    layout_->font = pango_font_description_from_string("sans-serif");
    pango_font_description_set_weight(layout_->font, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    // Sized in pixels here, so that the screen's Xft.dpi as it is now counts
    // rather than the one the font map read when the helper connected.
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

MenuText::Layout& MenuText::laidOut(const std::string& utf8, int width) {
    const auto text = displayable(utf8);
    pango_layout_set_text(layout_->layout, text.data(), static_cast<int>(text.size()));
    // With a width, a right-to-left paragraph's left alignment becomes right.
    pango_layout_set_width(layout_->layout, width < 0 ? -1 : width * PANGO_SCALE);
    return *layout_;
}

int MenuText::width(const std::string& utf8) {
    PangoRectangle logical{};
    pango_layout_get_pixel_extents(laidOut(utf8, -1).layout, nullptr, &logical);
    return logical.width;
}

int MenuText::missingGlyphs(const std::string& utf8) {
    return pango_layout_get_unknown_glyphs_count(laidOut(utf8, -1).layout);
}

void MenuText::draw(XftDraw* target, const XftColor& color, int x, int baseline, int width,
                    const std::string& utf8) {
    PangoLayout* layout = laidOut(utf8, width).layout;
    XftColor colour = color;
    pango_xft_render_layout(target, &colour, layout, x * PANGO_SCALE,
                            baseline * PANGO_SCALE - pango_layout_get_baseline(layout));
}

} // namespace obx::x11
