#include "platform/linux/kde/KWinInput.h"

#include "base/Log.h"
#include "fake-input-client-protocol.h"
#include "platform/linux/kde/DataControlClipboard.h"
#include "platform/linux/kde/LayoutTyping.h"
#include "platform/linux/wayland/BoundedRoundtrip.h"
#include "platform/linux/wayland/ReaderPace.h"
#include "platform/linux/wayland/SeatKeymap.h"
#include "platform/linux/wayland/SessionKeys.h"
#include "platform/linux/wayland/TextKeymaps.h"
#include "platform/linux/x11/TypingPlan.h"
#include "platform/linux/x11/VirtualKeys.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

#include <cerrno>
#include <filesystem>
#include <poll.h>
#include <string_view>
#include <sys/eventfd.h>
#include <unistd.h>
#include <wayland-client.h>

namespace obx::kde {

namespace {

// Keys sent before KWin is asked to catch up and the reading program's pace
// is looked at (ReaderPace), so that neither KWin's buffers nor the
// program's fill while a long text goes out.
constexpr std::size_t keysPerRoundtrip = 32;
// Fake input takes keys from this version on.
constexpr std::uint32_t keyboardKeyVersion = 4;
// Inputs waiting for the thread; a caller beyond them is refused.
constexpr std::size_t maxWaitingJobs = 64;
// The longest wait of a caller for a text: a long one goes out 32 keys
// per round trip of at most the timeout each, and a paste waits on the
// focused program and on the earlier clipboard's owner.
constexpr auto textWait = std::chrono::seconds(60);

struct KeymapDeleter {
    void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
};
using KeymapPointer = std::unique_ptr<xkb_keymap, KeymapDeleter>;

// Waits for the wake-up, meanwhile serving KWin's events (the clipboard
// content given back after a paste): false when KWin went away.
bool awaitWake(wl_display* display, int wakeFd) {
    while (wl_display_prepare_read(display) != 0) {
        if (wl_display_dispatch_pending(display) < 0) {
            return false;
        }
    }
    if (wl_display_flush(display) < 0 && errno != EAGAIN) {
        wl_display_cancel_read(display);
        return false;
    }
    pollfd fds[2] = {{wakeFd, POLLIN, 0}, {wl_display_get_fd(display), POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
        wl_display_cancel_read(display);
        return errno == EINTR;
    }
    if (fds[1].revents & POLLIN) {
        return wl_display_read_events(display) >= 0 && wl_display_dispatch_pending(display) >= 0;
    }
    wl_display_cancel_read(display);
    return (fds[1].revents & (POLLHUP | POLLERR)) == 0;
}

std::string ownProgram() {
    std::error_code error;
    const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string("this program") : path.string();
}

} // namespace

class KWinInput::Connection {
public:
    Connection(const std::string& displayName, std::chrono::milliseconds timeout);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    wl_display* display() const { return display_; }
    void keystroke(std::uint16_t modifiers, std::uint16_t virtualKey, bool down, bool modifiersOnly);
    void type(const std::u32string& text, const std::string& utf8);
    void button(std::uint32_t code, bool down);

private:
    static void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                       std::uint32_t version);
    static void globalRemove(void*, wl_registry*, std::uint32_t) {}

    static constexpr wl_registry_listener registryListener{&global, &globalRemove};

    void release();
    void sync();
    // The session's keymap as KWin last handed it (else the default one).
    xkb_keymap* sessionKeymap();
    wayland::SessionKeys& sessionKeys();
    std::uint32_t keyFor(xkb_keysym_t keysym);
    // Throws when this KWin's fake input takes no keys.
    void requireKeys() const;
    void sendKey(std::uint32_t key, bool down);

    std::chrono::milliseconds timeout_;
    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    std::unique_ptr<wayland::SeatKeymap> seatKeymap_ = std::make_unique<wayland::SeatKeymap>("KWinInput");
    org_kde_kwin_fake_input* fakeInput_ = nullptr;
    std::uint32_t fakeInputVersion_ = 0;
    zwlr_data_control_manager_v1* dataControl_ = nullptr;
    std::unique_ptr<DataControlClipboard> clipboard_;
    std::unique_ptr<wayland::ReaderPace> pace_;
    xkb_context* context_ = nullptr;
    // The session's keymap compiled, the text it was compiled from, and its
    // keys.
    KeymapPointer keymap_;
    std::string compiledFrom_;
    std::unique_ptr<wayland::SessionKeys> keys_;
};

KWinInput::Connection::Connection(const std::string& displayName, std::chrono::milliseconds timeout)
    : timeout_(timeout) {
    context_ = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    display_ = wl_display_connect(displayName.empty() ? nullptr : displayName.c_str());
    if (!context_ || !display_) {
        if (context_) {
            xkb_context_unref(context_);
        }
        if (display_) {
            wl_display_disconnect(display_);
        }
        throw std::runtime_error("cannot connect to KWin's Wayland socket");
    }
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &registryListener, this);
    try {
        sync(); // the globals
        if (!fakeInput_) {
            // KWin hides the global from programs it does not authorise.
            throw FakeInputRefused(
                "KWin offers its fake input (org_kde_kwin_fake_input) only to a program whose desktop file "
                "in an applications folder has an Exec= line naming the program and the line "
                "X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input; none does for " +
                ownProgram() + " (the package installs /usr/share/applications/obxhelper.desktop for it)");
        }
        org_kde_kwin_fake_input_authenticate(fakeInput_, "Trackball helper",
                                             "The trackball's buttons type keys, text and clicks");
        if (seatKeymap_->seat() && dataControl_) {
            clipboard_ =
                std::make_unique<DataControlClipboard>(display_, dataControl_, seatKeymap_->seat(), timeout_);
        }
        sync(); // the seat's capabilities, with the fake device
        sync(); // the keymap of the seat's keyboard, and the clipboard
        pace_ = std::make_unique<wayland::ReaderPace>(wl_display_get_fd(display_), wayland::readerStallLimit,
                                                      wayland::readerTextLimit);
    } catch (...) {
        release();
        throw;
    }
}

KWinInput::Connection::~Connection() {
    release();
}

void KWinInput::Connection::release() {
    if (!display_) {
        return;
    }
    clipboard_.reset();
    keys_.reset();
    keymap_.reset();
    if (dataControl_) {
        zwlr_data_control_manager_v1_destroy(dataControl_);
    }
    if (fakeInput_) {
        org_kde_kwin_fake_input_destroy(fakeInput_);
    }
    seatKeymap_.reset();
    wl_registry_destroy(registry_);
    wl_display_flush(display_);
    wl_display_disconnect(display_);
    display_ = nullptr;
    xkb_context_unref(context_);
}

void KWinInput::Connection::global(void* data, wl_registry* registry, std::uint32_t name,
                                   const char* interface, std::uint32_t version) {
    auto& self = *static_cast<Connection*>(data);
    const std::string_view which(interface);
    if (which == wl_seat_interface.name) {
        self.seatKeymap_->bind(registry, name);
    } else if (which == org_kde_kwin_fake_input_interface.name && !self.fakeInput_) {
        self.fakeInputVersion_ = std::min(version, keyboardKeyVersion);
        self.fakeInput_ = static_cast<org_kde_kwin_fake_input*>(
            wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, self.fakeInputVersion_));
    } else if (which == zwlr_data_control_manager_v1_interface.name && !self.dataControl_) {
        self.dataControl_ = static_cast<zwlr_data_control_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface, 1));
    }
}

void KWinInput::Connection::sync() {
    if (!wayland::boundedRoundtrip(display_, timeout_)) {
        throw std::runtime_error("KWin did not answer");
    }
}

xkb_keymap* KWinInput::Connection::sessionKeymap() {
    const auto& source = seatKeymap_->source(context_);
    if (keymap_ && compiledFrom_ == source) {
        return keymap_.get();
    }
    keys_.reset();
    keymap_.reset(xkb_keymap_new_from_string(context_, source.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1,
                                             XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap_) {
        compiledFrom_.clear();
        throw std::runtime_error("the session's keymap does not compile");
    }
    compiledFrom_ = source;
    return keymap_.get();
}

wayland::SessionKeys& KWinInput::Connection::sessionKeys() {
    xkb_keymap* keymap = sessionKeymap();
    if (!keys_) {
        keys_ = std::make_unique<wayland::SessionKeys>(keymap);
    }
    return *keys_;
}

void KWinInput::Connection::requireKeys() const {
    if (fakeInputVersion_ < keyboardKeyVersion) {
        throw std::runtime_error("this KWin's fake input takes no keys (version " +
                                 std::to_string(fakeInputVersion_) + ")");
    }
}

void KWinInput::Connection::sendKey(std::uint32_t key, bool down) {
    requireKeys();
    org_kde_kwin_fake_input_keyboard_key(
        fakeInput_, key, down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
}

void KWinInput::Connection::keystroke(std::uint16_t modifiers, std::uint16_t virtualKey, bool down,
                                      bool modifiersOnly) {
    auto& keys = sessionKeys();
    bool sent = false;
    for (const std::uint16_t each : x11::keystrokeSequence(modifiers, virtualKey, down, modifiersOnly)) {
        const auto keysym = static_cast<xkb_keysym_t>(x11::keysymForVirtualKey(each));
        const auto key = keysym == XKB_KEY_NoSymbol ? std::nullopt : keys.keyFor(keysym);
        if (!key) {
            log(LogLevel::warning, "KWinInput::keystroke - no key for virtual key 0x", Hex{each});
            continue;
        }
        sendKey(*key, down);
        sent = true;
    }
    if (sent) {
        sync();
    }
}

std::uint32_t KWinInput::Connection::keyFor(xkb_keysym_t keysym) {
    const auto key = sessionKeys().keyFor(keysym);
    if (!key) {
        throw std::runtime_error("the session's keymap has no key for a paste (Control and V)");
    }
    return *key;
}

void KWinInput::Connection::type(const std::u32string& text, const std::string& utf8) {
    // Checked before the clipboard is touched: a paste needs Ctrl+V.
    requireKeys();
    const auto typing = layoutTyping(sessionKeymap(), text);
    if (!typing.missing.empty() && clipboard_) {
        // One paste of the whole text: keys typed after a paste could reach
        // the program before it has read the clipboard.
        const std::uint32_t control = keyFor(XKB_KEY_Control_L);
        const std::uint32_t v = keyFor(XKB_KEY_v);
        const bool pasted = clipboard_->pasteText(utf8, [&] {
            sendKey(control, true);
            sendKey(v, true);
            sendKey(v, false);
            sendKey(control, false);
            sync();
        });
        if (pasted) {
            return;
        }
    }
    if (!typing.missing.empty()) {
        std::string names;
        for (const char32_t codePoint : typing.missing) {
            names += (names.empty() ? "" : " ") + wayland::codePointName(codePoint);
        }
        log(LogLevel::warning, "KWinInput::type - the current layout has no key for these characters and ",
            clipboard_ ? "the clipboard cannot take them" : "KWin offers no clipboard to paste them",
            ", left out: ", names);
    }
    pace_->begin();
    std::size_t sinceSync = 0;
    std::size_t typed = 0;
    for (const auto& each : typing.keys) {
        for (const std::uint32_t modifier : each.modifierKeys) {
            sendKey(modifier, true);
        }
        sendKey(each.key, true);
        sendKey(each.key, false);
        for (auto modifier = each.modifierKeys.rbegin(); modifier != each.modifierKeys.rend(); ++modifier) {
            sendKey(*modifier, false);
        }
        ++typed;
        if (++sinceSync == keysPerRoundtrip) {
            sync();
            sinceSync = 0;
            if (!pace_->keepUp()) {
                log(LogLevel::warning,
                    "KWinInput::type - the focused program does not keep up with the keys: ", typed, " of ",
                    typing.keys.size(), " characters typed, the rest left out");
                break;
            }
        }
    }
    sync();
}

void KWinInput::Connection::button(std::uint32_t code, bool down) {
    org_kde_kwin_fake_input_button(fakeInput_, code,
                                   down ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
    // No round trip: a multi-click's presses keep the caller's timing.
    if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
        throw std::runtime_error("KWin went away");
    }
}

KWinInput::KWinInput(std::string displayName, std::chrono::milliseconds timeout)
    : displayName_(std::move(displayName)), timeout_(timeout) {
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        throw std::runtime_error("cannot make the input thread's wake-up");
    }
    thread_ = std::thread([this] { serve(); });
}

KWinInput::~KWinInput() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake();
    thread_.join();
    close(wakeFd_);
}

void KWinInput::wake() {
    eventfd_write(wakeFd_, 1);
}

void KWinInput::run(Job job, std::chrono::milliseconds wait) {
    auto done = std::make_shared<std::promise<void>>();
    auto future = done->get_future();
    {
        const std::lock_guard lock(mutex_);
        if (jobs_.size() >= maxWaitingJobs) {
            throw std::runtime_error("too many inputs wait for KWin");
        }
        jobs_.emplace_back(std::move(job), std::move(done));
    }
    wake();
    if (future.wait_for(wait) != std::future_status::ready) {
        throw std::runtime_error("KWin did not take the input in time");
    }
    future.get();
}

void KWinInput::serve() {
    for (;;) {
        std::deque<std::pair<Job, std::shared_ptr<std::promise<void>>>> jobs;
        {
            const std::lock_guard lock(mutex_);
            if (stopping_) {
                break;
            }
            jobs.swap(jobs_);
        }
        for (auto& [job, done] : jobs) {
            try {
                if (!connection_) {
                    connection_ = std::make_unique<Connection>(displayName_, timeout_);
                }
                job(*connection_);
                done->set_value();
            } catch (...) {
                // A connection that failed is made again for the next input.
                connection_.reset();
                done->set_exception(std::current_exception());
            }
        }
        if (!connection_) {
            pollfd wakeUp{wakeFd_, POLLIN, 0};
            poll(&wakeUp, 1, -1);
        } else if (!awaitWake(connection_->display(), wakeFd_)) {
            log(LogLevel::warning, "KWinInput - KWin went away; input connects again at its next use");
            connection_.reset();
        }
        eventfd_t ignored = 0;
        eventfd_read(wakeFd_, &ignored);
    }
    connection_.reset();
}

void KWinInput::keystroke(std::uint16_t modifiers, std::uint16_t virtualKey, bool down, bool modifiersOnly) {
    run([=](Connection& connection) { connection.keystroke(modifiers, virtualKey, down, modifiersOnly); },
        timeout_ * 4);
}

void KWinInput::type(const std::string& text) {
    auto codePoints = x11::decodeUtf8(text);
    if (!codePoints) {
        log(LogLevel::error, "KWinInput::type - the text is not valid UTF-8, nothing typed");
        return;
    }
    run([text,
         codePoints = std::move(*codePoints)](Connection& connection) { connection.type(codePoints, text); },
        textWait);
}

void KWinInput::button(std::uint32_t code, bool down) {
    run([=](Connection& connection) { connection.button(code, down); }, timeout_ * 4);
}

} // namespace obx::kde
