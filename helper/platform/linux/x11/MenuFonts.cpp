#include "platform/linux/x11/MenuFonts.h"

#include "platform/linux/x11/TypingPlan.h"

#include <X11/Xatom.h>
#include <X11/Xresource.h>
#include <cstdlib>
#include <stdexcept>

namespace obx::x11 {

namespace {

constexpr double defaultDpi = 96.0;
// Text shown byte by byte when it is no UTF-8: a caption is never dropped.
std::u32string codePointsOf(const std::string& text) {
    if (auto decoded = decodeUtf8(text)) {
        return std::move(*decoded);
    }
    std::u32string bytes;
    for (unsigned char c : text) {
        bytes.push_back(c);
    }
    return bytes;
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

MenuFonts::MenuFonts(Display* display, int screen, double points, double dpi, bool bold) : display_(display) {
    pattern_ = FcPatternCreate();
    FcPatternAddString(pattern_, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
    FcPatternAddDouble(pattern_, FC_SIZE, points);
    FcPatternAddDouble(pattern_, FC_DPI, dpi);
    FcPatternAddInteger(pattern_, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcConfigSubstitute(nullptr, pattern_, FcMatchPattern);
    XftDefaultSubstitute(display, screen, pattern_);
    FcResult result = FcResultNoMatch;
    // Trimmed: a later font stays in the order only when it adds characters.
    order_ = FcFontSort(nullptr, pattern_, FcTrue, nullptr, &result);
    if (order_) {
        opened_.assign(static_cast<std::size_t>(order_->nfont), nullptr);
        primary_ = order_->nfont > 0 ? open(0) : nullptr;
    }
    if (!primary_) {
        primary_ = XftFontOpenName(display, screen, "fixed");
    }
    if (!primary_) {
        if (order_) {
            FcFontSetDestroy(order_);
        }
        FcPatternDestroy(pattern_);
        throw std::runtime_error("no font to draw the menu");
    }
}

MenuFonts::~MenuFonts() {
    bool primaryOpened = false;
    for (XftFont* font : opened_) {
        if (font) {
            primaryOpened = primaryOpened || font == primary_;
            XftFontClose(display_, font);
        }
    }
    if (!primaryOpened) {
        XftFontClose(display_, primary_);
    }
    if (order_) {
        FcFontSetDestroy(order_);
    }
    FcPatternDestroy(pattern_);
}

XftFont* MenuFonts::open(int index) {
    auto& slot = opened_[static_cast<std::size_t>(index)];
    if (!slot) {
        // The match carries the requested size and dpi into the chosen font.
        if (FcPattern* prepared = FcFontRenderPrepare(nullptr, pattern_, order_->fonts[index])) {
            // Xft takes the pattern over when it opens the font.
            slot = XftFontOpenPattern(display_, prepared);
            if (!slot) {
                FcPatternDestroy(prepared);
            }
        }
    }
    return slot;
}

int MenuFonts::indexFor(char32_t c) {
    if (auto known = chosen_.find(c); known != chosen_.end()) {
        return known->second;
    }
    int found = -1;
    for (int i = 0; order_ && i < order_->nfont && found < 0; ++i) {
        FcCharSet* charset = nullptr;
        if (FcPatternGetCharSet(order_->fonts[i], FC_CHARSET, 0, &charset) == FcResultMatch &&
            FcCharSetHasChar(charset, c) && open(i)) {
            found = i;
        }
    }
    chosen_.emplace(c, found);
    return found;
}

bool MenuFonts::covers(char32_t c) {
    return indexFor(c) >= 0;
}

XftFont* MenuFonts::fontFor(char32_t c) {
    const int index = indexFor(c);
    return index < 0 ? primary_ : opened_[static_cast<std::size_t>(index)];
}

std::vector<MenuFonts::Run> MenuFonts::runs(const std::string& utf8) {
    std::vector<Run> result;
    for (char32_t c : codePointsOf(utf8)) {
        XftFont* font = fontFor(c);
        if (result.empty() || result.back().font != font) {
            result.push_back({font, {}});
        }
        result.back().text.push_back(c);
    }
    return result;
}

int MenuFonts::runWidth(const Run& run) const {
    XGlyphInfo extents{};
    XftTextExtents32(display_, run.font, reinterpret_cast<const FcChar32*>(run.text.data()),
                     static_cast<int>(run.text.size()), &extents);
    return extents.xOff;
}

int MenuFonts::width(const std::string& utf8) {
    int total = 0;
    for (const auto& run : runs(utf8)) {
        total += runWidth(run);
    }
    return total;
}

void MenuFonts::draw(XftDraw* target, const XftColor& color, int x, int baseline, const std::string& utf8) {
    for (const auto& run : runs(utf8)) {
        XftDrawString32(target, &color, run.font, x, baseline,
                        reinterpret_cast<const FcChar32*>(run.text.data()),
                        static_cast<int>(run.text.size()));
        x += runWidth(run);
    }
}

} // namespace obx::x11
