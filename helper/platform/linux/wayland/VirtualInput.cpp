#include "platform/linux/wayland/VirtualInput.h"

#include "base/Log.h"
#include "platform/linux/wayland/BoundedRoundtrip.h"
#include "platform/linux/wayland/ReaderPace.h"
#include "platform/linux/wayland/SeatKeymap.h"
#include "platform/linux/wayland/SessionKeys.h"
#include "platform/linux/wayland/TextKeymaps.h"
#include "platform/linux/x11/TypingPlan.h"
#include "platform/linux/x11/VirtualKeys.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>
#include <wayland-client.h>

namespace obx::wayland {

namespace {

// Taps sent before the compositor is asked to catch up and the reading
// client's pace is looked at (ReaderPace).
constexpr std::size_t tapsPerRoundtrip = 32;

std::uint32_t milliseconds() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<std::chrono::milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool ownTextKeymap(std::string_view source) {
    return source.find("xkb_keycodes \"" + std::string(textKeymapName) + "\"") != std::string_view::npos;
}

struct KeymapDeleter {
    void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
};
using KeymapPointer = std::unique_ptr<xkb_keymap, KeymapDeleter>;

} // namespace

class VirtualInput::Connection {
public:
    Connection(const std::string& displayName, std::chrono::milliseconds timeout);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void keystroke(std::uint16_t modifiers, std::uint16_t virtualKey, bool down, bool modifiersOnly);
    void type(const std::u32string& text);
    void button(std::uint32_t code, bool down);

private:
    static void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                       std::uint32_t version);
    static void globalRemove(void*, wl_registry*, std::uint32_t) {}

    static constexpr wl_registry_listener registryListener{&global, &globalRemove};

    void release();
    // Waits (bounded) until the compositor has handled every request.
    void sync();
    // Puts the keymap on the virtual keyboard unless it carries it already.
    void upload(const std::string& source);
    // The session's keys, its keymap on the virtual keyboard.
    SessionKeys& sessionKeys();
    void sendModifiers(const ModifierState& state);
    void tap(std::uint32_t key);
    // Taps the keys at the reading client's pace; how many went out.
    std::size_t tapPaced(const std::vector<std::uint32_t>& keys);

    std::chrono::milliseconds timeout_;
    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    // The session's keymap; the text keymaps of ours that the compositor
    // hands back while text is typed are not.
    std::unique_ptr<SeatKeymap> seatKeymap_ = std::make_unique<SeatKeymap>("VirtualInput", &ownTextKeymap);
    zwp_virtual_keyboard_manager_v1* keyboards_ = nullptr;
    zwlr_virtual_pointer_manager_v1* pointers_ = nullptr;
    zwp_virtual_keyboard_v1* keyboard_ = nullptr;
    zwlr_virtual_pointer_v1* pointer_ = nullptr;
    xkb_context* context_ = nullptr;
    // What the virtual keyboard carries, and its keys when that is the
    // session's keymap.
    std::string uploaded_;
    std::unique_ptr<SessionKeys> keys_;
    std::unique_ptr<ReaderPace> pace_;
};

VirtualInput::Connection::Connection(const std::string& displayName, std::chrono::milliseconds timeout)
    : timeout_(timeout) {
    context_ = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    display_ = wl_display_connect(displayName.empty() ? nullptr : displayName.c_str());
    if (!context_ || !display_) {
        if (context_) {
            xkb_context_unref(context_);
        }
        throw std::runtime_error("cannot connect to the Wayland compositor");
    }
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &registryListener, this);
    try {
        sync(); // the globals
        sync(); // the seat's capabilities
        sync(); // the keymap of the seat's keyboard, if it has one
        if (!seatKeymap_->seat() || !keyboards_) {
            throw std::runtime_error("the compositor offers no virtual keyboard");
        }
        keyboard_ = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(keyboards_, seatKeymap_->seat());
        if (pointers_) {
            pointer_ = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(pointers_, seatKeymap_->seat());
        }
        sessionKeys();
        sync();
        pace_ = std::make_unique<ReaderPace>(wl_display_get_fd(display_), readerStallLimit, readerTextLimit);
    } catch (...) {
        release();
        throw;
    }
}

VirtualInput::Connection::~Connection() {
    release();
}

void VirtualInput::Connection::release() {
    if (!display_) {
        return;
    }
    keys_.reset();
    if (pointer_) {
        zwlr_virtual_pointer_v1_destroy(pointer_);
    }
    if (keyboard_) {
        zwp_virtual_keyboard_v1_destroy(keyboard_);
    }
    seatKeymap_.reset();
    if (pointers_) {
        zwlr_virtual_pointer_manager_v1_destroy(pointers_);
    }
    if (keyboards_) {
        zwp_virtual_keyboard_manager_v1_destroy(keyboards_);
    }
    wl_registry_destroy(registry_);
    wl_display_flush(display_);
    wl_display_disconnect(display_);
    display_ = nullptr;
    xkb_context_unref(context_);
}

void VirtualInput::Connection::global(void* data, wl_registry* registry, std::uint32_t name,
                                      const char* interface, std::uint32_t) {
    auto& self = *static_cast<Connection*>(data);
    const std::string_view which(interface);
    if (which == wl_seat_interface.name) {
        self.seatKeymap_->bind(registry, name);
    } else if (which == zwp_virtual_keyboard_manager_v1_interface.name && !self.keyboards_) {
        self.keyboards_ = static_cast<zwp_virtual_keyboard_manager_v1*>(
            wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
    } else if (which == zwlr_virtual_pointer_manager_v1_interface.name && !self.pointers_) {
        self.pointers_ = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    }
}

void VirtualInput::Connection::sync() {
    if (!boundedRoundtrip(display_, timeout_)) {
        throw std::runtime_error("the Wayland compositor did not answer");
    }
}

void VirtualInput::Connection::upload(const std::string& source) {
    if (source == uploaded_) {
        return;
    }
    const int fd = memfd_create("obx-keymap", MFD_CLOEXEC);
    if (fd < 0) {
        throw std::runtime_error("cannot make room for a keymap");
    }
    const std::size_t size = source.size() + 1; // with its terminating zero
    const bool written = ftruncate(fd, static_cast<off_t>(size)) == 0 &&
                         pwrite(fd, source.c_str(), size, 0) == static_cast<ssize_t>(size);
    if (!written) {
        close(fd);
        throw std::runtime_error("cannot write a keymap");
    }
    zwp_virtual_keyboard_v1_keymap(keyboard_, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                   static_cast<std::uint32_t>(size));
    close(fd);
    uploaded_ = source;
    keys_.reset();
}

SessionKeys& VirtualInput::Connection::sessionKeys() {
    const auto& session = seatKeymap_->source(context_);
    if (keys_ && uploaded_ == session) {
        return *keys_;
    }
    const KeymapPointer keymap(xkb_keymap_new_from_string(
        context_, session.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap) {
        throw std::runtime_error("the session's keymap does not compile");
    }
    upload(session);
    keys_ = std::make_unique<SessionKeys>(keymap.get());
    return *keys_;
}

void VirtualInput::Connection::sendModifiers(const ModifierState& state) {
    zwp_virtual_keyboard_v1_modifiers(keyboard_, state.depressed, state.latched, state.locked, state.group);
}

void VirtualInput::Connection::keystroke(std::uint16_t modifiers, std::uint16_t virtualKey, bool down,
                                         bool modifiersOnly) {
    auto& keys = sessionKeys();
    bool sent = false;
    for (const std::uint16_t each : x11::keystrokeSequence(modifiers, virtualKey, down, modifiersOnly)) {
        const auto keysym = static_cast<xkb_keysym_t>(x11::keysymForVirtualKey(each));
        const auto key = keysym == XKB_KEY_NoSymbol ? std::nullopt : keys.keyFor(keysym);
        if (!key) {
            log(LogLevel::warning, "VirtualInput::keystroke - no key for virtual key 0x", Hex{each});
            continue;
        }
        zwp_virtual_keyboard_v1_key(keyboard_, milliseconds(), *key,
                                    down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
        sendModifiers(keys.press(*key, down));
        sent = true;
    }
    if (sent) {
        sync();
    }
}

void VirtualInput::Connection::tap(std::uint32_t key) {
    zwp_virtual_keyboard_v1_key(keyboard_, milliseconds(), key, WL_KEYBOARD_KEY_STATE_PRESSED);
    zwp_virtual_keyboard_v1_key(keyboard_, milliseconds(), key, WL_KEYBOARD_KEY_STATE_RELEASED);
}

std::size_t VirtualInput::Connection::tapPaced(const std::vector<std::uint32_t>& keys) {
    std::size_t sent = 0;
    while (sent < keys.size()) {
        const std::size_t batchEnd = std::min(keys.size(), sent + tapsPerRoundtrip);
        for (; sent < batchEnd; ++sent) {
            tap(keys[sent]);
        }
        sync();
        if (!pace_->keepUp()) {
            break;
        }
    }
    return sent;
}

void VirtualInput::Connection::type(const std::u32string& text) {
    const auto plan = textKeymaps(text);
    if (!plan.undeliverable.empty()) {
        std::string names;
        for (const char32_t codePoint : plan.undeliverable) {
            names += (names.empty() ? "" : " ") + codePointName(codePoint);
        }
        log(LogLevel::warning, "VirtualInput::type - no key can type these characters, left out: ", names);
    }
    if (plan.stretches.empty()) {
        return;
    }
    sessionKeys(); // the session's keymap known before the keyboard carries another
    pace_->begin();
    std::size_t typed = 0;
    for (const auto& stretch : plan.stretches) {
        upload(stretch.keymap);
        sendModifiers({});
        const std::size_t tapped = tapPaced(stretch.keys);
        typed += tapped;
        if (tapped < stretch.keys.size()) {
            log(LogLevel::warning,
                "VirtualInput::type - the focused program does not keep up with the keys: ", typed, " of ",
                text.size() - plan.undeliverable.size(), " characters typed, the rest left out");
            break;
        }
    }
    // The session's keymap back on the keyboard, so that the focused client
    // reads later keys of the user's keyboard with it again.
    sessionKeys();
    sync();
}

void VirtualInput::Connection::button(std::uint32_t code, bool down) {
    if (!pointer_) {
        throw std::runtime_error("the compositor offers no virtual pointer");
    }
    zwlr_virtual_pointer_v1_button(pointer_, milliseconds(), code,
                                   down ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
    zwlr_virtual_pointer_v1_frame(pointer_);
    // No round trip: a multi-click's presses keep the caller's timing.
    if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
        throw std::runtime_error("the Wayland compositor went away");
    }
}

VirtualInput::VirtualInput(std::string displayName, std::chrono::milliseconds timeout)
    : displayName_(std::move(displayName)), timeout_(timeout) {}

VirtualInput::~VirtualInput() = default;

VirtualInput::Connection& VirtualInput::connection() {
    if (!connection_) {
        connection_ = std::make_unique<Connection>(displayName_, timeout_);
    }
    return *connection_;
}

template <typename Body>
void VirtualInput::withConnection(Body&& body) {
    const std::lock_guard lock(mutex_);
    try {
        body(connection());
    } catch (...) {
        connection_.reset();
        throw;
    }
}

void VirtualInput::keystroke(std::uint16_t modifiers, std::uint16_t virtualKey, bool down,
                             bool modifiersOnly) {
    withConnection(
        [&](Connection& connection) { connection.keystroke(modifiers, virtualKey, down, modifiersOnly); });
}

void VirtualInput::type(const std::string& text) {
    const auto codePoints = x11::decodeUtf8(text);
    if (!codePoints) {
        log(LogLevel::error, "VirtualInput::type - the text is not valid UTF-8, nothing typed");
        return;
    }
    withConnection([&](Connection& connection) { connection.type(*codePoints); });
}

void VirtualInput::button(std::uint32_t code, bool down) {
    withConnection([&](Connection& connection) { connection.button(code, down); });
}

} // namespace obx::wayland
