#include "platform/linux/x11/FocusPing.h"

#include "platform/linux/x11/XProperties.h"

#include <X11/Xatom.h>
#include <algorithm>
#include <atomic>
#include <poll.h>

namespace obx::x11 {

namespace {

// Deeper window trees than this are not walked for the client's window.
constexpr int maxDepth = 32;

} // namespace

Window pingableFocus(Display* display) {
    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom ping = XInternAtom(display, "_NET_WM_PING", False);
    const Window root = DefaultRootWindow(display);
    Window window = None;
    int revert = 0;
    XGetInputFocus(display, &window, &revert);
    for (int depth = 0; depth < maxDepth && window != None && window != PointerRoot && window != root;
         ++depth) {
        const auto taken = readListProperty(display, window, protocols, XA_ATOM);
        if (std::find(taken.begin(), taken.end(), ping) != taken.end()) {
            return window;
        }
        Window treeRoot = None;
        Window parent = None;
        Window* children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(display, window, &treeRoot, &parent, &children, &count)) {
            return None;
        }
        if (children) {
            XFree(children);
        }
        window = parent;
    }
    return None;
}

FocusPing::FocusPing(Display* display, Window client)
    : display_(display), protocols_(XInternAtom(display, "WM_PROTOCOLS", False)),
      ping_(XInternAtom(display, "_NET_WM_PING", False)), client_(client) {
    static std::atomic<long> lastToken{0};
    // The answer goes to the root window for whoever watches its children.
    XSelectInput(display_, DefaultRootWindow(display_), SubstructureNotifyMask);
    token_ = ++lastToken;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = client_;
    event.xclient.message_type = protocols_;
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(ping_);
    event.xclient.data.l[1] = token_;
    event.xclient.data.l[2] = static_cast<long>(client_);
    sentAt_ = Clock::now();
    XSendEvent(display_, client_, False, NoEventMask, &event);
    XFlush(display_);
}

FocusPing::~FocusPing() {
    XSelectInput(display_, DefaultRootWindow(display_), NoEventMask);
    XSync(display_, True);
}

bool FocusPing::isAnswer(const XEvent& event) const {
    return event.type == ClientMessage && event.xclient.message_type == protocols_ &&
           event.xclient.format == 32 && static_cast<Atom>(event.xclient.data.l[0]) == ping_ &&
           event.xclient.data.l[1] == token_ && static_cast<Window>(event.xclient.data.l[2]) == client_;
}

bool FocusPing::answered(Clock::time_point deadline) {
    pollfd wait{ConnectionNumber(display_), POLLIN, 0};
    for (;;) {
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            if (isAnswer(event)) {
                return true;
            }
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return false;
        }
        poll(&wait, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
    }
}

} // namespace obx::x11
