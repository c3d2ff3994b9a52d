#include "platform/linux/x11/PopupMenu.h"

#include "base/Log.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <algorithm>
#include <chrono>
#include <thread>

namespace obx::x11 {

namespace {

// Sizes at 96 dpi, scaled with the screen's.
constexpr int basePadding = 8;
constexpr int baseSeparatorHeight = 9;
constexpr int baseMinimumWidth = 120;
constexpr int grabAttempts = 200;
constexpr auto grabRetryPause = std::chrono::milliseconds(10);

int scaled(int pixels, double dpi) {
    return std::max(1, static_cast<int>(pixels * dpi / 96.0 + 0.5));
}

} // namespace

struct PopupMenu::Colours {
    Display* display;
    Visual* visual;
    Colormap colormap;
    XftColor text{}, highlightText{}, highlight{}, headingBand{}, separator{};

    Colours(Display* d, int screen)
        : display(d), visual(DefaultVisual(d, screen)), colormap(DefaultColormap(d, screen)) {
        alloc(text, 0x0000, 0x0000, 0x0000);
        alloc(highlightText, 0xFFFF, 0xFFFF, 0xFFFF);
        alloc(highlight, 0x3400, 0x6500, 0xA400);
        alloc(headingBand, 0xE800, 0xE800, 0xE800);
        alloc(separator, 0x9000, 0x9000, 0x9000);
    }
    ~Colours() {
        for (XftColor* colour : {&text, &highlightText, &highlight, &headingBand, &separator}) {
            XftColorFree(display, visual, colormap, colour);
        }
    }
    void alloc(XftColor& colour, unsigned short red, unsigned short green, unsigned short blue) {
        const XRenderColor value{red, green, blue, 0xFFFF};
        XftColorAllocValue(display, visual, colormap, &value, &colour);
    }
};

PopupMenu::PopupMenu(Display* display, const std::vector<SnippetMenuEntry>& entries)
    : display_(display), entries_(entries), highlight_(entries.size()) {
    const int screen = DefaultScreen(display_);
    const double dpi = screenDpi(display_);
    text_ = std::make_unique<MenuText>(display_, screen, menuTextPoints, dpi, false);
    heading_ = std::make_unique<MenuText>(display_, screen, menuTextPoints, dpi, true);
    padding_ = scaled(basePadding, dpi);
    separatorHeight_ = scaled(baseSeparatorHeight, dpi);
    rowHeight_ = text_->height() + padding_ / 2;
    headingHeight_ = heading_->height() + padding_ / 2;
    width_ = std::max(scaled(baseMinimumWidth, dpi), heading_->width(snippetMenuTitle));
    for (const auto& entry : entries_) {
        width_ = std::max(width_, text_->width(entry.caption));
        if (const int missing = text_->missingGlyphs(entry.caption); missing > 0) {
            log(LogLevel::warning, "PopupMenu - no installed font has ", missing,
                " character(s) of the caption \"", entry.caption, "\"; they show as boxes");
        }
    }
    width_ += 2 * padding_;
    height_ = headingHeight_ + rowHeight_ * static_cast<int>(entries_.size()) + separatorHeight_ + 2;

    Window root = DefaultRootWindow(display_);
    Window child;
    int x = 0, y = 0, windowX, windowY;
    unsigned mask;
    XQueryPointer(display_, root, &root, &child, &x, &y, &windowX, &windowY, &mask);
    // Keep the whole menu on the screen, as close to the pointer as fits.
    x = std::max(0, std::min(x, DisplayWidth(display_, screen) - width_));
    y = std::max(0, std::min(y, DisplayHeight(display_, screen) - height_));

    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = WhitePixel(display_, screen);
    attributes.border_pixel = BlackPixel(display_, screen);
    attributes.event_mask =
        ExposureMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask;
    window_ = XCreateWindow(display_, root, x, y, static_cast<unsigned>(width_),
                            static_cast<unsigned>(height_), 1, CopyFromParent, InputOutput, CopyFromParent,
                            CWOverrideRedirect | CWBackPixel | CWBorderPixel | CWEventMask, &attributes);
    XStoreName(display_, window_, snippetMenuTitle);
    colours_ = std::make_unique<Colours>(display_, screen);
    draw_ =
        XftDrawCreate(display_, window_, DefaultVisual(display_, screen), DefaultColormap(display_, screen));
    XMapRaised(display_, window_);
    XSync(display_, False);
}

PopupMenu::~PopupMenu() {
    if (window_ != None) {
        XUngrabPointer(display_, CurrentTime);
        XUngrabKeyboard(display_, CurrentTime);
        XftDrawDestroy(draw_);
        colours_.reset();
        XDestroyWindow(display_, window_);
    }
    heading_.reset();
    text_.reset();
    XSync(display_, False);
}

std::optional<std::size_t> PopupMenu::run() {
    if (window_ == None) {
        return std::nullopt;
    }
    if (!grabInput()) {
        log(LogLevel::error, "PopupMenu::run - the keyboard or the pointer is held by another client");
        return std::nullopt;
    }
    Outcome outcome;
    while (!outcome.done) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.xany.window != window_) {
            continue;
        }
        switch (event.type) {
        case Expose:
            if (event.xexpose.count == 0) {
                draw();
            }
            break;
        case MotionNotify:
            highlight_.set(entryAt(event.xmotion.x, event.xmotion.y));
            draw();
            break;
        case KeyPress:
            outcome = onKey(event.xkey);
            break;
        case ButtonPress:
        case ButtonRelease:
            outcome = onButton(event.xbutton);
            break;
        default:
            break;
        }
    }
    return outcome.chosen;
}

bool PopupMenu::grabInput() const {
    // The button or key that opened the menu may still hold a grab for a
    // moment.
    for (int attempt = 0; attempt < grabAttempts; ++attempt) {
        const int keyboard =
            XGrabKeyboard(display_, window_, False, GrabModeAsync, GrabModeAsync, CurrentTime);
        if (keyboard == GrabSuccess) {
            const int pointer = XGrabPointer(display_, window_, False,
                                             ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                                             GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
            if (pointer == GrabSuccess) {
                return true;
            }
            XUngrabKeyboard(display_, CurrentTime);
        }
        std::this_thread::sleep_for(grabRetryPause);
    }
    return false;
}

void PopupMenu::draw() const {
    XClearWindow(display_, window_);
    // The title is a heading on a band of its own, never highlighted.
    XftDrawRect(draw_, &colours_->headingBand, 0, 0, static_cast<unsigned>(width_),
                static_cast<unsigned>(headingHeight_));
    const int textWidth = width_ - 2 * padding_;
    heading_->draw(draw_, colours_->text, padding_, padding_ / 4 + heading_->ascent(), textWidth,
                   snippetMenuTitle);
    const int separatorY = headingHeight_ + separatorHeight_ / 2;
    XftDrawRect(draw_, &colours_->separator, padding_ / 2, separatorY,
                static_cast<unsigned>(width_ - padding_), 1);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const int y = headingHeight_ + separatorHeight_ + rowHeight_ * static_cast<int>(i);
        const bool highlighted = static_cast<int>(i) == highlight_.index();
        if (highlighted) {
            XftDrawRect(draw_, &colours_->highlight, 0, y, static_cast<unsigned>(width_),
                        static_cast<unsigned>(rowHeight_));
        }
        text_->draw(draw_, highlighted ? colours_->highlightText : colours_->text, padding_,
                    y + padding_ / 4 + text_->ascent(), textWidth, entries_[i].caption);
    }
    XFlush(display_);
}

int PopupMenu::entryAt(int x, int y) const {
    const int top = headingHeight_ + separatorHeight_;
    if (x < 0 || x >= width_ || y < top) {
        return -1;
    }
    const int row = (y - top) / rowHeight_;
    return row < static_cast<int>(entries_.size()) ? row : -1;
}

PopupMenu::Outcome PopupMenu::onKey(XKeyEvent& event) {
    switch (XLookupKeysym(&event, 0)) {
    case XK_Escape:
        return {true, std::nullopt};
    case XK_Return:
    case XK_KP_Enter:
    case XK_space:
        if (highlight_.index() < 0) {
            return {true, std::nullopt};
        }
        return {true, static_cast<std::size_t>(highlight_.index())};
    case XK_Down:
    case XK_KP_Down:
        highlight_.next();
        break;
    case XK_Up:
    case XK_KP_Up:
        highlight_.previous();
        break;
    case XK_Home:
        highlight_.first();
        break;
    case XK_End:
        highlight_.last();
        break;
    default:
        return {};
    }
    draw();
    return {};
}

PopupMenu::Outcome PopupMenu::onButton(const XButtonEvent& event) {
    if (event.button > Button3) {
        return {};
    }
    const bool inside = event.x >= 0 && event.y >= 0 && event.x < width_ && event.y < height_;
    if (event.type == ButtonPress) {
        if (!inside) {
            return {true, std::nullopt};
        }
        pressedInside_ = true;
        return {};
    }
    // Only a click made in the menu chooses: the release of the click that
    // opened it does not.
    const int entry = entryAt(event.x, event.y);
    if (!pressedInside_ || entry < 0) {
        return {};
    }
    return {true, static_cast<std::size_t>(entry)};
}

} // namespace obx::x11
