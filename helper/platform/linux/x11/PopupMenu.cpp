#include "platform/linux/x11/PopupMenu.h"

#include "base/Log.h"
#include "platform/linux/x11/TypingPlan.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <algorithm>
#include <chrono>
#include <thread>

namespace obx::x11 {

namespace {

constexpr int padding = 8;
constexpr int separatorHeight = 9;
constexpr int minimumWidth = 120;
constexpr int grabAttempts = 200;
constexpr auto grabRetryPause = std::chrono::milliseconds(10);

XFontStruct* loadFont(Display* display) {
    for (const char* name : {"-misc-fixed-medium-r-normal--13-*-*-*-*-*-iso10646-1", "fixed"}) {
        if (XFontStruct* font = XLoadQueryFont(display, name)) {
            return font;
        }
    }
    return nullptr;
}

// The font's two-byte characters for the text; what the font cannot show
// becomes a question mark, and text that is no UTF-8 is shown byte by byte.
std::vector<XChar2b> glyphs(const XFontStruct* font, const std::string& text) {
    std::u32string codePoints;
    if (auto decoded = decodeUtf8(text)) {
        codePoints = std::move(*decoded);
    } else {
        codePoints.assign(text.begin(), text.end());
        for (auto& c : codePoints) {
            c &= 0xFF;
        }
    }
    const bool twoByte = font->max_byte1 > 0;
    std::vector<XChar2b> result;
    for (char32_t c : codePoints) {
        if (c > 0xFFFF || (!twoByte && c > 0xFF)) {
            c = '?';
        }
        result.push_back({static_cast<unsigned char>(c >> 8), static_cast<unsigned char>(c & 0xFF)});
    }
    return result;
}

int textWidth(XFontStruct* font, const std::string& text) {
    auto chars = glyphs(font, text);
    return XTextWidth16(font, chars.data(), static_cast<int>(chars.size()));
}

} // namespace

PopupMenu::PopupMenu(Display* display, const std::vector<SnippetMenuEntry>& entries)
    : display_(display), entries_(entries), highlight_(entries.size()), font_(loadFont(display)) {
    if (!font_) {
        log(LogLevel::error, "PopupMenu - no font to draw the menu");
        return;
    }
    rowHeight_ = font_->ascent + font_->descent + padding / 2;
    width_ = std::max(minimumWidth, textWidth(font_, snippetMenuTitle));
    for (const auto& entry : entries_) {
        width_ = std::max(width_, textWidth(font_, entry.caption));
    }
    width_ += 2 * padding;
    height_ = rowHeight_ * (1 + static_cast<int>(entries_.size())) + separatorHeight + 2;

    const int screen = DefaultScreen(display_);
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
    gc_ = XCreateGC(display_, window_, 0, nullptr);
    XSetFont(display_, gc_, font_->fid);
    XMapRaised(display_, window_);
    XSync(display_, False);
}

PopupMenu::~PopupMenu() {
    if (window_ != None) {
        XUngrabPointer(display_, CurrentTime);
        XUngrabKeyboard(display_, CurrentTime);
        XFreeGC(display_, gc_);
        XDestroyWindow(display_, window_);
    }
    if (font_) {
        XFreeFont(display_, font_);
    }
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
    const int screen = DefaultScreen(display_);
    XClearWindow(display_, window_);
    drawText(snippetMenuTitle, -1, 0);
    const int separatorY = rowHeight_ + separatorHeight / 2;
    XSetForeground(display_, gc_, BlackPixel(display_, screen));
    XDrawLine(display_, window_, gc_, padding / 2, separatorY, width_ - padding / 2, separatorY);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        drawText(entries_[i].caption, static_cast<int>(i),
                 rowHeight_ * (1 + static_cast<int>(i)) + separatorHeight);
    }
    XFlush(display_);
}

void PopupMenu::drawText(const std::string& text, int row, int y) const {
    const int screen = DefaultScreen(display_);
    const bool highlighted = row >= 0 && row == highlight_.index();
    if (highlighted) {
        XSetForeground(display_, gc_, BlackPixel(display_, screen));
        XFillRectangle(display_, window_, gc_, 0, y, static_cast<unsigned>(width_),
                       static_cast<unsigned>(rowHeight_));
    }
    XSetForeground(display_, gc_, highlighted ? WhitePixel(display_, screen) : BlackPixel(display_, screen));
    auto chars = glyphs(font_, text);
    XDrawString16(display_, window_, gc_, padding, y + padding / 4 + font_->ascent, chars.data(),
                  static_cast<int>(chars.size()));
}

int PopupMenu::entryAt(int x, int y) const {
    const int top = rowHeight_ + separatorHeight;
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
