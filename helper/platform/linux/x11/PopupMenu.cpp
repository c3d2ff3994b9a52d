#include "platform/linux/x11/PopupMenu.h"

#include "base/Log.h"
#include "platform/linux/x11/ScreenDpi.h"

#include <X11/Xutil.h>
#include <algorithm>
#include <chrono>
#include <thread>

namespace obx::x11 {

namespace {

constexpr int grabAttempts = 200;
constexpr auto grabRetryPause = std::chrono::milliseconds(10);

} // namespace

PopupMenu::PopupMenu(Display* display, const std::vector<SnippetMenuEntry>& entries)
    : display_(display), entries_(entries) {
    const int screen = DefaultScreen(display_);
    Window root = DefaultRootWindow(display_);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = WhitePixel(display_, screen);
    attributes.border_pixel = BlackPixel(display_, screen);
    attributes.event_mask =
        ExposureMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask;
    // Made at once and sized below, so that the canvas's fonts lay out the text.
    window_ = XCreateWindow(display_, root, 0, 0, 1, 1, 1, CopyFromParent, InputOutput, CopyFromParent,
                            CWOverrideRedirect | CWBackPixel | CWBorderPixel | CWEventMask, &attributes);
    XStoreName(display_, window_, snippetMenuTitle);
    canvas_ = std::make_unique<XftMenuCanvas>(display_, screen, window_);
    const double dpi = screenDpi(display_);
    texts_ = std::make_unique<menu::MenuTexts>(canvas_->fonts(), dpi);
    geometry_ = std::make_unique<menu::MenuGeometry>(*texts_, entries_, dpi);
    interaction_ = std::make_unique<menu::MenuInteraction>(*geometry_, entries_.size());

    Window child;
    int x = 0, y = 0, windowX, windowY;
    unsigned mask;
    XQueryPointer(display_, root, &root, &child, &x, &y, &windowX, &windowY, &mask);
    // Keep the whole menu on the screen, as close to the pointer as fits.
    x = std::max(0, std::min(x, DisplayWidth(display_, screen) - geometry_->width()));
    y = std::max(0, std::min(y, DisplayHeight(display_, screen) - geometry_->height()));
    XMoveResizeWindow(display_, window_, x, y, static_cast<unsigned>(geometry_->width()),
                      static_cast<unsigned>(geometry_->height()));
    XMapRaised(display_, window_);
    XSync(display_, False);
}

PopupMenu::~PopupMenu() {
    XUngrabPointer(display_, CurrentTime);
    XUngrabKeyboard(display_, CurrentTime);
    interaction_.reset();
    geometry_.reset();
    texts_.reset();
    canvas_.reset();
    XDestroyWindow(display_, window_);
    XSync(display_, False);
}

std::optional<std::size_t> PopupMenu::run() {
    if (!grabInput()) {
        log(LogLevel::error, "PopupMenu::run - the keyboard or the pointer is held by another client");
        return std::nullopt;
    }
    menu::MenuStep step;
    while (!step.done) {
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
            continue;
        case MotionNotify:
            step = interaction_->motion(event.xmotion.x, event.xmotion.y);
            break;
        case KeyPress:
            step = interaction_->key(static_cast<std::uint32_t>(XLookupKeysym(&event.xkey, 0)));
            break;
        case ButtonPress:
        case ButtonRelease:
            // The wheel's buttons neither choose nor dismiss.
            if (event.xbutton.button > Button3) {
                continue;
            }
            step = interaction_->button(event.type == ButtonPress, event.xbutton.x, event.xbutton.y);
            break;
        default:
            continue;
        }
        if (step.redraw) {
            draw();
        }
    }
    return step.chosen;
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

void PopupMenu::draw() {
    menu::paintMenu(*canvas_, *geometry_, *texts_, entries_, interaction_->highlighted());
    XFlush(display_);
}

} // namespace obx::x11
