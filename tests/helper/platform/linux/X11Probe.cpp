#include "X11Probe.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <deque>
#include <poll.h>
#include <stdexcept>

namespace obx::x11::test {

namespace {

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

Display* openOrThrow(const std::string& displayName) {
    // With the keyboard extension, Xlib learns of a changed key map only from the
    // extension's own notices and fetches it lazily, so keys typed under a briefly
    // changed map can be looked up after it has been changed back. The probe reads
    // the core map, which the core notice refreshes in event order.
    XkbIgnoreExtension(True);
    Display* display = XOpenDisplay(displayName.c_str());
    if (!display) {
        throw std::runtime_error("cannot open " + displayName);
    }
    return display;
}

} // namespace

bool waitFor(const std::function<bool()>& condition) {
    const auto end = std::chrono::steady_clock::now() + generousWait;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

ProbeWindow::ProbeWindow(const std::string& displayName, Behaviour behaviour)
    : display_(openOrThrow(displayName)), behaviour_(behaviour),
      deleteWindow_(XInternAtom(display_, "WM_DELETE_WINDOW", False)),
      ping_(XInternAtom(display_, "_NET_WM_PING", False)) {
    XSetWindowAttributes attributes{};
    attributes.event_mask =
        KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask | StructureNotifyMask;
    window_ = XCreateWindow(display_, DefaultRootWindow(display_), 100, 100, 400, 300, 0, CopyFromParent,
                            InputOutput, CopyFromParent, CWEventMask, &attributes);
    XStoreName(display_, window_, "probe");
    // Without it a window manager closes the window by killing this
    // connection, and Xlib ends the whole test program.
    Atom protocols[] = {deleteWindow_, ping_};
    XSetWMProtocols(display_, window_, protocols, behaviour_.answersPings ? 2 : 1);
    XMapWindow(display_, window_);
    for (XEvent event;;) {
        XNextEvent(display_, &event);
        if (event.type == MapNotify) {
            break;
        }
    }
    XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
    XWarpPointer(display_, None, window_, 0, 0, 0, 0, 200, 150);
    XSync(display_, False);
    thread_ = std::thread([this] { run(); });
}

ProbeWindow::~ProbeWindow() {
    stop_ = true;
    thread_.join();
    XCloseDisplay(display_);
}

void ProbeWindow::run() {
    pollfd wait{ConnectionNumber(display_), POLLIN, 0};
    std::deque<std::pair<XEvent, std::chrono::steady_clock::time_point>> arrived;
    while (!stop_) {
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            arrived.emplace_back(event, std::chrono::steady_clock::now());
        }
        while (!arrived.empty() &&
               std::chrono::steady_clock::now() >= arrived.front().second + behaviour_.lag) {
            handle(arrived.front().first);
            arrived.pop_front();
        }
        poll(&wait, 1, 5);
    }
}

void ProbeWindow::handle(XEvent& event) {
    ProbeEvent recorded{event.type, NoSymbol, NoSymbol, 0, 0, 0};
    switch (event.type) {
    case MappingNotify:
        XRefreshKeyboardMapping(&event.xmapping);
        return;
    case ClientMessage:
        if (static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow_) {
            closeRequested_ = true;
        } else if (static_cast<Atom>(event.xclient.data.l[0]) == ping_ && behaviour_.answersPings) {
            const Window root = DefaultRootWindow(display_);
            event.xclient.window = root;
            XSendEvent(display_, root, False, SubstructureNotifyMask | SubstructureRedirectMask, &event);
            XFlush(display_);
        }
        return;
    case KeyPress:
    case KeyRelease: {
        recorded.rawKeysym = XLookupKeysym(&event.xkey, 0);
        KeySym produced = NoSymbol;
        char buffer[16];
        XLookupString(&event.xkey, buffer, sizeof buffer, &produced, nullptr);
        recorded.keysym = produced;
        recorded.state = event.xkey.state;
        recorded.keycode = event.xkey.keycode;
        recorded.time = event.xkey.time;
        break;
    }
    case ButtonPress:
    case ButtonRelease:
        recorded.button = event.xbutton.button;
        recorded.state = event.xbutton.state;
        recorded.time = event.xbutton.time;
        break;
    default:
        return;
    }
    std::lock_guard lock(mutex_);
    events_.push_back(recorded);
}

std::vector<ProbeEvent> ProbeWindow::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

std::vector<ProbeEvent> ProbeWindow::waitForEvents(std::size_t count) const {
    waitFor([&] { return events().size() >= count; });
    return events();
}

std::string ProbeWindow::typedText() const {
    std::string text;
    for (const auto& event : events()) {
        if (event.type != KeyPress) {
            continue;
        }
        const unsigned long keysym = event.keysym;
        if (keysym == XK_Return) {
            text += '\n';
        } else if (keysym >= 0xFF00 && keysym < 0xFF20) {
            text += static_cast<char>(keysym & 0xFF);
        } else if ((keysym & 0xFF000000) == 0x01000000) {
            appendUtf8(text, static_cast<char32_t>(keysym & 0xFFFFFF));
        } else if (keysym < 0x100) {
            appendUtf8(text, static_cast<char32_t>(keysym));
        } else if (keysym != XK_Shift_L) {
            text += "<?>";
        }
    }
    return text;
}

void ProbeWindow::clear() {
    std::lock_guard lock(mutex_);
    events_.clear();
}

FakeWindowManager::FakeWindowManager(const std::string& displayName) : display_(openOrThrow(displayName)) {
    XSelectInput(display_, DefaultRootWindow(display_), SubstructureRedirectMask | SubstructureNotifyMask);
    XSync(display_, False);
}

FakeWindowManager::~FakeWindowManager() {
    XCloseDisplay(display_);
}

void FakeWindowManager::setActive(Window window) {
    XChangeProperty(display_, DefaultRootWindow(display_), XInternAtom(display_, "_NET_ACTIVE_WINDOW", False),
                    XA_WINDOW, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&window), 1);
    XSync(display_, False);
}

void FakeWindowManager::setClients(const std::vector<Window>& windows) {
    XChangeProperty(display_, DefaultRootWindow(display_), XInternAtom(display_, "_NET_CLIENT_LIST", False),
                    XA_WINDOW, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(windows.data()),
                    static_cast<int>(windows.size()));
    XSync(display_, False);
}

void FakeWindowManager::setPid(Window window, long pid) {
    XChangeProperty(display_, window, XInternAtom(display_, "_NET_WM_PID", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<unsigned char*>(&pid), 1);
    XSync(display_, False);
}

void FakeWindowManager::setClientMachine(Window window, const std::string& host) {
    XChangeProperty(display_, window, XA_WM_CLIENT_MACHINE, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(host.data()), static_cast<int>(host.size()));
    XSync(display_, False);
}

std::vector<ClientRequest> FakeWindowManager::requests() {
    while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type != ClientMessage) {
            continue;
        }
        char* name = XGetAtomName(display_, event.xclient.message_type);
        ClientRequest request{event.xclient.window, name ? name : "", {}};
        XFree(name);
        for (int i = 0; i < 5; ++i) {
            request.data[i] = event.xclient.data.l[i];
        }
        requests_.push_back(request);
    }
    return requests_;
}

std::vector<ClientRequest> FakeWindowManager::waitForRequests(std::size_t count) {
    waitFor([&] { return requests().size() >= count; });
    return requests_;
}

} // namespace obx::x11::test
